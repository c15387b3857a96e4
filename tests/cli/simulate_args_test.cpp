// The simulator's node data file, its state file, its command line and its serial line.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/gateway_line.h"
#include "cli/node_data.h"
#include "cli/serial_line.h"
#include "cli/simulate.h"
#include "core/error.h"
#include "support/error_text.h"
#include "support/temp_dir.h"

namespace velmora::cli {
namespace {

// The example project's two nodes (ID 5: 4 in, 2 out; ID 9: 8 in, 6 out); node data need no map.
DecodedImage exampleImage() {
    DecodedImage image;
    image.nodes = {{5, 4, 2, 0, 0}, {9, 8, 6, 4, 2}};
    return image;
}

// The image's codes set the line's speed and parity; a code without a meaning is refused rather
// than run at a guessed speed.
TEST(GatewayLine, TakesSpeedAndParityFromTheImagesCodes) {
    struct Case {
        std::uint8_t baud;
        std::uint8_t parity;
        int bitsPerSecond;
        TParity lineParity;
    };
    const Case cases[] = {{0, 0, 1200, TParity::paNone},
                          {4, 1, 19200, TParity::paEven},
                          {7, 2, 115'200, TParity::paOdd}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bitsPerSecond);
        DecodedParameters p;
        p.serialBaud = c.baud;
        p.parity = c.parity;
        const GatewayLine line = gatewayLine(p);
        EXPECT_EQ(line.line.baudRate, c.bitsPerSecond);
        EXPECT_EQ(line.line.parity, c.lineParity);
    }
    DecodedParameters unknownBaud;
    unknownBaud.serialBaud = 8;
    EXPECT_THROW(gatewayLine(unknownBaud), Error);
    DecodedParameters unknownParity;
    unknownParity.parity = 3;
    EXPECT_THROW(gatewayLine(unknownParity), Error);
}

TEST(NodeData, ReadsBytesByNodePosition) {
    const DecodedImage image = exampleImage();
    EXPECT_EQ(parseNodeData(R"({"1": {"out": [1, 2]}, "2": {"out": [255]}})", image.nodes),
              (NodeOutputs{{0, {1, 2}}, {1, {255}}}));
    EXPECT_EQ(parseNodeData("{}", image.nodes), NodeOutputs{});
}

TEST(NodeData, RefusesWithPlaceAndReason) {
    const DecodedImage image = exampleImage();
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"({"1": {"out": [1, 2,]}})",
         "line 1, column 21: syntax error while parsing value - unexpected ']'; expected '[', '{', "
         "or a literal"},
        {"",
         "line 1, column 1: syntax error while parsing value - unexpected end of input; "
         "expected '[', '{', or a literal"},
        {R"([1])", "/: an object such as {\"1\": {\"out\": [1, 2]}} is expected"},
        {R"({"1": {"out": [1, 256]}})", "/1/out/1: 256 is not a byte (0 to 255)"},
        {R"({"2": {"out": [-1]}})", "/2/out/0: -1 is not a byte (0 to 255)"},
        {R"({"2": {"out": [1.5]}})", "/2/out/0: 1.5 is not a byte (0 to 255)"},
        {R"({"2": {"out": ["7"]}})", "/2/out/0: \"7\" is not a byte (0 to 255)"},
        {R"({"1": {"out": [1, 2, 3]}})", "/1/out: the node has 2 output bytes, 3 are given"},
        {R"({"1": {"out": 5}})", "/1/out: a list of bytes such as [1, 2] is expected"},
        {R"({"3": {"out": []}})", "/3: the image has no node 3 (it has 2)"},
        {R"({"01": {"out": []}})", "/01: \"01\" is not a node position (1, 2, ...)"},
        {R"({"0": {"out": []}})", "/0: \"0\" is not a node position (1, 2, ...)"},
        {R"({"1": [1]})", "/1: an object such as {\"out\": [1, 2]} is expected"},
        {R"({"1": {"Out": [1]}})", "/1/Out: unknown member (a node has \"out\")"},
        {R"({"2": {"out": [1]}, "1": {"out": []}, "2": {"out": [2]}})",
         "/2: node 2 is given twice"},
    };
    for (const auto& [text, message] : cases)
        EXPECT_EQ(test::errorText([&] { parseNodeData(text, image.nodes); }), message) << text;
}

TEST(NodeData, FileErrorsNameTheFile) {
    test::TempDir dir;
    const DecodedImage image = exampleImage();
    const auto file = dir / "data.json";
    EXPECT_EQ(test::errorText([&] { readNodeData(file, image.nodes); }),
              file.string() + ": No such file or directory");
    test::writeText(file, R"({"1": {"out": [300]}})");
    EXPECT_EQ(test::errorText([&] { readNodeData(file, image.nodes); }),
              file.string() + ": /1/out/0: 300 is not a byte (0 to 255)");
}

TEST(NodeData, FileWatchSeesEachChange) {
    test::TempDir dir;
    FileWatch watch(dir / "data.json");
    EXPECT_TRUE(watch.changed());  // first look
    EXPECT_FALSE(watch.changed());
    test::writeText(dir / "data.json", "{}");
    EXPECT_TRUE(watch.changed());
    EXPECT_FALSE(watch.changed());
    test::writeText(dir / "data.json", R"({"1": {}})");
    EXPECT_TRUE(watch.changed());
    std::filesystem::remove(dir / "data.json");
    EXPECT_TRUE(watch.changed());
}

TEST(NodeData, StateHoldsEveryNodesInputsAndOutputsByPosition) {
    modbus::SimulatedGateway gateway(exampleImage(), 17, true);
    gateway.setOutputs({{1, {1, 2, 3}}});
    EXPECT_EQ(
        nodeStateJson(gateway),
        R"({"1":{"in":[0,0,0,0],"out":[0,0]},"2":{"in":[0,0,0,0,0,0,0,0],"out":[1,2,3,0,0,0]}})"
        "\n");
}

TEST(SimulateArgs, ParsesSourcesTransportsAndFiles) {
    const SimulateOptions tcp =
        parseSimulateArgs({"simulate", "proj", "--tcp", ":1502", "--data=d.json", "--log", "l"});
    EXPECT_EQ(tcp.error, "");
    EXPECT_EQ(tcp.project, "proj");
    EXPECT_EQ(tcp.tcpHost, "127.0.0.1");
    EXPECT_EQ(tcp.tcpPort, "1502");
    EXPECT_EQ(tcp.data, "d.json");
    EXPECT_EQ(tcp.log, "l");
    const SimulateOptions v6 = parseSimulateArgs({"simulate", "--image", "b", "--tcp", "[::1]:0"});
    EXPECT_EQ(v6.tcpHost, "::1");
    EXPECT_EQ(v6.tcpPort, "0");
    EXPECT_EQ(v6.image, "b");
    EXPECT_EQ(parseSimulateArgs({"simulate", "p", "--tcp", "7"}).tcpHost, "127.0.0.1");
    EXPECT_EQ(parseSimulateArgs({"simulate", "p", "--rtu", "/dev/pts/9"}).rtuDevice, "/dev/pts/9");
    const SimulateOptions more = parseSimulateArgs(
        {"simulate", "p", "--tcp", ":1", "--verbose", "--state=s.json", "--idle-timeout", "5"});
    EXPECT_EQ(more.error, "");
    EXPECT_TRUE(more.verbose);
    EXPECT_EQ(more.state, "s.json");
    EXPECT_EQ(more.idleTimeout, 5);
    EXPECT_EQ(parseSimulateArgs({"simulate", "p", "--tcp", ":1"}).idleTimeout, 60);

    const std::vector<std::pair<std::vector<std::string>, std::string>> errors = {
        {{"simulate", "--tcp", ":1"}, "missing PROJECT_DIR or --image FILE"},
        {{"simulate", "p", "--image", "b", "--tcp", ":1"},
         "give PROJECT_DIR or --image FILE, not both"},
        {{"simulate", "p"}, "missing --tcp HOST:PORT or --rtu DEVICE"},
        {{"simulate", "p", "--tcp", ":1", "--rtu", "d"}, "give --tcp or --rtu, not both"},
        {{"simulate", "p", "q", "--tcp", ":1"}, "unexpected argument 'q'"},
        {{"simulate", "p", "--tcp", "h:70000"},
         "'h:70000' is not HOST:PORT with a port from 0 to 65535"},
        {{"simulate", "p", "--tcp", "h:"}, "'h:' is not HOST:PORT with a port from 0 to 65535"},
        {{"simulate", "p", "--tcp"}, "option '--tcp' requires an argument"},
        {{"simulate", "p", "--data=", "--tcp", ":1"}, "option '--data' requires an argument"},
        {{"simulate", "p", "--json"}, "unrecognized option '--json'"},
        {{"simulate", "p", "--verbose=1"}, "unrecognized option '--verbose=1'"},
        {{"simulate", "p", "--idle-timeout", "0"},
         "'0' is not a number of seconds from 1 to 86400"},
        {{"simulate", "p", "--idle-timeout=1.5"},
         "'1.5' is not a number of seconds from 1 to 86400"},
        {{"simulate", "p", "--state"}, "option '--state' requires an argument"},
    };
    for (const auto& [args, error] : errors)
        EXPECT_EQ(parseSimulateArgs(args).error, error) << error;
}

TEST(SimulateArgs, BaudAndParityGoWithTheSerialLine) {
    const SimulateOptions line =
        parseSimulateArgs({"simulate", "p", "--rtu", "d", "--baud", "9600", "--parity=odd"});
    EXPECT_EQ(line.error, "");
    EXPECT_EQ(line.baud, 9600);
    EXPECT_EQ(line.parity, TParity::paOdd);
    EXPECT_EQ(parseSimulateArgs({"simulate", "p", "--rtu", "d"}).parity, std::nullopt);
    EXPECT_EQ(parseSimulateArgs({"simulate", "p", "--rtu", "d", "--parity", "none"}).parity,
              TParity::paNone);

    const std::vector<std::pair<std::vector<std::string>, std::string>> errors = {
        {{"simulate", "p", "--tcp", ":1", "--baud", "9600"},
         "--baud and --parity set a serial port: they go with --rtu"},
        {{"simulate", "p", "--tcp", ":1", "--parity", "even"},
         "--baud and --parity set a serial port: they go with --rtu"},
        {{"simulate", "p", "--rtu", "d", "--baud", "49"},
         "'49' is not a number from 50 to 4000000 for --baud"},
        {{"simulate", "p", "--rtu", "d", "--parity", "mark"},
         "'mark' is not a parity (none, even or odd)"},
        {{"simulate", "p", "--rtu", "d", "--parity", "EVEN"},
         "'EVEN' is not a parity (none, even or odd)"},
    };
    for (const auto& [args, error] : errors)
        EXPECT_EQ(parseSimulateArgs(args).error, error) << error;
}

// A line standing in for the port layer: what it keeps of what it is asked, like a terminal.
class StandInLine : public PortLayer {
public:
    enum class Kind { Line, LineWithoutParity, PseudoTerminal };
    explicit StandInLine(Kind kind) : kind_(kind) {}

