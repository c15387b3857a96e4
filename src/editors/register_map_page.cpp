#include "editors/register_map_page.h"

#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStringListModel>
#include <limits>

#include "editors/register_map_lists.h"
#include "ui/messages.h"
#include "ui/naming.h"

namespace velmora::ui {

namespace {

// What tells the two pages apart.
struct PageFormat {
    const char* caption;
    const char* byteHeading;
    const char* registerList;
    const char* nodeList;
    const char* indexField;
    const char* highSelector;
    const char* lowSelector;
    const char* deleteButton;
    const char* newButton;
    const char* modifyButton;
    const char* copyButton;
    const char* pasteButton;
    int nodeListColumns;
};

constexpr PageFormat kReadPage{" Modbus Register in Read ",
                               "N Byte OUT",
                               "LIndMbNDRead",
                               "LDNByteRead",
                               "EIndexRead",
                               "CB_HB",
                               "CB_LB",
                               "DELETEa_R",
                               "NewA_R",
                               "ModifyA_R",
                               "copyA_R",
                               "PasteA_R",
                               1};
constexpr PageFormat kWritePage{" Modbus Register in Write ",
                                "N Byte IN",
                                "LIndMbNDWrite",
                                "LDNByteWrite",
                                "EIndexWrite",
                                "CB_HB_W",
                                "CB_LB_W",
                                "DELETEa_W",
                                "NewA_W",
                                "ModifyA_W",
                                "copyA_W",
                                "PasteA_W",
                                2};

const PageFormat& formatOf(MapSide side) { return side == MapSide::Read ? kReadPage : kWritePage; }

constexpr char kSelectBytesMessage[] = "Select the high and the low MODBUS byte.";
constexpr int kListTop = 36;
constexpr int kListHeight = 418;
constexpr int kNodeListWidth = 168;
constexpr int kRightColumn = 312;

QLabel* label(const QString& text, QWidget* parent, int x, int y) {
    auto* l = new QLabel(text, parent);
    l->move(x, y);
    l->adjustSize();
    return l;
}

QPushButton* button(const char* text, const char* name, QWidget* parent, int x, int y) {
    auto* b = named(new QPushButton(QString::fromLatin1(text), parent), name);
    b->setFlat(true);
    b->setAutoDefault(false);
    b->setGeometry(x, y, 57, 25);
    return b;
}

// A choice-only byte selector whose items come from a string list model, so that refilling it
// with thousands of items costs one model reset.
QComboBox* selector(const char* name, QWidget* parent) {
    auto* box = named(new QComboBox(parent), name);
    box->setModel(new QStringListModel(box));
    box->setEditable(false);
    box->setGeometry(8, 50, 120, 22);
    // The width comes from the geometry, never from measuring every item.
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    return box;
}

QGroupBox* byteGroup(const char* caption, const char* byteText, QComboBox*& box,
                     const char* boxName, QWidget* parent, int y) {
    auto* group = new QGroupBox(QString::fromLatin1(caption), parent);
    group->setGeometry(kRightColumn, y, 177, 80);
    label(QStringLiteral("Translate in "), group, 8, 18);
    QLabel* bytes = label(QString::fromLatin1(byteText), group, 8, 32);
    box = selector(boxName, group);
    labelFor(bytes, box);
    return group;
}

// "None", then "Byte1".."Byte<count>".
QStringList byteChoiceItems(std::int32_t count) {
    QStringList items;
    items.reserve(count + 1);
    items.append(QStringLiteral("None"));
    for (std::int32_t k = 1; k <= count; ++k) items.append(QStringLiteral("Byte%1").arg(k));
    return items;
}

void selectChoice(QComboBox* box, std::int32_t choice) {
    box->setCurrentIndex(choice >= 0 && choice < box->count() ? choice : -1);
}

int selectedRow(const QListWidget* list) {
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.front());
}

QString registerItem(const char* prefix, std::size_t number) {
    return QString::fromLatin1(prefix) + QString::number(number);
}

}  // namespace

