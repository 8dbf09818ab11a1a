// File -> Recent videos: the last eight videos that played, newest first,
// kept one absolute path a line in the user's configuration folder
// (UserSettingsFolder()/recent-videos). GUI thread only.
#pragma once

#include <QStringList>
#include <filesystem>

namespace hv::player {

class RecentFiles {
  public:
    static constexpr int kMaxFiles = 8;

    // The list file in the user's configuration folder.
    static std::filesystem::path DefaultLocation();

    // `file` empty: the list lives in memory only (tests, a window without
    // a configuration folder). Otherwise it is read from there now.
    explicit RecentFiles(std::filesystem::path file = {});

    // `path` to the front (moved there when listed already); the oldest
    // beyond eight dropped; saved at once.
    void Add(const QString& path);
    void Remove(const QString& path);
    const QStringList& Files() const { return files_; }

  private:
    void Save() const;

    std::filesystem::path file_;
    QStringList files_;
};

}  // namespace hv::player
