#include "cli/cli.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "cli/report_text.h"
#include "core/path_text.h"
#include "image/example_project.h"
#include "support/temp_dir.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace velmora::cli {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kExampleReport =
    "Configuration image: 61 bytes\n"
    "Fingerprint: 18c3590e (SHA-256, first 8 hex digits)\n"
    "Header: node table at 16, read map at 34, write map at 41, parameter block at 48\n"
    "Node table: 2 nodes\n"
    "  Pos   ID     IN    OUT  In start  Out start\n"
    "    1    5      4      2         0          0\n"
    "    2    9      8      6         4          2\n"
    "Read map: 1 record\n"
    "  Index  Node   ID  High    Low\n"
    "      0     1    5  None    None\n"
    "Write map: 1 record\n"
    "  Index  Node   ID  High    Low\n"
    "    100     2    9  None    Byte2\n"
    "Parameter block:\n"
    "  DeviceNet ID    20\n"
    "  DeviceNet baud  500K (2)\n"
    "  Serial baud     115200 (7)\n"
    "  Parity          NONE (0)\n"
    "  Serial ID       1\n"
    "  Line            RS485 (1)\n"
    "  Framing         binary (0)\n"
    "  Node count      2\n"
    "  Read records    1\n"
    "  Write records   1\n"
    "  Hardware        QH48203-A1 (0)\n";

class Cli : public ::testing::Test {
protected:
    fs::path bank() const { return dir / "bin" / "bank.bin"; }
    test::TempDir dir;
};

TEST_F(Cli, ComposeWritesTheProjectImageAndSummarises) {
    test::writeExampleProject(dir.path());
    const Outcome r = run({"compose", dir.path().string()});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.out, bank().string() + ": 2 nodes, 1 read record, 1 write record, 61 bytes\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(test::hexBytes(test::readText(bank())), test::kExampleImage);
}

// Arguments are UTF-8 on every platform; a folder outside the ANSI code page works on Windows.
TEST_F(Cli, ComposeAndInspectTakeFoldersOfAnyName) {
    for (const std::string_view wide : test::kNamesBeyondTheCodePage) {
        const std::string name(wide);
        SCOPED_TRACE(name);
        const fs::path project = dir / pathFromText(name);
        test::writeExampleProject(project);
        const std::string projectText = pathText(project);
        const std::string bankText = pathText(project / "bin" / "bank.bin");
        Outcome r = run({"compose", projectText});
        EXPECT_EQ(r.status, kExitOk) << r.err;
        EXPECT_EQ(r.out, bankText + ": 2 nodes, 1 read record, 1 write record, 61 bytes\n");
        EXPECT_EQ(test::hexBytes(test::readText(project / "bin" / "bank.bin")),
                  test::kExampleImage);
        r = run({"inspect", bankText});
        EXPECT_EQ(r.status, kExitOk) << r.err;
        EXPECT_EQ(r.out, kExampleReport);
    }
}

TEST_F(Cli, ComposeOutputOptionWritesElsewhere) {
    test::writeProject(dir.path(), "", "", test::kExampleSettings);
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"--output", (dir / "a.bin").string()},
          std::vector<std::string>{"-o", (dir / "a.bin").string()},
          std::vector<std::string>{"--output=" + (dir / "a.bin").string()}}) {
        fs::remove(dir / "a.bin");
        std::vector<std::string> args = options;
        args.insert(args.begin(), {"compose", dir.path().string()});
        const Outcome r = run(args);
        EXPECT_EQ(r.status, kExitOk) << r.err;
        EXPECT_EQ(test::readText(dir / "a.bin").size(), 29u);
    }
    EXPECT_FALSE(fs::exists(bank()));
}

TEST_F(Cli, ComposeFailureWritesNothing) {
    test::writeExampleProject(dir.path());
    test::writeText(bank(), "previous");
    test::writeText(dir / "DefReg.xml", "<InfoMod><Modbus_Read/></InfoMod>");
    const Outcome r = run({"compose", dir.path().string()});
    EXPECT_EQ(r.status, kExitFailure);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "velmora-cli: DefReg.xml: element \"Modbus_Write\" is missing under the root\n");
    EXPECT_EQ(test::readText(bank()), "previous");
}

TEST_F(Cli, ComposeFailsForAMissingFolderOrBinFolder) {
    Outcome r = run({"compose", (dir / "nowhere").string()});
    EXPECT_EQ(r.status, kExitFailure);
    EXPECT_EQ(r.err, "velmora-cli: not a project folder: " + (dir / "nowhere").string() + "\n");

    r = run({"compose", dir.path().string()});
    EXPECT_EQ(r.status, kExitFailure);
    EXPECT_EQ(r.err,
              "velmora-cli: the project has no bin folder: " + (dir / "bin").string() + "\n");

    r = run({"compose", ""});
    EXPECT_EQ(r.status, kExitFailure);
    EXPECT_EQ(r.err, "velmora-cli: Project not valid\n");
}

