#pragma once

#include <QDialog>
#include <filesystem>
#include <functional>
#include <vector>

class QButtonGroup;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QShowEvent;

namespace velmora {
struct CommField;
struct CommSettings;
}  // namespace velmora

namespace velmora::ui {

class MessageSink;

// "SET COMMUNICATION": edits the project's communication settings document. Created once;
// every showing starts from the defaults and the document at the path of that moment.
class TFpargen : public QDialog {
    Q_OBJECT

public:
    TFpargen(std::function<std::filesystem::path()> parGenFile, MessageSink& messages,
             QWidget* parent = nullptr);

    // Shows the defaults, then the values of the document; an unreadable document is reported
    // and leaves the defaults.
    void FormShow();
    // OK: the first failing ID check is shown in an error box; otherwise writes the document
    // and closes with Accepted. A failed save is reported and keeps the dialog open.
    void BitBtn1Click();

    QLineEdit* E_DNET_ID;
    QComboBox* CB_DNET_Baud;
    QRadioButton* RB_Ser_232;
    QRadioButton* RB_Ser_485;
    QComboBox* CB_Ser_Baud;
    QComboBox* CB_Ser_Par;
    QLineEdit* E_Ser_ID;
    QRadioButton* RB_Ser_MRTU;
    QRadioButton* RB_Ser_MASC;
    QRadioButton* RB_Ser_JBUS;
    QRadioButton* RB_Ser_BIN;
    QRadioButton* RB_Ser_ASC;
    QRadioButton* RB_HWType_A1;
    QRadioButton* RB_HWType_B2;
    QPushButton* bitbtn1;
    QPushButton* bitbtn2;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showSettings(const CommSettings& settings);
    CommSettings enteredSettings() const;

    std::function<std::filesystem::path()> parGenFile_;
    MessageSink& messages_;
    // The radio choices, each button's id its stored value.
    QButtonGroup* lineButtons_;
    QButtonGroup* protocolButtons_;
    QButtonGroup* hardwareButtons_;
    // Each value of the document with the control that edits it: a typed text's field, a list's
    // box or a list's radio choice.
    struct Control {
        const CommField* field;
        QLineEdit* edit = nullptr;
        QComboBox* box = nullptr;
        QButtonGroup* choice = nullptr;
    };
    std::vector<Control> controls_;
};

}  // namespace velmora::ui
