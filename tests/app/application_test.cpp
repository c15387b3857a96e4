#include "app/application.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "image/image_decoder.h"
#include "support/message_recorder.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace velmora::ui {
namespace {

using Kind = test::MessageRecorder::Kind;

// The whole application over a temporary installation folder, modal showings recorded.
class ApplicationTest : public ::testing::Test {
protected:
    ApplicationTest() { QApplication::setQuitOnLastWindowClosed(false); }

    Application& start() {
        app = std::make_unique<Application>(dir.path(), recorder);
        app->FVelmoraFirmWare.setModalRunner([this](QDialog& dialog) { shown.push_back(&dialog); });
        return *app;
    }

    test::TempDir dir;
    test::MessageRecorder recorder;
    std::unique_ptr<Application> app;
    std::vector<QDialog*> shown;
};

TEST_F(ApplicationTest, MakesNoDialogUntilOneIsUsedAndEndsWithoutOne) {
    Application& a = start();
    EXPECT_TRUE(a.FVelmoraFirmWare.findChildren<QDialog*>().empty());
    EXPECT_FALSE(a.Fsaveproj.made() || a.FAbout.made() || a.Fpargen.made() || a.FDNet.made() ||
                 a.FInfopdoMB.made());
    app.reset();
    EXPECT_TRUE(recorder.messages.empty());
}

// Every dialog is made on its first showing, reused by the next, and deleted once, by the main
// window, when the application ends.
TEST_F(ApplicationTest, MakesEachDialogOnceOnFirstUseAndDeletesItOnceAtTheEnd) {
    Application& a = start();
    TFVelmoraFirmWare& w = a.FVelmoraFirmWare;
    for (int round = 0; round < 2; ++round) {
        for (QPushButton* button : {w.New, w.about, w.btn_Prm_Gen, w.Btn_DNET, w.btn_DefMod}) {
            button->click();
        }
    }
    const std::vector<QDialog*> first(shown.begin(), shown.begin() + 5);
    EXPECT_EQ(first, (std::vector<QDialog*>{&a.Fsaveproj(), &a.FAbout(), &a.Fpargen(), &a.FDNet(),
                                            &a.FInfopdoMB()}));
    EXPECT_EQ(std::vector<QDialog*>(shown.begin() + 5, shown.end()), first);
    const QList<QDialog*> made = w.findChildren<QDialog*>(Qt::FindDirectChildrenOnly);
    EXPECT_EQ(made.size(), 5);

    int deleted = 0;
    for (QDialog* dialog : made) QObject::connect(dialog, &QObject::destroyed, [&] { ++deleted; });
    app.reset();
    EXPECT_EQ(deleted, 5);
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

TEST_F(ApplicationTest, StepButtonsOpenTheirDialogsOnTheRestoredProject) {
    fs::create_directories(dir / "PROJECTS" / "Plant1" / "bin");
    test::writeText(dir / "Velmora_DNETM2MRTUs.ini", "[lastproj]\nprojectname=Plant1\n");
    Application& a = start();

    a.FVelmoraFirmWare.btn_Prm_Gen->click();
    a.FVelmoraFirmWare.Btn_DNET->click();
    a.FVelmoraFirmWare.btn_DefMod->click();
    a.FVelmoraFirmWare.about->click();
    EXPECT_EQ(shown, (std::vector<QDialog*>{&a.Fpargen(), &a.FDNet(), &a.FInfopdoMB(), &a.FAbout()}));
    EXPECT_TRUE(recorder.messages.empty());

    // The communication dialog writes into the restored project's folder.
    a.Fpargen().FormShow();
    a.Fpargen().E_DNET_ID->setText("20");
    a.Fpargen().BitBtn1Click();
    EXPECT_EQ(a.Fpargen().result(), QDialog::Accepted);
    EXPECT_TRUE(fs::is_regular_file(dir / "PROJECTS" / "Plant1" / "pargen.xml"));
}

TEST_F(ApplicationTest, UpdateDeviceWritesTheImageOfTheCurrentProject) {
    fs::create_directories(dir / "PROJECTS" / "Plant1" / "bin");
    test::writeText(dir / "Velmora_DNETM2MRTUs.ini", "[lastproj]\nprojectname=Plant1\n");
    test::writeText(dir / "PROJECTS" / "Plant1" / "DNET_Net.xml",
                    "<DNET_Net><row ID=\"5\" NB_IN=\"4\" NB_OUT=\"2\" Mnemonic=\"\"/></DNET_Net>");
    Application& a = start();

    a.FVelmoraFirmWare.CreateBin->click();
    EXPECT_TRUE(recorder.messages.empty());
    const std::string image = test::readText(dir / "PROJECTS" / "Plant1" / "bin" / "bank.bin");
    EXPECT_EQ(image.size(), 25u);  // header and one node record, no parameter block
}

TEST_F(ApplicationTest, UpdateDeviceWithoutABinFolderIsReported) {
    Application& a = start();  // no project: the documents of PROJECTS itself, which has no bin
    a.FVelmoraFirmWare.CreateBin->click();
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].kind, Kind::Failure);
    EXPECT_TRUE(recorder.messages[0].text.contains("bank.bin"));
}

TEST_F(ApplicationTest, DefineModbusWithoutAProjectFolderSaysProjectNotValid) {
    fs::create_directories(dir / "PROJECTS" / "Plant1");
    test::writeText(dir / "Velmora_DNETM2MRTUs.ini", "[lastproj]\nprojectname=Plant1\n");
    Application& a = start();
    fs::remove_all(dir / "PROJECTS" / "Plant1");
    a.FVelmoraFirmWare.setFolderPicker(
        [](const QString&, const fs::path&, const fs::path&) { return std::nullopt; });
    a.FVelmoraFirmWare.openClick();
    a.FVelmoraFirmWare.btn_DefMod->click();
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(recorder.messages,
              (std::vector<test::MessageRecorder::Message>{{Kind::Plain, "Project not valid"}}));
}

TEST_F(ApplicationTest, RegistersConfirmedInDefineModbusReachTheNextImage) {
    const fs::path project = dir / "PROJECTS" / "Plant1";
    fs::create_directories(project / "bin");
    test::writeText(dir / "Velmora_DNETM2MRTUs.ini", "[lastproj]\nprojectname=Plant1\n");
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
