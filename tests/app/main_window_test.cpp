#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include "core/error.h"
#include "support/message_recorder.h"
#include "support/temp_dir.h"
#include "support/test_updater.h"
#include "ui/links.h"
#include "update/update_wait_window.h"
#include "workspace/save_project_dialog.h"
#include "workspace/settings_file.h"
#include "workspace/workspace.h"

namespace fs = std::filesystem;

namespace velmora::ui {
namespace {

using Kind = test::MessageRecorder::Kind;
const QString kStartup = "Vostrel Velmora QS48203 DeviceNet-m / Modbus-s";

QString nativeText(QString text) { return text.replace('/', QChar(fs::path::preferred_separator)); }

// The main window over a workspace in a temporary installation folder, with the step dialogs
// plugged in and every modal showing recorded instead of blocking.
class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() { QApplication::setQuitOnLastWindowClosed(false); }

    TFVelmoraFirmWare& window() {
        if (!window_) {
            window_ = std::make_unique<TFVelmoraFirmWare>(workspace, recorder);
            saveProject = std::make_unique<TFsaveproj>(workspace, recorder);
            window_->setModalRunner([this](QDialog& dialog) {
                shown.push_back(&dialog);
                if (&dialog == saveProject.get() && onNewProject) onNewProject(*saveProject);
            });
            window_->setUrlOpener([this](const QUrl& url) { opened.push_back(url); });
        }
        return *window_;
    }
    // Plugs in every dialog and `updateDevice` as the parts of the main window.
    void plugStepDialogs(std::function<bool()> updateDevice = {}) {
        TFVelmoraFirmWare& w = window();
        w.setParts({.saveProject = [this]() -> TFsaveproj& { return *saveProject; },
                    .about = [this]() -> QDialog& { return about; },
                    .communication = [this]() -> QDialog& { return communication; },
                    .network = [this]() -> QDialog& { return network; },
                    .registerMap = [this]() -> QDialog& { return registerMap; },
                    .update = [this]() -> QDialog& { return update; },
                    .updateDevice = std::move(updateDevice)});
    }
    void pickFolder(std::optional<fs::path> chosen) {
        window().setFolderPicker(
            [this, chosen](const QString& title, const fs::path& root, const fs::path&) {
                pickerTitle = title;
                pickerRoot = root;
                return chosen;
            });
    }
    fs::path projects() const { return dir / "PROJECTS"; }