    Handle openDevice(const std::string&, int&) override { return 7; }
    bool isCharacterDevice(Handle) override { return true; }
    void closeDevice(Handle) override { closed = true; }
    PortStatus setTimeouts(Handle) override { return PortStatus::success(); }
    PortStatus setLineSettings(Handle, const LineSettings& asked) override {
        if (asked.baudRate == 14400) return PortStatus::failure(EINVAL);
        LineSettings kept = asked;
        if (kind_ != Kind::Line) kept.parity = TParity::paNone;
        if (kind_ == Kind::PseudoTerminal) kept.dataBits = 8;
        // As the C library reports it of a terminal: a request asking for a parity or a
        // character size the line did not keep, and changing nothing else, is refused.
        if (sameCharacter(kept, held) && !sameCharacter(kept, asked)) {
            return PortStatus::failure(EINVAL);
        }
        held = kept;
        return PortStatus::success();
    }
    PortStatus readLineSettings(Handle, LineSettings& settings, SavedLine* whole) override {
        settings = held;
        if (whole) *whole = {static_cast<unsigned char>(held.baudRate / 1200)};
        return PortStatus::success();
    }
    PortStatus restoreLine(Handle, const SavedLine& whole) override {
        held.baudRate = whole.at(0) * 1200;
        return PortStatus::success();
    }
    bool isPseudoTerminal(Handle) override { return kind_ == Kind::PseudoTerminal; }
    PortStatus setQueueSizes(Handle, std::int32_t, std::int32_t) override {
        return PortStatus::success();
    }
    PortStatus setDTR(Handle, bool) override { return PortStatus::success(); }

