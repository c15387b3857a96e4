// The Win32 port layer and the COM probe on a real port: the Windows check maps COM5 of its Wine
// prefix to one end of a pseudo-terminal pair and names it in VELMORA_TEST_COM_PORT. Wine turns
// the Win32 calls into the terminal calls of the machine, so what a pseudo-terminal cannot do
// is not shown here: it has no modem lines (DTR), it keeps 8 data bits without parity whatever
// is asked, and Wine does not hold a terminal device exclusively (Windows refuses a second open
// of a port opened without sharing; under Wine that refusal is not checked).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "update/comm_port.h"
#include "update/port_discovery.h"

namespace velmora {
namespace {

bool underWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

std::string testPort() {
    const char* port = std::getenv("VELMORA_TEST_COM_PORT");
    return port ? port : "";
}

class Win32PortLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        port = testPort();
        if (port.empty()) GTEST_SKIP() << "VELMORA_TEST_COM_PORT names no port";
    }
    std::string port;
};

// The probe of "\\.\COM1" onwards finds the test port and nothing that stands for the
// machine's own serial ports.
TEST_F(Win32PortLayerTest, TheProbeFindsTheTestPortAndNoOther) {
    EXPECT_EQ(ui::systemPortNames(), std::vector<std::string>{port});
}

TEST_F(Win32PortLayerTest, OpenWritesTheLineSettingsAndHoldsThePortUntilClose) {
    const std::shared_ptr<PortLayer> layer = defaultPortLayer();
    int error = 0;
    const PortLayer::Handle handle = layer->openDevice(port, error);
    ASSERT_NE(handle, PortLayer::invalidHandle) << "error " << error;
    EXPECT_TRUE(layer->isCharacterDevice(handle));
    EXPECT_TRUE(layer->setTimeouts(handle).ok);
    EXPECT_TRUE(layer->setQueueSizes(handle, 4096, 2048).ok);

    // The settings of a project at 19200 baud, two stop bits, as Wine hands them to the terminal
    // and reads them back (a pseudo-terminal keeps its 8 data bits and no parity).
    LineSettings settings;
    settings.baudRate = 19200;
    settings.dataBits = 7;
    settings.parity = TParity::paEven;
    settings.stopBits = TStopbits::sb20;
    settings.flowControl = TFlowControl::fcNone;
    ASSERT_TRUE(layer->setLineSettings(handle, settings).ok);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(reinterpret_cast<HANDLE>(handle), &dcb));
    EXPECT_EQ(dcb.BaudRate, 19200u);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    if (!underWine()) {
        EXPECT_EQ(dcb.ByteSize, 7);
        EXPECT_EQ(dcb.Parity, EVENPARITY);
        // Held exclusively: a second open, ours or another program's, is refused.
        int second = 0;
        EXPECT_EQ(layer->openDevice(port, second), PortLayer::invalidHandle);
        EXPECT_EQ(second, ERROR_ACCESS_DENIED);
    }

    // A pseudo-terminal has no modem lines: setting DTR fails there with the code of the
    // system, which the component reports.
    const PortStatus dtr = layer->setDTR(handle, true);
    if (!dtr.ok) EXPECT_NE(dtr.code, 0);

    layer->closeDevice(handle);
    const PortLayer::Handle again = layer->openDevice(port, error);
    EXPECT_NE(again, PortLayer::invalidHandle) << "error " << error;
    if (again != PortLayer::invalidHandle) layer->closeDevice(again);
}

// What "Connect" does: the component opens the port with its settings, and a pseudo-terminal's
// missing DTR line is the one refusal, with the system's code; Close releases the port.
TEST_F(Win32PortLayerTest, TheComponentOpensAndReleasesThePort) {
    TComm comm;
    comm.setDeviceName(port);
    ASSERT_NO_THROW(comm.Open());
    EXPECT_TRUE(comm.isOpen());
    try {
        comm.SetDTR(true);
    } catch (const ECommError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("EscapeCommFunction failure", 0), 0u) << e.what();
        EXPECT_GT(e.code(), 0);
    }
    comm.Close();
    EXPECT_FALSE(comm.isOpen());
    TComm other;
    other.setDeviceName(port);
    EXPECT_NO_THROW(other.Open());
    other.Close();
}

}  // namespace
}  // namespace velmora
