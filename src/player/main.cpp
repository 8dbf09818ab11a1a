// hvplayer: plays a 360-degree doughnut video as a perspective view.
//
//   hvplayer [--stats] [FILE]     (also --help, --version)
//
// FILE is opened at start-up exactly as if it had been chosen in the open
// dialog. --stats (or HV_STATS=1) prints the presented frames per second to
// stderr every five seconds.
#include <QApplication>
#include <QStringList>
#include <QTimer>
#include <cstdio>

#include "player/command_line.h"
#include "player/main_window.h"
#include "player/recent_files.h"

int main(int argc, char** argv) {
    // Before QApplication: --help and --version work without a display.
    QStringList rawArgs;
    for (int i = 0; i < argc; ++i) rawArgs << QString::fromLocal8Bit(argv[i]);
    const hv::player::CommandLine cmd = hv::player::ParseCommandLine(rawArgs);
    if (cmd.exitCode >= 0) {
        std::fputs(cmd.output.toLocal8Bit().constData(), cmd.exitCode == 0 ? stdout : stderr);
        return cmd.exitCode;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("hvplayer"));
    QApplication::setApplicationVersion(QStringLiteral(HV_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("hvplayer"));

    const bool stats = cmd.stats || qEnvironmentVariableIntValue("HV_STATS") != 0;
    const QString file = cmd.file;

    hv::player::MainWindow window(hv::player::PlayerPaths::ForRunningProgram());
    window.EnableStats(stats);
    window.SetRecentFilesLocation(hv::player::RecentFiles::DefaultLocation());
    window.show();
    if (!file.isEmpty()) QTimer::singleShot(0, &window, [&window, file] { window.OpenFile(file); });
    return app.exec();
}
