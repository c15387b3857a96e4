#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "cli/report_text.h"
#include "core/sha256.h"
#include "image/example_project.h"
#include "support/temp_dir.h"

namespace velmora::cli {
namespace {

namespace fs = std::filesystem;

// RFC 4180 records: fields split at commas outside quotes, doubled quotes undone, CRLF ends.
std::vector<std::vector<std::string>> parseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record;
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            record.push_back(std::move(field));
            field.clear();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            record.push_back(std::move(field));
            field.clear();
            records.push_back(std::move(record));
            record.clear();
            ++i;
        } else if (c == '\r' || c == '\n') {
            ADD_FAILURE() << "a line break outside quotes that is not CRLF, at " << i;
        } else {
            field += c;
        }
    }
    EXPECT_TRUE(field.empty() && record.empty()) << "the last record lacks its CRLF";
    return records;
}

using Records = std::vector<std::vector<std::string>>;

class ProjectCommands : public ::testing::Test {
protected:
    std::string project() const { return dir.path().string(); }
    test::TempDir dir;
};

TEST_F(ProjectCommands, CheckOfACleanProjectSaysSoAndExitsZero) {
    test::writeProject(
        dir.path(), R"(<DNET_Net><row ID="5" NB_IN="1" NB_OUT="1" Mnemonic=""/></DNET_Net>)",
        R"(<InfoMod><Modbus_Read><row Index="0" NrDNNode="1" PosComp="1"/></Modbus_Read>)"
        R"(<Modbus_Write><row Index="0" NrDNNode="1" PosComp="65536"/></Modbus_Write></InfoMod>)",
        test::kExampleSettings);
    Outcome r = run({"check", project()});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.out, "0 errors, 0 warnings\n");
    EXPECT_EQ(r.err, "");

    r = run({"check", project(), "--json"});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.out, "{\n  \"problems\": [],\n  \"errors\": 0,\n  \"warnings\": 0\n}\n");
}

TEST_F(ProjectCommands, CheckListsProblemsAndExitsOneOnAnError) {
    test::writeExampleProject(dir.path());
    test::writeText(dir / "pargen.xml", "<Par_Gen><Ser_ID>0</Ser_ID></Par_Gen>");
    Outcome r = run({"check", project()});
    EXPECT_EQ(r.status, kExitFailure);
    EXPECT_EQ(r.out,
              "error: pargen.xml, DNET_DEV_ID: element \"DNET_DEV_ID\" is missing\n"
              "error: pargen.xml, DNET_BAUD: element \"DNET_BAUD\" is missing\n"
              "error: pargen.xml, Ser_Baud: element \"Ser_Baud\" is missing\n"
              "error: pargen.xml, Ser_Par: element \"Ser_Par\" is missing\n"
              "error: pargen.xml, Ser_Type: element \"Ser_Type\" is missing\n"
              "error: pargen.xml, Ser_Prot: element \"Ser_Prot\" is missing\n"
              "error: pargen.xml, Ser_ID: Ser_ID 0 is outside 1 to 247\n"
              "warning: DefReg.xml, Modbus_Read row 1: both bytes are \"None\": the register "
              "carries no byte\n"
              "warning: DefReg.xml, Modbus_Read row 2: node 3 is beyond the 2 nodes of "
              "DNET_Net.xml: the row is dropped from the image\n"
              "warning: DefReg.xml, Modbus_Read node 1: no register carries bytes 1-2 of node 1 "
              "(ID 5)\n"
              "warning: DefReg.xml, Modbus_Read node 2: no register carries bytes 1-6 of node 2 "
              "(ID 9)\n"
              "warning: DefReg.xml, Modbus_Write node 1: no register carries bytes 1-4 of node 1 "
              "(ID 5)\n"
              "warning: DefReg.xml, Modbus_Write node 2: no register carries bytes 1, 3-8 of "
              "node 2 (ID 9)\n"
              "7 errors, 6 warnings\n");

    r = run({"check", "--json", project()});
    EXPECT_EQ(r.status, kExitFailure);
    EXPECT_NE(
        r.out.find(R"({"severity": "error", "code": "serial-id-range", )"
                   R"("document": "pargen.xml", "list": null, "row": null, "place": "Ser_ID", )"
                   R"("message": "Ser_ID 0 is outside 1 to 247"})"),
        std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(R"({"severity": "warning", "code": "node-beyond-network", )"
                         R"("document": "DefReg.xml", "list": "Modbus_Read", "row": 2, )"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"errors\": 7,\n  \"warnings\": 6\n}\n"), std::string::npos) << r.out;
}