    LineSettings held;  // 9600 8N1 at first
    bool closed = false;

private:
    Kind kind_;
};

// The line is read back after the settings: a pseudo-terminal goes on at the 8-bit character
// without parity it carries, with a warning, on its first run and on a run after one that left it
// so (when it refuses the request whole); a line that drops a setting is refused. Either way the
// line is given back its state as found.
TEST(SerialLine, ALineThatDoesNotKeepItsSettingsSaysSo) {
    LineSettings evenSeven;
    evenSeven.baudRate = 19200;
    evenSeven.dataBits = 7;
    evenSeven.parity = TParity::paEven;
    LineSettings eightNone = evenSeven;
    eightNone.dataBits = 8;
    eightNone.parity = TParity::paNone;
    LineSettings left19200 = eightNone;  // as a run that was killed left the terminal
    using Kind = StandInLine::Kind;
    struct Case {
        const char* name;
        Kind kind;
        std::optional<LineSettings> before;
        std::string failure;  // the Error's text, or empty
        std::string warning;
    };
    const std::string pseudo =
        "COM9 did not keep parity EVEN, 7 data bits (a pseudo-terminal "
        "carries 8 data bits without parity): going on at 19200 baud, "
        "parity NONE, 8 data bits, 1 stop bit";
    const Case cases[] = {
        {"a line keeping all", Kind::Line, {}, "", ""},
        {"a line dropping the parity",
         Kind::LineWithoutParity,
         {},
         "Cannot open COM9: the line did not keep parity EVEN (it has 19200 baud, parity NONE, 7 "
         "data bits, 1 stop bit)",
         ""},
        {"a pseudo-terminal", Kind::PseudoTerminal, {}, "", pseudo},
        {"a pseudo-terminal left at 8N1", Kind::PseudoTerminal, left19200, "", pseudo},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto layer = std::make_shared<StandInLine>(c.kind);
        if (c.before) layer->held = *c.before;
        const int foundRate = layer->held.baudRate;
        std::string warning;
        const auto warn = [&](const std::string& text) { warning = text; };
        try {
            const SerialLine line("COM9", evenSeven, warn, layer);
            EXPECT_EQ(c.failure, "");
            const LineSettings& expected = c.kind == Kind::Line ? evenSeven : eightNone;
            EXPECT_TRUE(sameCharacter(line.settings(), expected));
        } catch (const Error& e) {
            EXPECT_EQ(e.what(), c.failure);
        }
        EXPECT_EQ(warning, c.warning);
        EXPECT_TRUE(layer->closed);
        EXPECT_EQ(layer->held.baudRate, foundRate);
    }
    // Settings no terminal can take are refused, named.
    const auto layer = std::make_shared<StandInLine>(Kind::PseudoTerminal);
    LineSettings odd = evenSeven;
    odd.baudRate = 14400;
    EXPECT_EQ(test::errorText([&] { SerialLine("COM9", odd, {}, layer); }),
              "Cannot open COM9: the line does not take 14400 baud, parity EVEN, 7 data bits, 1 "
              "stop bit (" +
                  nativeErrorText(EINVAL) + ")");
    EXPECT_TRUE(layer->closed);
}

}  // namespace
}  // namespace velmora::cli