TEST_F(Cli, UsageErrorsExitWithTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"--frobnicate"},
        {"compose"},
        {"compose", "a", "b"},
        {"compose", "a", "--json"},
        {"compose", "a", "--output"},
        {"compose", "a", "--output="},
        {"inspect"},
        {"inspect", "a", "-o", "b"},
        {"check", "a", "b"},
        {"check", "a", "--output", "b"},
        {"map", "a", "--format", "pdf"},
        {"map", "a", "--format"},
        {"map", "a", "--base", "-1"},
        {"map", "a", "--base=x"},
        {"map", "a", "--json"},
        {"help", "frobnicate"},
        {"help", "compose", "extra"},
        {"--help", "extra"},
        {"--version", "extra"},
    };
    for (const auto& args : cases) {
        const Outcome r = run(args);
        EXPECT_EQ(r.status, kExitUsage);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("velmora-cli: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find("Usage: velmora-cli"), std::string::npos) << r.err;
    }
}

TEST_F(Cli, HelpGoesToStandardOutput) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--help"}, "Usage: velmora-cli COMMAND"},
        {{"-h"}, "Usage: velmora-cli COMMAND"},
        {{"compose", "--help"}, "Usage: velmora-cli compose PROJECT_DIR [--output FILE]"},
        {{"compose", "x", "-h"}, "Usage: velmora-cli compose PROJECT_DIR [--output FILE]"},
        {{"inspect", "--help"}, "Usage: velmora-cli inspect BANK_FILE [--json]"},
        {{"help"}, "Usage: velmora-cli COMMAND"},
        {{"help", "compose"}, "Usage: velmora-cli compose PROJECT_DIR [--output FILE]"},
        {{"help", "check"}, "Usage: velmora-cli check PROJECT_DIR [--json]"},
        {{"help", "map"}, "Usage: velmora-cli map PROJECT_DIR [--format csv|html]"},
        {{"map", "--help"}, "Usage: velmora-cli map PROJECT_DIR [--format csv|html]"},
        {{"--version"}, "velmora-cli "},
    };
    for (const auto& [args, start] : cases) {
        const Outcome r = run(args);
        EXPECT_EQ(r.status, kExitOk);
        EXPECT_EQ(r.out.rfind(start, 0), 0u) << r.out;
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(Cli, InspectDescribesTheWorkedExample) {
    test::writeExampleProject(dir.path());
    ASSERT_EQ(run({"compose", dir.path().string()}).status, kExitOk);
    const Outcome r = run({"inspect", bank().string()});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.out, kExampleReport);
    EXPECT_EQ(r.err, "");
}

TEST_F(Cli, InspectJson) {
    test::writeExampleProject(dir.path());
    ASSERT_EQ(run({"compose", dir.path().string()}).status, kExitOk);
    const Outcome r = run({"inspect", "--json", bank().string()});
    EXPECT_EQ(r.status, kExitOk);
    for (
        const char* part : {
            R"({
  "length": 61,
  "fingerprint": "18c3590e",
  "header": {"nodeTable": 16, "readMap": 34, "writeMap": 41, "parameters": 48})",
            R"({"position": 1, "id": 9, "in": 8, "out": 6, "inputStart": 4, "outputStart": 2})",
            R"({"index": 100, "posComp": 2, "nodePosition": 1, "nodeId": 9, "high": "None", "highByte": 0, "low": "Byte2", "lowByte": 2})",
            R"("serialBaud": {"value": 7, "meaning": "115200"})",
            R"("hardware": {"value": 0, "meaning": "QH48203-A1"})",
            R"("problems": [])",
        }) {
        EXPECT_NE(r.out.find(part), std::string::npos) << part;
    }
}

TEST_F(Cli, InspectReportsInconsistentAndUndecodableImages) {
    test::writeExampleProject(dir.path());
    ASSERT_EQ(run({"compose", dir.path().string()}).status, kExitOk);
    std::string bytes = test::readText(bank());
    bytes[48 + 7] = 3;  // node count 3 of 2
    bytes[41 + 6] = 2;  // the write record names the third node of 2
    test::writeText(dir / "odd.bin", bytes);
    Outcome r = run({"inspect", (dir / "odd.bin").string()});
    EXPECT_EQ(r.status, kExitFailure);
    EXPECT_NE(r.out.find("    100     3    ?  None    Byte2\n"), std::string::npos) << r.out;
    const std::string prefix = "velmora-cli: " + (dir / "odd.bin").string() + ": ";
    EXPECT_EQ(r.err,
              prefix + "Record 1 of the write map names node 3, but the node table has 2 nodes\n" +
                  prefix + "The parameter block counts 3 nodes, but the image holds 2\n");

    test::writeText(dir / "short.bin", bytes.substr(0, 60));
    r = run({"inspect", (dir / "short.bin").string(), "--json"});
    EXPECT_EQ(r.status, kExitFailure);
    const std::string undecodable =
        (dir / "short.bin").string() +
        ": The parameter block holds 12 bytes; it must hold 13 bytes or be absent";
    EXPECT_EQ(r.out, "{\"error\": " + jsonString(undecodable) + "}\n");
    EXPECT_EQ(r.err, "velmora-cli: " + undecodable + "\n");

    // The path once, in front.
    r = run({"inspect", (dir / "missing.bin").string()});
    EXPECT_EQ(r.status, kExitFailure);
    EXPECT_EQ(r.err,
              "velmora-cli: " + (dir / "missing.bin").string() + ": No such file or directory\n");
}

