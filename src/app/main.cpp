#include <QApplication>

#include <cstdio>
#include <memory>
#include <string_view>

#include "app/application.h"
#include "ui/after_first_paint.h"
#include "ui/look.h"
#include "ui/messages.h"
#include "ui/qt_path.h"
#include "workspace/installation.h"

using namespace velmora;
using namespace velmora::ui;

int main(int argc, char* argv[]) {
    // Answered before the toolkit starts, so that it needs no display.
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::printf("velmora %s\n", VELMORA_VERSION);
        return 0;
    }
    QApplication app(argc, argv);  // the toolkit's own options only; the application takes none
    // The title goes to the message boxes explicitly: a display name would be appended to every
    // window caption on some desktops.
    QApplication::setApplicationName(QString::fromUtf8(kApplicationTitle));

    QtMessageSink messages;
    // The main window (running the workspace start-up); each dialog is made on its first use.
    const std::filesystem::path programFolder = toPath(QApplication::applicationDirPath());
    auto application = std::make_unique<Application>(chooseInstallationFolder(programFolder),
                                                     messages, programFolder);
    TFVelmoraFirmWare& FVelmoraFirmWare = application->FVelmoraFirmWare;

    centreOnScreen(FVelmoraFirmWare);
    // The logo becomes the windows' icon once the main window is on the screen: drawing it is
    // not worth keeping the window from showing.
    afterFirstPaint(FVelmoraFirmWare, [] { QApplication::setWindowIcon(QIcon(logoPixmap(64))); });
    FVelmoraFirmWare.show();
    return app.exec();
}
