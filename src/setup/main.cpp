// hvconfig: the Halvora 360 Doughnut Setup Utility. Fits the circles of a
// doughnut video by eye and saves them to CamSetup.xml where the player reads
// them: beside the program when its folder is writable, else in
// ~/.config/halvora360 (settings_location.h).
//
//   hvconfig [VIDEO]   VIDEO, when given, is opened as if chosen with Load.
#include <QApplication>
#include <QFileInfo>
#include <QTimer>

#include "setup/setup_main_window.h"
#include "setup/setup_state.h"
#include "setup/transform_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("hvconfig"));

    const hv::setup::SetupPaths paths = hv::setup::SetupPaths::OfRunningProgram();
    hv::setup::SetupMainWindow window(paths, hv::setup::LoadStartupConfiguration(paths));
    window.show();
    window.Transform()->show();
    const QStringList args = QApplication::arguments();
    if (args.size() > 1) {
        const QString video = QFileInfo(args.at(1)).absoluteFilePath();
        QTimer::singleShot(0, &window, [&window, video] { window.OpenChosenVideo(video); });
    }
    return app.exec();
}
