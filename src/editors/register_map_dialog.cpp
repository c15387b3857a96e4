#include "editors/register_map_dialog.h"

#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <utility>

#include "documents/auto_map.h"
#include "editors/auto_map_dialog.h"
#include "ui/look.h"
#include "ui/messages.h"

namespace velmora::ui {

namespace {

constexpr int kClientWidth = 505;
constexpr int kClientHeight = 546;
constexpr int kBottomBarHeight = 41;

QPushButton* button(const char* text, const char* name, const char* icon, QWidget* parent, int x) {
    auto* b =
        new QPushButton(lookIcon(QString::fromLatin1(icon)), QString::fromLatin1(text), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setFlat(true);
    b->setGeometry(x, kClientHeight - kBottomBarHeight + 8, 80, 25);
    return b;
}

}  // namespace

TFInfopdoMB::TFInfopdoMB(std::function<std::filesystem::path()> dnetNetFile,
                         std::function<std::filesystem::path()> defRegFile, MessageSink& messages,
                         QWidget* parent)
    : QDialog(parent),
      dnetNetFile_(std::move(dnetNetFile)),
      defRegFile_(std::move(defRegFile)),
      messages_(messages),
      runModal_([](QDialog& dialog) { dialog.exec(); }) {
    setObjectName(QStringLiteral("FInfopdoMB"));
    setWindowTitle(QStringLiteral("INFOPDO"));
    // A fixed border whose only title bar button is the close box, which acts as Cancel.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);
    applyLook(*this);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(0, 0, kClientWidth, kClientHeight - kBottomBarHeight);
    // Made inside the dialog, so that each label is measured in the look's font: one measured
    // in the platform's narrower font first ("N Byte OUT" on Windows) would be cut.
    TabRead = new RegisterMapPage(MapSide::Read, map_, clip_, messages_, PageControl1);
    TabWrite = new RegisterMapPage(MapSide::Write, map_, clip_, messages_, PageControl1);
    for (RegisterMapPage* page : {TabRead, TabWrite}) PageControl1->addTab(page, page->caption());

    bitbtn1 = button("OK", "bitbtn1", "ok", this, 8);
    bitbtn2 = button("Cancel", "bitbtn2", "cancel", this, 96);
    // Enter confirms the map wherever no page field takes it (the index field and the byte
    // selectors add their register, as New does); it never drops the edits as Cancel would,
    // not even with the focus on Cancel.
    bitbtn1->setDefault(true);
    bitbtn2->setAutoDefault(false);
    connect(bitbtn1, &QPushButton::clicked, this, [this] { bitbtn1Click(); });
    connect(bitbtn2, &QPushButton::clicked, this, [this] { bitbtn2Click(); });

    // In the free room at the right of the bottom bar.
    AutoMapA = new QPushButton(QStringLiteral("Auto Map\u2026"), this);
    AutoMapA->setObjectName(QStringLiteral("AutoMapA"));
    AutoMapA->setAccessibleName(AutoMapA->text());
    AutoMapA->setFlat(true);
    AutoMapA->setAutoDefault(false);
    AutoMapA->setGeometry(kClientWidth - 8 - 96, kClientHeight - kBottomBarHeight + 8, 96, 25);
    FAutoMap = new TFAutoMap(messages_, this);
    connect(AutoMapA, &QPushButton::clicked, this, [this] { AutoMapAClick(); });

    LIndMbNDRead = TabRead->LIndMbND;
    LDNByteRead = TabRead->LDNByte;
    EIndexRead = TabRead->EIndex;
    CB_HB = TabRead->CB_HB;
    CB_LB = TabRead->CB_LB;
    DELETEa_R = TabRead->DELETEa;
    NewA_R = TabRead->NewA;
    ModifyA_R = TabRead->ModifyA;
    copyA_R = TabRead->copyA;
    PasteA_R = TabRead->PasteA;
    LIndMbNDWrite = TabWrite->LIndMbND;
    LDNByteWrite = TabWrite->LDNByte;
    EIndexWrite = TabWrite->EIndex;
    CB_HB_W = TabWrite->CB_HB;
    CB_LB_W = TabWrite->CB_LB;
    DELETEa_W = TabWrite->DELETEa;
    NewA_W = TabWrite->NewA;
    ModifyA_W = TabWrite->ModifyA;
    copyA_W = TabWrite->copyA;
    PasteA_W = TabWrite->PasteA;
}

void TFInfopdoMB::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A window system's own show (restoring a minimised window) is not a new showing.
    if (event->spontaneous()) return;
    centreOnScreen(*this);
    FormShow();
}

void TFInfopdoMB::FormShow() {
    TabRead->clear();
    TabWrite->clear();
    setWindowTitle(QStringLiteral("Modbus Registers Definition"));
    map_ = RegisterMap{};
    guarded(messages_, [this] {
        RegisterMapLoad load = LoadRegisterMap(dnetNetFile_(), defRegFile_());
        map_ = std::move(load.map);
        for (const std::string& message : load.messages) {
            messages_.plain(QString::fromStdString(message));
        }
    });
    TabRead->showNodes();
    TabWrite->showNodes();
    bitbtn1->setFocus();
}

void TFInfopdoMB::bitbtn1Click() {
    if (guarded(messages_, [this] { SaveRegisterMap(map_, defRegFile_()); })) {
        done(QDialog::Accepted);
    }
}

void TFInfopdoMB::bitbtn2Click() { done(QDialog::Rejected); }

void TFInfopdoMB::AutoMapAClick() {
    FAutoMap->setResult(0);  // as exec() does, so an earlier showing's result is not read again
    runModal_(*FAutoMap);
    if (FAutoMap->result() != QDialog::Accepted || !map_.nodeLists) return;
    guarded(messages_, [this] {
        const AutoMapResult result = autoMap(*map_.nodeLists, FAutoMap->options());
        TabRead->showRegisters();
        TabWrite->showRegisters();
        if (result.overflow.empty()) return;
        QString text = QStringLiteral("These bytes found no free index up to 65535:");
        for (const AutoMapOverflow& o : result.overflow) {
            text +=
                QStringLiteral("\n%1 map, node %2: %3")
                    .arg(o.side == MapSide::Read ? QStringLiteral("Read") : QStringLiteral("Write"))
                    .arg(o.nrDNNode)
                    .arg(QString::fromStdString(byteRunsText(o.bytes)));
        }
        messages_.plain(text);
    });
}

}  // namespace velmora::ui
