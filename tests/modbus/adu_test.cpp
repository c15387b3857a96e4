#include "modbus/adu.h"

#include <gtest/gtest.h>

#include "modbus/protocol.h"
#include "modbus_bytes.h"

namespace velmora::modbus {
namespace {

using test::hex;

TEST(Checks, CrcAndLrcOfKnownFrames) {
    // The CRC's published check value, and frames as masters send them.
    EXPECT_EQ(crc16(test::text("123456789")), 0x4B37);
    EXPECT_EQ(crc16(hex("01 03 00 00 00 0A")), 0xCDC5);
    EXPECT_EQ(crc16(hex("11 03 00 6B 00 03")), 0x8776);
    EXPECT_EQ(lrc(hex("11 03 00 6B 00 03")), 0x7E);
    EXPECT_EQ(lrc(hex("")), 0x00);
    EXPECT_EQ(lrc(hex("FF 01")), 0x00);  // the sum wraps
}

TEST(EncodeAdu, EachFramingWrapsTheSamePdu) {
    const Adu request{0x1234, 0x11, hex("03 00 6B 00 03")};
    struct Case {
        Framing framing;
        test::Bytes bytes;
    };
    const Case cases[] = {
        {Framing::Rtu, hex("11 03 00 6B 00 03 76 87")},
        {Framing::Ascii, test::text(":1103006B00037E\r\n")},
        {Framing::Tcp, hex("12 34 00 00 00 06 11 03 00 6B 00 03")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(encodeAdu(c.framing, request), c.bytes) << framingName(c.framing);
    }
    // Hexadecimal digits are upper case.
    EXPECT_EQ(encodeAdu(Framing::Ascii, {0, 0xAB, hex("CD")}), test::text(":ABCD88\r\n"));
}

TEST(Protocol, EveryStandardExceptionHasItsNameInEveryText) {
    struct Case {
        std::uint8_t code;
        std::string text;
        bool transient;
    };
    const std::vector<Case> cases = {
        {1, "exception 1 (illegal function)", false},
        {2, "exception 2 (illegal data address)", false},
        {3, "exception 3 (illegal data value)", false},
        {4, "exception 4 (server device failure)", false},
        {5, "exception 5 (acknowledge)", true},
        {6, "exception 6 (server device busy)", true},
        {8, "exception 8 (memory parity error)", false},
        {10, "exception 10 (gateway path unavailable)", true},
        {11, "exception 11 (gateway target device failed to respond)", true},
        // Codes the protocol leaves unnamed are told by number alone, never "exception 7
        // (exception 7)".
        {7, "exception 7", false},
        {0, "exception 0", false},
        {255, "exception 255", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(exceptionText(c.code), c.text);
        EXPECT_EQ(isTransientException(c.code), c.transient) << c.text;
    }
    EXPECT_EQ(exceptionName(kServerDeviceBusy), "server device busy");
    EXPECT_EQ(exceptionName(7), "exception 7");
}

}  // namespace
}  // namespace velmora::modbus
