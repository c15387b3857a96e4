#include "ui/messages.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "core/failure_text.h"
#include "ui/look.h"

namespace velmora::ui {

namespace {

void showBox(MessageKind kind, const QString& text) {
    const std::unique_ptr<QMessageBox> box =
        makeMessageBox(kind, text, QApplication::activeWindow());
    box->exec();
}

}  // namespace

std::unique_ptr<QMessageBox> makeMessageBox(MessageKind kind, const QString& text,
                                            QWidget* parent) {
    const QString caption =
        kind == MessageKind::Error ? QStringLiteral("Error") : QString::fromUtf8(kApplicationTitle);
    const QMessageBox::Icon icon =
        kind == MessageKind::Plain ? QMessageBox::NoIcon : QMessageBox::Critical;
    auto box = std::make_unique<QMessageBox>(icon, caption, text, QMessageBox::NoButton, parent);
    box->setWindowModality(Qt::ApplicationModal);
    applyLook(*box);
    QPushButton* ok = box->addButton(QMessageBox::Ok);
    ok->setIcon(lookIcon(QStringLiteral("ok")));
    ok->setFlat(true);
    box->setDefaultButton(ok);
    box->setEscapeButton(ok);
    return box;
}

void reportFailure(MessageSink& sink, std::string_view message) {
    sink.failure(QString::fromStdString(failureReportText(message)));
}

void QtMessageSink::plain(const QString& text) { showBox(MessageKind::Plain, text); }

void QtMessageSink::error(const QString& text) { showBox(MessageKind::Error, text); }

void QtMessageSink::failure(const QString& text) { showBox(MessageKind::Failure, text); }

}  // namespace velmora::ui
