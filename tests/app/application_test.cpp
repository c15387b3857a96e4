#include "app/application.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>

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

TEST_F(ApplicationTest, StepButtonsOpenTheirDialogsOnTheRestoredProject) {
    fs::create_directories(dir / "PROJECTS" / "Plant1" / "bin");
    test::writeText(dir / "Velmora_DNETM2MRTUs.ini", "[lastproj]\nprojectname=Plant1\n");
    Application& a = start();

    a.FVelmoraFirmWare.btn_Prm_Gen->click();
    a.FVelmoraFirmWare.Btn_DNET->click();
    a.FVelmoraFirmWare.about->click();
    EXPECT_EQ(shown, (std::vector<QDialog*>{&a.Fpargen, &a.FDNet, &a.FAbout}));
    EXPECT_TRUE(recorder.messages.empty());

    // The communication dialog writes into the restored project's folder.
    a.Fpargen.FormShow();
    a.Fpargen.E_DNET_ID->setText("20");
    a.Fpargen.BitBtn1Click();
    EXPECT_EQ(a.Fpargen.result(), QDialog::Accepted);
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

}  // namespace
}  // namespace velmora::ui
