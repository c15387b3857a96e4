#include "modbus/gateway_session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "documents/register_map.h"
#include "modbus/frame_assembler.h"
#include "modbus_bytes.h"

namespace velmora::modbus {
namespace {

using test::Bytes;
using test::hex;

// Node 1 (ID 5: 4 in, 2 out): read register 1 carries its output bytes 1 and 2, write
// register 102 its input bytes 4 and 1.
DecodedImage smallImage() {
    DecodedImage image;
    image.nodes = {{5, 4, 2, 0, 0}};
    image.readMap = {{1, PackPosComp(1, 2), 0}};
    image.writeMap = {{102, PackPosComp(4, 1), 0}};
    return image;
}

class Session : public ::testing::Test {
protected:
    Session() { gateway.setOutputs({{0, {0x11, 0x22}}}); }
    SimulatedGateway gateway{smallImage(), 17, true};
};

TEST_F(Session, AsciiRequestGetsItsAnswerAsText) {
    GatewaySession session(gateway, Framing::Ascii);
    const SessionOutput out = session.receive(test::text(":110300010001EA\r\n"));
    EXPECT_EQ(out.reply, test::text(":1103021122B7\r\n"));
    ASSERT_EQ(out.exchanges.size(), 1u);
    EXPECT_EQ(describeRequest(out.exchanges[0].request), "unit 17 function 3 address 1 count 1");
    EXPECT_EQ(describeAnswer(out.exchanges[0].answer), "answered");
}

TEST_F(Session, TcpAnswersEachWholeRequestAndKeepsTheHalfOne) {
    GatewaySession session(gateway, Framing::Tcp);
    Bytes bytes = hex("00 05 00 00 00 06 11 03 00 01 00 01");         // read register 1
    const Bytes second = hex("00 06 00 00 00 06 11 06 00 66 01 02");  // write register 102
    bytes.insert(bytes.end(), second.begin(), second.end());
    const Bytes half = hex("00 07 00 00 00 06 11 03");
    bytes.insert(bytes.end(), half.begin(), half.end());
    const SessionOutput out = session.receive(bytes);
    EXPECT_EQ(out.reply, hex("00 05 00 00 00 05 11 03 02 11 22"
                             "00 06 00 00 00 06 11 06 00 66 01 02"));
    EXPECT_TRUE(out.wrote());
    EXPECT_TRUE(session.pending());
    EXPECT_EQ(gateway.inputs(0), (Bytes{0x02, 0, 0, 0x01}));
    EXPECT_EQ(session.receive(hex("00 01 00 01")).reply, hex("00 07 00 00 00 05 11 03 02 11 22"));
}

TEST_F(Session, RtuExceptionsAndSilenceForOtherUnits) {
    GatewaySession session(gateway, Framing::Rtu);
    FrameAssembler master(Framing::Rtu);
    struct Case {
        Adu request;
        Bytes answerPdu;  // empty: no answer
        std::string log;
    };
    const Case cases[] = {
        {{0, 17, hex("03 00 02 00 01")},
         hex("83 02"),
         "unit 17 function 3 address 2 count 1: exception 2 (illegal data address): register 2 "
         "is not in the read map"},
        {{0, 17, hex("03 00 01 00 00")},
         hex("83 03"),
         "unit 17 function 3 address 1 count 0: exception 3 (illegal data value): a count of 0 "
         "registers (1 to 125 are read)"},
        {{0, 17, hex("01 00 00 00 01")},
         hex("81 01"),
         "unit 17 function 1 address 0 count 1: exception 1 (illegal function): function 1 is "
         "not served"},
        {{0, 17, hex("10 00 66 00 01 02 AB")},
         hex("90 03"),
         "unit 17 function 16 address 102 count 1: exception 3 (illegal data value): a byte "
         "count of 2 with 1 bytes for 1 registers"},
        {{0, 3, hex("03 00 01 00 01")},
         {},
         "unit 3 function 3 address 1 count 1: ignored: for unit 3; this gateway is unit 17"},
        {{0, 0, hex("06 00 66 00 01")},
         {},
         "unit 0 function 6 address 102 count 1: ignored: a broadcast is not answered"},
        {{0, 0, hex("06 00 67 00 01")},
         {},
         "unit 0 function 6 address 103 count 1: ignored: a broadcast is not answered (register "
         "103 is not in the write map)"},
        {{0, 17, hex("2B 0E 01 00")},
         hex("AB 01"),
         "unit 17 function 43: exception 1 (illegal function): function 43 is not served"},
    };
    for (const Case& c : cases) {
        SessionOutput out = session.receive(encodeAdu(Framing::Rtu, c.request));
        if (session.pending()) out = session.silence();  // a function without a known length
        ASSERT_EQ(out.exchanges.size(), 1u) << c.log;
        EXPECT_EQ(describeRequest(out.exchanges[0].request) + ": " +
                      describeAnswer(out.exchanges[0].answer),
                  c.log);
        const std::vector<Assembled> answers = master.feed(out.reply);
        if (c.answerPdu.empty()) {
            EXPECT_TRUE(out.reply.empty()) << c.log;
            continue;
        }
        ASSERT_EQ(answers.size(), 1u) << c.log;
        ASSERT_TRUE(answers[0].adu) << answers[0].error;
        EXPECT_EQ(answers[0].adu->pdu, c.answerPdu) << c.log;
    }
    // Another slave's answer on the shared line ends at the silence after it; the next request is
    // served as usual.
    EXPECT_TRUE(
        session.receive(encodeAdu(Framing::Rtu, {0, 16, hex("03 02 00 01")})).reply.empty());
    const SessionOutput other = session.silence();
    ASSERT_EQ(other.exchanges.size(), 1u);
    EXPECT_EQ(other.exchanges[0].answer.kind, Answer::Kind::Ignore);
    EXPECT_FALSE(
        session.receive(encodeAdu(Framing::Rtu, {0, 17, hex("03 00 01 00 01")})).reply.empty());
    const SessionOutput damaged = session.receive(hex("11 03 00 01 00 01 00 00"));
    EXPECT_EQ(damaged.errors, std::vector<std::string>{"bad CRC"});
    EXPECT_TRUE(damaged.reply.empty());
}

}  // namespace
}  // namespace velmora::modbus
