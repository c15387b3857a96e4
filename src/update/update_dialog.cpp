#include "update/update_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

#include "core/path_text.h"
#include "ui/look.h"
#include "ui/messages.h"
#include "ui/naming.h"
#include "update/port_discovery.h"
#include "update/run_and_wait.h"
#include "update/update_wait_window.h"

namespace velmora::ui {

namespace {

constexpr int kClientWidth = 358;
constexpr int kClientHeight = 210;

QLabel* line(const char* text, QWidget* parent, int x, int y, bool bold = false) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    // Plain text keeps every blank as written.
    label->setTextFormat(Qt::PlainText);
    if (bold) label->setFont(lookFont(8, true));
    label->move(x, y);
    label->adjustSize();
    return label;
}

QPushButton* button(const char* text, const char* icon, QWidget* parent, int x, int y, int width) {
    auto* b = new QPushButton(QString::fromUtf8(text), parent);
    if (icon) b->setIcon(lookIcon(QString::fromLatin1(icon)));
    b->setFlat(true);
    b->setGeometry(x, y, width, 26);
    return b;
}

QCheckBox* option(const char* text, QWidget* parent, int x, int y) {
    auto* box = new QCheckBox(QString::fromUtf8(text), parent);
    box->setChecked(true);
    box->move(x, y);
    box->adjustSize();
    return box;
}

}  // namespace

PortAccess systemPorts() { return {defaultPortLayer(), systemPortNames}; }

TFBootSer::TFBootSer(std::function<UpdatePlaces()> places, MessageSink& messages, QWidget* parent,
                     PortAccess ports)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      Comm1(std::move(ports.layer)),
      places_(std::move(places)),
      messages_(messages),
      list_(std::move(ports.list)) {
    setObjectName(QStringLiteral("FBootSer"));
    setWindowTitle(QStringLiteral("Update Firmware from Serial (RS232)"));
    setModal(true);
    setFixedSize(kClientWidth, kClientHeight);
    applyLook(*this);

    instructionPage = new QWidget(this);
    instructionPage->setGeometry(0, 0, kClientWidth, kClientHeight);
    title = line("Follow these steps for update the QH48203 from RS232:", instructionPage, 10, 8);
    step1 = line("1 - Turn OFF the Device", instructionPage, 18, 30);
    step2 = line("2 - Insert the Boot Jumper (see the manual)", instructionPage, 18, 48);
    step3 = line("3 - Select the  COM port and press the connect button", instructionPage, 18, 66);
    CB_Com = named(new QComboBox(instructionPage), "CB_Com");
    CB_Com->setEditable(false);  // a port is chosen from the list, never typed
    CB_Com->setGeometry(30, 86, 150, 24);
    labelFor(step3, CB_Com);
    updateList = button("", "refresh", instructionPage, 186, 85, 28);
    updateList->setToolTip(QStringLiteral("Update COM Port List"));
    updateList->setAccessibleName(QStringLiteral("Update COM Port List"));
    connectButton = button("Connect", nullptr, instructionPage, 220, 85, 80);
    step4 = line("4 - Turn ON the Device", instructionPage, 18, 120);
    step5 = line("5 - Check the BOOT led. It must blink quickly", instructionPage, 18, 138);
    cancelButton = button("Cancel", "cancel", instructionPage, 176, 174, 80);
    nextButton = button("Next", "next", instructionPage, 264, 174, 80);
    nextButton->setLayoutDirection(Qt::RightToLeft);  // its picture on the right of the text

    // The options page covers the whole client area once shown; its own background hides
    // what lies beneath.
    optionsPage = new QWidget(this);
    optionsPage->setAutoFillBackground(true);
    optionsPage->setGeometry(0, 0, kClientWidth, kClientHeight);
    optionsTitle = line("Update Device Options", optionsPage, 10, 8, true);
    firmware = option("Firmware", optionsPage, 18, 34);
    readFirmware = option("Read Firmware when finish", optionsPage, 38, 54);
    project = option("Project", optionsPage, 18, 80);
    readProject = option("Read Project when finish", optionsPage, 38, 100);
    // Present but never shown and never read.
    hiddenRow = new QWidget(optionsPage);
    hiddenRow->setGeometry(18, 124, 300, 22);
    hiddenRow->setEnabled(false);
    parameter = option("Parameter", hiddenRow, 0, 0);
    listPgn = option("List PGN", hiddenRow, 120, 0);
    parameter->setVisible(false);
    listPgn->setVisible(false);
    executeButton = button("Execute update firmware", "update", optionsPage, 89, 166, 180);
    optionsPage->hide();

    waitWindow = new UpdateWaitWindow(this);

    for (QPushButton* b : {connectButton, cancelButton, nextButton, executeButton}) {
        b->setAccessibleName(b->text());
    }
    connect(updateList, &QPushButton::clicked, this,
            [this] { guarded(messages_, [this] { RefreshComPortList(); }); });
    connect(connectButton, &QPushButton::clicked, this, &TFBootSer::connectButtonClick);
    connect(cancelButton, &QPushButton::clicked, this, &TFBootSer::reject);
    connect(nextButton, &QPushButton::clicked, this, &TFBootSer::nextButtonClick);
    connect(executeButton, &QPushButton::clicked, this, &TFBootSer::executeButtonClick);
}

