#include "workspace/save_project_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/look.h"
#include "ui/messages.h"
#include "ui/naming.h"
#include "workspace/workspace.h"

namespace velmora::ui {

TFsaveproj::TFsaveproj(Workspace& workspace, MessageSink& messages, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      Label1(new QLabel(QStringLiteral("Project name"), this)),
      Edit1(new QLineEdit(this)),
      bitbtn1(new QPushButton(lookIcon(QStringLiteral("ok")), QStringLiteral("OK"), this)),
      bitbtn2(new QPushButton(lookIcon(QStringLiteral("cancel")), QStringLiteral("Cancel"), this)),
      workspace_(workspace),
      messages_(messages) {
    setObjectName(QStringLiteral("Fsaveproj"));
    Label1->setObjectName(QStringLiteral("Label1"));
    Edit1->setObjectName(QStringLiteral("Edit1"));
    labelFor(Label1, Edit1);
    bitbtn1->setObjectName(QStringLiteral("bitbtn1"));
    bitbtn2->setObjectName(QStringLiteral("bitbtn2"));

    applyLook(*this);
    setWindowTitle(QStringLiteral("New project"));
    setFixedSize(319, 91);
    Label1->setGeometry(11, 8, 297, 14);
    Edit1->setGeometry(11, 24, 297, 21);
    Edit1->setFrame(false);
    bitbtn1->setGeometry(87, 58, 69, 23);
    bitbtn2->setGeometry(163, 58, 69, 23);
    bitbtn1->setDefault(true);

    connect(bitbtn1, &QPushButton::clicked, this, &TFsaveproj::bitbtn1Click);
    connect(bitbtn2, &QPushButton::clicked, this, &TFsaveproj::bitbtn2Click);
}

void TFsaveproj::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TFsaveproj::FormShow() {
    setWindowTitle(QStringLiteral("New project"));
    Edit1->clear();
    Edit1->setFocus();
}

void TFsaveproj::bitbtn1Click() {
    guarded(messages_, [this] {
        gate_ = true;
        const auto outcome = workspace_.createProject(destination, Edit1->text().toStdString());
        for (const auto& message : outcome.messages)
            messages_.plain(QString::fromStdString(message));
        gate_ = outcome.created;
        if (gate_) done(QDialog::Accepted);
    });
}

void TFsaveproj::bitbtn2Click() {
    gate_ = true;
    done(QDialog::Rejected);
}

void TFsaveproj::reject() {
    if (gate_) QDialog::reject();
}

}  // namespace velmora::ui
