#include "app/application.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "image/example_project.h"
#include "support/message_recorder.h"
#include "support/temp_dir.h"

namespace velmora::ui {
namespace {

namespace fs = std::filesystem;
using Kind = test::MessageRecorder::Kind;

class UpdateDeviceStep : public ::testing::Test {
protected:
    fs::path bank() const { return dir / "bin" / "bank.bin"; }
    // Runs the step; expects it to end with one failure report and tells its text.
    QString failureOfStep() {
        EXPECT_FALSE(runUpdateDeviceStep(image, dir.path(), messages));
        EXPECT_EQ(messages.messages.size(), 1u);
        if (messages.messages.empty()) return {};
        EXPECT_EQ(messages.messages.front().kind, Kind::Failure);
        return messages.messages.front().text;
    }

    test::TempDir dir;
    ConfigImage image;
    test::MessageRecorder messages;
};

TEST_F(UpdateDeviceStep, ComposesAndSavesThenLetsTheUpdateDialogOpen) {
    test::writeExampleProject(dir.path());
    EXPECT_TRUE(runUpdateDeviceStep(image, dir.path(), messages));
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(test::hexBytes(test::readText(bank())), test::kExampleImage);
}

TEST_F(UpdateDeviceStep, AnEmptyProjectFolderIsNotValid) {
    EXPECT_FALSE(runUpdateDeviceStep(image, fs::path(), messages));
    EXPECT_EQ(messages.messages,
              (std::vector<test::MessageRecorder::Message>{{Kind::Failure, "Project not valid."}}));
    EXPECT_FALSE(image.complete);
}

TEST_F(UpdateDeviceStep, ACompositionErrorKeepsTheEarlierImage) {
    test::writeExampleProject(dir.path());
    test::writeText(bank(), "earlier image");
    test::writeText(dir / "DefReg.xml", "<InfoMod><Modbus_Read/></InfoMod>");
    EXPECT_EQ(failureOfStep(), "DefReg.xml: element \"Modbus_Write\" is missing under the root.");
    EXPECT_EQ(test::readText(bank()), "earlier image");
}

TEST_F(UpdateDeviceStep, AnImageThatCannotBeWrittenIsReported) {
    test::writeExampleProject(dir.path());
    fs::remove(dir / "bin");
    EXPECT_TRUE(failureOfStep().contains(QString::fromStdString(bank().string())));
    EXPECT_FALSE(fs::exists(dir / "bin"));
}

TEST_F(UpdateDeviceStep, AReadOnlyImageIsReportedAndKept) {
    test::writeExampleProject(dir.path());
    test::writeText(bank(), "locked");
    fs::permissions(bank(), fs::perms::owner_read);
    EXPECT_FALSE(failureOfStep().isEmpty());
    EXPECT_EQ(test::readText(bank()), "locked");
}

}  // namespace
}  // namespace velmora::ui
