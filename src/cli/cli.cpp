#include "cli/cli.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <sstream>
#include <string_view>

#include "cli/automap_command.h"
#include "cli/check_report.h"
#include "cli/command_line.h"
#include "cli/eds_commands.h"
#include "cli/image_report.h"
#include "cli/map_import.h"
#include "cli/map_report.h"
#include "cli/monitor.h"
#include "cli/report_text.h"
#include "cli/simulate.h"
#include "core/atomic_file.h"
#include "core/error.h"
#include "core/path_text.h"
#include "image/composer.h"
#include "image/device_map.h"
#include "image/image_decoder.h"
#include "image/project_check.h"

namespace velmora::cli {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kMainUsage = "Usage: velmora-cli COMMAND [OPTION]... ARGUMENT\n";
constexpr std::string_view kMainHelp =
    "Composes and inspects configuration images of a Velmora project, checks the project,\n"
    "prints its register map, serves its registers as the gateway would and watches the\n"
    "gateway answer.\n"
    "\n"
    "Commands:\n"
    "  compose PROJECT_DIR [--output FILE]  compose the image from the project's documents\n"
    "  inspect BANK_FILE [--json]           decode an image and check its structure\n"
    "  check PROJECT_DIR [--json] [--errors-only]\n"
    "                                       list the project's errors and likely mistakes\n"
    "  map PROJECT_DIR [--format csv|html]  print the register map as the device holds it\n"
    "  automap PROJECT_DIR                  make the register map from the node list\n"
    "  simulate PROJECT_DIR (--tcp HOST:PORT | --rtu DEVICE)\n"
    "                                       serve the image's registers as the gateway would\n"
    "  monitor PROJECT_DIR (--port DEVICE | --tcp HOST[:PORT])\n"
    "                                       poll the gateway and show each node byte at its\n"
    "                                       register\n"
    "  eds FILE... [--json]                 show the node sizes DeviceNet data sheets give\n"
    "  node PROJECT_DIR ID --eds FILE       set a node's sizes in DNET_Net.xml from its data\n"
    "                                       sheet\n"
    "  help [COMMAND]                       show this help, or a command's\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "\n"
    "Run 'velmora-cli help COMMAND' for the options of a command.\n";

constexpr std::string_view kComposeUsage =
    "Usage: velmora-cli compose PROJECT_DIR [--output FILE]\n";
constexpr std::string_view kComposeHelp =
    "Composes the configuration image from pargen.xml, DNET_Net.xml and DefReg.xml of\n"
    "PROJECT_DIR, exactly as \"Update Device\" does, and writes it to PROJECT_DIR/bin/bank.bin.\n"
    "A missing document leaves its section of the image empty. Prints one summary line.\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE  write the image to FILE instead ('-': standard output, no summary)\n"
    "  -h, --help         show this help and exit\n"
    "\n"
    "Exit status: 0 when the image was written; 1 when composing or writing failed, in which\n"
    "case no file is written or changed; 2 for a usage error.\n";

constexpr std::string_view kInspectUsage = "Usage: velmora-cli inspect BANK_FILE [--json]\n";
constexpr std::string_view kInspectHelp =
    "Decodes a configuration image: the header offsets, the node table, the read and write\n"
    "maps with their byte choices, and the parameter block with the meaning of each value.\n"
    "Checks that the offsets ascend and match the length, and that the counts match the maps;\n"
    "each disagreement is printed on standard error. Nodes and records count from 1. A\n"
    "BANK_FILE of '-' reads the image from standard input.\n"
    "\n"
    "Options:\n"
    "      --json  print the decoded image as one JSON object; a failure as {\"error\": ...}\n"
    "  -h, --help  show this help and exit\n"
    "\n"
    "Exit status: 0 for a sound image; 1 for an image that cannot be read or decoded, or whose\n"
    "parts disagree, or when standard output cannot be written; 2 for a usage error.\n";

constexpr std::string_view kCheckUsage =
    "Usage: velmora-cli check PROJECT_DIR [--json] [--errors-only]\n";
constexpr std::string_view kCheckHelp =
    "Reads pargen.xml, DNET_Net.xml and DefReg.xml of PROJECT_DIR as the dialogs and the\n"
    "composer read them and lists every problem, one per line: severity, document, list and\n"
    "row or element, and what is wrong. The last line counts the errors and warnings.\n"
    "Errors make composing fail or are refused by a dialog; warnings compose but are very\n"
    "likely mistakes (dropped rows, byte choices past a node's bytes, bytes carried twice or\n"
    "not at all, repeated node IDs, a missing document). The same problem on several register\n"
    "rows of one node is told once, at its first row (\"row 3 and 1,108 more rows\").\n"
    "\n"
    "Options:\n"
    "      --json         print one JSON object: \"problems\", \"errors\" and \"warnings\"\n"
    "      --errors-only  list the errors alone; the last line still counts the warnings\n"
    "  -h, --help         show this help and exit\n"
    "\n"
    "Exit status: 0 without errors (warnings allowed); 1 with at least one error, when the\n"
    "project cannot be read, or when standard output cannot be written; 2 for a usage error.\n";

constexpr std::string_view kMapUsage =
    "Usage: velmora-cli map PROJECT_DIR [--format csv|html] [--base N] [--strict] "
    "[--output FILE]\n"
    "       velmora-cli map PROJECT_DIR --import FILE [--base N]\n";
constexpr std::string_view kMapHelp =
    "Prints the register map of PROJECT_DIR as the device will hold it, read map first, each\n"
    "by register.\n"
    "CSV columns: map,register,node,node_id,mnemonic,high_byte,low_byte (byte number, or\n"
    "empty for None); rows the composer drops are not in it. HTML: one self-contained page,\n"
    "printable on A4, with the image's fingerprint (as inspect prints it) and the date, the\n"
    "gateway's Modbus ID, the settings, the nodes, both maps with their function codes and the\n"
    "dropped rows marked, and a table of each node's bytes.\n"
    "A register index that a map holds more than once is named on standard error and marked\n"
    "on the page; the CSV columns stay as they are.\n"
    "With --import, reads such a CSV (',' or ';' between the fields; the mnemonic is not read)\n"
    "and writes DefReg.xml from it; a faulty line is named and nothing is written.\n"
    "\n"
    "Options:\n"
    "      --format FORMAT  csv (the default) or html\n"
    "      --base N         add N to every register index (40001 gives 4xxxx numbers)\n"
    "      --strict         refuse a project with errors (see check) or a repeated index\n"
    "  -o, --output FILE    write to FILE instead of standard output ('-': standard output)\n"
    "      --import FILE    write DefReg.xml from FILE, in the CSV columns, instead\n"
    "  -h, --help           show this help and exit\n"
    "\n"
    "Exit status: 0 when the map was written; 1 when the project does not compose, the\n"
    "file cannot be written, or --strict refuses it; 2 for a usage error.\n";

// The standard output named as a file, and the standard input named as an image.
constexpr std::string_view kStandardOutput = "-";
constexpr std::string_view kStandardInput = "-";

// A failure on standard error and, for a JSON consumer, as one object on standard output.
int failureAlsoAsJson(std::ostream& out, std::ostream& err, bool json, std::string_view message) {
    if (json) out << "{\"error\": " << jsonString(message) << "}\n";
    return failure(err, message);
}

// What a command accepts and how it explains itself.
struct Command {
    std::string_view name;
    std::string_view usage;
    std::string_view help;
    const char* operandName;
    bool withOutput = false;      // -o FILE, --output FILE, --output=FILE
    bool withJson = false;        // --json
    bool withMapOptions = false;  // --format FORMAT, --base N (and their "=" forms)
    bool withErrorsOnly = false;  // --errors-only
};

// One command's arguments: its one operand and the options given.
struct Parsed {
    bool help = false;
    std::string operand;
    std::optional<std::string> output;
    bool json = false;
    std::optional<std::string> format;
    std::optional<std::string> base;
    std::optional<std::string> importFile;
    bool strict = false;
    bool errorsOnly = false;
    std::string error;  // set for a usage error
};

// Parses `args` after the command name; `--` ends the options.
Parsed parseCommand(const std::vector<std::string>& args, const Command& command) {
    Parsed parsed;
    // Known before any usage error, so that even that reaches a JSON consumer as JSON.
    parsed.json = command.withJson && std::find(args.begin(), args.end(), "--json") != args.end();
    std::vector<OptionRule> options;
    if (command.withJson) options.push_back({"--json"});
    if (command.withOutput) options.push_back({"--output", "-o", "a file"});
    if (command.withMapOptions) {
        options.push_back({"--format", "", "a value"});
        options.push_back({"--base", "", "a value"});
        options.push_back({"--strict"});
        options.push_back({"--import", "", "a file"});
    }
    if (command.withErrorsOnly) options.push_back({"--errors-only"});
    ParsedArgs given = parseArgs(args, options);
    parsed.help = given.help;
    parsed.error = std::move(given.error);
    parsed.json = parsed.json || given.flag("--json");
    parsed.strict = given.flag("--strict");
    parsed.errorsOnly = given.flag("--errors-only");
    parsed.output = given.value("--output");
    parsed.format = given.value("--format");
    parsed.base = given.value("--base");
    parsed.importFile = given.value("--import");
    if (!parsed.error.empty() || parsed.help) return parsed;
    const std::vector<std::string>& operands = given.operands;
    if (operands.size() == 1) {
        parsed.operand = operands.front();
    } else {
        parsed.error = operands.empty() ? std::string("missing ") + command.operandName
                                        : "unexpected argument '" + operands[1] + "'";
    }
    if (parsed.output && parsed.output->empty()) parsed.error = "the output file name is empty";
    return parsed;
}

// The exit status when the command ends with its help or a usage error; none to go on.
std::optional<int> helpOrUsageError(const Parsed& parsed, const Command& command, std::ostream& out,
                                    std::ostream& err) {
    if (!parsed.error.empty()) {
        if (parsed.json) out << "{\"error\": " << jsonString(parsed.error) << "}\n";
        return usageError(err, command.usage, parsed.error, command.name);
    }
    if (parsed.help) {
        out << command.usage << "\n" << command.help;
        return kExitOk;
    }
    return std::nullopt;
}

// Writes `bytes` to `target`, or to `out` when it names the standard output (whose failure
// runCli tells, as for every command).
void writeTarget(const std::string& target, std::string_view bytes, std::ostream& out) {
    if (target == kStandardOutput) {
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return;
    }
    writeFileAtomically(pathFromText(target), bytes);
}

const Command kCompose{"compose", kComposeUsage, kComposeHelp, "PROJECT_DIR", true, false, false};
const Command kInspect{"inspect", kInspectUsage, kInspectHelp, "BANK_FILE", false, true, false};
const Command kCheck{"check", kCheckUsage, kCheckHelp, "PROJECT_DIR", false, true, false, true};
const Command kMap{"map", kMapUsage, kMapHelp, "PROJECT_DIR", true, false, true};
const std::array<const Command*, 4> kCommands = {&kCompose, &kInspect, &kCheck, &kMap};

int compose(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const Parsed parsed = parseCommand(args, kCompose);
    if (const auto status = helpOrUsageError(parsed, kCompose, out, err)) return *status;

    if (const auto problem = notAProject(parsed.operand)) return failure(err, *problem);
    const fs::path projectDir = pathFromText(parsed.operand);
    try {
        ConfigImage image;
        const CompositionSummary summary = ComposeConfigImage(image, projectDir);
        const auto bytes = image.bytes();
        const std::string_view data(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        if (parsed.output) {
            writeTarget(*parsed.output, data, out);
            if (*parsed.output == kStandardOutput) return kExitOk;
        } else {
            std::error_code ec;
            const fs::path bin = projectDir / image_format::kBinFolder;
            if (!fs::is_directory(bin, ec)) {
                return failure(err, "the project has no bin folder: " + pathText(bin));
            }
            SaveConfigImage(image, projectDir);
        }
        const fs::path target =
            parsed.output ? pathFromText(*parsed.output) : configImagePath(projectDir);
        out << pathText(target) << ": " << plural(summary.nodes, "node") << ", "
            << plural(summary.readRecords, "read record") << ", "
            << plural(summary.writeRecords, "write record") << ", " << plural(summary.bytes, "byte")
            << "\n";
        return kExitOk;
    } catch (const std::exception& e) {
        return failure(err, failureText(e));
    }
}

int inspect(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
            std::ostream& err) {
    const Parsed parsed = parseCommand(args, kInspect);
    if (const auto status = helpOrUsageError(parsed, kInspect, out, err)) return *status;
    const bool standardInput = parsed.operand == kStandardInput;
    const std::string file = standardInput ? "standard input" : parsed.operand;

    DecodedImage image;
    try {
        image =
            standardInput ? decodeConfigImageStream(in) : decodeConfigImageFile(pathFromText(file));
    } catch (const std::exception& e) {
        return failureAlsoAsJson(out, err, parsed.json, file + ": " + e.what());
    }
    if (parsed.json) {
        writeImageJson(image, out);
    } else {
        writeImageText(image, out);
    }
    for (const std::string& problem : image.problems) failure(err, file + ": " + problem);
    return image.problems.empty() ? kExitOk : kExitFailure;
}

int check(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const Parsed parsed = parseCommand(args, kCheck);
    if (const auto status = helpOrUsageError(parsed, kCheck, out, err)) return *status;
    if (const auto problem = notAProject(parsed.operand)) {
        return failureAlsoAsJson(out, err, parsed.json, *problem);
    }
    std::vector<ProjectProblem> problems;
    try {
        problems = checkProject(pathFromText(parsed.operand));
    } catch (const std::exception& e) {
        return failureAlsoAsJson(out, err, parsed.json, failureText(e));
    }
    if (parsed.json) {
        writeCheckJson(problems, out, parsed.errorsOnly);
    } else {
        writeCheckText(problems, out, parsed.errorsOnly);
    }
    return countProblems(problems, Severity::Error) == 0 ? kExitOk : kExitFailure;
}

// Today's date as the page shows it: 2026-12-10.
std::string today() {
    const std::tm local = localTime(std::time(nullptr));
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

// The project's name: its folder's name.
std::string projectName(const fs::path& projectDir) {
    std::error_code ec;
    fs::path full = fs::absolute(projectDir, ec).lexically_normal();
    if (!full.has_filename()) full = full.parent_path();
    return pathText(full.filename());
}

int map(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Parsed parsed = parseCommand(args, kMap);
    const std::string format = parsed.format.value_or("csv");
    std::int64_t base = 0;
    if (parsed.error.empty() && format != "csv" && format != "html") {
        parsed.error = "unknown format '" + format + "' (csv or html)";
    }
    if (parsed.error.empty() && parsed.base) {
        const std::string& text = *parsed.base;
        // Decimal digits only; nine of them keep every register number within 64 bits.
        if (text.empty() || text.size() > 9 ||
            text.find_first_not_of("0123456789") != std::string::npos) {
            parsed.error = "the base must be a decimal number from 0 to 999999999: '" + text + "'";
        } else {
            base = std::stoll(text);
        }
    }
    if (parsed.error.empty() && parsed.importFile &&
        (parsed.format || parsed.output || parsed.strict)) {
        parsed.error = "--import takes no --format, --output or --strict";
    }
    if (const auto status = helpOrUsageError(parsed, kMap, out, err)) return *status;
    if (const auto problem = notAProject(parsed.operand)) return failure(err, *problem);
    const fs::path projectDir = pathFromText(parsed.operand);
    if (parsed.importFile) return importMap(projectDir, *parsed.importFile, base, out, err);
    try {
        const DeviceMap deviceMap = readDeviceMap(projectDir);
        const std::vector<RepeatedIndex> repeated = repeatedIndexes(deviceMap);
        for (const RepeatedIndex& r : repeated) {
            err << kProgram << ": warning: " << repeatedIndexText(r, base) << "\n";
        }
        if (parsed.strict) {
            const std::size_t errors = countProblems(checkProject(projectDir), Severity::Error);
            if (errors > 0 || !repeated.empty()) {
                return failure(err,
                               "--strict: the project has " + plural(errors, "error") + " and " +
                                   plural(repeated.size(), "repeated index", "repeated indexes") +
                                   " (velmora-cli check " + parsed.operand + " lists them)");
            }
        }
        std::ostringstream text;
        if (format == "html") {
            writeMapHtml(deviceMap, MapPage{projectName(projectDir), today(), base}, text);
        } else {
            writeMapCsv(deviceMap, base, text);
        }
        writeTarget(parsed.output.value_or(std::string(kStandardOutput)), text.str(), out);
        return kExitOk;
    } catch (const std::exception& e) {
        return failure(err, failureText(e));
    }
}

// The help of the command named `name`, or none for an unknown name.
const Command* findCommand(std::string_view name) {
    for (const Command* command : kCommands) {
        if (command->name == name) return command;
    }
    return nullptr;
}

// "help" alone, or "help COMMAND".
int help(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() > 2) {
        return usageError(err, kMainUsage, "unexpected argument '" + args[2] + "'");
    }
    if (args.size() == 1) {
        out << kMainUsage << "\n" << kMainHelp;
        return kExitOk;
    }
    if (args[1] == "simulate") return simulate({"simulate", "--help"}, out, err);
    if (args[1] == "monitor") return monitor({"monitor", "--help"}, out, err);
    if (args[1] == "automap") return automap({"automap", "--help"}, out, err);
    if (args[1] == "eds" || args[1] == "node") return runCli({args[1], "--help"}, out, err);
    const Command* command = findCommand(args[1]);
    if (command == nullptr) return usageError(err, kMainUsage, "unknown command '" + args[1] + "'");
    out << command->usage << "\n" << command->help;
    return kExitOk;
}

// "--help", "-h" or "--version" alone.
int programHelp(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() > 1) {
        return usageError(err, kMainUsage, "unexpected argument '" + args[1] + "'");
    }
    if (args.front() == "--version") {
        out << kProgram << " " << VELMORA_VERSION << "\n";
    } else {
        out << kMainUsage << "\n" << kMainHelp;
    }
    return kExitOk;
}

// The status of a command that has printed all it prints: a failure when standard output did
// not take it (a full disk, a closed pipe), since a report cut short must not pass for a whole one.
int written(int status, std::ostream& out, std::ostream& err) {
    out.flush();
    if (out) return status;
    return failure(err, "cannot write to standard output");
}

}  // namespace

int runCli(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
           std::ostream& err) {
    if (args.empty()) return usageError(err, kMainUsage, "missing command");
    const std::string& command = args.front();
    if (command == "compose") return written(compose(args, out, err), out, err);
    if (command == "inspect") return written(inspect(args, in, out, err), out, err);
    if (command == "check") return written(check(args, out, err), out, err);
    if (command == "map") return written(map(args, out, err), out, err);
    if (command == "automap") return written(automap(args, out, err), out, err);
    if (command == "simulate") return simulate(args, out, err);
    if (command == "monitor") return monitor(args, out, err);
    if (command == "eds") return written(eds(args, out, err), out, err);
    if (command == "node") return written(node(args, out, err), out, err);
    if (command == "help") return written(help(args, out, err), out, err);
    if (command == "-h" || command == "--help" || command == "--version") {
        return written(programHelp(args, out, err), out, err);
    }
    if (!command.empty() && command[0] == '-') {
        return usageError(err, kMainUsage, "unrecognized option '" + command + "'");
    }
    return usageError(err, kMainUsage, "unknown command '" + command + "'");
}

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return runCli(args, std::cin, out, err);
}

}  // namespace velmora::cli