// A problem on several rows of one node is one line, and one JSON object that names its first
// row and counts the others; --errors-only leaves the warnings out but still counts them.
TEST_F(ProjectCommands, CheckGroupsRepeatedProblemsAndListsErrorsOnly) {
    test::writeProject(dir.path(), test::kExampleNodes,
                       R"(<InfoMod><Modbus_Read><row Index="0" NrDNNode="1" PosComp="1"/>)"
                       R"(<row Index="1" NrDNNode="9" PosComp="1"/>)"
                       R"(<row Index="2" NrDNNode="9" PosComp="1"/>)"
                       R"(<row Index="3" NrDNNode="9" PosComp="1"/>)"
                       R"(<row Index="x" NrDNNode="1" PosComp="2"/></Modbus_Read>)"
                       R"(<Modbus_Write/></InfoMod>)",
                       test::kExampleSettings);
    const std::string error =
        "error: DefReg.xml, Modbus_Read row 5: attribute \"Index\" is not an integer: \"x\"\n";
    Outcome r = run({"check", project()});
    EXPECT_EQ(r.status, kExitFailure);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1),
              "warning: DefReg.xml, Modbus_Read row 2 and 2 more rows: node 9 is beyond the 2 "
              "nodes of DNET_Net.xml: the rows are dropped from the image\n");
    EXPECT_NE(r.out.find(error), std::string::npos) << r.out;

    r = run({"check", project(), "--json"});
    EXPECT_NE(r.out.find(R"({"severity": "warning", "code": "node-beyond-network", )"
                         R"("document": "DefReg.xml", "list": "Modbus_Read", "row": 2, )"
                         R"("place": "Modbus_Read row 2 and 2 more rows", "message": "node 9 is )"
                         R"(beyond the 2 nodes of DNET_Net.xml: the rows are dropped from the )"
                         R"(image", "moreRows": 2},)"),
              std::string::npos)
        << r.out;

    r = run({"check", project(), "--errors-only"});
    EXPECT_EQ(r.status, kExitFailure);
    EXPECT_EQ(r.out, error + "1 error, 4 warnings\n");

    r = run({"check", "--errors-only", "--json", project()});
    EXPECT_EQ(r.status, kExitFailure);
    EXPECT_EQ(r.out,
              "{\n  \"problems\": [\n    {\"severity\": \"error\", \"code\": "
              "\"attribute-not-integer\", \"document\": \"DefReg.xml\", \"list\": \"Modbus_Read\", "
              "\"row\": 5, \"place\": \"Modbus_Read row 5\", \"message\": \"attribute "
              "\\\"Index\\\" is not an integer: \\\"x\\\"\"}\n  ],\n  \"errors\": 1,\n  "
              "\"warnings\": 4\n}\n");
}

// The PROJECTS folder typed by mistake: an error, not a clean check.
TEST_F(ProjectCommands, CheckOfAFolderWithoutAnyDocumentFails) {
    const Outcome r = run({"check", project()});
    EXPECT_EQ(r.status, kExitFailure);
    EXPECT_EQ(r.out,
              "error: not a project folder: none of pargen.xml, DNET_Net.xml, DefReg.xml\n"
              "1 error, 0 warnings\n");
}

TEST_F(ProjectCommands, JsonFailuresAreOneObjectOnStandardOutput) {
    const std::string nowhere = (dir / "nowhere").string();
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"check", nowhere, "--json"}, "not a project folder: " + nowhere},
        {{"inspect", "--json", nowhere}, nowhere + ": No such file or directory"},
        {{"check", "a", "b", "--json"}, "unexpected argument 'b'"},
    };
    for (const auto& [args, message] : cases) {
        const Outcome r = run(args);
        EXPECT_NE(r.status, kExitOk);
        EXPECT_EQ(r.out, "{\"error\": " + jsonString(message) + "}\n");
        EXPECT_EQ(r.err.rfind("velmora-cli: " + message + "\n", 0), 0u) << r.err;
    }
}

