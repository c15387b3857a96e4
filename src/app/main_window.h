#pragma once

#include <QString>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <optional>

#include "ui/link_label.h"
#include "ui/links.h"

class QDialog;
class QLabel;
class QPushButton;

namespace velmora {
class Workspace;
}

namespace velmora::ui {

class MessageSink;
class TFsaveproj;

// The windows the main window opens, each asked for when its button needs it, so that the
// composition root can make a window on its first use; an empty part leaves its button doing
// nothing at all.
struct MainWindowParts {
    std::function<TFsaveproj&()> saveProject;
    std::function<QDialog&()> about;
    std::function<QDialog&()> communication;
    std::function<QDialog&()> network;
    std::function<QDialog&()> registerMap;
    // The dialog "Update Device" opens once the image is written.
    std::function<QDialog&()> update;
    // "Update Device": composes and saves the image, true when that worked.
    std::function<bool()> updateDevice;
};

// The main window: the four steps of a project, About and "X". Creating it runs the
// workspace start-up; closing it runs the workspace close. Its only state is its caption.
// While the updater is waited for, every command (the buttons, the link, closing) is refused.
class TFVelmoraFirmWare : public QWidget {
    Q_OBJECT
public:
    // Shows `dialog` modally; by default its exec().
    using ModalRunner = std::function<void(QDialog& dialog)>;
    // The folder browser of Open project: the chosen folder, or nothing when cancelled.
    using FolderPicker = std::function<std::optional<std::filesystem::path>(
        const QString& title, const std::filesystem::path& root,
        const std::filesystem::path& preselected)>;

    TFVelmoraFirmWare(Workspace& workspace, MessageSink& messages, QWidget* parent = nullptr);

    // The windows the buttons open, in one call.
    void setParts(MainWindowParts parts) { parts_ = std::move(parts); }
    void setModalRunner(ModalRunner runner) { runModal_ = std::move(runner); }
    void setFolderPicker(FolderPicker picker) { pickFolder_ = std::move(picker); }
    void setUrlOpener(UrlOpener opener) { openUrl_ = std::move(opener); }

    // "New project": the New project dialog inside ProjectsDir, then the caption.
    void NewClick();
    // "Open project": the folder browser, then the caption.
    void openClick();
    // The three step buttons: "Project not valid" when ProjectDir is empty, else the
    // dialog of `pressed`.
    void btn_str_lng1aClick(QPushButton* pressed);
    // "Update Device": the image, then the update dialog when the image was written.
    void CreateBinClick();
    // Shows the About window.
    void aboutClick();
    // "X": closes the window, which ends the application.
    void LbButton1Click();
    // The web link: the maker's web page with the desktop's handler.
    void Label1Click();

    QLabel* Step1;
    QLabel* Step2;
    QLabel* Step3;
    QLabel* Step4;
    QPushButton* New;
    QPushButton* open;
    QPushButton* btn_Prm_Gen;
    QPushButton* Btn_DNET;
    QPushButton* btn_DefMod;
    QPushButton* CreateBin;
    QPushButton* about;
    QPushButton* LbButton1;
    LinkLabel* Label1;

protected:
    // Every close request ends here: the workspace close, whose failure is reported, then close.
    void closeEvent(QCloseEvent* event) override;

private:
    void showModal(QDialog& dialog);
    void showCaption();

    Workspace& workspace_;
    MessageSink& messages_;
    MainWindowParts parts_;
    ModalRunner runModal_;
    FolderPicker pickFolder_;
    UrlOpener openUrl_;
};

}  // namespace velmora::ui
