#pragma once

#include <QDialog>

#include "documents/auto_map.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velmora::ui {

class MessageSink;

// "Auto Map": asks which maps an auto map makes, from which index each starts, the byte order
// and whether the registers already made stay. Created once by the register map dialog; the
// choices stay from one showing to the next.
class TFAutoMap : public QDialog {
    Q_OBJECT

public:
    explicit TFAutoMap(MessageSink& messages, QWidget* parent = nullptr);

    // The choices as the controls show them; meaningful after OK.
    AutoMapOptions options() const;

    // Checks the choices (a map chosen, each chosen start an index from 0 to 65535) and closes
    // with OK; otherwise says what is wrong and stays open.
    void bitbtn1Click();
    // Closes with Cancel.
    void bitbtn2Click() { done(QDialog::Rejected); }

    QCheckBox* CB_Read;
    QCheckBox* CB_Write;
    QLineEdit* E_ReadStart;
    QLineEdit* E_WriteStart;
    QRadioButton* RB_FirstLow;
    QRadioButton* RB_FirstHigh;
    QRadioButton* RB_Add;
    QRadioButton* RB_Replace;
    QPushButton* bitbtn1;
    QPushButton* bitbtn2;

private:
    MessageSink& messages_;
};

}  // namespace velmora::ui