TEST_F(ProjectCommands, ADocumentThatDoesNotParseIsNamedFirst) {
    test::writeExampleProject(dir.path());
    test::writeText(dir / "pargen.xml", "<Par_Gen>");
    for (const char* command : {"compose", "map"}) {
        const Outcome r = run({command, project()});
        EXPECT_EQ(r.status, kExitFailure);
        EXPECT_EQ(r.err.rfind("velmora-cli: pargen.xml: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find("\nLine: 1\n"), std::string::npos) << r.err;
    }
}

TEST_F(ProjectCommands, OutputDashWritesToStandardOutput) {
    test::writeExampleProject(dir.path());
    Outcome r = run({"compose", project(), "--output", "-"});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(test::hexBytes(r.out), test::kExampleImage);
    EXPECT_FALSE(fs::exists(dir / "bin" / "bank.bin"));

    r = run({"map", project(), "-o", "-"});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.out.rfind("map,register,", 0), 0u);
    EXPECT_FALSE(fs::exists(dir / "-"));

    r = run({"map", project(), "--output", (dir / "map.csv").string()});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(test::readText(dir / "map.csv").rfind("map,register,", 0), 0u);
}

TEST_F(ProjectCommands, MapCsvHoldsTheKeptRowsByMapThenRegister) {
    test::writeProject(
        dir.path(),
        R"(<DNET_Net><row ID="5" NB_IN="4" NB_OUT="2" Mnemonic="Drive, &quot;left&quot;"/>)"
        R"(<row ID="9" NB_IN="8" NB_OUT="6" Mnemonic=""/></DNET_Net>)",
        R"(<InfoMod><Modbus_Read><row Index="12" NrDNNode="2" PosComp="196612"/>)"
        R"(<row Index="7" NrDNNode="3" PosComp="3"/><row Index="0x3" NrDNNode="1" PosComp="1"/>)"
        R"(</Modbus_Read><Modbus_Write><row Index="100" NrDNNode="2" PosComp="131072"/>)"
        R"(</Modbus_Write></InfoMod>)",
        test::kExampleSettings);
    const Records expected = {
        {"map", "register", "node", "node_id", "mnemonic", "high_byte", "low_byte"},
        {"read", "3", "1", "5", "Drive, \"left\"", "", "1"},
        {"read", "12", "2", "9", "", "3", "4"},
        {"write", "100", "2", "9", "", "2", ""},
    };
    Outcome r = run({"map", project()});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(parseCsv(r.out), expected);
    EXPECT_NE(r.out.find("\"Drive, \"\"left\"\"\""), std::string::npos) << r.out;

    Records based = expected;
    based[1][1] = "40004";
    based[2][1] = "40013";
    based[3][1] = "40101";
    r = run({"map", project(), "--format", "csv", "--base", "40001"});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(parseCsv(r.out), based);
    r = run({"map", project(), "--base=40001"});
    EXPECT_EQ(parseCsv(r.out), based);
}

// A mnemonic a spreadsheet would run as a formula is written with a leading apostrophe.
TEST_F(ProjectCommands, MapCsvKeepsSpreadsheetsFromRunningAMnemonic) {
    const std::pair<const char*, const char*> cases[] = {
        {"=1+2", "'=1+2"}, {"+A1", "'+A1"},    {"-2", "'-2"},        {"@SUM(A1)", "'@SUM(A1)"},
        {"&#9;x", "'\tx"}, {"&#13;x", "'\rx"}, {"Pump-1", "Pump-1"}, {"a=b", "a=b"},
    };
    for (const auto& [mnemonic, written] : cases) {
        SCOPED_TRACE(mnemonic);
        test::writeProject(dir.path(),
                           std::string(R"(<DNET_Net><row ID="5" NB_IN="0" NB_OUT="2" Mnemonic=")") +
                               mnemonic + R"("/></DNET_Net>)",
                           R"(<InfoMod><Modbus_Read><row Index="0" NrDNNode="1" PosComp="1"/>)"
                           R"(</Modbus_Read><Modbus_Write/></InfoMod>)",
                           test::kExampleSettings);
        const Outcome r = run({"map", project()});
        ASSERT_EQ(r.status, kExitOk) << r.err;
        const Records records = parseCsv(r.out);
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[1][4], written);
    }
}

