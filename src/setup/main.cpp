// hvconfig: the Halvora 360 Doughnut Setup Utility. Fits the circles of a
// doughnut video by eye and saves them to CamSetup.xml beside the program,
// where the player reads them.
#include <QApplication>

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
    return app.exec();
}
