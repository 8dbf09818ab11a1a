#include "player/player_settings.h"

#include <QSettings>
#include <QString>

namespace hv::player {

namespace {

const QString kViewResolutionKey = QStringLiteral("View/Resolution");

QString ToQString(const std::filesystem::path& p) {
    return QString::fromStdString(p.string());
}

}  // namespace

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