// A repeated register index is never silent: named on standard error (the CSV unchanged), marked
// on the page, and refused with --strict, as a project with errors is.
TEST_F(ProjectCommands, MapNamesRepeatedIndexesAndStrictRefusesThem) {
    const std::string nodes =
        R"(<DNET_Net><row ID="5" NB_IN="2" NB_OUT="2" Mnemonic=""/></DNET_Net>)";
    test::writeProject(
        dir.path(), nodes,
        R"(<InfoMod><Modbus_Read><row Index="7" NrDNNode="1" PosComp="1"/>)"
        R"(<row Index="7" NrDNNode="1" PosComp="2"/><row Index="0x7" NrDNNode="1" PosComp="2"/>)"
        R"(</Modbus_Read><Modbus_Write><row Index="7" NrDNNode="1" PosComp="1"/>)"
        R"(<row Index="7" NrDNNode="1" PosComp="2"/></Modbus_Write></InfoMod>)",
        test::kExampleSettings);
    Outcome r = run({"map", project(), "--base", "40001"});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.err,
              "velmora-cli: warning: register 40008 stands 3 times in the read map\n"
              "velmora-cli: warning: register 40008 stands 2 times in the write map\n");
    EXPECT_EQ(parseCsv(r.out).size(), 6u);

    r = run({"map", project(), "--format", "html"});
    EXPECT_NE(r.out.find("<tr class=\"repeated\"><td class=\"num\">7 (repeated)</td>"),
              std::string::npos);

    r = run({"map", project(), "--strict"});
    EXPECT_EQ(r.status, kExitFailure);
    EXPECT_EQ(r.out, "");
    // The read map's rows 2 and 3 repeat one problem on node 1: one error for both.
    EXPECT_NE(r.err.find("velmora-cli: --strict: the project has 2 errors and 2 repeated indexes"),
              std::string::npos)
        << r.err;

    test::writeProject(dir.path(), nodes,
                       R"(<InfoMod><Modbus_Read><row Index="7" NrDNNode="1" PosComp="1"/>)"
                       R"(</Modbus_Read><Modbus_Write/></InfoMod>)",
                       test::kExampleSettings);
    r = run({"map", project(), "--strict"});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.err, "");
}

TEST_F(ProjectCommands, MapFailsWhenTheProjectDoesNotCompose) {
    test::writeExampleProject(dir.path());
    test::writeText(dir / "DefReg.xml", "<InfoMod><Modbus_Read/></InfoMod>");
    const Outcome r = run({"map", project()});
    EXPECT_EQ(r.status, kExitFailure);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "velmora-cli: DefReg.xml: element \"Modbus_Write\" is missing under the root\n");
}