    test::TempDir dir;
    test::MessageRecorder recorder;
    Workspace workspace{dir.path()};
    std::unique_ptr<TFsaveproj> saveProject;
    std::function<void(TFsaveproj&)> onNewProject;
    QDialog about, communication, network, registerMap, update;
    std::vector<QDialog*> shown;
    std::vector<QUrl> opened;
    QString pickerTitle;
    fs::path pickerRoot;

private:
    std::unique_ptr<TFVelmoraFirmWare> window_;
};

TEST_F(MainWindowTest, HasItsFrameSizeAndControls) {
    TFVelmoraFirmWare& w = window();
    EXPECT_EQ(w.objectName(), "FVelmoraFirmWare");
    EXPECT_EQ(w.size(), QSize(565, 222));
    EXPECT_TRUE(w.isWindow());
    EXPECT_EQ(w.windowFlags() & Qt::WindowType_Mask, Qt::Window);  // keeps its task-bar entry
    EXPECT_TRUE(w.windowFlags() & Qt::CustomizeWindowHint);
    EXPECT_FALSE(w.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint |
                                    Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    const struct {
        QPushButton* button;
        const char* name;
        const char* caption;
    } buttons[] = {{w.New, "New", "New project"},
                   {w.open, "open", "Open project"},
                   {w.btn_Prm_Gen, "btn_Prm_Gen", "Set Communication"},
                   {w.Btn_DNET, "Btn_DNET", "DeviceNet Network"},
                   {w.btn_DefMod, "btn_DefMod", "Define Modbus"},
                   {w.CreateBin, "CreateBin", "Update Device"}};
    for (const auto& b : buttons) {
        EXPECT_EQ(b.button->objectName(), b.name);
        EXPECT_EQ(b.button->text(), b.caption);
        EXPECT_EQ(b.button->size(), QSize(145, 26)) << b.name;
        EXPECT_TRUE(b.button->isFlat()) << b.name;
        EXPECT_FALSE(b.button->icon().isNull()) << b.name;
    }
    EXPECT_EQ(w.about->size(), QSize(21, 19));
    EXPECT_FALSE(w.about->icon().isNull());
    EXPECT_EQ(w.LbButton1->size(), QSize(21, 19));
    EXPECT_EQ(w.LbButton1->text(), "X");
    EXPECT_EQ(w.LbButton1->x(), w.about->x() + w.about->width() + 4);
    EXPECT_EQ(w.Label1->objectName(), "Label1");
    EXPECT_EQ(w.Label1->text(), QUrl(QString::fromLatin1(kMakerWebSite)).host());
    EXPECT_EQ(w.Label1->cursor().shape(), Qt::PointingHandCursor);
    const QLabel* steps[] = {w.Step1, w.Step2, w.Step3, w.Step4};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(steps[i]->text(), QString("Step %1").arg(i + 1));
        EXPECT_TRUE(steps[i]->font().bold());
    }
    EXPECT_EQ(w.palette().color(QPalette::Window), QColor("#F8F7ED"));
    EXPECT_EQ(w.palette().color(QPalette::WindowText), QColor("#333333"));
    EXPECT_EQ(w.font().pointSize(), 8);
}

TEST_F(MainWindowTest, StepButtonsTurnOrangeWhilePressed) {
    window().show();
    for (QPushButton* button : {window().New, window().CreateBin}) {
        button->setDown(true);
        const QImage image = button->grab().toImage();
        EXPECT_EQ(image.pixelColor(image.width() - 6, image.height() / 2), QColor("#FF8000"));
        button->setDown(false);
    }
}

TEST_F(MainWindowTest, CreationRunsTheStartUp) {
    EXPECT_EQ(window().windowTitle(), kStartup);
    EXPECT_TRUE(fs::is_directory(projects()));
    EXPECT_EQ(workspace.ProjectDir(), projects());
}

TEST_F(MainWindowTest, CreationRestoresTheRememberedProjectInTheCaption) {
    test::writeText(dir / "Velmora_DNETM2MRTUs.ini", "[lastproj]\nprojectname=Plant1\n");
    fs::create_directories(projects() / "Plant1");
    EXPECT_EQ(window().windowTitle(), kStartup + " :" + nativeText("/Plant1"));
}

TEST_F(MainWindowTest, ButtonsWithoutTheirDialogDoNothingAtAll) {
    pickFolder(std::nullopt);
    fs::remove_all(projects());
    window().openClick();  // ProjectDir is now empty
    for (QPushButton* button : {window().New, window().btn_Prm_Gen, window().Btn_DNET,
                                window().btn_DefMod, window().CreateBin, window().about}) {
        button->click();
    }
    EXPECT_TRUE(shown.empty());
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(MainWindowTest, StepButtonsOpenTheirDialogsOnTheProjectsRoot) {
    plugStepDialogs();
    window().btn_Prm_Gen->click();
    window().Btn_DNET->click();
    window().btn_DefMod->click();
    window().about->click();
    EXPECT_EQ(shown, (std::vector<QDialog*>{&communication, &network, &registerMap, &about}));
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_EQ(window().windowTitle(), kStartup);
}

TEST_F(MainWindowTest, NewProjectConfirmedShowsTheBareName) {
    plugStepDialogs();
    onNewProject = [](TFsaveproj& dialog) {
        dialog.FormShow();
        dialog.Edit1->setText("Plant2");
        dialog.bitbtn1Click();
    };
    window().New->click();
    EXPECT_EQ(shown, std::vector<QDialog*>{saveProject.get()});
    EXPECT_EQ(saveProject->destination, projects());
    EXPECT_EQ(window().windowTitle(), kStartup + " :Plant2");
    EXPECT_EQ(workspace.ProjectDir(), projects() / "Plant2");
}

TEST_F(MainWindowTest, NewProjectCancelledEndsTheCaptionInTheColonAndKeepsTheProject) {
    test::writeText(dir / "Velmora_DNETM2MRTUs.ini", "[lastproj]\nprojectname=Plant1\n");
    fs::create_directories(projects() / "Plant1");
    plugStepDialogs();
    onNewProject = [](TFsaveproj& dialog) { dialog.bitbtn2Click(); };
    window().New->click();
    EXPECT_EQ(window().windowTitle(), kStartup + " :");
    EXPECT_EQ(workspace.ProjectDir(), projects() / "Plant1");
}

TEST_F(MainWindowTest, OpenProjectShowsTheChosenFolderInTheCaption) {
    fs::create_directories(projects() / "Plant1" / "Line2");
    struct Case {
        std::optional<fs::path> chosen;
        QString caption;
    };
    const Case cases[] = {
        {projects() / "Plant1" / "Line2", kStartup + " :" + nativeText("/Plant1/Line2")},
        {projects(), kStartup + " :"},
        {dir.path(), kStartup + " :"},
        {std::nullopt, kStartup + " :"},  // cancelled on the projects root
    };
    for (const auto& c : cases) {
        pickFolder(c.chosen);
        window().open->click();
        EXPECT_EQ(pickerTitle, "Select directory of project");
        EXPECT_EQ(pickerRoot, projects());
        EXPECT_EQ(window().windowTitle(), c.caption);
    }
}

TEST_F(MainWindowTest, AfterOpenProjectLostItsFolderTheStepsSayProjectNotValid) {
    bool updated = false;
    plugStepDialogs([&] { return updated = true; });
    fs::create_directories(projects() / "Plant1");
    pickFolder(projects() / "Plant1");
    window().openClick();
    fs::remove_all(projects() / "Plant1");
    pickFolder(std::nullopt);
    window().openClick();
    EXPECT_EQ(workspace.ProjectDir(), fs::path());

    window().btn_Prm_Gen->click();
    window().Btn_DNET->click();
    window().btn_DefMod->click();
    EXPECT_TRUE(shown.empty());
    const test::MessageRecorder::Message notValid{Kind::Plain, "Project not valid"};
    EXPECT_EQ(recorder.messages, (std::vector{notValid, notValid, notValid}));

    window().CreateBin->click();  // no project check
    EXPECT_TRUE(updated);
}

TEST_F(MainWindowTest, UpdateDeviceFailureIsReportedWithAFullStop) {
    plugStepDialogs([]() -> bool { throw Error("Element does not contain a single text node"); });
    window().CreateBin->click();
    EXPECT_EQ(recorder.messages,
              (std::vector<test::MessageRecorder::Message>{
                  {Kind::Failure, "Element does not contain a single text node."}}));
    EXPECT_TRUE(shown.empty());
}

TEST_F(MainWindowTest, UpdateDeviceOpensTheUpdateDialogOnlyAfterTheImageWasWritten) {
    bool written = false;
    plugStepDialogs([&] { return written; });
    window().CreateBin->click();
    EXPECT_TRUE(shown.empty());
    written = true;
    window().CreateBin->click();
    EXPECT_EQ(shown, std::vector<QDialog*>{&update});
}

TEST_F(MainWindowTest, TheWebLinkOpensTheMakersPage) {
    const QPointF inside(5, 5);
    QMouseEvent release(QEvent::MouseButtonRelease, inside, window().Label1->mapToGlobal(inside),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window().Label1, &release);
    // The site the build was configured with, the page and product code the program's own.
    EXPECT_EQ(opened, std::vector{QUrl(QString::fromLatin1(kMakerWebSite) +
                                       "/HOME/default.asp?frompg=QS48203")});
}

TEST_F(MainWindowTest, ClosingStoresTheProjectName) {
    onNewProject = [](TFsaveproj& dialog) {
        dialog.Edit1->setText("Plant2");
        dialog.bitbtn1Click();
    };
    plugStepDialogs();
    window().show();
    window().New->click();
    window().LbButton1->click();
    EXPECT_FALSE(window().isVisible());
    const std::string nl(kNativeLineEnd);
    EXPECT_EQ(test::readText(dir / "Velmora_DNETM2MRTUs.ini"),
              "[lastproj]" + nl + "projectname=Plant2" + nl);

    Workspace nextRun(dir.path());
    TFVelmoraFirmWare next(nextRun, recorder);
    EXPECT_EQ(next.windowTitle(), kStartup + " :" + nativeText("/Plant2"));
    EXPECT_EQ(nextRun.ProjectDir(), projects() / "Plant2");
}

TEST_F(MainWindowTest, ASettingsFileThatCannotBeWrittenIsReportedAndTheWindowStillCloses) {
    window().show();
    fs::create_directory(dir / "Velmora_DNETM2MRTUs.ini");  // a folder in its place
    window().LbButton1->click();
    EXPECT_FALSE(window().isVisible());
    const QString path = QString::fromStdString(pathText(dir / "Velmora_DNETM2MRTUs.ini"));
    EXPECT_EQ(recorder.messages, (std::vector<test::MessageRecorder::Message>{
                                     {Kind::Failure, "Unable to write to " + path + "."}}));
}

// While the updater is waited for, no command of the main window runs, however it is pressed
// (click() reaches a button as an accessibility action or a shortcut does, past the modal
// wait window); and a modal loop run on top of the wait (an About window) does not hold the
// wait up: the updater is collected and the wait window goes as soon as it ends.
TEST_F(MainWindowTest, DuringTheUpdaterWaitEveryCommandIsRefusedAndTheWaitEndsOnTime) {
    using namespace std::chrono_literals;
    int composed = 0;
    plugStepDialogs([&] {
        ++composed;
        return true;
    });
    window().show();
    const fs::path program = test::installTestUpdater(dir.path());
    test::ScopedEnv linger("VELMORA_TEST_UPDATER_LINGER_MS", "300");
    UpdateWaitWindow waitWindow;
    bool hiddenWithinNestedLoop = false;
    QTimer::singleShot(50, [&] {
        for (QPushButton* button : {window().CreateBin, window().about, window().New,
                                    window().btn_Prm_Gen, window().LbButton1}) {
            button->click();
        }
        window().close();
        QEventLoop nested;  // as a modal window opened during the wait would run
        QTimer::singleShot(1500, &nested, &QEventLoop::quit);
        QTimer::singleShot(1200, [&] { hiddenWithinNestedLoop = !waitWindow.isVisible(); });
        nested.exec();
    });
    UpdaterProcess process(
        program, updaterArguments("COM3", {true, true, true, true}, "MASTER", "PROJECTS"));
    const WaitOutcome outcome = waitWindow.wait(process, "Ser_48203_Update", 60s);
    EXPECT_TRUE(outcome.ended);
    EXPECT_TRUE(hiddenWithinNestedLoop);
    EXPECT_FALSE(UpdateWaitWindow::waiting());
    EXPECT_EQ(composed, 0);
    EXPECT_TRUE(shown.empty());
    EXPECT_TRUE(window().isVisible());
    EXPECT_TRUE(recorder.messages.empty());
}

}  // namespace
}  // namespace velmora::ui
