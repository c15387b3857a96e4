#include "ui/messages.h"

#include <QApplication>
#include <QMessageBox>

#include "core/failure_text.h"

namespace velmora::ui {

namespace {

void showBox(QMessageBox::Icon icon, const QString& caption, const QString& text) {
    QMessageBox box(icon, caption, text, QMessageBox::Ok, QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

}  // namespace

void reportFailure(MessageSink& sink, std::string_view message) {
    sink.failure(QString::fromStdString(failureReportText(message)));
}

void QtMessageSink::plain(const QString& text) {
    showBox(QMessageBox::NoIcon, QString::fromUtf8(kApplicationTitle), text);
}

void QtMessageSink::error(const QString& text) {
    showBox(QMessageBox::Critical, QStringLiteral("Error"), text);
}

void QtMessageSink::failure(const QString& text) {
    showBox(QMessageBox::Critical, QString::fromUtf8(kApplicationTitle), text);
}

}  // namespace velmora::ui