// Hand-edited settings read alike by inspect (the composed image), map (the image too) and check
// (which flags what the device cannot read, and where the dialog reads otherwise).
TEST_F(ProjectCommands, InspectMapAndCheckAgreeOnHandEditedSettings) {
    struct Case {
        const char* name;
        const char* settings;  // DNET_BAUD, Ser_Baud, Ser_Par, Ser_Type, HW_Type
        std::vector<std::string> inspected;
        std::vector<std::string> mapped;
        std::vector<std::string> checked;
        int checkStatus;
    };
    const auto settings = [](const char* baud, const char* serialBaud, const char* parity,
                             const char* line, const char* hardware) {
        return std::string("<Par_Gen><DNET_DEV_ID>20</DNET_DEV_ID><DNET_BAUD>") + baud +
               "</DNET_BAUD><Ser_Baud>" + serialBaud + "</Ser_Baud><Ser_Par>" + parity +
               "</Ser_Par><Ser_ID>1</Ser_ID><Ser_Type>" + line +
               "</Ser_Type><Ser_Prot>0</Ser_Prot><HW_Type>" + hardware + "</HW_Type></Par_Gen>";
    };
    const Case cases[] = {
        {"leading zeros and hexadecimal",
         nullptr,
         {"DeviceNet baud  250K (1)", "Serial baud     19200 (4)", "Parity          ODD (2)",
          "Line            RS232 (0)", "Hardware        QH48203-A1 (0)"},
         {"<td>ID 20, baud rate 250K</td>",
          "<td>RS232, 19200 baud, parity ODD, ID 1, Modbus RTU</td>", "<td>QH48203-A1</td>"},
         {"0 errors, 6 warnings"},
         kExitOk},
        {"a hardware variant the dialog reads otherwise",
         nullptr,
         {"Hardware        QH48203-B2 (1)", "Line            RS485 (1)"},
         {"<td>QH48203-B2</td>", "<td>RS485, 115200 baud"},
         {"warning: pargen.xml, HW_Type: HW_Type \"01\" reads as QH48203-A1 in the dialog, but "
          "the device gets QH48203-B2 (1)"},
         kExitOk},
        {"values outside their lists",
         nullptr,
         {"DeviceNet baud  unknown (255)", "Serial baud     unknown (8)",
          "Parity          unknown (3)", "Line            unknown (2)",
          "Hardware        unknown (2)"},
         {"<td>ID 20, baud rate unknown (255)</td>",
          "<td>unknown (2), unknown (8) baud, parity unknown (3), ID 1, Modbus RTU</td>",
          "<td>unknown (2)</td>"},
         {"error: pargen.xml, DNET_BAUD: DNET_BAUD -1 is not in the list",
          "error: pargen.xml, Ser_Baud: Ser_Baud 8 is not in the list",
          "error: pargen.xml, Ser_Par: Ser_Par 3 is not in the list",
          "error: pargen.xml, Ser_Type: Ser_Type 2 is not in the list",
          "error: pargen.xml, HW_Type: HW_Type 2 is not in the list", "5 errors"},
         kExitFailure},
    };
    const std::string texts[] = {settings("$1", "04", "0x2", "00", "0"),
                                 settings("2", "7", "0", "1", "01"),
                                 settings("-1", "8", "3", "2", "2")};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        test::writeProject(dir.path(), test::kExampleNodes, test::kExampleMap, texts[i]);
        ASSERT_EQ(run({"compose", project()}).status, kExitOk);
        const Outcome inspected = run({"inspect", (dir / "bin" / "bank.bin").string()});
        for (const std::string& part : c.inspected) {
            EXPECT_NE(inspected.out.find(part), std::string::npos) << part << "\n" << inspected.out;
        }
        const Outcome mapped = run({"map", project(), "--format", "html"});
        for (const std::string& part : c.mapped) {
            EXPECT_NE(mapped.out.find(part), std::string::npos) << part;
        }
        EXPECT_EQ(mapped.out.find("none chosen"), std::string::npos);
        const Outcome checked = run({"check", project()});
        EXPECT_EQ(checked.status, c.checkStatus);
        for (const std::string& part : c.checked) {
            EXPECT_NE(checked.out.find(part), std::string::npos) << part << "\n" << checked.out;
        }
    }
}

// The page of the worked example: its tables' rows and the byte picture, nothing fetched.
TEST_F(ProjectCommands, MapHtmlOfTheWorkedExample) {
#ifdef _WIN32
    // "<" and ">" cannot stand in a folder name on Windows.
    const std::string name = "Plant & 1";
    const char* title = "<title>Register map: Plant &amp; 1</title>";
#else
    const std::string name = "Plant <1>";
    const char* title = "<title>Register map: Plant &lt;1&gt;</title>";
#endif
    test::writeExampleProject(dir / name);
    const Outcome r = run({"map", (dir / name).string(), "--format", "html", "--base", "40001"});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    for (const char* part : {
             title,
             "<tr><th>DeviceNet master</th><td>ID 20, baud rate 500K</td></tr>",
             "<tr><th>Serial line</th><td>RS485, 115200 baud, parity NONE, ID 1, Modbus "
             "RTU</td></tr>",
             "<tr><th>Hardware</th><td>QH48203-A1</td></tr>",
             "<tr><td class=\"num\">1</td><td class=\"num\">5</td><td>Drive</td><td "
             "class=\"num\">4</td><td class=\"num\">2</td><td class=\"num\">0</td><td "
             "class=\"num\">0</td></tr>",
             "<tr><td class=\"num\">2</td><td class=\"num\">9</td><td></td><td "
             "class=\"num\">8</td><td class=\"num\">6</td><td class=\"num\">4</td><td "
             "class=\"num\">2</td></tr>",
             "<table class=\"registers read\">",
             "<tr><td class=\"num\">40001</td><td class=\"num\">1</td><td class=\"num\">5</td>"
             "<td>Drive</td><td>None</td><td>None</td></tr>",
             "<table class=\"registers write\">",
             "<tr><td class=\"num\">40101</td><td class=\"num\">2</td><td class=\"num\">9</td>"
             "<td></td><td>None</td><td>Byte 2</td></tr>",
             "<tr><th>Gateway Modbus ID</th><td><b>1</b></td></tr>",
             "<h2>Read map (Modbus_Read): function 3 or 4</h2>",
             "<h2>Write map (Modbus_Write): function 6 or 16</h2>",
             // The read row on node 3 of 2, marked where its register would stand.
             "<tr class=\"dropped\"><td class=\"num\">40008</td><td class=\"num\">3</td><td "
             "class=\"num\">&ndash;</td><td colspan=\"3\">dropped from the image: node 3 is "
             "past the 2 nodes of the DeviceNet list (Modbus_Read row 2)</td></tr>",
             // Node 2's input bytes: byte 2 carried by register 40101's low byte, byte 1 by none.
             "<tr><th>Input 1&ndash;8</th><td class=\"byte free\"><b>1</b>&ndash;</td><td "
             "class=\"byte\"><b>2</b>40101 L</td><td class=\"byte free\"><b>3</b>",
         }) {
        EXPECT_NE(r.out.find(part), std::string::npos) << part;
    }
    // Nothing is loaded from elsewhere.
    for (const char* external : {"<script", "<link", "src=", "url(", "@import", "http"}) {
        EXPECT_EQ(r.out.find(external), std::string::npos) << external;
    }
}

