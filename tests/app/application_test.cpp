#include "app/application.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <functional>
#include <map>

#include "image/image_decoder.h"
#include "support/fake_ports.h"
#include "support/message_recorder.h"
#include "support/temp_dir.h"
#include "support/test_updater.h"
#include "update/update_wait_window.h"

namespace fs = std::filesystem;

namespace velmora::ui {
namespace {

using Kind = test::MessageRecorder::Kind;

// The whole application over a temporary installation folder, modal showings recorded.
class ApplicationTest : public ::testing::Test {
protected:
    ApplicationTest() { QApplication::setQuitOnLastWindowClosed(false); }

    Application& start() {
        app = std::make_unique<Application>(dir.path(), recorder, fs::path(),
                                            PortAccess{ports, [this] { return listed; }});
        app->FVelmoraFirmWare.setModalRunner([this](QDialog& dialog) {
            shown.push_back(&dialog);
            if (auto it = onShow.find(&dialog); it != onShow.end()) it->second();
        });
        return *app;
    }
    // Makes the folder of project `name` the one the settings file restores.
    void restoreProject(const std::string& name) {
        fs::create_directories(dir / "PROJECTS" / name / "bin");
        test::writeText(dir / "Velmora_DNETM2MRTUs.ini", "[lastproj]\nprojectname=" + name + "\n");
    }

