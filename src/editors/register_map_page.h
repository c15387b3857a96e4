#pragma once

#include <QWidget>
#include <optional>
#include <string>

#include "documents/register_map.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace velmora::ui {

class MessageSink;

// The copy buffer of the register map dialog: one for both pages, kept for the whole run.
// The byte choices are kept as the selectors showed them, -1 for a selector without a selection,
// and not packed: a packed -1 would come back as another byte.
struct RegisterClip {
    std::string ClipIndex;
    std::optional<PosCompChoices> ClipChoices;  // none until the first Copy
};

// One page of the register map dialog: the registers of one side of the map, node by node.
// The read and the write page are two of these; they differ only in their side, their control
// names and their captions.
class RegisterMapPage : public QWidget {
public:
    // Works on `map`'s node list of `side`; `clip` is shared with the other page.
    RegisterMapPage(MapSide side, RegisterMap& map, RegisterClip& clip, MessageSink& messages,
                    QWidget* parent = nullptr);

    // The tab caption: " Modbus Register in Read " or " Modbus Register in Write ".
    QString caption() const;

    // Empties the node and register lists and the index field; the byte selectors stay.
    void clear();
    // One node list item per node of the page's side: ID text, a tab, byte count text; the
    // item's tooltip holds the same two texts.
    void showNodes();
    // Whether a node list item with `text` is drawn whole inside its column.
    bool nodeItemFits(const QString& text) const;

    // A node selected (click or keyboard): its registers listed, its byte choices offered.
    void LDNByteClick();
    // The selected node's registers listed afresh ("Ind MB " + position), nothing selected; the
    // index field and the selectors stay.
    void showRegisters();
    // A register selected: its index and byte choices shown.
    void LIndMbNDClick();
    // "None" and "Byte1".."ByteN" in both selectors, N the node's byte count (at most 65,535),
    // "None" selected.
    void FillByteChoices(const TClDNNode& node);
    // Adds a register to the selected node after the index and byte selection checks.
    void NewAClick();
    // Changes the selected register after the same checks, excepting itself.
    void ModifyAClick();
    // Removes the selected register; the other items keep their texts.
    void DELETEaClick();
    // Puts the index field and the two byte choices, blank ones too, into the copy buffer.
    void copyAClick();
    // Fills the index field and the selectors from the copy buffer.
    void PasteAClick();

    // The register list ("Ind MB " + position), LIndMbNDRead or LIndMbNDWrite.
    QListWidget* LIndMbND;
    // The node list, LDNByteRead or LDNByteWrite.
    QListWidget* LDNByte;
    // The index field, EIndexRead or EIndexWrite.
    QLineEdit* EIndex;
    // The high and low byte selectors: CB_HB and CB_LB, or CB_HB_W and CB_LB_W.
    QComboBox* CB_HB;
    QComboBox* CB_LB;
    QPushButton* DELETEa;
    QPushButton* NewA;
    QPushButton* ModifyA;
    QPushButton* copyA;
    QPushButton* PasteA;

protected:
    // Enter in the index field or a byte selector adds the register as New does.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The page's node list; null when the DeviceNet document gave none.
    DNNodeList* nodes() const;
    // The selected node and register positions, or -1.
    int selectedNode() const;
    int selectedRegister() const;
    // The index field's text when it passes the index checks of New or Modify, excepting the
    // register at (exceptNode, exceptEntry).
    std::optional<std::string> checkedIndex(int exceptNode, int exceptEntry) const;
    // The selectors' PosComp text, or nothing after saying that a byte is not selected.
    std::optional<std::string> selectedPosComp() const;
    // Selects `choices` in the selectors; a choice without an item leaves no selection.
    void selectChoices(PosCompChoices choices);

    MapSide side_;
    RegisterMap& map_;
    RegisterClip& clip_;
    MessageSink& messages_;
};

}  // namespace velmora::ui
