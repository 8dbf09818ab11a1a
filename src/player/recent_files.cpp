#include "player/recent_files.h"

#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include "config/settings_location.h"

namespace hv::player {

std::filesystem::path RecentFiles::DefaultLocation() {
    return hv::UserSettingsFolder() / "recent-videos";
}

RecentFiles::RecentFiles(std::filesystem::path file) : file_(std::move(file)) {
    if (file_.empty()) return;
    QFile in(QString::fromStdString(file_.string()));
    if (!in.open(QIODevice::ReadOnly | QIODevice::Text)) return;
    QTextStream text(&in);
    while (!text.atEnd() && files_.size() < kMaxFiles) {
        const QString line = text.readLine().trimmed();
        if (!line.isEmpty() && !files_.contains(line)) files_ << line;
    }
}

void RecentFiles::Add(const QString& path) {
    if (path.isEmpty()) return;
    files_.removeAll(path);
    files_.prepend(path);
    while (files_.size() > kMaxFiles) files_.removeLast();
    Save();
}

void RecentFiles::Remove(const QString& path) {
    if (files_.removeAll(path) > 0) Save();
}

void RecentFiles::Save() const {
    if (file_.empty()) return;
    // A list that cannot be kept is no reason to bother the user.
    if (!hv::EnsureSettingsFolder(file_.parent_path()).ok) return;
    QSaveFile out(QString::fromStdString(file_.string()));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Text)) return;
    QTextStream text(&out);
    for (const QString& f : files_) text << f << '\n';
    text.flush();
    out.commit();
}

}  // namespace hv::player