    test::TempDir dir;
    test::MessageRecorder recorder;
    std::unique_ptr<Application> app;
    std::vector<QDialog*> shown;
    // What the user does in a dialog while it is shown.
    std::map<QDialog*, std::function<void()>> onShow;
    std::shared_ptr<test::FakePorts> ports = std::make_shared<test::FakePorts>();
    std::vector<std::string> listed;
};

TEST_F(ApplicationTest, MakesNoDialogUntilOneIsUsedAndEndsWithoutOne) {
    Application& a = start();
    EXPECT_TRUE(a.FVelmoraFirmWare.findChildren<QDialog*>().empty());
    EXPECT_FALSE(a.Fsaveproj.made() || a.FAbout.made() || a.Fpargen.made() || a.FBootSer.made() ||
                 a.FDNet.made() || a.FInfopdoMB.made());
    app.reset();
    EXPECT_TRUE(recorder.messages.empty());
}

// Every dialog is made on its first showing, reused by the next, and deleted once, by the main
// window, when the application ends.
TEST_F(ApplicationTest, MakesEachDialogOnceOnFirstUseAndDeletesItOnceAtTheEnd) {
    restoreProject("Plant1");  // with a bin folder, so that Update Device opens its dialog
    Application& a = start();
    TFVelmoraFirmWare& w = a.FVelmoraFirmWare;
    const std::vector<QPushButton*> buttons = {w.New,       w.about,    w.btn_Prm_Gen,
                                               w.CreateBin, w.Btn_DNET, w.btn_DefMod};
    for (int round = 0; round < 2; ++round) {
        for (QPushButton* button : buttons) button->click();
    }
    ASSERT_EQ(shown.size(), 2 * buttons.size());
    const std::vector<QDialog*> first(shown.begin(), shown.begin() + 6);
    EXPECT_EQ(first, (std::vector<QDialog*>{&a.Fsaveproj(), &a.FAbout(), &a.Fpargen(),
                                            &a.FBootSer(), &a.FDNet(), &a.FInfopdoMB()}));
    EXPECT_EQ(std::vector<QDialog*>(shown.begin() + 6, shown.end()), first);
    const QList<QDialog*> made = w.findChildren<QDialog*>(Qt::FindDirectChildrenOnly);
    EXPECT_EQ(made.size(), 6);

    int deleted = 0;
    for (QDialog* dialog : made) QObject::connect(dialog, &QObject::destroyed, [&] { ++deleted; });
    app.reset();
    EXPECT_EQ(deleted, 6);
    EXPECT_TRUE(recorder.messages.empty());
}

// The New project dialog keeps its close gate between showings, made on first use or not: closed
// at its first showing, open after Cancel for every later one.
TEST_F(ApplicationTest, TheNewProjectDialogKeepsItsCloseGateBetweenShowings) {
    Application& a = start();
    std::vector<bool> gateAtShowing;
    std::vector<bool> escapeCloses;
    a.FVelmoraFirmWare.setModalRunner([&](QDialog& dialog) {
        auto& saveProject = static_cast<TFsaveproj&>(dialog);
        gateAtShowing.push_back(saveProject.gateOpen());
        bool closed = false;
        const auto connection =
            QObject::connect(&saveProject, &QDialog::finished, [&] { closed = true; });
        saveProject.reject();  // Escape
        QObject::disconnect(connection);
        escapeCloses.push_back(closed);
        if (!closed) saveProject.bitbtn2Click();
    });
    a.FVelmoraFirmWare.New->click();
    a.FVelmoraFirmWare.New->click();
    EXPECT_EQ(gateAtShowing, (std::vector<bool>{false, true}));
    EXPECT_EQ(escapeCloses, (std::vector<bool>{false, true}));
    EXPECT_TRUE(recorder.messages.empty());
}

// What the update and register map dialogs keep between showings survives in the dialog made
// on first use: the option boxes, the front page.
TEST_F(ApplicationTest, DialogsMadeOnFirstUseKeepTheirStateBetweenShowings) {
    restoreProject("Plant1");
    Application& a = start();
    std::vector<bool> firmwareAtShowing;
    std::vector<int> pageAtShowing;
    a.FVelmoraFirmWare.setModalRunner([&](QDialog& dialog) {
        if (&dialog == &a.FBootSer()) {
            firmwareAtShowing.push_back(a.FBootSer().firmware->isChecked());
            a.FBootSer().firmware->setChecked(!a.FBootSer().firmware->isChecked());
        } else {
            a.FInfopdoMB().FormShow();
            pageAtShowing.push_back(a.FInfopdoMB().PageControl1->currentIndex());
            a.FInfopdoMB().PageControl1->setCurrentIndex(1);
        }
    });
    for (int round = 0; round < 2; ++round) {
        a.FVelmoraFirmWare.CreateBin->click();
        a.FVelmoraFirmWare.btn_DefMod->click();
    }
    ASSERT_EQ(firmwareAtShowing.size(), 2u);
    EXPECT_NE(firmwareAtShowing[0], firmwareAtShowing[1]);
    EXPECT_EQ(pageAtShowing, (std::vector<int>{0, 1}));
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(ApplicationTest, StepButtonsOpenTheirDialogsOnTheRestoredProject) {
    restoreProject("Plant1");
    Application& a = start();

    a.FVelmoraFirmWare.btn_Prm_Gen->click();
    a.FVelmoraFirmWare.Btn_DNET->click();
    a.FVelmoraFirmWare.btn_DefMod->click();
    a.FVelmoraFirmWare.about->click();
    EXPECT_EQ(shown,
              (std::vector<QDialog*>{&a.Fpargen(), &a.FDNet(), &a.FInfopdoMB(), &a.FAbout()}));
    EXPECT_TRUE(recorder.messages.empty());

    // The communication dialog writes into the restored project's folder.
    a.Fpargen().FormShow();
    a.Fpargen().E_DNET_ID->setText("20");
    a.Fpargen().BitBtn1Click();
    EXPECT_EQ(a.Fpargen().result(), QDialog::Accepted);
    EXPECT_TRUE(fs::is_regular_file(dir / "PROJECTS" / "Plant1" / "pargen.xml"));
}

TEST_F(ApplicationTest, UpdateDeviceWritesTheImageThenOpensTheUpdateDialog) {
    restoreProject("Plant1");
    test::writeText(dir / "PROJECTS" / "Plant1" / "DNET_Net.xml",
                    "<DNET_Net><row ID=\"5\" NB_IN=\"4\" NB_OUT=\"2\" Mnemonic=\"\"/></DNET_Net>");
    Application& a = start();

    a.FVelmoraFirmWare.CreateBin->click();
    EXPECT_TRUE(recorder.messages.empty());
    const std::string image = test::readText(dir / "PROJECTS" / "Plant1" / "bin" / "bank.bin");
    EXPECT_EQ(image.size(), 25u);  // header and one node record, no parameter block
    EXPECT_EQ(shown, std::vector<QDialog*>{&a.FBootSer()});
}

TEST_F(ApplicationTest, UpdateDeviceThatCannotWriteTheImageOpensNothing) {
    Application& a = start();  // no project: the documents of PROJECTS itself, which has no bin
    a.FVelmoraFirmWare.CreateBin->click();
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].kind, Kind::Failure);
    EXPECT_TRUE(recorder.messages[0].text.contains("bank.bin"));
    EXPECT_TRUE(shown.empty());
}

TEST_F(ApplicationTest, UpdateDeviceWithoutAProjectIsRefused) {
    restoreProject("Plant1");
    Application& a = start();
    // Open project cancelled once the current project's folder is gone leaves no project.
    fs::remove_all(dir / "PROJECTS" / "Plant1");
    a.FVelmoraFirmWare.setFolderPicker(
        [](const QString&, const fs::path&, const fs::path&) { return std::nullopt; });
    a.FVelmoraFirmWare.open->click();
    ASSERT_EQ(a.workspace.ProjectDir(), fs::path());

    a.FVelmoraFirmWare.CreateBin->click();
    EXPECT_EQ(recorder.messages,
              (std::vector<test::MessageRecorder::Message>{{Kind::Failure, "Project not valid."}}));
    EXPECT_TRUE(shown.empty());
    EXPECT_FALSE(fs::exists(fs::path("/bin/bank.bin")));
}

// From a fresh start to the updater: the stand-in beside the executable receives the port,
// the four words, the firmware file and the project's bin folder, and finds the image there.
TEST_F(ApplicationTest, TheWholeUpdateRoadReachesTheUpdater) {
    const fs::path updater = test::installTestUpdater(dir.path());
    ports->present = {"COM3"};
    listed = {"COM3"};
    Application& a = start();
    onShow[&a.Fsaveproj()] = [&] {
        a.Fsaveproj().Edit1->setText("Plant1");
        a.Fsaveproj().bitbtn1Click();
    };
    onShow[&a.Fpargen()] = [&] {
        a.Fpargen().FormShow();
        a.Fpargen().E_DNET_ID->setText("20");
        a.Fpargen().BitBtn1Click();
    };
    onShow[&a.FDNet()] = [&] {
        a.FDNet().FormShow();
        a.FDNet().bitbtn1Click();
    };
    onShow[&a.FInfopdoMB()] = [&] {
        a.FInfopdoMB().FormShow();
        a.FInfopdoMB().bitbtn1->click();
    };
    onShow[&a.FBootSer()] = [&] {
        a.FBootSer().FormShow();
        a.FBootSer().connectButton->click();
        a.FBootSer().nextButton->click();
        a.FBootSer().executeButton->click();
        a.FBootSer().cancelButton->click();
    };

    for (QPushButton* step :
         {a.FVelmoraFirmWare.New, a.FVelmoraFirmWare.btn_Prm_Gen, a.FVelmoraFirmWare.Btn_DNET,
          a.FVelmoraFirmWare.btn_DefMod, a.FVelmoraFirmWare.CreateBin}) {
        step->click();
    }
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_EQ(shown, (std::vector<QDialog*>{&a.Fsaveproj(), &a.Fpargen(), &a.FDNet(),
                                            &a.FInfopdoMB(), &a.FBootSer()}));
    const fs::path project = dir / "PROJECTS" / "Plant1";
    for (const char* document : {"pargen.xml", "DNET_Net.xml", "DefReg.xml"}) {
        EXPECT_TRUE(fs::is_regular_file(project / document)) << document;
    }
    EXPECT_EQ(test::recordedArguments(updater),
              (std::vector<std::string>{
                  "COM3", "FW", "FR", "PW", "PR", (dir / "MASTER" / "sim48203.sim").string(),
                  (project / "bin").string() + char(fs::path::preferred_separator)}));
    const std::string image = test::readText(project / "bin" / "bank.bin");
    EXPECT_EQ(image.size(), 29u);  // header and parameter block
    EXPECT_EQ(test::readText(updater.string() + ".bank"), image);
    EXPECT_TRUE(ports->open.empty());
}

// While the updater runs, "Update Device", About and "Execute update firmware" pressed past the
// wait window (click() reaches a button as an accessibility action or a shortcut does) change
// nothing: no image is composed over the one the updater reads, no About opens, no second updater
// starts. A modal loop run on top of the wait does not hold it up: it ends with the updater.
TEST_F(ApplicationTest, DuringTheUpdaterWaitTheUpdateRoadRefusesEveryCommand) {
    restoreProject("Plant1");
    const fs::path bank = dir / "PROJECTS" / "Plant1" / "bin" / "bank.bin";
    const fs::path updater = test::installTestUpdater(dir.path());
    test::ScopedEnv linger("VELMORA_TEST_UPDATER_LINGER_MS", "1000");
    ports->present = {"COM3"};
    listed = {"COM3"};
    Application& a = start();
    struct During {
        bool bankRewritten = true;
        bool aboutMade = true;
        bool endedWithinNestedLoop = false;
    } during;
    onShow[&a.FBootSer()] = [&] {
        TFBootSer& d = a.FBootSer();
        d.show();  // shown modally, as exec() would
        d.connectButton->click();
        d.nextButton->click();
        QTimer::singleShot(200, [&] {
            fs::remove(bank);
            a.FVelmoraFirmWare.CreateBin->click();
            a.FVelmoraFirmWare.about->click();
            d.executeButton->click();
            during.bankRewritten = fs::exists(bank);
            during.aboutMade = a.FAbout.made();
            QEventLoop nested;  // as a modal window opened during the wait would run
            QTimer watch;
            QObject::connect(&watch, &QTimer::timeout, [&] {
                if (!UpdateWaitWindow::waiting() && !d.waitWindow->isVisible()) nested.quit();
            });
            watch.start(10);
            QTimer::singleShot(10'000, &nested, &QEventLoop::quit);
            nested.exec();
            during.endedWithinNestedLoop = !UpdateWaitWindow::waiting();
        });
        d.executeButton->click();
        d.cancelButton->click();
    };

    a.FVelmoraFirmWare.CreateBin->click();
    EXPECT_FALSE(during.bankRewritten);
    EXPECT_FALSE(during.aboutMade);
    EXPECT_TRUE(during.endedWithinNestedLoop);
    EXPECT_EQ(shown, std::vector<QDialog*>{&a.FBootSer()});
    EXPECT_EQ(test::recordedRuns(updater), 1);
    EXPECT_FALSE(a.FBootSer().isVisible());
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(ApplicationTest, RegistersConfirmedInDefineModbusReachTheNextImage) {
    restoreProject("Plant1");
    const fs::path project = dir / "PROJECTS" / "Plant1";
    test::writeText(project / "DNET_Net.xml",
                    "<DNET_Net><row ID=\"5\" NB_IN=\"4\" NB_OUT=\"2\" Mnemonic=\"\"/>"
                    "<row ID=\"9\" NB_IN=\"1\" NB_OUT=\"6\" Mnemonic=\"\"/></DNET_Net>");
    Application& a = start();
    TFInfopdoMB& d = a.FInfopdoMB();
    a.FVelmoraFirmWare.btn_DefMod->click();
    ASSERT_EQ(shown, std::vector<QDialog*>{&d});
    d.FormShow();
    d.LDNByteRead->setCurrentRow(1);
    d.EIndexRead->setText("0x10");
    d.CB_HB->setCurrentIndex(6);
    d.CB_LB->setCurrentIndex(2);
    d.NewA_R->click();
    d.LDNByteWrite->setCurrentRow(0);
    d.EIndexWrite->setText("300");
    d.CB_LB_W->setCurrentIndex(4);
    d.NewA_W->click();
    d.bitbtn1->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_TRUE(fs::is_regular_file(project / "DefReg.xml"));

    a.FVelmoraFirmWare.CreateBin->click();
    EXPECT_TRUE(recorder.messages.empty());
    const DecodedImage image = decodeConfigImageFile(project / "bin" / "bank.bin");
    ASSERT_EQ(image.readMap.size(), 1u);
    EXPECT_EQ(image.readMap[0].index, 16);
    EXPECT_EQ(image.readMap[0].nodePosition, 1);
    EXPECT_EQ(image.readMap[0].highByte(), 6);
    EXPECT_EQ(image.readMap[0].lowByte(), 2);
    ASSERT_EQ(image.writeMap.size(), 1u);
    EXPECT_EQ(image.writeMap[0].index, 300);
    EXPECT_EQ(image.writeMap[0].nodePosition, 0);
    EXPECT_EQ(image.writeMap[0].highByte(), 0);
    EXPECT_EQ(image.writeMap[0].lowByte(), 4);
}

}  // namespace
}  // namespace velmora::ui