// "-" reads the image from standard input, with the same reports as a file.
TEST_F(Cli, InspectReadsStandardInput) {
    test::writeExampleProject(dir.path());
    ASSERT_EQ(run({"compose", dir.path().string()}).status, kExitOk);
    const std::string bytes = test::readText(bank());
    const auto inspectInput = [](const std::string& input, std::vector<std::string> args) {
        std::istringstream in(input);
        std::ostringstream out;
        std::ostringstream err;
        const int status = runCli(args, in, out, err);
        return Outcome{status, out.str(), err.str()};
    };
    Outcome r = inspectInput(bytes, {"inspect", "-"});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.out, kExampleReport);

    r = inspectInput(bytes.substr(0, 45), {"inspect", "--json", "-"});
    EXPECT_EQ(r.status, kExitFailure);
    const std::string cut =
        "standard input: The file is cut short at 45 bytes: its header places the parameter "
        "block at 48";
    EXPECT_EQ(r.out, "{\"error\": " + jsonString(cut) + "}\n");
    EXPECT_EQ(r.err, "velmora-cli: " + cut + "\n");
}

// Standard output that takes nothing (a full disk, a closed pipe): every command that prints
// fails and says so, instead of passing a report cut short for a whole one.
TEST_F(Cli, EveryCommandFailsWhenStandardOutputCannotBeWritten) {
    // A stream buffer that refuses every byte.
    struct Full : std::streambuf {
        int_type overflow(int_type) override { return traits_type::eof(); }
    };
    test::writeExampleProject(dir.path());
    ASSERT_EQ(run({"compose", dir.path().string()}).status, kExitOk);
    const std::string project = dir.path().string();
    const std::vector<std::vector<std::string>> cases = {
        {"compose", project},
        {"compose", project, "-o", "-"},
        {"inspect", bank().string()},
        {"inspect", "--json", bank().string()},
        {"check", project},
        {"check", project, "--json"},
        {"map", project},
        {"map", project, "--format", "html"},
        {"help"},
        {"help", "check"},
        {"--version"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args.front() + " " + std::to_string(args.size()));
        Full full;
        std::ostream out(&full);
        std::ostringstream err;
        EXPECT_EQ(runCli(args, out, err), kExitFailure);
        EXPECT_EQ(err.str(), "velmora-cli: cannot write to standard output\n");
    }
}

#ifndef _WIN32
// The real executable: exit statuses as a shell sees them.
int runBinary(const std::string& arguments) {
    const int raw =
        std::system((std::string(VELMORA_CLI_PATH) + " " + arguments + " >/dev/null 2>&1").c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST_F(Cli, ExecutableExitStatuses) {
    test::writeExampleProject(dir.path());
    const std::string project = "'" + dir.path().string() + "'";
    EXPECT_EQ(runBinary("compose " + project), 0);
    EXPECT_EQ(runBinary("inspect " + project + "/bin/bank.bin"), 0);
    EXPECT_EQ(runBinary("--help"), 0);
    EXPECT_EQ(runBinary("inspect " + project + "/DefReg.xml"), 1);
    EXPECT_EQ(runBinary("compose " + project + " --bogus"), 2);
    if (fs::exists("/dev/full")) {
        // Standard output that takes nothing: the project and the image are sound, yet it fails.
        for (const std::string& args :
             {"check " + project, "inspect " + project + "/bin/bank.bin"}) {
            const int raw = std::system(
                (std::string(VELMORA_CLI_PATH) + " " + args + " >/dev/full 2>/dev/null").c_str());
            EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 1) << args;
        }
    }
}

// The image is read from standard input as bytes: a Ctrl+Z, a CR LF pair.
TEST_F(Cli, ExecutableReadsAnImageFromStandardInputAsBytes) {
    // One node of ID 26 (Ctrl+Z) with 0x0a0d input bytes; no parameter block.
    test::writeText(dir / "node.bin", std::string_view("\x10\0\0\0\x19\0\0\0\x19\0\0\0\x19\0\0\0"
                                                       "\x1a\x0d\x0a\0\0\0\0\0\0",
                                                       25));
    const std::string command = "\"" VELMORA_CLI_PATH "\" inspect - < \"" +
                                (dir / "node.bin").string() + "\" > \"" +
                                (dir / "report.txt").string() + "\"";
    const int raw = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << raw;
    EXPECT_NE(test::readText(dir / "report.txt").find("    1   26   2573      0"),
              std::string::npos)
        << test::readText(dir / "report.txt");
}
#endif

}  // namespace
}  // namespace velmora::cli
