#include <gmock/gmock.h>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <optional>

namespace {

QtMessageHandler previousHandler = nullptr;

// A warning or critical message from Qt fails the running test: such messages tell of faults
// (an editor closed twice, a layout set twice) that would otherwise pass unseen.
// The offscreen platform's notes on window-system requests it has no use for (raise, size
// hints) tell of the test platform, not of a fault.
void failOnQtWarning(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const bool platformNote = message.startsWith(QLatin1String("This plugin does not support "));
    if ((type == QtWarningMsg || type == QtCriticalMsg) && !platformNote) {
        ADD_FAILURE() << (type == QtWarningMsg ? "Qt warning: " : "Qt critical message: ")
                      << message.toStdString();
    }
    if (previousHandler) previousHandler(type, context, message);
}

}  // namespace

// UI tests drive real widgets on the offscreen platform: no display is needed.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Without a runtime folder Qt warns at start-up; a private one for the run keeps it quiet.
    std::optional<QTemporaryDir> runtimeDir;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        runtimeDir.emplace(QDir::tempPath() + QStringLiteral("/velmora-runtime-XXXXXX"));
        QFile::setPermissions(runtimeDir->path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir->path()));
    }
    previousHandler = qInstallMessageHandler(failOnQtWarning);
    QApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
