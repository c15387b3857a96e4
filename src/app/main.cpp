#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include <memory>

#include "app/application.h"
#include "app/look.h"
#include "app/messages.h"
#include "app/qt_path.h"

using namespace velmora;
using namespace velmora::ui;

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);  // the toolkit's own options only; the application takes none
    // The title goes to the message boxes explicitly: a display name would be appended to every
    // window caption on some desktops.
    QApplication::setApplicationName(QString::fromUtf8(kApplicationTitle));

    QApplication::setWindowIcon(QIcon(logoPixmap(64)));

    QtMessageSink messages;
    // The main window first (running the workspace start-up), then every dialog once.
    auto application = std::make_unique<Application>(toPath(QApplication::applicationDirPath()),
                                                     messages);
    TFVelmoraFirmWare& FVelmoraFirmWare = application->FVelmoraFirmWare;

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = FVelmoraFirmWare.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        FVelmoraFirmWare.move(frame.topLeft());
    }
    FVelmoraFirmWare.show();
    return app.exec();
}
