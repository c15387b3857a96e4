#include "app/main_window.h"

#include <QCloseEvent>
#include <QDialog>
#include <QLabel>
#include <QPalette>
#include <QPushButton>

#include "ui/look.h"
#include "ui/messages.h"
#include "update/update_wait_window.h"
#include "workspace/folder_browser.h"
#include "workspace/save_project_dialog.h"
#include "workspace/workspace.h"

namespace velmora::ui {

namespace {

constexpr int kWidth = 565;
constexpr int kHeight = 222;
constexpr int kFirstColumn = 78;
constexpr int kSecondColumn = 233;
constexpr int kFirstRow = 34;
constexpr int kRowStep = 46;

QPushButton* makeButton(QWidget* parent, const char* name, const QString& icon,
                        const QString& caption) {
    auto* button = new QPushButton(caption, parent);
    if (!icon.isEmpty()) button->setIcon(lookIcon(icon));
    button->setObjectName(QLatin1String(name));
    button->setFlat(true);
    return button;
}

// The step numbers and the maker's address are grey: a palette colour, as the look uses no style
// sheet (a sheet restyles every widget of the window when it is first shown).
void greyText(QLabel& label) {
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    label.setPalette(palette);
}

QLabel* makeStepLabel(QWidget* parent, int step) {
    auto* label = new QLabel(QStringLiteral("Step %1").arg(step), parent);
    label->setObjectName(QStringLiteral("Step%1").arg(step));
    label->setFont(lookFont(8, true));
    greyText(*label);
    label->setGeometry(12, kFirstRow + (step - 1) * kRowStep + 5, 60, 16);
    return label;
}

}  // namespace

TFVelmoraFirmWare::TFVelmoraFirmWare(Workspace& workspace, MessageSink& messages, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      Step1(makeStepLabel(this, 1)),
      Step2(makeStepLabel(this, 2)),
      Step3(makeStepLabel(this, 3)),
      Step4(makeStepLabel(this, 4)),
      New(makeButton(this, "New", QStringLiteral("new"), QStringLiteral("New project"))),
      open(makeButton(this, "open", QStringLiteral("open"), QStringLiteral("Open project"))),
      btn_Prm_Gen(makeButton(this, "btn_Prm_Gen", QStringLiteral("communication"),
                             QStringLiteral("Set Communication"))),
      Btn_DNET(makeButton(this, "Btn_DNET", QStringLiteral("network"),
                          QStringLiteral("DeviceNet Network"))),
      btn_DefMod(makeButton(this, "btn_DefMod", QStringLiteral("modbus"),
                            QStringLiteral("Define Modbus"))),
      CreateBin(
          makeButton(this, "CreateBin", QStringLiteral("update"), QStringLiteral("Update Device"))),
      about(makeButton(this, "about", QStringLiteral("about"), QString())),
      LbButton1(makeButton(this, "LbButton1", QString(), QStringLiteral("X"))),
      Label1(new LinkLabel(this)),
      workspace_(workspace),
      messages_(messages),
      runModal_([](QDialog& dialog) { dialog.exec(); }),
      pickFolder_([this](const QString& title, const std::filesystem::path& root,
                         const std::filesystem::path& preselected) {
          std::filesystem::path folder = preselected;
          return SelectFolder(title, root, folder, this) ? std::optional(folder) : std::nullopt;
      }),
      openUrl_(desktopUrlOpener()) {
    setObjectName(QStringLiteral("FVelmoraFirmWare"));
    setFixedSize(kWidth, kHeight);

    const struct {
        QPushButton* button;
        int row;
        int column;
    } steps[] = {{New, 0, kFirstColumn},         {open, 0, kSecondColumn},
                 {btn_Prm_Gen, 1, kFirstColumn}, {Btn_DNET, 2, kFirstColumn},
                 {btn_DefMod, 2, kSecondColumn}, {CreateBin, 3, kFirstColumn}};
    for (const auto& step : steps) {
        step.button->setProperty("step", true);
        step.button->setGeometry(step.column, kFirstRow + step.row * kRowStep, 145, 26);
    }
    applyLook(*this);
    about->setToolTip(QStringLiteral("About"));
    about->setAccessibleName(QStringLiteral("About"));
    about->setGeometry(kWidth - 54, 6, 21, 19);
    LbButton1->setGeometry(kWidth - 29, 6, 21, 19);
    LbButton1->setFont(lookFont(8, true));

    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setText(makerWebAddress());
    Label1->setFont(lookFont(8, true));
    greyText(*Label1);
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label1->setGeometry(kWidth - 212, kFirstRow + 3 * kRowStep, 200, 26);

    connect(New, &QPushButton::clicked, this, &TFVelmoraFirmWare::NewClick);
    connect(open, &QPushButton::clicked, this, &TFVelmoraFirmWare::openClick);
    for (QPushButton* button : {btn_Prm_Gen, Btn_DNET, btn_DefMod}) {
        connect(button, &QPushButton::clicked, this,
                [this, button] { btn_str_lng1aClick(button); });
    }
    connect(CreateBin, &QPushButton::clicked, this, &TFVelmoraFirmWare::CreateBinClick);
    connect(about, &QPushButton::clicked, this, &TFVelmoraFirmWare::aboutClick);
    connect(LbButton1, &QPushButton::clicked, this, &TFVelmoraFirmWare::LbButton1Click);
    connect(Label1, &LinkLabel::clicked, this, &TFVelmoraFirmWare::Label1Click);

    guarded(messages_, [this] { workspace_.startUp(); });
    showCaption();
}

void TFVelmoraFirmWare::showModal(QDialog& dialog) {
    dialog.setResult(0);  // as exec() does, so an earlier showing's result is not read again
    runModal_(dialog);
}

void TFVelmoraFirmWare::showCaption() {
    setWindowTitle(QString::fromStdString(workspace_.caption()));
}

void TFVelmoraFirmWare::NewClick() {
    if (UpdateWaitWindow::waiting()) return;  // the updater runs: every command waits
    if (!parts_.saveProject) return;
    guarded(messages_, [this] {
        TFsaveproj& saveProject = parts_.saveProject();
        saveProject.destination = workspace_.ProjectsDir();
        showModal(saveProject);
        workspace_.newProjectEnded(saveProject.result() == QDialog::Accepted);
        showCaption();
    });
}

void TFVelmoraFirmWare::openClick() {
    if (UpdateWaitWindow::waiting()) return;  // the updater runs: every command waits
    guarded(messages_, [this] {
        workspace_.openProject(
            [this](const std::filesystem::path& root, const std::filesystem::path& preselected) {
                return pickFolder_(QString::fromUtf8(kOpenProjectTitle.data(),
                                                     static_cast<int>(kOpenProjectTitle.size())),
                                   root, preselected);
            });
        showCaption();
    });
}

void TFVelmoraFirmWare::btn_str_lng1aClick(QPushButton* pressed) {
    if (UpdateWaitWindow::waiting()) return;  // the updater runs: every command waits
    const std::function<QDialog&()>* dialog = pressed == btn_Prm_Gen  ? &parts_.communication
                                              : pressed == Btn_DNET   ? &parts_.network
                                              : pressed == btn_DefMod ? &parts_.registerMap
                                                                      : nullptr;
    if (!dialog || !*dialog) return;
    guarded(messages_, [this, dialog] {
        if (workspace_.ProjectDir().empty()) {
            messages_.plain(QStringLiteral("Project not valid"));
            return;
        }
        showModal((*dialog)());
    });
}

void TFVelmoraFirmWare::CreateBinClick() {
    if (UpdateWaitWindow::waiting()) return;  // the updater runs: every command waits
    if (!parts_.updateDevice) return;
    guarded(messages_, [this] {
        if (parts_.updateDevice() && parts_.update) showModal(parts_.update());
    });
}

void TFVelmoraFirmWare::aboutClick() {
    if (UpdateWaitWindow::waiting()) return;  // the updater runs: every command waits
    if (parts_.about) guarded(messages_, [this] { showModal(parts_.about()); });
}

void TFVelmoraFirmWare::LbButton1Click() {
    if (UpdateWaitWindow::waiting()) return;
    close();
}

void TFVelmoraFirmWare::Label1Click() {
    if (UpdateWaitWindow::waiting()) return;
    openUrl_(makerPageUrl());
}

void TFVelmoraFirmWare::closeEvent(QCloseEvent* event) {
    // Not while the updater is waited for: the application stays until that wait ends.
    if (UpdateWaitWindow::waiting()) {
        event->ignore();
        return;
    }
    // A settings file that cannot be written is reported, yet the application still ends.
    guarded(messages_, [this] { workspace_.Close(); });
    event->accept();
}

}  // namespace velmora::ui
