#include "modbus/read_client.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modbus_bytes.h"

namespace velmora::modbus {
namespace {

using test::Bytes;
using test::hex;

const ReadRequest kRequest{17, 3, 0x6B, 2, 9};

TEST(ReadClient, RequestsInEachFraming) {
    EXPECT_EQ(encodeReadRequest(Framing::Rtu, kRequest), hex("11 03 00 6B 00 02 B7 47"));
    EXPECT_EQ(encodeReadRequest(Framing::Tcp, kRequest),
              hex("00 09 00 00 00 06 11 03 00 6B 00 02"));
    EXPECT_EQ(encodeReadRequest(Framing::Ascii, kRequest), test::text(":1103006B00027F\r\n"));
}

// The answer's bytes through an assembler that expects answers, then the decoding.
std::vector<ReadAnswer> decoded(Framing framing, const Bytes& bytes, bool silence = false) {
    FrameAssembler assembler(framing, Expect::Answers);
    std::vector<Assembled> frames = assembler.feed(bytes);
    if (silence) {
        for (Assembled& a : assembler.silence()) frames.push_back(std::move(a));
    }
    std::vector<ReadAnswer> answers;
    for (const Assembled& frame : frames)
        answers.push_back(decodeReadAnswer(kRequest, framing, frame));
    return answers;
}

// The RTU and TCP bytes of an ADU for unit `unit` carrying `pdu`.
Bytes onTheLine(Framing framing, const Bytes& pdu, std::uint8_t unit = 17,
                std::uint16_t transaction = 9) {
    return encodeAdu(framing, Adu{transaction, unit, pdu});
}

TEST(ReadClient, AnswersDecodeInEveryFraming) {
    for (const Framing framing : {Framing::Rtu, Framing::Ascii, Framing::Tcp}) {
        SCOPED_TRACE(std::string(framingName(framing)));
        const auto values = decoded(framing, onTheLine(framing, hex("03 04 11 22 03 04")));
        ASSERT_EQ(values.size(), 1u);
        EXPECT_EQ(values[0].kind, ReadAnswer::Kind::Values);
        EXPECT_EQ(values[0].values, (std::vector<std::uint16_t>{0x1122, 0x0304}));

        const auto refused = decoded(framing, onTheLine(framing, hex("83 02")));
        ASSERT_EQ(refused.size(), 1u);
        EXPECT_EQ(refused[0].kind, ReadAnswer::Kind::Exception);
        EXPECT_EQ(refused[0].exception, 2);
    }
}

TEST(ReadClient, DamagedAnswersAreToldAndNeverTakenForValues) {
    struct Case {
        Framing framing;
        Bytes bytes;
        std::string error;
        bool check;
    };
    Bytes badCrc = onTheLine(Framing::Rtu, hex("03 04 11 22 03 04"));
    badCrc.back() ^= 0x55;
    Bytes badLrc = test::text(":110304112203040F\r\n");
    const std::vector<Case> cases = {
        {Framing::Rtu, badCrc, "bad CRC", true},
        {Framing::Ascii, badLrc, "bad LRC", true},
        {Framing::Tcp, onTheLine(Framing::Tcp, hex("03 02 11 22")),
         "an answer with 2 data bytes and byte count 2 for 2 registers", false},
        {Framing::Tcp, onTheLine(Framing::Tcp, hex("03 04 11 22 03")),
         "an answer with 3 data bytes and byte count 4 for 2 registers", false},
        {Framing::Tcp, onTheLine(Framing::Tcp, hex("04 04 11 22 03 04")),
         "an answer with function 4 to function 3", false},
        {Framing::Rtu, onTheLine(Framing::Rtu, hex("03 04 11 22 03 04"), 5),
         "an answer from unit 5, not unit 17", false},
        {Framing::Tcp, onTheLine(Framing::Tcp, hex("83 02 00")), "an exception answer of 3 bytes",
         false},
        {Framing::Tcp, onTheLine(Framing::Tcp, hex("03")),
         "an answer with no byte count for 2 registers", false},
    };
    for (const Case& c : cases) {
        const auto answers = decoded(c.framing, c.bytes, true);
        ASSERT_EQ(answers.size(), 1u) << c.error;
        EXPECT_EQ(answers[0].kind, ReadAnswer::Kind::Damaged) << c.error;
        EXPECT_EQ(answers[0].error, c.error);
        EXPECT_EQ(answers[0].checkError, c.check) << c.error;
    }
}

TEST(ReadClient, AnAnswerToAnotherTransactionIsPassedOver) {
    const auto answers =
        decoded(Framing::Tcp, onTheLine(Framing::Tcp, hex("03 04 11 22 03 04"), 17, 8));
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].kind, ReadAnswer::Kind::Foreign);
}

}  // namespace
}  // namespace velmora::modbus
