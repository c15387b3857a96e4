#pragma once

#include <QDialog>
#include <filesystem>
#include <functional>
#include <memory>

#include "update/comm_port.h"
#include "update/port_discovery.h"
#include "update/updater_command.h"

class QCheckBox;
class QComboBox;
class QCloseEvent;
class QLabel;
class QPushButton;
class QShowEvent;
class QWidget;

namespace velmora::ui {

class MessageSink;
class UpdateWaitWindow;

// The folders the updater's command line names, taken from the workspace when they are needed.
struct UpdatePlaces {
    // The executable's folder, where the updater is looked for first.
    std::filesystem::path programDir;
    // The installation folder, where the updater is looked for next.
    std::filesystem::path appDir;
    std::filesystem::path masterDir;
    std::filesystem::path projectDir;
};

// How the dialog reaches the serial ports: the port layer under Comm1 and the lister behind
// EnumerateComPorts.
struct PortAccess {
    std::shared_ptr<PortLayer> layer;
    PortLister list;
};

// The ports of the machine: the platform's port layer and discovery.
PortAccess systemPorts();

// "Update Firmware from Serial (RS232)": boot-mode steps and the port test, then the update
// options and the updater. Created once; the options are kept for the whole run.
class TFBootSer : public QDialog {
    Q_OBJECT

public:
    TFBootSer(std::function<UpdatePlaces()> places, MessageSink& messages,
              QWidget* parent = nullptr, PortAccess ports = systemPorts());

    // Every showing: the instruction page, PortTested cleared, the port list probed again.
    void FormShow();
    // Fills CB_Com with the ports present and selects the first.
    void RefreshComPortList();
    // "Connect": closes the port, then opens the chosen one with DTR asserted; PortTested
    // tells whether that worked, "Error!! Com Port cannot be open." when not.
    void connectButtonClick();
    // "Next": "Select one port." without a tested port; otherwise the options page, and the
    // port is closed for the updater.
    void nextButtonClick();
    // "Execute update firmware": starts the updater with the options of the moment and waits
    // for it in front of the wait window; one that cannot be started is shown in an error box.
    void executeButtonClick();
    // The options as the check boxes hold them.
    UpdateOptions chosenOptions() const;

    QWidget* instructionPage;
    QLabel* title;
    QLabel* step1;
    QLabel* step2;
    QLabel* step3;
    QLabel* step4;
    QLabel* step5;
    QComboBox* CB_Com;
    QPushButton* updateList;
    QPushButton* connectButton;
    QPushButton* cancelButton;
    QPushButton* nextButton;

    QWidget* optionsPage;
    QLabel* optionsTitle;
    QCheckBox* firmware;
    QCheckBox* readFirmware;
    QCheckBox* project;
    QCheckBox* readProject;
    QWidget* hiddenRow;
    QCheckBox* parameter;
    QCheckBox* listPgn;
    QPushButton* executeButton;

    UpdateWaitWindow* waitWindow;

    // True after a successful "Connect" in this showing.
    bool PortTested = false;
    // The port under test.
    TComm Comm1;

public slots:
    // Every way of closing the dialog releases the port.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    std::function<UpdatePlaces()> places_;
    MessageSink& messages_;
    PortLister list_;
};

}  // namespace velmora::ui
