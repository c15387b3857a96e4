#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include "app/about_dialog.h"
#include "app/look.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "app/qt_path.h"
#include "workspace/save_project_dialog.h"
#include "workspace/workspace.h"

using namespace velmora;
using namespace velmora::ui;

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);  // the toolkit's own options only; the application takes none
    // The title goes to the message boxes explicitly: a display name would be appended to every
    // window caption on some desktops.
    QApplication::setApplicationName(QString::fromUtf8(kApplicationTitle));

    QApplication::setWindowIcon(QIcon(logoPixmap(64)));

    QtMessageSink messages;
    Workspace workspace(toPath(QApplication::applicationDirPath()));

    // The main window first: creating it runs the workspace start-up.
    TFVelmoraFirmWare FVelmoraFirmWare(workspace, messages);

    // Then every dialog once, in this order; each reads the workspace paths when shown.
    TFsaveproj Fsaveproj(workspace, messages, &FVelmoraFirmWare);
    FVelmoraFirmWare.setSaveProjectDialog(&Fsaveproj);

    TFAbout FAbout(&FVelmoraFirmWare);
    FVelmoraFirmWare.setAboutDialog(&FAbout);

    // TFpargen (communication settings): FVelmoraFirmWare.setCommunicationDialog(&Fpargen);

    // TFBootSer (device update), with the composer: FVelmoraFirmWare.setUpdateDevice(...);

    // TFDNet (DeviceNet network): FVelmoraFirmWare.setNetworkDialog(&FDNet);

    // TFInfopdoMB (register map): FVelmoraFirmWare.setRegisterMapDialog(&FInfopdoMB);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = FVelmoraFirmWare.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        FVelmoraFirmWare.move(frame.topLeft());
    }
    FVelmoraFirmWare.show();
    return app.exec();
}
