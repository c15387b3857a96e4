#include "ui/messages.h"

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPushButton>
#include <stdexcept>

#include "support/message_recorder.h"

namespace velmora::ui {
namespace {

using Kind = test::MessageRecorder::Kind;

TEST(Guarded, ShowsAFailureThroughTheReportWithTheFullStopRule) {
    struct Case {
        const char* thrown;
        const char* shown;
    };
    const Case cases[] = {
        {"Unable to write to /opt/velmora/Velmora_DNETM2MRTUs.ini",
         "Unable to write to /opt/velmora/Velmora_DNETM2MRTUs.ini."},
        {"Already ends.", "Already ends."},
        {"Odd (", "Odd ("},
    };
    for (const auto& c : cases) {
        test::MessageRecorder recorder;
        EXPECT_FALSE(guarded(recorder, [&] { throw std::runtime_error(c.thrown); }));
        EXPECT_EQ(recorder.messages,
                  (std::vector<test::MessageRecorder::Message>{{Kind::Failure, c.shown}}));
    }
}

TEST(Guarded, RunsAHandlerThatSucceedsSilently) {
    test::MessageRecorder recorder;
    int runs = 0;
    EXPECT_TRUE(guarded(recorder, [&] { ++runs; }));
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(recorder.messages.empty());
}

// Each box has its caption and icon, the windows' background and one flat "OK" with the
// dialogs' OK icon, which Enter and Escape both press.
TEST(MessageBoxes, HaveTheirCaptionIconAndTheDialogsOkButton) {
    const struct {
        MessageKind kind;
        QString caption;
        QMessageBox::Icon icon;
    } cases[] = {
        {MessageKind::Plain, "Firmware Velmora", QMessageBox::NoIcon},
        {MessageKind::Error, "Error", QMessageBox::Critical},
        {MessageKind::Failure, "Firmware Velmora", QMessageBox::Critical},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caption.toStdString());
        const std::unique_ptr<QMessageBox> box = makeMessageBox(c.kind, "Project not valid");
        EXPECT_EQ(box->windowTitle(), c.caption);
        EXPECT_EQ(box->text(), "Project not valid");
        EXPECT_EQ(box->icon(), c.icon);
        EXPECT_EQ(box->isModal(), true);
        EXPECT_EQ(box->palette().color(QPalette::Window), QColor(248, 247, 237));
        ASSERT_EQ(box->buttons().size(), 1);
        QAbstractButton* ok = box->buttons().front();
        EXPECT_EQ(ok->text(), "OK");
        EXPECT_FALSE(ok->icon().isNull());
        EXPECT_TRUE(static_cast<QPushButton*>(ok)->isFlat());
        EXPECT_EQ(box->defaultButton(), ok);
        EXPECT_EQ(box->escapeButton(), ok);
    }
}

}  // namespace
}  // namespace velmora::ui