// The sheet names the image it was made from by the first 8 hex digits of the SHA-256 of the very
// bytes compose writes, as inspect prints them, beside the date; with the gateway's Modbus ID.
TEST_F(ProjectCommands, MapSheetNamesTheImageItIsMadeFrom) {
    struct Case {
        const char* name;
        std::string_view nodes, map, settings;
        const char* modbusId;
    };
    std::string otherId(test::kExampleSettings);
    otherId.replace(otherId.find("<Ser_ID>1<"), 10, "<Ser_ID>17<");
    const Case cases[] = {
        {"worked example", test::kExampleNodes, test::kExampleMap, test::kExampleSettings, "1"},
        {"another Modbus ID", test::kExampleNodes, test::kExampleMap, otherId, "17"},
        {"no settings", test::kExampleNodes, test::kExampleMap, "",
         "none: pargen.xml is missing, the image has no settings"},
        {"settings alone", "", "", test::kExampleSettings, "1"},
    };
    std::vector<std::string> fingerprints;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path project = dir / c.name;
        test::writeProject(project, c.nodes, c.map, c.settings);
        const Outcome composed = run({"compose", project.string(), "--output", "-"});
        ASSERT_EQ(composed.status, kExitOk) << composed.err;
        const std::string fingerprint =
            hexDigest(sha256({reinterpret_cast<const std::uint8_t*>(composed.out.data()),
                              composed.out.size()}))
                .substr(0, 8);
        fingerprints.push_back(fingerprint);

        const Outcome sheet = run({"map", project.string(), "--format", "html"});
        ASSERT_EQ(sheet.status, kExitOk) << sheet.err;
        EXPECT_TRUE(std::regex_search(
            sheet.out, std::regex("<tr><th>Image</th><td><b class=\"fingerprint\">" + fingerprint +
                                  "</b>, composed [0-9]{4}-[0-9]{2}-[0-9]{2} &middot; ")))
            << sheet.out;
        EXPECT_NE(sheet.out.find(std::string("<tr><th>Gateway Modbus ID</th><td><b>") + c.modbusId +
                                 "</b></td></tr>"),
                  std::string::npos);

        ASSERT_EQ(run({"compose", project.string()}).status, kExitOk);
        const Outcome inspected = run({"inspect", (project / "bin" / "bank.bin").string()});
        EXPECT_NE(inspected.out.find("Fingerprint: " + fingerprint + " "), std::string::npos)
            << inspected.out;
    }
    std::sort(fingerprints.begin(), fingerprints.end());
    EXPECT_EQ(std::adjacent_find(fingerprints.begin(), fingerprints.end()), fingerprints.end());
}

