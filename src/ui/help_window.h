// The help windows of both programs: a fixed-size modal window with a title
// line, an instruction text, a heading and a two-column legend of control
// pictures with sunken labels, closed by "Exit Help" (with the click sound)
// or the close box (without). The content is data, filled in by each program.
// GUI thread only.
#pragma once

#include <QColor>
#include <QDialog>
#include <QIcon>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <functional>
#include <vector>

class QLabel;
class QPushButton;

namespace hv::ui {

struct HelpLabel {
    int id = -1;
    QRect rect;    // client pixels
    QString text;  // shown as given; a CR starts a new line
    QColor foreground = Qt::black;
    QColor background;    // invalid: transparent
    bool sunken = false;  // sunken edge (legend labels)
};

struct HelpLegendItem {
    QPixmap picture;
    QRect pictureRect;  // the picture is drawn at its own size at the top-left
    HelpLabel label;
};

struct HelpLayout {
    QString caption = QStringLiteral("Help");
    QSize clientSize;
    QColor background;
    QIcon icon;
    QString fontFamily = QStringLiteral("Times New Roman");
    int titlePointSize = 20;    // bold italic
    int headingPointSize = 15;  // bold
    HelpLabel title;            // drawn in the title font
    HelpLabel instruction;      // window default font
    HelpLabel heading;          // drawn in the heading font, created after instruction
    std::vector<HelpLegendItem> legend;
    int exitButtonId = 107;
    QRect exitButtonRect;
    QString exitButtonText = QStringLiteral("Exit Help");
};

class HelpWindow : public QDialog {
    Q_OBJECT
  public:
    // onExitButton runs when "Exit Help" is pressed, before the window ends
    // (the click sound); it is not run for the close box.
    HelpWindow(QWidget* owner, const HelpLayout& layout, std::function<void()> onExitButton = {});

    // The label with the given id (title, instruction, heading, legend), or null.
    QLabel* Label(int id) const;
    QPushButton* ExitButton() const { return exitButton_; }
    // The legend pictures in creation order.
    const std::vector<QLabel*>& LegendPictures() const { return pictures_; }

  protected:
    void keyPressEvent(QKeyEvent* e) override;

  private:
    QLabel* AddLabel(const HelpLabel& entry, const QFont& font);

    std::vector<QLabel*> labels_;
    std::vector<QLabel*> pictures_;
    QPushButton* exitButton_ = nullptr;
};

// Shows the window modally over owner, centred on the screen's work area, and
// returns when it has closed.
void RunHelpWindow(QWidget* owner, const HelpLayout& layout, std::function<void()> onExitButton);

}  // namespace hv::ui
