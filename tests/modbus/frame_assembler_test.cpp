#include "modbus/frame_assembler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "modbus/protocol.h"
#include "modbus_bytes.h"

namespace velmora::modbus {
namespace {

using test::Bytes;
using test::hex;

// What came out of the assembler, one entry per frame: "unit 17: 03 00 6B" or "error: bad CRC".
std::vector<std::string> shown(const std::vector<Assembled>& assembled) {
    std::vector<std::string> lines;
    for (const Assembled& a : assembled) {
        if (!a.adu) {
            lines.push_back("error: " + a.error);
            continue;
        }
        std::string line = "unit " + std::to_string(a.adu->unit) + ":";
        char pair[4];
        for (const std::uint8_t b : a.adu->pdu) {
            std::snprintf(pair, sizeof pair, " %02X", b);
            line += pair;
        }
        lines.push_back(line);
    }
    return lines;
}

// Requests and answers of the functions a master uses, in each framing: each must come out
// whole at its last byte and not before, however the bytes are cut.
TEST(FrameAssembler, EveryPduComesOutWholeAtItsLastByte) {
    const std::vector<Bytes> pdus = {
        hex("03 00 6B 00 03"),                 // read request
        hex("03 06 02 2B 00 00 00 64"),        // read answer
        hex("03 00"),                          // read answer of no bytes (as a frame)
        hex("04 00 01 00 01"),                 // read input registers
        hex("06 00 65 12 34"),                 // write single: request and answer alike
        hex("10 00 64 00 02 04 00 0A 01 02"),  // write multiple request
        hex("10 00 64 00 02"),                 // write multiple answer
        hex("83 02"),                          // exception answer
        hex("17 00 03 00 06 00 0E 00 03 06 00 FF 00 FF 00 FF"),  // read/write multiple
        hex("01 00 13 00 25"),                                   // read coils
    };
    for (const Framing framing : {Framing::Rtu, Framing::Ascii, Framing::Tcp}) {
        for (const Bytes& pdu : pdus) {
            const Adu adu{7, 17, pdu};
            const Bytes bytes = encodeAdu(framing, adu);
            FrameAssembler assembler(framing);
            for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
                EXPECT_TRUE(assembler.feed({&bytes[i], 1}).empty())
                    << framingName(framing) << " byte " << i << " of " << shown({{adu, {}}})[0];
            }
            const std::vector<Assembled> out = assembler.feed({&bytes.back(), 1});
            ASSERT_EQ(out.size(), 1u) << framingName(framing) << " " << shown({{adu, {}}})[0];
            ASSERT_TRUE(out[0].adu) << out[0].error;
            EXPECT_EQ(out[0].adu->pdu, pdu);
            EXPECT_EQ(out[0].adu->unit, 17);
            EXPECT_EQ(out[0].adu->transaction, framing == Framing::Tcp ? 7 : 0);
            EXPECT_FALSE(assembler.pending());
        }
    }
}

TEST(FrameAssembler, SeveralFramesInOneReadComeOutInOrder) {
    for (const Framing framing : {Framing::Rtu, Framing::Ascii, Framing::Tcp}) {
        Bytes bytes = encodeAdu(framing, {1, 17, hex("03 00 00 00 01")});
        const Bytes second = encodeAdu(framing, {2, 18, hex("06 00 01 00 02")});
        bytes.insert(bytes.end(), second.begin(), second.end());
        FrameAssembler assembler(framing);
        EXPECT_EQ(shown(assembler.feed(bytes)),
                  (std::vector<std::string>{"unit 17: 03 00 00 00 01", "unit 18: 06 00 01 00 02"}))
            << framingName(framing);
    }
}

TEST(FrameAssembler, RtuBadCrcDropsUntilTheNextSilence) {
    FrameAssembler assembler(Framing::Rtu);
    EXPECT_EQ(shown(assembler.feed(hex("11 03 00 6B 00 03 76 88"))),
              std::vector<std::string>{"error: bad CRC"});
    // What follows before the line falls silent cannot be told apart from the bad frame's tail.
    EXPECT_TRUE(assembler.feed(hex("11 03 00 6B 00 03 76 87")).empty());
    EXPECT_TRUE(assembler.silence().empty());
    EXPECT_EQ(shown(assembler.feed(hex("11 03 00 6B 00 03 76 87"))),
              std::vector<std::string>{"unit 17: 03 00 6B 00 03"});
}

TEST(FrameAssembler, RtuFrameOfAnUnknownFunctionEndsAtSilence) {
    FrameAssembler assembler(Framing::Rtu);
    const Bytes frame = encodeAdu(Framing::Rtu, {0, 17, hex("41 01 02 03")});
    EXPECT_TRUE(assembler.feed(frame).empty());
    EXPECT_TRUE(assembler.pending());
    EXPECT_EQ(shown(assembler.silence()), std::vector<std::string>{"unit 17: 41 01 02 03"});
    EXPECT_TRUE(assembler.feed(hex("11 03 00")).empty());
    EXPECT_EQ(shown(assembler.silence()),
              std::vector<std::string>{"error: a frame cut short (3 bytes)"});
    EXPECT_FALSE(assembler.pending());
    // An endless stream of one function without a length is cut at the longest frame.
    const std::vector<Assembled> flood = assembler.feed(Bytes(300, 0x41));
    EXPECT_EQ(shown(flood), std::vector<std::string>{"error: a frame longer than 256 bytes"});
}

TEST(FrameAssembler, RtuClientTakesAnswersOnly) {
    // A read request read as an answer: its byte count 0 makes it 5 bytes long, with a bad CRC.
    FrameAssembler client(Framing::Rtu, Expect::Answers);
    EXPECT_EQ(shown(client.feed(hex("11 03 00 6B 00 03 76 87"))),
              std::vector<std::string>{"error: bad CRC"});
    FrameAssembler server(Framing::Rtu, Expect::Requests);
    const Bytes answer = encodeAdu(Framing::Rtu, {0, 17, hex("03 02 11 22")});
    EXPECT_TRUE(server.feed(answer).empty());  // waits for a request's 8 bytes
    EXPECT_EQ(shown(server.silence()), std::vector<std::string>{"unit 17: 03 02 11 22"});
}

// A Modbus ASCII client (the monitor) reads the gateway's answers with the same assembler: the
// texts a gateway sends, cut anyhow and with line noise between them, up to the longest answer.
TEST(FrameAssembler, AsciiClientReadsEveryAnswer) {
    FrameAssembler client(Framing::Ascii, Expect::Answers);
    const std::string line =
        ":1103080000112203040006A4\r\n"  // registers 0 to 3
        "\r\n"
        ":1183026A\r\n"  // exception 2
        "\xFF"
        ":1106006512343E\r\n"   // write single register, echoed
        ":11100064000378\r\n";  // write multiple registers: address and count
    const Bytes bytes = test::text(line);
    std::vector<Assembled> frames;
    for (std::size_t at = 0; at < bytes.size(); at += 3) {
        const std::size_t take = std::min<std::size_t>(3, bytes.size() - at);
        for (Assembled& a : client.feed({&bytes[at], take})) frames.push_back(std::move(a));
    }
    EXPECT_EQ(shown(frames), (std::vector<std::string>{
                                 "unit 17: 03 08 00 00 11 22 03 04 00 06",
                                 "unit 17: 83 02",
                                 "unit 17: 06 00 65 12 34",
                                 "unit 17: 10 00 64 00 03",
                             }));
    EXPECT_FALSE(client.pending());

    // The longest answer a read brings (125 registers) and the longest PDU any framing carries
    // come out whole; one byte more is refused.
    for (const std::size_t size : {std::size_t{252}, kMaxPduSize}) {
        Bytes pdu(size, 0xA5);
        pdu[0] = kReadHoldingRegisters;
        pdu[1] = static_cast<std::uint8_t>(size - 2);
        const std::vector<Assembled> out = client.feed(encodeAdu(Framing::Ascii, {0, 17, pdu}));
        ASSERT_EQ(out.size(), 1u) << size;
        ASSERT_TRUE(out[0].adu) << size << ": " << out[0].error;
        EXPECT_EQ(out[0].adu->pdu, pdu);
    }
    std::string tooLong = ":11";
    for (std::size_t i = 0; i < kMaxPduSize + 1; ++i) tooLong += "00";
    tooLong += "EF\r\n";
    EXPECT_EQ(shown(client.feed(test::text(tooLong))),
              std::vector<std::string>{"error: a frame longer than 513 characters"});
}

TEST(FrameAssembler, AsciiFramingErrors) {
    struct Case {
        std::string text;
        std::vector<std::string> out;
    };
    const Case cases[] = {
        {":1103006B00037F\r\n", {"error: bad LRC"}},
        {":1103006b00037e\r\n", {"unit 17: 03 00 6B 00 03"}},  // lower case is read too
        {"noise:1103006B00037E\r\n", {"unit 17: 03 00 6B 00 03"}},
        {":1103:1103006B00037E\r\n",
         {"error: a frame cut by a new \":\"", "unit 17: 03 00 6B 00 03"}},
        {":11G3006B00037E\r\n:1103006B00037E\r\n",
         {"error: a character that is not a hexadecimal digit", "unit 17: 03 00 6B 00 03"}},
        {":1103006B00037\r\n", {"error: an odd number of hexadecimal digits"}},
        {":1100\r\n", {"error: a frame cut short (2 bytes)"}},
        {":1103006B00037E\rX\n", {"error: CR not followed by LF"}},
        {":" + std::string(600, '0') + "\r\n", {"error: a frame longer than 513 characters"}},
    };
    for (const Case& c : cases) {
        FrameAssembler assembler(Framing::Ascii);
        EXPECT_EQ(shown(assembler.feed(test::text(c.text))), c.out) << c.text;
    }
}

TEST(FrameAssembler, TcpHeaderThatCannotBeFollowedBreaksTheStream) {
    struct Case {
        Bytes bytes;
        std::string error;
    };
    const Case cases[] = {
        {hex("00 01 00 01 00 06 11 03 00 00 00 01"), "error: protocol 1 in the MBAP header"},
        {hex("00 01 00 00 00 01 11"), "error: length 1 in the MBAP header"},
        {hex("00 01 00 00 01 00 11"), "error: length 256 in the MBAP header"},
    };
    for (const Case& c : cases) {
        FrameAssembler assembler(Framing::Tcp);
        EXPECT_EQ(shown(assembler.feed(c.bytes)), std::vector<std::string>{c.error});
        EXPECT_TRUE(assembler.broken());
        EXPECT_TRUE(assembler.feed(hex("00 01 00 00 00 06 11 03 00 00 00 01")).empty());
    }
    FrameAssembler half(Framing::Tcp);
    EXPECT_TRUE(half.feed(hex("00 01 00 00 00 06 11 03")).empty());
    EXPECT_TRUE(half.pending());
    EXPECT_FALSE(half.broken());
}

}  // namespace
}  // namespace velmora::modbus
