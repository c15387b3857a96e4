#include "ui/messages.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace velmora::ui
