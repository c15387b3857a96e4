#include "editors/auto_map_dialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "documents/integer_text.h"
#include "ui/look.h"
#include "ui/messages.h"
#include "ui/naming.h"

namespace velmora::ui {

namespace {

constexpr int kWidth = 330;
constexpr int kHeight = 268;
constexpr char kNoMapMessage[] = "Choose the read page, the write page or both.";
constexpr char kStartMessage[] = "A start index must be a number from 0 to 65535.";

template <class Control>
Control* control(Control* widget, const char* name, QRect geometry) {
    named(widget, name)->setGeometry(geometry);
    // A control with its own text is named by it for a screen reader.
    if constexpr (requires { widget->text(); }) widget->setAccessibleName(widget->text());
    return widget;
}

QLabel* label(const char* text, QWidget* parent, int x, int y) {
    auto* l = new QLabel(QString::fromLatin1(text), parent);
    l->move(x, y);
    l->adjustSize();
    return l;
}

QPushButton* button(const char* text, const char* name, const char* icon, QWidget* parent, int x) {
    auto* b = control(
        new QPushButton(lookIcon(QString::fromLatin1(icon)), QString::fromLatin1(text), parent),
        name, QRect(x, kHeight - 33, 80, 25));
    b->setFlat(true);
    return b;
}

// A start index field with its label as buddy; "0" until the user types another.
QLineEdit* startField(const char* labelText, const char* name, QWidget* parent, int y) {
    QLabel* l = label(labelText, parent, 150, y + 3);
    auto* field = control(new QLineEdit(QStringLiteral("0"), parent), name, QRect(260, y, 60, 21));
    labelFor(l, field);
    return field;
}

// The start index typed in `field`, when it is one.
std::optional<std::int32_t> startOf(const QLineEdit* field) {
    const auto value = parseIntegerText(field->text().toStdString());
    if (!value || *value < 0 || *value > kHighestAutoMapIndex) return std::nullopt;
    return value;
}

}  // namespace

TFAutoMap::TFAutoMap(MessageSink& messages, QWidget* parent)
    : QDialog(parent), messages_(messages) {
    setObjectName(QStringLiteral("FAutoMap"));
    setWindowTitle(QStringLiteral("Auto Map"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(kWidth, kHeight);
    applyLook(*this);

    CB_Read = control(new QCheckBox(QStringLiteral("Read page"), this), "CB_Read",
                      QRect(10, 10, 130, 21));
    CB_Write = control(new QCheckBox(QStringLiteral("Write page"), this), "CB_Write",
                       QRect(10, 36, 130, 21));
    CB_Read->setChecked(true);
    CB_Write->setChecked(true);
    E_ReadStart = startField("Read start index", "E_ReadStart", this, 10);
    E_WriteStart = startField("Write start index", "E_WriteStart", this, 36);

    auto* order = new QGroupBox(QStringLiteral(" Byte order "), this);
    order->setGeometry(10, 66, kWidth - 20, 66);
    RB_FirstLow = control(new QRadioButton(QStringLiteral("First byte low"), order), "RB_FirstLow",
                          QRect(10, 18, 280, 21));
    RB_FirstHigh = control(new QRadioButton(QStringLiteral("First byte high"), order),
                           "RB_FirstHigh", QRect(10, 40, 280, 21));
    RB_FirstLow->setChecked(true);

    auto* mode = new QGroupBox(QStringLiteral(" Registers already made "), this);
    mode->setGeometry(10, 138, kWidth - 20, 86);
    RB_Add = control(
        new QRadioButton(QStringLiteral("Add only the bytes that no register carries yet"), mode),
        "RB_Add", QRect(10, 18, 290, 21));
    RB_Replace = control(new QRadioButton(QStringLiteral("Replace the whole map"), mode),
                         "RB_Replace", QRect(10, 40, 290, 21));
    RB_Add->setChecked(true);

    bitbtn1 = button("OK", "bitbtn1", "ok", this, 8);
    bitbtn2 = button("Cancel", "bitbtn2", "cancel", this, 96);
    bitbtn1->setDefault(true);
    bitbtn2->setAutoDefault(false);
    connect(bitbtn1, &QPushButton::clicked, this, [this] { bitbtn1Click(); });
    connect(bitbtn2, &QPushButton::clicked, this, [this] { bitbtn2Click(); });
}

AutoMapOptions TFAutoMap::options() const {
    AutoMapOptions options;
    options.read = CB_Read->isChecked();
    options.write = CB_Write->isChecked();
    options.readStart = startOf(E_ReadStart).value_or(0);
    options.writeStart = startOf(E_WriteStart).value_or(0);
    options.order = RB_FirstHigh->isChecked() ? AutoMapByteOrder::FirstByteHigh
                                              : AutoMapByteOrder::FirstByteLow;
    options.mode = RB_Replace->isChecked() ? AutoMapMode::Replace : AutoMapMode::AddMissing;
    return options;
}

void TFAutoMap::bitbtn1Click() {
    if (!CB_Read->isChecked() && !CB_Write->isChecked()) {
        messages_.plain(QString::fromLatin1(kNoMapMessage));
        return;
    }
    for (const auto& [chosen, field] : {std::pair{CB_Read->isChecked(), E_ReadStart},
                                        std::pair{CB_Write->isChecked(), E_WriteStart}}) {
        if (chosen && !startOf(field)) {
            messages_.plain(QString::fromLatin1(kStartMessage));
            field->setFocus();
            return;
        }
    }
    done(QDialog::Accepted);
}

}  // namespace velmora::ui
