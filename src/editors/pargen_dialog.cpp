#include "editors/pargen_dialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTimer>
#include <array>
#include <limits>
#include <string_view>

#include "documents/comm_lists.h"
#include "documents/comm_settings.h"
#include "ui/look.h"
#include "ui/messages.h"
#include "ui/naming.h"

namespace velmora::ui {

namespace {

constexpr int kClientWidth = 250;
constexpr int kClientHeight = 467;
constexpr int kFieldLeft = 100;
constexpr int kFieldWidth = 130;

// A field's label, naming it for a screen reader too.
QLabel* label(const char* text, QWidget* field, int x, int y) {
    auto* l = new QLabel(QString::fromUtf8(text), field->parentWidget());
    l->move(x, y);
    labelFor(l, field);
    return l;
}

QRadioButton* radio(std::string_view text, const char* name, QWidget* parent, int x, int y) {
    auto* button =
        named(new QRadioButton(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                               parent),
              name);
    button->move(x, y);
    return button;
}

// A box offering the items of `items`, each carrying its stored value as its data.
template <typename Meaning, std::size_t N>
QComboBox* list(const CommList<Meaning, N>& items, const char* name, QWidget* parent, int y) {
    auto* box = named(new QComboBox(parent), name);
    for (const auto& item : items.items) {
        box->addItem(
            QString::fromUtf8(item.label.data(), static_cast<qsizetype>(item.label.size())),
            item.value);
    }
    box->setGeometry(kFieldLeft, y, kFieldWidth, 22);
    return box;
}

// The radio buttons of `items`, in its order, as one choice answering the stored value.
template <typename Meaning, std::size_t N>
QButtonGroup* choice(const CommList<Meaning, N>& items, const std::array<QRadioButton*, N>& buttons,
                     QObject* owner) {
    auto* group = new QButtonGroup(owner);
    for (std::size_t i = 0; i < N; ++i) group->addButton(buttons[i], items.items[i].value);
    return group;
}

QLineEdit* edit(const char* name, QWidget* parent, int y) {
    auto* field = named(new QLineEdit(parent), name);
    field->setGeometry(kFieldLeft, y, kFieldWidth, 21);
    // A document's text is shown and written back whole: no length limit cuts it.
    field->setMaxLength(std::numeric_limits<int>::max());
    return field;
}

QPushButton* button(const char* text, const char* name, const char* icon, QWidget* parent, int x) {
    auto* b =
        named(new QPushButton(lookIcon(QString::fromLatin1(icon)), QString::fromUtf8(text), parent),
              name);
    b->setFlat(true);
    b->setGeometry(x, 428, 80, 30);
    return b;
}

QGroupBox* group(const char* caption, QWidget* parent, int x, int y, int width, int height) {
    auto* g = new QGroupBox(QString::fromUtf8(caption), parent);
    g->setGeometry(x, y, width, height);
    return g;
}

// The stored value of the chosen item, or kNoListItem. An editable box chooses the item its text
// names: typed text that names no item chooses none.
std::int32_t chosenValue(const QComboBox* box) {
    const int at = box->isEditable() ? box->findText(box->currentText(), Qt::MatchFixedString)
                                     : box->currentIndex();
    return at < 0 ? kNoListItem : box->itemData(at).toInt();
}

// The value of the checked button, or `none` while no button is checked.
std::int32_t checkedValue(const QButtonGroup* group, std::int32_t none) {
    const int id = group->checkedId();
    return id < 0 ? none : id;
}

// Checks the button of `value`; a value without a button leaves the choice as it is.
void check(const QButtonGroup* group, std::int32_t value) {
    if (QAbstractButton* button = group->button(value)) button->setChecked(true);
}

std::string typed(const QLineEdit* field) { return field->text().toStdString(); }

}  // namespace

TFpargen::TFpargen(std::function<std::filesystem::path()> parGenFile, MessageSink& messages,
                   QWidget* parent)
    : QDialog(parent), parGenFile_(std::move(parGenFile)), messages_(messages) {
    setObjectName(QStringLiteral("Fpargen"));
    setWindowTitle(QStringLiteral("SET COMMUNICATION"));
    // A small tool-window title bar without any button: OK and Cancel are the only ways out.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);
    setFixedSize(kClientWidth, kClientHeight);
    applyLook(*this);

    QGroupBox* dnet = group(" DeviceNet Master ", this, 8, 6, 234, 82);
    E_DNET_ID = edit("E_DNET_ID", dnet, 24);
    label("ID Dev.", E_DNET_ID, 12, 27);
    CB_DNET_Baud = list(kDnetBaudList, "CB_DNET_Baud", dnet, 51);
    label("Baud rate", CB_DNET_Baud, 12, 55);
    CB_DNET_Baud->setEditable(true);
    // Typing never adds an item: only the value of a listed item is stored.
    CB_DNET_Baud->setInsertPolicy(QComboBox::NoInsert);

    QGroupBox* serial = group(" Serial ", this, 8, 94, 234, 272);
    auto* lineType = new QFrame(serial);
    lineType->setFrameShape(QFrame::StyledPanel);
    lineType->setGeometry(12, 20, 210, 30);
    RB_Ser_232 = radio(kSerialLineList.items[0].label, "RB_Ser_232", lineType, 10, 6);
    RB_Ser_485 = radio(kSerialLineList.items[1].label, "RB_Ser_485", lineType, 110, 6);
    lineButtons_ = choice(kSerialLineList, {RB_Ser_232, RB_Ser_485}, this);
    CB_Ser_Baud = list(kSerialBaudList, "CB_Ser_Baud", serial, 58);
    label("Baudrate", CB_Ser_Baud, 12, 62);
    CB_Ser_Par = list(kSerialParityList, "CB_Ser_Par", serial, 86);
    label("Parity", CB_Ser_Par, 12, 90);
    E_Ser_ID = edit("E_Ser_ID", serial, 114);
    label("ID Dev.", E_Ser_ID, 12, 118);

    QGroupBox* protocol = group(" Protocol ", serial, 12, 144, 210, 118);
    RB_Ser_MRTU = radio(kSerialProtocolList.items[0].label, "RB_Ser_MRTU", protocol, 12, 18);
    RB_Ser_MASC = radio(kSerialProtocolList.items[1].label, "RB_Ser_MASC", protocol, 12, 37);
    RB_Ser_JBUS = radio(kSerialProtocolList.items[2].label, "RB_Ser_JBUS", protocol, 12, 56);
    RB_Ser_BIN = radio(kSerialProtocolList.items[3].label, "RB_Ser_BIN", protocol, 12, 75);
    RB_Ser_ASC = radio(kSerialProtocolList.items[4].label, "RB_Ser_ASC", protocol, 12, 94);
    protocolButtons_ = choice(
        kSerialProtocolList, {RB_Ser_MRTU, RB_Ser_MASC, RB_Ser_JBUS, RB_Ser_BIN, RB_Ser_ASC}, this);

    QGroupBox* hardware = group(" Hardware ", this, 8, 372, 234, 48);
    RB_HWType_A1 = radio(kHardwareList.items[0].label, "RB_HWType_A1", hardware, 12, 20);
    RB_HWType_B2 = radio(kHardwareList.items[1].label, "RB_HWType_B2", hardware, 120, 20);
    hardwareButtons_ = choice(kHardwareList, {RB_HWType_A1, RB_HWType_B2}, this);

    controls_ = {
        {&commField(&CommSettings::dnetDeviceId), E_DNET_ID},
        {&commField(kDnetBaudList), nullptr, CB_DNET_Baud},
        {&commField(kSerialBaudList), nullptr, CB_Ser_Baud},
        {&commField(kSerialParityList), nullptr, CB_Ser_Par},
        {&commField(&CommSettings::serialDeviceId), E_Ser_ID},
        {&commField(kSerialLineList), nullptr, nullptr, lineButtons_},
        {&commField(kSerialProtocolList), nullptr, nullptr, protocolButtons_},
        {&commField(kHardwareList), nullptr, nullptr, hardwareButtons_},
    };

    bitbtn1 = button("OK", "bitbtn1", "ok", this, 38);
    bitbtn1->setDefault(true);
    bitbtn2 = button("Cancel", "bitbtn2", "cancel", this, 132);
    connect(bitbtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(bitbtn2, &QPushButton::clicked, this, [this] { done(QDialog::Rejected); });
}

void TFpargen::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A window system's own show (restoring a minimised window) is not a new showing.
    if (event->spontaneous()) return;
    centreOnScreen(*this);
    FormShow();
    // Windows shows a tool window without activating it: its caption would stay grey and the
    // first keys would go to no field. Once it is on screen it takes the activation, as a
    // dialog does.
    QTimer::singleShot(0, this, [this] {
        if (!isVisible()) return;
        raise();
        activateWindow();
    });
}

void TFpargen::FormShow() {
    showSettings(CommSettings{});
    guarded(messages_, [this] { showSettings(readCommSettings(parGenFile_())); });
}

void TFpargen::BitBtn1Click() {
    guarded(messages_, [this] {
        const CommSettings settings = enteredSettings();
        if (const auto problem = commSettingsProblem(settings)) {
            messages_.error(QString::fromStdString(*problem));
            return;
        }
        writeCommSettings(settings, parGenFile_());
        done(QDialog::Accepted);
    });
}

void TFpargen::showSettings(const CommSettings& settings) {
    for (const Control& control : controls_) {
        const CommField& field = *control.field;
        if (control.edit != nullptr) {
            control.edit->setText(QString::fromStdString(settings.*field.text));
        } else if (control.box != nullptr) {
            // A value outside a list leaves it without an item and with an empty box.
            control.box->setCurrentIndex(control.box->findData(field.value(settings)));
        } else {
            check(control.choice, field.value(settings));
        }
    }
}

CommSettings TFpargen::enteredSettings() const {
    CommSettings settings;
    for (const Control& control : controls_) {
        const CommField& field = *control.field;
        if (control.edit != nullptr) {
            settings.*field.text = typed(control.edit);
        } else if (control.box != nullptr) {
            field.setValue(settings, chosenValue(control.box));
        } else {
            // While no button is checked, the first item.
            field.setValue(settings, checkedValue(control.choice, 0));
        }
    }
    return settings;
}

}  // namespace velmora::ui
