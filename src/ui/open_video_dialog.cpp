#include "ui/open_video_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QTreeView>

namespace hv::ui {

namespace {
struct FilterEntry {
    const char* description;
    const char* patterns;
};

constexpr FilterEntry kFilters[] = {
    {"All video files",
     "*.avi;*.asf;*.mpg;*.mpeg;*.mov;*.qt;*.m2ts;*.mts;*.m2t;*.tod;*.mp4;*.ogg;*.webm;*.ogv;"
     "*.wmv;*.mkv;*.flv;*.f4v"},
    {"ASF video files (*.ASF)", "*.asf"},
    {"AVI video files (*.AVI)", "*.avi"},
    {"FLV video files (*.FLV)", "*.flv"},
    {"F4V video files (*.F4V)", "*.F4V"},
    {"MKV video files (*.MKV)", "*.mkv"},
    {"MOV video files (*.MOV)", "*.mov"},
    {"MP4 video files (*.MP4)", "*.mp4"},
    {"MPG video files (*.MPG, *.MPEG)", "*.mpg;*.mpeg"},
    {"MTS video files (*.MTS)", "*.mts"},
    {"M2T video files (*.M2T)", "*.m2t"},
    {"M2TS video files (*.M2TS)", "*.m2ts"},
    {"OGG video files (*.OGG)", "*.ogg"},
    {"OGV video files (*.OGV)", "*.ogv"},
    {"QT video files (*.QT)", "*.qt"},
    {"TOD video files (*.TOD)", "*.tod"},
    {"WMV video files (*.WMV)", "*.wmv"},
    {"WEBM video files (*.WEBM)", "*.webm"},
};
}  // namespace

QStringList VideoFilterPatterns() {
    QStringList out;
    for (const auto& f : kFilters) out << QString::fromLatin1(f.patterns);
    return out;
}

QStringList VideoNameFilters() {
    // Qt takes the last parenthesised group as the patterns, separated by
    // blanks; the dialog matches them ignoring case, so "*.F4V" finds "a.f4v".
    QStringList out;
    for (const auto& f : kFilters) {
        QString patterns = QString::fromLatin1(f.patterns);
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        out << QStringLiteral("%1 (%2)").arg(QString::fromLatin1(f.description), patterns);
    }
    return out;
}

std::unique_ptr<QFileDialog> MakeOpenVideoDialog(QWidget* owner, const QString& startFolder) {
    const QString folder = startFolder.isEmpty() ? QDir::currentPath() : startFolder;
    auto dialog = std::make_unique<QFileDialog>(owner, QString::fromLatin1(kOpenVideoTitle), folder);
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    // The descriptions name their patterns already: shown once, not twice.
    dialog->setOption(QFileDialog::HideNameFilterDetails, true);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilters(VideoNameFilters());
    dialog->selectNameFilter(dialog->nameFilters().value(0));
    dialog->setViewMode(QFileDialog::Detail);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->resize(780, 460);
    // The name column takes the room the size, type and date leave it;
    // those fit their contents instead of being cut off.
    if (auto* tree = dialog->findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView* header = tree->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(QHeaderView::ResizeToContents);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
    }
    return dialog;
}

QString ShowOpenVideoDialog(QWidget* owner, const QString& startFolder) {
    const std::unique_ptr<QFileDialog> dialog = MakeOpenVideoDialog(owner, startFolder);
    if (dialog->exec() != QDialog::Accepted) return {};
    const QStringList files = dialog->selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

}  // namespace hv::ui