RegisterMapPage::RegisterMapPage(MapSide side, RegisterMap& map, RegisterClip& clip,
                                 MessageSink& messages, QWidget* parent)
    : QWidget(parent), side_(side), map_(map), clip_(clip), messages_(messages) {
    const PageFormat& format = formatOf(side);

    QLabel* modbus = label(QStringLiteral("MODBUS"), this, 8, kListTop - 16);
    LIndMbND = registerMapList(format.registerList, this, QRect(8, kListTop, 120, kListHeight), 1);
    labelFor(modbus, LIndMbND);

    label(QStringLiteral("Correlated"), this, 136, kListTop - 32);
    QLabel* heading = label(QStringLiteral(" ID") + QString(16, QLatin1Char(' ')) +
                                QString::fromLatin1(format.byteHeading),
                            this, 136, kListTop - 16);
    LDNByte =
        registerMapList(format.nodeList, this, QRect(136, kListTop, kNodeListWidth, kListHeight),
                        format.nodeListColumns, true);
    labelFor(heading, LDNByte);

    QLabel* indexLabel = label(QStringLiteral("Index MODBUS"), this, kRightColumn, kListTop);
    EIndex = named(new QLineEdit(this), format.indexField);
    EIndex->setGeometry(kRightColumn, kListTop + 16, 120, 21);
    // The index is stored exactly as typed: no length limit cuts it.
    EIndex->setMaxLength(std::numeric_limits<int>::max());
    labelFor(indexLabel, EIndex);

    byteGroup(" Select High Byte ", "High MODBUS Byte", CB_HB, format.highSelector, this, 84);
    byteGroup(" Select Low Byte ", "Low MODBUS Byte", CB_LB, format.lowSelector, this, 172);

    DELETEa = button("Delete", format.deleteButton, this, kRightColumn, 262);
    NewA = button("New", format.newButton, this, kRightColumn + 60, 262);
    ModifyA = button("Modify", format.modifyButton, this, kRightColumn + 120, 262);
    copyA = button("Copy", format.copyButton, this, kRightColumn + 120, 293);
    PasteA = button("Paste", format.pasteButton, this, kRightColumn + 120, 324);

    // Enter in the fields that make up a register takes that register, as New does, and keeps
    // the dialog open for the next one; anywhere else Enter confirms the dialog as OK. Closing
    // there would leave the typed register out of the map without a word.
    for (QWidget* field : {static_cast<QWidget*>(EIndex), static_cast<QWidget*>(CB_HB),
                           static_cast<QWidget*>(CB_LB)}) {
        field->installEventFilter(this);
    }
    onItemSelected(LDNByte, [this] { LDNByteClick(); });
    onItemSelected(LIndMbND, [this] { LIndMbNDClick(); });
    connect(DELETEa, &QPushButton::clicked, this, [this] { DELETEaClick(); });
    connect(NewA, &QPushButton::clicked, this, [this] { NewAClick(); });
    connect(ModifyA, &QPushButton::clicked, this, [this] { ModifyAClick(); });
    connect(copyA, &QPushButton::clicked, this, [this] { copyAClick(); });
    connect(PasteA, &QPushButton::clicked, this, [this] { PasteAClick(); });
}

bool RegisterMapPage::eventFilter(QObject*, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
    // A held key adds once, not once per repeat.
    if (!key->isAutoRepeat()) NewA->click();
    return true;
}

QString RegisterMapPage::caption() const { return QString::fromLatin1(formatOf(side_).caption); }

DNNodeList* RegisterMapPage::nodes() const {
    return map_.nodeLists ? &map_.nodeLists->list(side_) : nullptr;
}

int RegisterMapPage::selectedNode() const { return selectedRow(LDNByte); }

int RegisterMapPage::selectedRegister() const {
    return selectedNode() < 0 ? -1 : selectedRow(LIndMbND);
}

void RegisterMapPage::clear() {
    const QSignalBlocker blockNodes(LDNByte);
    const QSignalBlocker blockRegisters(LIndMbND);
    LDNByte->clear();
    LIndMbND->clear();
    EIndex->clear();
}

void RegisterMapPage::showNodes() {
    const QSignalBlocker block(LDNByte);
    QStringList items;
    if (const DNNodeList* list = nodes()) {
        for (const TClDNNode& node : *list) {
            items.append(QString::fromStdString(node.IDText) + QLatin1Char('\t') +
                         QString::fromStdString(node.NByteText));
        }
    }
    LDNByte->addItems(items);
    // The whole text, should a typed ID still crowd the count out of a narrow column.
    for (int row = 0; row < LDNByte->count(); ++row) {
        QListWidgetItem* item = LDNByte->item(row);
        item->setToolTip(item->text().replace(QLatin1Char('\t'), QLatin1Char(' ')));
    }
}

bool RegisterMapPage::nodeItemFits(const QString& text) const {
    return listItemFits(LDNByte, text);
}

void RegisterMapPage::LDNByteClick() {
    const int row = selectedNode();
    if (row < 0) return;
    guarded(messages_, [&] {
        const TClDNNode& node = nodes()->at(static_cast<std::size_t>(row));
        showRegisters();
        EIndex->clear();
        FillByteChoices(node);
    });
}

