#include "cli/cli.h"

#include <exception>
#include <filesystem>
#include <optional>
#include <string_view>

#include "cli/image_report.h"
#include "core/path_text.h"
#include "image/composer.h"
#include "image/image_decoder.h"

namespace velmora::cli {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kProgram = "velmora-cli";

constexpr std::string_view kMainUsage = "Usage: velmora-cli COMMAND [OPTION]... ARGUMENT\n";
constexpr std::string_view kMainHelp =
    "Composes and inspects configuration images of a Velmora project.\n"
    "\n"
    "Commands:\n"
    "  compose PROJECT_DIR [--output FILE]  compose the image from the project's documents\n"
    "  inspect BANK_FILE [--json]           decode an image and check its structure\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "\n"
    "Run 'velmora-cli COMMAND --help' for the options of a command.\n";

constexpr std::string_view kComposeUsage =
    "Usage: velmora-cli compose PROJECT_DIR [--output FILE]\n";
constexpr std::string_view kComposeHelp =
    "Composes the configuration image from pargen.xml, DNET_Net.xml and DefReg.xml of\n"
    "PROJECT_DIR, exactly as \"Update Device\" does, and writes it to PROJECT_DIR/bin/bank.bin.\n"
    "A missing document leaves its section of the image empty. Prints one summary line.\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE  write the image to FILE instead\n"
    "  -h, --help         show this help and exit\n"
    "\n"
    "Exit status: 0 when the image was written; 1 when composing or writing failed, in which\n"
    "case no file is written or changed; 2 for a usage error.\n";

constexpr std::string_view kInspectUsage = "Usage: velmora-cli inspect BANK_FILE [--json]\n";
constexpr std::string_view kInspectHelp =
    "Decodes a configuration image: the header offsets, the node table, the read and write\n"
    "maps with their byte choices, and the parameter block with the meaning of each value.\n"
    "Checks that the offsets ascend and match the length, and that the counts match the maps;\n"
    "each disagreement is printed on standard error.\n"
    "\n"
    "Options:\n"
    "      --json  print the decoded image as one JSON object\n"
    "  -h, --help  show this help and exit\n"
    "\n"
    "Exit status: 0 for a sound image; 1 for an image that cannot be read or decoded, or whose\n"
    "parts disagree; 2 for a usage error.\n";

// A usage error: the reason, the command's usage line and where to find more.
int usageError(std::ostream& err, std::string_view usage, const std::string& reason,
               std::string_view command = {}) {
    err << kProgram << ": " << reason << "\n"
        << usage << "Try '" << kProgram << " "
        << (command.empty() ? "" : std::string(command) + " ") << "--help' for more information.\n";
    return kExitUsage;
}

int failure(std::ostream& err, std::string_view message) {
    err << kProgram << ": " << message << "\n";
    return kExitFailure;
}

// What a command accepts and how it explains itself.
struct Command {
    std::string_view name;
    std::string_view usage;
    std::string_view help;
    const char* operandName;
    bool withOutput = false;  // -o FILE, --output FILE, --output=FILE
    bool withJson = false;    // --json
};

// One command's arguments: its one operand and the options given.
struct Parsed {
    bool help = false;
    std::string operand;
    std::optional<std::string> output;
    bool json = false;
    std::string error;  // set for a usage error
};

// Parses `args` after the command name; `--` ends the options.
Parsed parseCommand(const std::vector<std::string>& args, const Command& command) {
    Parsed parsed;
    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size() && parsed.error.empty(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            operands.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            parsed.help = true;
        } else if (command.withJson && arg == "--json") {
            parsed.json = true;
        } else if (command.withOutput && (arg == "-o" || arg == "--output")) {
            if (i + 1 < args.size()) {
                parsed.output = args[++i];
            } else {
                parsed.error = "option '" + arg + "' requires a file";
            }
        } else if (command.withOutput && arg.rfind("--output=", 0) == 0) {
            parsed.output = arg.substr(9);
        } else {
            parsed.error = "unrecognized option '" + arg + "'";
        }
    }
    if (!parsed.error.empty() || parsed.help) return parsed;
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
    if (!parsed.error.empty()) return usageError(err, command.usage, parsed.error, command.name);
    if (parsed.help) {
        out << command.usage << "\n" << command.help;
        return kExitOk;
    }
    return std::nullopt;
}

std::string plural(std::size_t count, std::string_view word) {
    return std::to_string(count) + " " + std::string(word) + (count == 1 ? "" : "s");
}

int compose(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    static const Command command{"compose",     kComposeUsage, kComposeHelp,
                                 "PROJECT_DIR", true,          false};
    const Parsed parsed = parseCommand(args, command);
    if (const auto status = helpOrUsageError(parsed, command, out, err)) return *status;

    const fs::path projectDir = pathFromText(parsed.operand);
    std::error_code ec;
    if (!projectDir.empty() && !fs::is_directory(projectDir, ec)) {
        return failure(err, "not a project folder: " + parsed.operand);
    }
    try {
        ConfigImage image;
        const CompositionSummary summary = ComposeConfigImage(image, projectDir);
        const fs::path target =
            parsed.output ? pathFromText(*parsed.output) : configImagePath(projectDir);
        SaveConfigImageTo(image, target);
        out << pathText(target) << ": " << plural(summary.nodes, "node") << ", "
            << plural(summary.readRecords, "read record") << ", "
            << plural(summary.writeRecords, "write record") << ", " << plural(summary.bytes, "byte")
            << "\n";
        return kExitOk;
    } catch (const std::exception& e) {
        return failure(err, e.what());
    }
}

int inspect(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    static const Command command{"inspect", kInspectUsage, kInspectHelp, "BANK_FILE", false, true};
    const Parsed parsed = parseCommand(args, command);
    if (const auto status = helpOrUsageError(parsed, command, out, err)) return *status;
    const std::string& file = parsed.operand;

    DecodedImage image;
    try {
        image = decodeConfigImageFile(pathFromText(file));
    } catch (const std::exception& e) {
        return failure(err, file + ": " + e.what());
    }
    if (parsed.json) {
        writeImageJson(image, out);
    } else {
        writeImageText(image, out);
    }
    for (const std::string& problem : image.problems) failure(err, file + ": " + problem);
    return image.problems.empty() ? kExitOk : kExitFailure;
}

}  // namespace

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) return usageError(err, kMainUsage, "missing command");
    const std::string& command = args.front();
    if (command == "compose") return compose(args, out, err);
    if (command == "inspect") return inspect(args, out, err);
    if (command == "-h" || command == "--help" || command == "help") {
        out << kMainUsage << "\n" << kMainHelp;
        return kExitOk;
    }
    if (command == "--version") {
        out << kProgram << " " << VELMORA_VERSION << "\n";
        return kExitOk;
    }
    if (!command.empty() && command[0] == '-') {
        return usageError(err, kMainUsage, "unrecognized option '" + command + "'");
    }
    return usageError(err, kMainUsage, "unknown command '" + command + "'");
}

}  // namespace velmora::cli
