#include "cli/cli.h"

#include <exception>
#include <filesystem>
#include <optional>
#include <string_view>

#include "cli/image_report.h"
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

constexpr std::string_view kComposeUsage = "Usage: velmora-cli compose PROJECT_DIR [--output FILE]\n";
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
    err << kProgram << ": " << reason << "\n" << usage << "Try '" << kProgram << " "
        << (command.empty() ? "" : std::string(command) + " ") << "--help' for more information.\n";
    return kExitUsage;
}

int failure(std::ostream& err, std::string_view message) {
    err << kProgram << ": " << message << "\n";
    return kExitFailure;
}

// The arguments of one command: its positional operands and the options it knows.
struct Parsed {
    bool help = false;
    std::vector<std::string> operands;
    std::optional<std::string> output;
    bool json = false;
    std::string error;  // set for a usage error
};

// Parses `args` after the command name. `--` ends the options; `-o FILE`, `--output FILE` and
// `--output=FILE` are the same when `withOutput`; `--json` when `withJson`.
Parsed parseCommand(const std::vector<std::string>& args, bool withOutput, bool withJson) {
    Parsed parsed;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            parsed.operands.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            parsed.help = true;
        } else if (withJson && arg == "--json") {
            parsed.json = true;
        } else if (withOutput && (arg == "-o" || arg == "--output")) {
            if (i + 1 >= args.size()) {
                parsed.error = "option '" + arg + "' requires a file";
                return parsed;
            }
            parsed.output = args[++i];
        } else if (withOutput && arg.rfind("--output=", 0) == 0) {
            parsed.output = arg.substr(9);
        } else {
            parsed.error = "unrecognized option '" + arg + "'";
            return parsed;
        }
    }
    return parsed;
}

// The one operand of a command, or a usage error.
std::optional<std::string> singleOperand(const Parsed& parsed, const char* name, std::string& error) {
    if (parsed.operands.size() == 1) return parsed.operands.front();
    error = parsed.operands.empty() ? std::string("missing ") + name
                                    : "unexpected argument '" + parsed.operands[1] + "'";
    return std::nullopt;
}

std::string plural(std::size_t count, std::string_view word) {
    return std::to_string(count) + " " + std::string(word) + (count == 1 ? "" : "s");
}

int compose(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Parsed parsed = parseCommand(args, true, false);
    if (parsed.error.empty() && parsed.help) {
        out << kComposeUsage << "\n" << kComposeHelp;
        return kExitOk;
    }
    const auto project = parsed.error.empty() ? singleOperand(parsed, "PROJECT_DIR", parsed.error)
                                              : std::nullopt;
    if (!project) return usageError(err, kComposeUsage, parsed.error, "compose");
    if (parsed.output && parsed.output->empty()) {
        return usageError(err, kComposeUsage, "the output file name is empty", "compose");
    }

    const fs::path projectDir(*project);
    std::error_code ec;
    if (!projectDir.empty() && !fs::is_directory(projectDir, ec)) {
        return failure(err, "not a project folder: " + *project);
    }
    try {
        ConfigImage image;
        const CompositionSummary summary = ComposeConfigImage(image, projectDir);
        const fs::path target = parsed.output ? fs::path(*parsed.output) : configImagePath(projectDir);
        SaveConfigImageTo(image, target);
        out << target.string() << ": " << plural(summary.nodes, "node") << ", "
            << plural(summary.readRecords, "read record") << ", "
            << plural(summary.writeRecords, "write record") << ", " << plural(summary.bytes, "byte")
            << "\n";
        return kExitOk;
    } catch (const std::exception& e) {
        return failure(err, e.what());
    }
}

int inspect(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Parsed parsed = parseCommand(args, false, true);
    if (parsed.error.empty() && parsed.help) {
        out << kInspectUsage << "\n" << kInspectHelp;
        return kExitOk;
    }
    const auto file = parsed.error.empty() ? singleOperand(parsed, "BANK_FILE", parsed.error)
                                           : std::nullopt;
    if (!file) return usageError(err, kInspectUsage, parsed.error, "inspect");

    DecodedImage image;
    try {
        image = decodeConfigImageFile(*file);
    } catch (const std::exception& e) {
        return failure(err, *file + ": " + e.what());
    }
    if (parsed.json) {
        writeImageJson(image, out);
    } else {
        writeImageText(image, out);
    }
    for (const std::string& problem : image.problems) failure(err, *file + ": " + problem);
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