void RegisterMapPage::showRegisters() {
    const int row = selectedNode();
    if (row < 0 || !nodes()) return;
    const TClDNNode& node = nodes()->at(static_cast<std::size_t>(row));
    const QSignalBlocker block(LIndMbND);
    LIndMbND->clear();
    QStringList items;
    items.reserve(static_cast<qsizetype>(node.IndMBList.size()));
    for (std::size_t position = 0; position < node.IndMBList.size(); ++position) {
        items.append(registerItem("Ind MB ", position));
    }
    LIndMbND->addItems(items);
}

void RegisterMapPage::LIndMbNDClick() {
    const int row = selectedRegister();
    if (row < 0) return;
    guarded(messages_, [&] {
        const TClDNNode& node = nodes()->at(static_cast<std::size_t>(selectedNode()));
        const TClIndMB& entry = node.IndMBList.at(static_cast<std::size_t>(row));
        EIndex->setText(QString::fromStdString(entry.Index()));
        FillByteChoices(node);
        selectChoices(posCompTextChoices(entry.PosComp()));
    });
}

void RegisterMapPage::FillByteChoices(const TClDNNode& node) {
    const QStringList items = byteChoiceItems(byteChoiceCount(node.NByte));
    for (QComboBox* box : {CB_HB, CB_LB}) {
        static_cast<QStringListModel*>(box->model())->setStringList(items);
        box->setCurrentIndex(0);
    }
}

std::optional<std::string> RegisterMapPage::checkedIndex(int exceptNode, int exceptEntry) const {
    const std::string index = EIndex->text().toStdString();
    const bool inUse = IndexInUse(*nodes(), index, exceptNode, exceptEntry);
    if (inUse) messages_.plain(QString::fromUtf8(kIndexInUseMessage));
    if (inUse || !IndexInRange(index)) return std::nullopt;
    return index;
}

std::optional<std::string> RegisterMapPage::selectedPosComp() const {
    auto posComp = posCompText(CB_HB->currentIndex(), CB_LB->currentIndex());
    // A register without a byte choice would be packed into a value the device misreads.
    if (!posComp) messages_.plain(QString::fromLatin1(kSelectBytesMessage));
    return posComp;
}

void RegisterMapPage::NewAClick() {
    const int nodeRow = selectedNode();
    if (nodeRow < 0) return;
    guarded(messages_, [&] {
        const auto index = checkedIndex(-1, -1);
        if (!index) return;
        const auto posComp = selectedPosComp();
        if (!posComp) return;
        {
            const QSignalBlocker block(LIndMbND);
            LIndMbND->addItem(registerItem("Ind Mb ", static_cast<std::size_t>(LIndMbND->count())));
            LIndMbND->setCurrentRow(LIndMbND->count() - 1);
        }
        nodes()->at(static_cast<std::size_t>(nodeRow)).appendEntry(TClIndMB(*index, *posComp));
    });
}

void RegisterMapPage::ModifyAClick() {
    const int row = selectedRegister();
    if (row < 0) return;
    guarded(messages_, [&] {
        const int nodeRow = selectedNode();
        const auto index = checkedIndex(nodeRow, row);
        if (!index) return;
        const auto posComp = selectedPosComp();
        if (!posComp) return;
        nodes()
            ->at(static_cast<std::size_t>(nodeRow))
            .replaceEntry(static_cast<std::size_t>(row), *index, *posComp);
    });
}

void RegisterMapPage::DELETEaClick() {
    const int row = selectedRegister();
    if (row < 0) return;
    guarded(messages_, [&] {
        nodes()
            ->at(static_cast<std::size_t>(selectedNode()))
            .removeEntry(static_cast<std::size_t>(row));
        const QSignalBlocker block(LIndMbND);
        delete LIndMbND->takeItem(row);
        LIndMbND->clearSelection();
    });
}

void RegisterMapPage::copyAClick() {
    clip_.ClipIndex = EIndex->text().toStdString();
    clip_.ClipChoices = PosCompChoices{CB_HB->currentIndex(), CB_LB->currentIndex()};
}

void RegisterMapPage::PasteAClick() {
    EIndex->setText(QString::fromStdString(clip_.ClipIndex));
    // Before any Copy the buffer holds no choices: both selectors then show "None".
    selectChoices(clip_.ClipChoices.value_or(PosCompChoices{}));
}

void RegisterMapPage::selectChoices(PosCompChoices choices) {
    selectChoice(CB_HB, choices.high);
    selectChoice(CB_LB, choices.low);
}

}  // namespace velmora::ui
