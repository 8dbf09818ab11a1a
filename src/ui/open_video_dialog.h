// The open dialog for doughnut videos shared by both programs: the title
// "Load doughnut Video", the product's list of video types, the details view,
// and a start folder. GUI thread only.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QFileDialog;
class QWidget;

namespace hv::ui {

inline constexpr const char* kOpenVideoTitle = "Load doughnut Video";

// The 18 filter entries as Qt name filters, "All video files" first. Each is
// the product's description followed by its patterns in parentheses.
QStringList VideoNameFilters();

// The product's filter patterns, in the same order (e.g. "*.mpg;*.mpeg").
QStringList VideoFilterPatterns();

// The dialog ShowOpenVideoDialog shows, not yet shown: each filter is
// listed by its description alone (the descriptions already name their
// patterns) and the details columns share the width, names first.
std::unique_ptr<QFileDialog> MakeOpenVideoDialog(QWidget* owner, const QString& startFolder);

// Shows the modal dialog owned by owner, opening in startFolder (the current
// folder when empty), and returns the chosen file's absolute path, or "" when
// the user cancelled. Only existing files can be chosen.
QString ShowOpenVideoDialog(QWidget* owner, const QString& startFolder);

}  // namespace hv::ui
