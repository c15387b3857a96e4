#pragma once

#include <QDialog>
#include <QPushButton>
#include <QStringList>
#include <filesystem>
#include <functional>
#include <vector>

#include "documents/devicenet_network.h"
#include "editors/text_grid.h"
#include "ui/messages.h"

namespace velmora::ui {

// "DeviceNet Network": the list of up to 64 DeviceNet slave nodes, edited in the grid ASG and
// stored in the DNET_Net.xml document. Created once; every showing reloads the document.
class TFDNet : public QDialog {
    Q_OBJECT

public:
    // Asks for the data sheets to import: the files chosen, in order; none when cancelled.
    using EdsPicker = std::function<QStringList(QWidget& parent)>;

    // `dnetNetFile` names the document; it is asked at every showing and every OK.
    TFDNet(std::function<std::filesystem::path()> dnetNetFile, MessageSink& messages,
           QWidget* parent = nullptr);

    // Clears and numbers the grid, then fills it from the document.
    void FormShow();
    // Checks the node list; when it passes, writes the document and closes with OK.
    void bitbtn1Click();
    // Closes with Cancel; nothing is checked or written.
    void bitbtn2Click();
    // "Import EDS…": fills "N BYTE IN", "N BYTE OUT" and an empty "MNEMONIC" of the selected row
    // and the rows after it from the data sheets chosen, one row per file in the order chosen,
    // then tells what was filled. A file refused fills nothing. Nothing is written before OK.
    void importEdsClick();

    // Replaces the file dialog "Import EDS…" opens (tests give the files without one).
    void setEdsPicker(EdsPicker picker) { pickEds_ = std::move(picker); }

    // The texts of grid rows 1 to 64, columns 1 to 4.
    std::vector<DNetRow> gridRows() const;

    // Grid rows 1 to 64 below the heading row, columns "N", "ID", "N BYTE IN", "N BYTE OUT",
    // "MNEMONIC".
    TextGrid* ASG;
    QPushButton* bitbtn1;
    QPushButton* bitbtn2;
    // "Import EDS…", at the right of the bottom bar.
    QPushButton* importEdsButton;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::function<std::filesystem::path()> dnetNetFile_;
    MessageSink& messages_;
    EdsPicker pickEds_;
};

}  // namespace velmora::ui
