#include "player/player_settings.h"

#include <QDir>
#include <QSettings>
#include <QString>

namespace hv::player {

namespace {

const QString kViewResolutionKey = QStringLiteral("View/Resolution");

QString ToQString(const std::filesystem::path& p) {
    return QString::fromStdString(p.string());
}

}  // namespace

std::filesystem::path UserSettingsFile() {
    std::filesystem::path base;
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg)) {
        base = xdg.toStdString();
    } else {
        base = std::filesystem::path(QDir::homePath().toStdString()) / ".config";
    }
    return base / "halvora360" / "hvplayer.ini";
}

ViewResolution LoadViewResolution(const std::filesystem::path& file) {
    const QSettings settings(ToQString(file), QSettings::IniFormat);
    return settings.value(kViewResolutionKey).toString() == QStringLiteral("window")
               ? ViewResolution::Window
               : ViewResolution::Standard;
}

void SaveViewResolution(const std::filesystem::path& file, ViewResolution r) {
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    QSettings settings(ToQString(file), QSettings::IniFormat);
    settings.setValue(kViewResolutionKey, r == ViewResolution::Window ? QStringLiteral("window")
                                                                      : QStringLiteral("standard"));
    settings.sync();
}

}  // namespace hv::player
