#include "editors/dnet_dialog.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <exception>
#include <utility>

#include "core/error.h"
#include "documents/eds_import.h"
#include "ui/look.h"
#include "ui/qt_path.h"

namespace velmora::ui {

namespace {

// Grid column c holds DNetField c - 1; column 0 holds the row numbers.
struct GridColumn {
    const char* heading;
    int width;
};

constexpr std::array<GridColumn, 1 + kDNetFieldCount> kColumns = {{
    {"N", 45},
    {"ID", 65},
    {"N BYTE IN", 75},
    {"N BYTE OUT", 75},
    {"MNEMONIC", 255},
}};

constexpr int kGridRows = 1 + static_cast<int>(kDNetMaxNodes);
constexpr int kRowHeight = 21;
constexpr int kBottomBarHeight = 39;

QPushButton* makeButton(const char* name, const char* text, const char* icon, QWidget& parent,
                        int width = 93) {
    auto* button =
        new QPushButton(lookIcon(QString::fromLatin1(icon)), QString::fromUtf8(text), &parent);
    button->setObjectName(QString::fromUtf8(name));
    button->setAccessibleName(button->text());
    button->setFixedSize(width, 23);
    button->setFlat(true);
    // Enter belongs to the grid: no button is pressed by it.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

// The file dialog of "Import EDS…": several data sheets at once.
QStringList chooseEdsFiles(QWidget& parent) {
    return QFileDialog::getOpenFileNames(&parent, QStringLiteral("Import EDS"), QString(),
                                         QStringLiteral("EDS files (*.eds *.EDS);;All files (*)"));
}

}  // namespace

TFDNet::TFDNet(std::function<std::filesystem::path()> dnetNetFile, MessageSink& messages,
               QWidget* parent)
    : QDialog(parent),
      dnetNetFile_(std::move(dnetNetFile)),
      messages_(messages),
      pickEds_(chooseEdsFiles) {
    setObjectName(QStringLiteral("FDNet"));
    setWindowTitle(QStringLiteral("DeviceNet Network"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    applyLook(*this);

    ASG = new TextGrid(kGridRows, static_cast<int>(kColumns.size()), this);
    ASG->setObjectName(QStringLiteral("ASG"));
    for (int column = 0; column < static_cast<int>(kColumns.size()); ++column) {
        ASG->cells().setCell(0, column, QString::fromUtf8(kColumns[column].heading));
        ASG->setGridColumnWidth(column, kColumns[column].width);
    }
    ASG->setGridRowHeight(kRowHeight);

    auto* bottomBar = new QWidget(this);
    bottomBar->setFixedHeight(kBottomBarHeight);
    bitbtn1 = makeButton("bitbtn1", "OK", "ok", *bottomBar);
    bitbtn2 = makeButton("bitbtn2", "Cancel", "cancel", *bottomBar);
    auto* buttons = new QHBoxLayout(bottomBar);
    buttons->setContentsMargins(8, 8, 8, 8);
    buttons->setSpacing(8);
    buttons->addWidget(bitbtn1);
    buttons->addWidget(bitbtn2);
    buttons->addStretch(1);
    importEdsButton = makeButton("importEdsButton", "Import EDS…", "open", *bottomBar, 110);
    buttons->addWidget(importEdsButton);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ASG, 1);
    layout->addWidget(bottomBar);
    resize(617, 527);

    connect(bitbtn1, &QPushButton::clicked, this, &TFDNet::bitbtn1Click);
    connect(bitbtn2, &QPushButton::clicked, this, &TFDNet::bitbtn2Click);
    connect(importEdsButton, &QPushButton::clicked, this, &TFDNet::importEdsClick);
}

void TFDNet::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A window restored by the system is not a new showing.
    if (!event->spontaneous()) FormShow();
}

void TFDNet::FormShow() {
    TextGridModel& cells = ASG->cells();
    ASG->commitEditing();
    cells.clearBelowHeadings();
    for (int row = 1; row < kGridRows; ++row) cells.setCell(row, 0, QString::number(row));
    ASG->setCurrentIndex(cells.index(1, 1));
    ASG->scrollToTop();
    guarded(messages_, [&] {
        const DNetNetworkRead read = readDNetNetworkFile(dnetNetFile_());
        for (std::size_t i = 0; i < read.rows.size(); ++i) {
            for (std::size_t field = 0; field < kDNetFieldCount; ++field) {
                cells.setCell(static_cast<int>(i) + 1, static_cast<int>(field) + 1,
                              QString::fromStdString(read.rows[i][field]));
            }
        }
        if (read.error) throw Error(*read.error);
    });
}

std::vector<DNetRow> TFDNet::gridRows() const {
    std::vector<DNetRow> rows(kDNetMaxNodes);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        for (std::size_t field = 0; field < kDNetFieldCount; ++field) {
            rows[i][field] = ASG->cells()
                                 .cell(static_cast<int>(i) + 1, static_cast<int>(field) + 1)
                                 .toStdString();
        }
    }
    return rows;
}

void TFDNet::bitbtn1Click() {
    ASG->commitEditing();
    const std::vector<DNetRow> rows = gridRows();
    if (const std::optional<std::string> message = checkDNetNetwork(rows)) {
        messages_.error(QString::fromStdString(*message));
        return;
    }
    if (guarded(messages_, [&] { writeDNetNetworkFile(dnetNetFile_(), rows); })) {
        done(QDialog::Accepted);
    }
}

void TFDNet::bitbtn2Click() { done(QDialog::Rejected); }

void TFDNet::importEdsClick() {
    ASG->commitEditing();
    const QStringList files = pickEds_(*this);
    if (files.isEmpty()) return;
    const int first = std::max(ASG->currentIndex().row(), 1);
    const int room = kGridRows - first;
    if (files.size() > room) {
        messages_.error(QStringLiteral("%1 files chosen, but from row %2 on the list has room for "
                                       "%3: nothing was filled.")
                            .arg(files.size())
                            .arg(first)
                            .arg(room));
        return;
    }
    // Every file is read before a cell changes, so that a refused one fills nothing.
    std::vector<EdsFile> sheets;
    try {
        for (const QString& file : files) sheets.push_back(readEdsFile(toPath(file)));
    } catch (const std::exception& e) {
        messages_.error(QString::fromStdString(e.what()) + QStringLiteral("\nNothing was filled."));
        return;
    }
    TextGridModel& cells = ASG->cells();
    QStringList filled;
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        const int row = first + static_cast<int>(i);
        DNetRow values;
        for (std::size_t field = 0; field < kDNetFieldCount; ++field) {
            values[field] = cells.cell(row, static_cast<int>(field) + 1).toStdString();
        }
        fillRowFromEds(values, sheets[i]);
        for (const DNetField field : {kDNetBytesIn, kDNetBytesOut, kDNetMnemonic}) {
            cells.setCell(row, static_cast<int>(field) + 1, QString::fromStdString(values[field]));
        }
        filled.append(
            QString::fromStdString(edsFillText(static_cast<std::size_t>(row), sheets[i])));
    }
    messages_.plain(filled.join(QLatin1Char('\n')));
}

}  // namespace velmora::ui
