// hvplayer: plays a 360-degree doughnut video as a perspective view.
//
//   hvplayer [--stats] [FILE]
//
// FILE is opened at start-up exactly as if it had been chosen in the open
// dialog. --stats (or HV_STATS=1) prints the presented frames per second to
// stderr every five seconds.
#include <QApplication>
#include <QStringList>
#include <QTimer>

#include "player/main_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("hvplayer"));
    QApplication::setDesktopFileName(QStringLiteral("hvplayer"));

    bool stats = qEnvironmentVariableIntValue("HV_STATS") != 0;
    QString file;
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--stats"))
            stats = true;
        else if (file.isEmpty())
            file = args[i];
    }

    hv::player::MainWindow window(hv::player::PlayerPaths::ForRunningProgram());
    window.EnableStats(stats);
    window.show();
    if (!file.isEmpty()) QTimer::singleShot(0, &window, [&window, file] { window.OpenFile(file); });
    return app.exec();
}
