#include "update/comm_port.h"
#include "update/comm_error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace velmora {
namespace {

// The steps of the port layer that can fail, in the order Open takes them.
enum class Step { open, charDevice, timeouts, lineSettings, queueSizes, dtr };

// A port layer that records its calls and fails the step it is told to.
class FakePortLayer : public PortLayer {
public:
    std::vector<std::string> calls;
    std::map<Step, int> failures;  // step -> error code
    LineSettings written;
    bool dtr = false;
    int openHandles = 0;

    Handle openDevice(const std::string& name, int& error) override {
        calls.push_back("open " + name);
        if (auto f = failures.find(Step::open); f != failures.end()) {
            error = f->second;
            return invalidHandle;
        }
        ++openHandles;
        return 7;
    }
    bool isCharacterDevice(Handle) override {
        calls.push_back("type");
        return !failures.contains(Step::charDevice);
    }
    void closeDevice(Handle handle) override {
        calls.push_back("close " + std::to_string(handle));
        --openHandles;
    }
    PortStatus setTimeouts(Handle) override {
        calls.push_back("timeouts");
        return result(Step::timeouts);
    }
    PortStatus setLineSettings(Handle, const LineSettings& settings) override {
        calls.push_back("line");
        written = settings;
        return result(Step::lineSettings);
    }
    PortStatus readLineSettings(Handle, LineSettings& settings, SavedLine*) override {
        calls.push_back("read line");
        settings = written;
        return PortStatus::success();
    }
    PortStatus restoreLine(Handle, const SavedLine&) override {
        calls.push_back("restore line");
        return PortStatus::success();
    }
    bool isPseudoTerminal(Handle) override { return false; }
    PortStatus setQueueSizes(Handle, std::int32_t input, std::int32_t output) override {
        calls.push_back("queues " + std::to_string(input) + " " + std::to_string(output));
        return result(Step::queueSizes);
    }
    PortStatus setDTR(Handle, bool state) override {
        calls.push_back(state ? "dtr on" : "dtr off");
        PortStatus s = result(Step::dtr);
        if (s.ok) dtr = state;
        return s;
    }

private:
    PortStatus result(Step step) const {
        auto f = failures.find(step);
        return f == failures.end() ? PortStatus::success() : PortStatus::failure(f->second);
    }
};

using test::commError;

class CommPortTest : public ::testing::Test {
protected:
    std::shared_ptr<FakePortLayer> layer = std::make_shared<FakePortLayer>();
    TComm comm{layer};
};

TEST(ECommErrorTest, MessageIsTheTextWithTheCodeAndATrailingBlank) {
    const ECommError minusOne("Port already assigned (open)", -1);
    EXPECT_STREQ(minusOne.what(), "Port already assigned (open) (Error: -1) ");
    EXPECT_EQ(minusOne.code(), -1);
    const ECommError errnoCode("Error accessing specified device", 2);
    EXPECT_STREQ(errnoCode.what(), "Error accessing specified device (Error: 2) ");
    EXPECT_EQ(errnoCode.code(), 2);
    const Error& general = errnoCode;  // reaches the report of unexpected failures as any Error
    EXPECT_STREQ(general.what(), "Error accessing specified device (Error: 2) ");
}

TEST(CommEnumerations, MapByOrdinalToThePlatformValues) {
    const std::vector<int> rates = {110,    300,    600,    1200,    2400,   4800,
                                    9600,   14400,  19200,  38400,   56000,  57600,
                                    115200, 128000, 256000, 1500000, 3000000};
    for (int i = 0; i < static_cast<int>(rates.size()); ++i) {
        EXPECT_EQ(baudRateValue(static_cast<TBaudrate>(i)), rates[i]) << i;
    }
    EXPECT_EQ(static_cast<int>(TBaudrate::br3000000), 16);
    EXPECT_EQ(dataBitsValue(TDatabits::da4), 4);
    EXPECT_EQ(dataBitsValue(TDatabits::da8), 8);
    EXPECT_EQ(static_cast<int>(TParity::paSpace), 4);  // SPACEPARITY
    EXPECT_EQ(static_cast<int>(TStopbits::sb20), 2);   // TWOSTOPBITS
    EXPECT_EQ(static_cast<int>(TCommOption::coNullStrip), 4);
    EXPECT_EQ(static_cast<int>(TFlowControl::fcDefault), 4);
    EXPECT_EQ(TCommEventTypes{TCommEventType::evBreak}.mask(), 0x1u);
    EXPECT_EQ(TCommEventTypes{TCommEventType::evTxEmpty}.mask(), 0x100u);
    EXPECT_EQ(allCommEvents.mask(), 0x1FFu);
}

TEST_F(CommPortTest, StartsClosedWithTheDefaultsInUse) {
    EXPECT_FALSE(comm.isOpen());
    EXPECT_EQ(comm.DeviceName(), "");
    EXPECT_EQ(comm.ReadBufSize(), 4096);
    EXPECT_EQ(comm.WriteBufSize(), 2048);
    EXPECT_EQ(comm.MonitorEvents(), allCommEvents);
    EXPECT_EQ(comm.BaudRate(), TBaudrate::br9600);
    EXPECT_EQ(comm.Parity(), TParity::paNone);
    EXPECT_EQ(comm.Stopbits(), TStopbits::sb10);
    EXPECT_EQ(comm.Databits(), TDatabits::da8);
    EXPECT_EQ(comm.EventChars(), (TCommEventChars{17, 19, 0, 0, 0}));
    EXPECT_TRUE(comm.Options().empty());
    EXPECT_EQ(comm.FlowControl(), TFlowControl::fcDefault);
}

TEST_F(CommPortTest, OpenTakesItsStepsInOrderAndWritesTheLineSettings) {
    comm.setDeviceName("COM3");
    comm.Open();
    EXPECT_TRUE(comm.isOpen());
    EXPECT_EQ(layer->calls, (std::vector<std::string>{"open COM3", "type", "timeouts", "line",
                                                      "queues 4096 2048"}));
    const LineSettings& s = layer->written;
    EXPECT_EQ(s.baudRate, 9600);
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_EQ(s.parity, TParity::paNone);
    EXPECT_EQ(s.stopBits, TStopbits::sb10);
    EXPECT_EQ(s.chars, (TCommEventChars{17, 19, 0, 0, 0}));
    EXPECT_EQ(s.xonLimit, 1024);  // ReadBufSize / 4
    EXPECT_EQ(s.xoffLimit, 1024);
    EXPECT_EQ(s.flowControl, TFlowControl::fcDefault);
    EXPECT_TRUE(s.options.empty());
}

TEST_F(CommPortTest, SetDTRReachesTheLayerWhileOpen) {
    comm.Open();
    comm.SetDTR(true);
    EXPECT_TRUE(layer->dtr);
    comm.SetDTR(false);
    EXPECT_FALSE(layer->dtr);
}

TEST_F(CommPortTest, OpenFailsAtEachStepWithItsTextAndCode) {
    struct Case {
        Step step;
        int code;
        std::string message;
        bool leftOpen;  // held until the next Close
    };
    const std::vector<Case> cases = {
        {Step::open, 2, "Error accessing specified device (Error: 2) ", false},
        {Step::charDevice, 0, "Invalid device handle, access denied (Error: -1) ", false},
        {Step::timeouts, 87, "Error updating CommTimeouts (Error: 87) ", true},
        {Step::lineSettings, 25, "Error updating DataControlBlock (Error: 25) ", true},
        {Step::queueSizes, 31, "Error initializing Read/Write Buffers (Error: 31) ", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        auto fake = std::make_shared<FakePortLayer>();
        fake->failures[c.step] = c.code;
        TComm port(fake);
        const ECommError e = commError([&] { port.Open(); });
        EXPECT_EQ(e.what(), c.message);
        EXPECT_EQ(port.isOpen(), c.leftOpen);
        EXPECT_EQ(fake->openHandles, c.leftOpen ? 1 : 0);
        if (c.leftOpen) {
            EXPECT_EQ(fake->calls.back().rfind("close", 0), std::string::npos)
                << "closed too early";
            port.Close();
            EXPECT_FALSE(port.isOpen());
            EXPECT_EQ(fake->openHandles, 0);
        }
    }
}

TEST_F(CommPortTest, OpenWhileOpenFailsWithoutTouchingTheDevice) {
    comm.Open();
    layer->calls.clear();
    EXPECT_STREQ(commError([&] { comm.Open(); }).what(),
                 "Port already assigned (open) (Error: -1) ");
    EXPECT_TRUE(layer->calls.empty());
    EXPECT_TRUE(comm.isOpen());
}

TEST_F(CommPortTest, DeviceNameChangesOnlyWhileClosed) {
    comm.setDeviceName("COM3");
    comm.Open();
    const ECommError e = commError([&] { comm.setDeviceName("COM4"); });
    EXPECT_STREQ(e.what(), "Port already assigned (open) (Error: -1) ");
    EXPECT_EQ(e.code(), -1);
    EXPECT_EQ(comm.DeviceName(), "COM3");
    EXPECT_NO_THROW(comm.setDeviceName("COM3"));
    comm.Close();
    comm.setDeviceName("COM4");
    EXPECT_EQ(comm.DeviceName(), "COM4");
}

TEST_F(CommPortTest, CloseReleasesOnceAndThenDoesNothing) {
    comm.Close();  // never opened
    comm.Open();
    comm.Close();
    comm.Close();
    EXPECT_FALSE(comm.isOpen());
    EXPECT_EQ(layer->calls.back(), "close 7");
    EXPECT_EQ(std::count(layer->calls.begin(), layer->calls.end(), "close 7"), 1);
    comm.Open();  // free again
    EXPECT_TRUE(comm.isOpen());
}

TEST_F(CommPortTest, SetDTRFailures) {
    const ECommError closed = commError([&] { comm.SetDTR(true); });
    EXPECT_STREQ(closed.what(), "Port not open, unable to complete operation (Error: -1) ");
    EXPECT_TRUE(layer->calls.empty());
    comm.Open();
    layer->failures[Step::dtr] = 1;
    const ECommError refused = commError([&] { comm.SetDTR(true); });
    EXPECT_STREQ(refused.what(), "EscapeCommFunction failure (Error: 1) ");
    EXPECT_EQ(refused.code(), 1);
    EXPECT_TRUE(comm.isOpen());
}

TEST(CommPortLifetime, DestroyingAnOpenComponentClosesIt) {
    auto layer = std::make_shared<FakePortLayer>();
    {
        TComm comm(layer);
        comm.Open();
    }
    EXPECT_EQ(layer->openHandles, 0);
    EXPECT_EQ(layer->calls.back(), "close 7");
}

// A component whose device-opening step is replaced, as a derived class may do.
class PresetComm : public TCustomComm {
public:
    using TCustomComm::TCustomComm;

protected:
    PortLayer::Handle createHandle() override { return 42; }
};

TEST(CommPortLifetime, OpenUsesTheDeviceOpeningStepOfTheDerivedClass) {
    auto layer = std::make_shared<FakePortLayer>();
    PresetComm comm(layer);
    comm.Open();
    EXPECT_EQ(layer->calls.front(), "timeouts");
    comm.Close();
    EXPECT_EQ(layer->calls.back(), "close 42");
}

}  // namespace
}  // namespace velmora
