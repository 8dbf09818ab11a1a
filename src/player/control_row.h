// The row under the video: the position bar (control 680), the navigation,
// transport and option buttons, the logo strip (700), the sound button (683)
// and the five volume level indicators (684..688).
//
// It knows nothing of the playback: it emits what the user asks for
// (signals) and shows what it is told (slots). MainWindow wires both sides
// in one place. GUI thread only.
#pragma once

#include <QCursor>
#include <QWidget>
#include <map>

class QLabel;
class QSlider;

namespace hv::ui {
class ClickableLabel;
}

namespace hv::player {

class ControlRow : public QWidget {
    Q_OBJECT
  public:
    // `hand` is the cursor over every clickable control.
    ControlRow(const QCursor& hand, QWidget* parent);

    // The row's height below the position bar's top edge.
    static constexpr int kHeight = 53;

    // Places the controls for a client area `clientWidth` wide whose view is
    // `viewWidth` wide; the row itself starts at the position bar's top.
    void Layout(int clientWidth, int viewWidth);

    // The parts, for the tests of the program.
    hv::ui::ClickableLabel* Button(int id) const;  // null for ids without a button
    QLabel* LevelBar(int k) const;                 // k = 1..5
    QSlider* PositionBar() const { return positionBar_; }
    QWidget* Logo() const { return logo_; }

  public slots:
    // The button's pressed picture for a moment (its command ran).
    void ShowPressed(int id);
    // A stream runs: range 1 .. frameCount (at least 1), page size 10,
    // position 1.
    void ShowFrameCount(int frameCount);
    // The playback's position; left alone while the user holds the thumb.
    void ShowPosition(int position);
    // The first `level` indicators lit, the others unlit, white text. Levels
    // outside 0..5 change nothing.
    void ShowVolumeLevel(int level);
    // "soundon" or "soundoff" on the sound button.
    void ShowSoundOn(bool on);
    // "bill2" or "bill" on the filter button.
    void ShowSoftenOn(bool on);

  signals:
    // A button or a level indicator was clicked (its command id).
    void commandClicked(int id);
    // The user drags the thumb to `frame`.
    void positionDragged(int frame);
    // The user paged or stepped the bar; `frame` is the value before the step.
    void positionStepped(int frame);
    // The user let go of the thumb at `frame`.
    void positionReleased(int frame);

  private:
    void AddButton(int id, const QString& picture, bool withPressed = true);
    void BuildPositionBar();

    QCursor hand_;
    QSlider* positionBar_ = nullptr;
    QWidget* logo_ = nullptr;
    std::map<int, hv::ui::ClickableLabel*> buttons_;
    QLabel* levelBars_[5] = {};
};

}  // namespace hv::player
