#pragma once

#include <QDialog>
#include <filesystem>
#include <functional>

#include "documents/register_map.h"
#include "editors/register_map_page.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QShowEvent;
class QTabWidget;

namespace velmora::ui {

class MessageSink;
class TFAutoMap;

// "Modbus Registers Definition": ties Modbus registers to DeviceNet node bytes on a read and a
// write page. Created once; every showing rebuilds the model from DNET_Net.xml and DefReg.xml,
// keeping only the copy buffer, the byte selectors and the page in front. OK rewrites DefReg.xml.
class TFInfopdoMB : public QDialog {
    Q_OBJECT

public:
    // The two paths are asked at every showing and every OK.
    TFInfopdoMB(std::function<std::filesystem::path()> dnetNetFile,
                std::function<std::filesystem::path()> defRegFile, MessageSink& messages,
                QWidget* parent = nullptr);

    // Empties the lists and index fields, loads the model (its reading messages shown here),
    // lists the nodes of both pages and focuses OK; nothing is selected.
    void FormShow();
    // Writes DefReg.xml from the model and closes with OK; a failed save is reported and the
    // dialog stays open.
    void bitbtn1Click();
    // Closes with Cancel; nothing is written.
    void bitbtn2Click();
    // "Auto Map…": asks for the auto map's choices and makes it on the model; the lists show the
    // result at once, and only OK writes it. Bytes that found no index are named.
    void AutoMapAClick();

    // Shows the auto map's dialog modally; by default its exec().
    using ModalRunner = std::function<void(QDialog& dialog)>;
    void setModalRunner(ModalRunner runner) { runModal_ = std::move(runner); }

    // The model of the current showing.
    const RegisterMap& registerMap() const { return map_; }

    QTabWidget* PageControl1;
    RegisterMapPage* TabRead;
    RegisterMapPage* TabWrite;
    QPushButton* bitbtn1;
    QPushButton* bitbtn2;
    QPushButton* AutoMapA;
    TFAutoMap* FAutoMap;

    // The controls of the read page, then of the write page, by their own names.
    QListWidget* LIndMbNDRead;
    QListWidget* LDNByteRead;
    QLineEdit* EIndexRead;
    QComboBox* CB_HB;
    QComboBox* CB_LB;
    QPushButton* DELETEa_R;
    QPushButton* NewA_R;
    QPushButton* ModifyA_R;
    QPushButton* copyA_R;
    QPushButton* PasteA_R;
    QListWidget* LIndMbNDWrite;
    QListWidget* LDNByteWrite;
    QLineEdit* EIndexWrite;
    QComboBox* CB_HB_W;
    QComboBox* CB_LB_W;
    QPushButton* DELETEa_W;
    QPushButton* NewA_W;
    QPushButton* ModifyA_W;
    QPushButton* copyA_W;
    QPushButton* PasteA_W;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::function<std::filesystem::path()> dnetNetFile_;
    std::function<std::filesystem::path()> defRegFile_;
    MessageSink& messages_;
    RegisterMap map_;
    RegisterClip clip_;
    ModalRunner runModal_;
};

}  // namespace velmora::ui