void TFBootSer::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A window system's own show (restoring a minimised window) is not a new showing.
    if (event->spontaneous()) return;
    centreOnScreen(*this);
    FormShow();
}

void TFBootSer::FormShow() {
    optionsPage->hide();
    instructionPage->show();
    PortTested = false;
    guarded(messages_, [this] { RefreshComPortList(); });
}

void TFBootSer::RefreshComPortList() {
    if (UpdateWaitWindow::waiting()) return;
    CB_Com->clear();
    for (const std::string& port : EnumerateComPorts(list_))
        CB_Com->addItem(QString::fromStdString(port));
    CB_Com->setCurrentIndex(CB_Com->count() > 0 ? 0 : -1);
}

void TFBootSer::connectButtonClick() {
    if (UpdateWaitWindow::waiting()) return;
    guarded(messages_, [this] {
        PortTested = false;
        Comm1.Close();
        try {
            Comm1.setDeviceName(CB_Com->currentText().toStdString());
            Comm1.Open();
            Comm1.SetDTR(true);
            PortTested = true;
        } catch (const ECommError&) {
            // The component's own text stays inside: the user sees the dialog's message.
            messages_.error(QStringLiteral("Error!! Com Port cannot be open."));
        }
    });
}

void TFBootSer::nextButtonClick() {
    if (UpdateWaitWindow::waiting()) return;
    guarded(messages_, [this] {
        if (!PortTested) {
            messages_.error(QStringLiteral("Select one port."));
            return;
        }
        // There is no way back in this showing: the instruction page's controls go entirely,
        // so not even the keyboard reaches "Connect" beneath the options.
        instructionPage->hide();
        optionsPage->move(0, 0);
        optionsPage->raise();
        optionsPage->show();
        Comm1.Close();  // the updater needs the port free
    });
}

UpdateOptions TFBootSer::chosenOptions() const {
    return {firmware->isChecked(), readFirmware->isChecked(), project->isChecked(),
            readProject->isChecked()};
}

void TFBootSer::executeButtonClick() {
    if (UpdateWaitWindow::waiting()) return;
    guarded(messages_, [this] {
        const UpdatePlaces places = places_();
        const UpdaterArguments arguments =
            updaterArguments(CB_Com->currentText().toStdString(), chosenOptions(),
                             pathText(places.masterDir), pathText(places.projectDir));
        const std::filesystem::path program = findUpdater(places.programDir, places.appDir);
        const QString name = QString::fromStdString(pathText(program.filename()));
        try {
            UpdaterProcess process(program, arguments);
            waitWindow->wait(process, name);
        } catch (const StartError& e) {
            messages_.error(QString::fromStdString(e.what()));
        }
    });
}

void TFBootSer::done(int result) {
    // The dialog stays while the updater is waited for.
    if (UpdateWaitWindow::waiting()) return;
    Comm1.Close();
    QDialog::done(result);
}

void TFBootSer::closeEvent(QCloseEvent* event) {
    if (UpdateWaitWindow::waiting()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

}  // namespace velmora::ui