// Dropped rows stand among the kept ones by register (after kept rows of the same index), marked;
// those whose index is not a number come last. Repeated indexes are marked, the others not.
TEST_F(ProjectCommands, MapSheetMarksDroppedRowsAndRepeatedIndexes) {
    struct Case {
        const char* name;
        std::string_view nodes;
        const char* rows;  // of Modbus_Read
        std::vector<std::string> inOrder;
    };
    const auto dropped = [](const char* number, const char* node, const char* nodes,
                            const char* row) {
        return std::string("<tr class=\"dropped\"><td class=\"num\">") + number +
               "</td><td class=\"num\">" + node +
               "</td><td class=\"num\">&ndash;</td><td colspan=\"3\">dropped from the image: "
               "node " +
               node + " is past the " + nodes + " of the DeviceNet list (Modbus_Read row " + row +
               ")</td></tr>";
    };
    const char* kept = "<tr><td class=\"num\">";
    const char* repeated = "<tr class=\"repeated\"><td class=\"num\">";
    const Case cases[] = {
        {"among the kept rows",
         test::kExampleNodes,
         R"(<row Index="9" NrDNNode="1" PosComp="1"/><row Index="0x4" NrDNNode="3" PosComp="1"/>)"
         R"(<row Index="2" NrDNNode="2" PosComp="1"/><row Index="x" NrDNNode="9" PosComp="0"/>)"
         R"(<row Index="12" NrDNNode="7"/>)",
         {std::string(kept) + "2</td>", dropped("4", "3", "2 nodes", "2"),
          std::string(kept) + "9</td>", dropped("12", "7", "2 nodes", "5"),
          dropped("x", "9", "2 nodes", "4")}},
        {"no DeviceNet list",
         "",
         R"(<row Index="3" NrDNNode="1" PosComp="1"/>)",
         {dropped("3", "1", "0 nodes", "1")}},
        {"repeated beside dropped",
         test::kExampleNodes,
         R"(<row Index="5" NrDNNode="1" PosComp="1"/><row Index="5" NrDNNode="2" PosComp="1"/>)"
         R"(<row Index="5" NrDNNode="4" PosComp="1"/><row Index="6" NrDNNode="1" PosComp="2"/>)",
         {std::string(repeated) + "5 (repeated)</td>", std::string(repeated) + "5 (repeated)</td>",
          dropped("5", "4", "2 nodes", "3"), std::string(kept) + "6</td>"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path project = dir / c.name;
        test::writeProject(project, c.nodes,
                           std::string("<InfoMod><Modbus_Read>") + c.rows +
                               "</Modbus_Read><Modbus_Write/></InfoMod>",
                           test::kExampleSettings);
        const Outcome r = run({"map", project.string(), "--format", "html"});
        ASSERT_EQ(r.status, kExitOk) << r.err;
        const std::size_t start = r.out.find("<table class=\"registers read\">");
        const std::size_t end = r.out.find("</table>", start);
        ASSERT_NE(end, std::string::npos);
        std::size_t at = start;
        for (const std::string& row : c.inOrder) {
            at = r.out.find(row, at);
            ASSERT_LT(at, end) << row << "\n" << r.out.substr(start, end - start);
            at += row.size();
        }
        // Every row of the table is one of those.
        std::size_t rows = 0;
        for (std::size_t tr = r.out.find("<tr", start); tr < end; tr = r.out.find("<tr", tr + 1)) {
            ++rows;
        }
        EXPECT_EQ(rows, c.inOrder.size() + 2) << "the heading and the column heads besides";
    }
}

// A mnemonic of 60 capitals wraps in the tables and is cut in a node's one-line heading, which
// keeps it whole as its title; the node list runs on under its heading as the other tables do;
// the dropped rows of one node are one line.
TEST_F(ProjectCommands, MapSheetKeepsLongMnemonicsOnThePageAndGroupsDroppedRows) {
    const std::string capitals(60, 'M');
    test::writeProject(
        dir.path(),
        R"(<DNET_Net><row ID="5" NB_IN="0" NB_OUT="2" Mnemonic=")" + capitals + R"("/></DNET_Net>)",
        R"(<InfoMod><Modbus_Read><row Index="4" NrDNNode="9" PosComp="1"/>)"
        R"(<row Index="0" NrDNNode="1" PosComp="1"/>)"
        R"(<row Index="2" NrDNNode="9" PosComp="1"/>)"
        R"(<row Index="3" NrDNNode="9" PosComp="1"/></Modbus_Read>)"
        R"(<Modbus_Write/></InfoMod>)",
        test::kExampleSettings);
    const Outcome r = run({"map", project(), "--format", "html"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    const std::string heading = "Node 1 (ID 5) " + capitals;
    for (const std::string& part : {
             std::string("table.nodes td:nth-child(3), table.registers td:nth-child(4) { "
                         "overflow-wrap: anywhere; }"),
             std::string("white-space: nowrap; overflow: hidden; text-overflow: ellipsis; }"),
             "<div class=\"cover\" title=\"" + heading + "\">" + heading + "</div>",
             std::string("<h2>DeviceNet nodes</h2>\n<div class=\"headed\"><div "
                         "class=\"cover\">Node: the position in the DeviceNet list, as NrDNNode "
                         "names it</div>\n<table class=\"nodes\"><thead><tr class=\"heading\"><th "
                         "colspan=\"7\">DeviceNet nodes <span "
                         "class=\"continued\">(continued)</span></th></tr><tr><th "
                         "class=\"num\">Node</th>"),
             "<td>" + capitals + "</td>",
             std::string(
                 "<tr class=\"dropped\"><td class=\"num\">4</td><td class=\"num\">9</td><td "
                 "class=\"num\">&ndash;</td><td colspan=\"3\">dropped from the image: node 9 "
                 "is past the 1 node of the DeviceNet list (Modbus_Read row 1 and 2 more "
                 "rows)</td></tr>"),
         }) {
        EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
    }
    std::size_t dropped = 0;
    for (auto at = r.out.find("<tr class=\"dropped\">"); at != std::string::npos;
         at = r.out.find("<tr class=\"dropped\">", at + 1)) {
        ++dropped;
    }
    EXPECT_EQ(dropped, 1u);
}

// Printed, a table that runs on to the next page repeats its thead there: the heading row in it
// says "(continued)", and the first page shows the cover above it instead; no row is split.
TEST_F(ProjectCommands, MapSheetTablesRepeatTheirHeadingsAndKeepRowsWhole) {
    test::writeProject(dir.path(),
                       R"(<DNET_Net><row ID="5" NB_IN="0" NB_OUT="10" Mnemonic="Drive &lt;A&gt;"/>)"
                       R"(<row ID="6" NB_IN="1" NB_OUT="8" Mnemonic=""/></DNET_Net>)",
                       R"(<InfoMod><Modbus_Read><row Index="0" NrDNNode="1" PosComp="589834"/>)"
                       R"(</Modbus_Read><Modbus_Write/></InfoMod>)",
                       test::kExampleSettings);
    const Outcome r = run({"map", project(), "--format", "html"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    for (const char* part : {
             "tr { break-inside: avoid; }",
             "thead { display: table-header-group; }",
             "<div class=\"headed\"><div class=\"cover\">Function 3 (read holding registers) or 4 "
             "(read input registers), on the nodes' output bytes</div>\n<table class=\"registers "
             "read\"><thead><tr class=\"heading\"><th colspan=\"6\">Read map (Modbus_Read): "
             "function 3 or 4 <span class=\"continued\">(continued)</span></th></tr><tr><th "
             "class=\"num\">Register</th>",
             "<div class=\"headed\"><div class=\"cover\" title=\"Node 1 (ID 5) Drive &lt;A&gt;\">"
             "Node 1 (ID 5) Drive &lt;A&gt;</div>\n<table class=\"node\"><colgroup><col "
             "class=\"label\"><col span=\"8\"></colgroup><thead><tr class=\"heading\"><th "
             "colspan=\"9\" title=\"Node 1 (ID 5) Drive &lt;A&gt;\">Node 1 (ID 5) Drive &lt;A&gt; "
             "<span class=\"continued\">(continued)</span></th></tr></thead>\n<tbody>\n"
             // Ten output bytes in two rows of boxes, bytes 9 and 10 carried by register 0.
             "<tr><th>Output 1&ndash;8</th>",
             "<tr><th>Output 9&ndash;10</th><td class=\"byte\"><b>9</b>0 H</td><td "
             "class=\"byte\"><b>10</b>0 L</td></tr>\n<tr><th>Input bytes</th><td "
             "colspan=\"8\">none</td></tr>\n</tbody>",
             "<th colspan=\"9\">Node 2 (ID 6) <span class=\"continued\">",
             "<tr><th>Input 1</th><td class=\"byte free\"><b>1</b>&ndash;</td></tr>",
         }) {
        EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
    }
    // The write map has no register: no table, so no heading to repeat.
    EXPECT_NE(r.out.find("<h2>Write map (Modbus_Write): function 6 or 16</h2>\n<p>No "
                         "registers.</p>"),
              std::string::npos);
}

}  // namespace
}  // namespace velmora::cli
