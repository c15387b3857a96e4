#include "cli/automap_command.h"

#include <exception>

#include "cli/cli.h"
#include "cli/command_line.h"
#include "cli/report_text.h"
#include "core/error.h"
#include "core/path_text.h"
#include "core/project_layout.h"
#include "documents/auto_map.h"
#include "image/project_check.h"

namespace velmora::cli {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kUsage =
    "Usage: velmora-cli automap PROJECT_DIR [--read-start N] [--write-start N]\n"
    "                           [--order low-first|high-first] [--replace] [--dry-run]\n";
constexpr std::string_view kHelp =
    "Makes the register map of PROJECT_DIR from its node list, as \"Auto Map...\" of the\n"
    "\"Define Modbus\" dialog does: node by node, each node's bytes two per register at the\n"
    "free indexes from the start, bytes 1 and 2 in the first register, 3 and 4 in the next;\n"
    "an odd last byte stands beside None. The read map takes the nodes' output bytes (NB_OUT),\n"
    "the write map their input bytes (NB_IN). Registers already in DefReg.xml stay and their\n"
    "indexes are skipped: only the bytes that no register carries yet are added, so a second\n"
    "run changes nothing. Prints every register added; writes DefReg.xml as the dialog's OK\n"
    "does. A project that check finds errors in is refused.\n"
    "\n"
    "Options:\n"
    "      --read-start N   first index of the read map (0 to 65535; default 0)\n"
    "      --write-start N  first index of the write map (0 to 65535; default 0)\n"
    "      --order ORDER    low-first (default): a node's first byte in the register's low\n"
    "                       half, so a little-endian 16-bit value reads as the same number;\n"
    "                       high-first: the first byte in the high half\n"
    "      --replace        drop every register of both maps first\n"
    "      --dry-run        print what would be added; write nothing\n"
    "  -h, --help           show this help and exit\n"
    "\n"
    "Exit status: 0 when every byte found a register (and the map was written); 1 when the\n"
    "project has errors or cannot be read or written, or when some bytes found no index up to\n"
    "65535 (named on standard error; the registers that fit are written); 2 for a usage error.\n";

std::string startCheck(const std::string& value) {
    const bool digits = !value.empty() && value.size() <= 5 &&
                        value.find_first_not_of("0123456789") == std::string::npos;
    if (digits && std::stol(value) <= kHighestAutoMapIndex) return {};
    return "'" + value + "' is not an index from 0 to 65535";
}

std::string orderCheck(const std::string& value) {
    if (value == "low-first" || value == "high-first") return {};
    return "unknown order '" + value + "' (low-first or high-first)";
}

struct AutomapArgs {
    bool help = false;
    std::string error;
    std::string project;
    AutoMapOptions options;
    bool dryRun = false;
};

AutomapArgs parseAutomapArgs(const std::vector<std::string>& args) {
    const OptionRule rules[] = {
        {"--read-start", {}, "a number", true, startCheck},
        {"--write-start", {}, "a number", true, startCheck},
        {"--order", {}, "a value", true, orderCheck},
        {"--replace"},
        {"--dry-run"},
    };
    const ParsedArgs given = parseArgs(args, rules);
    AutomapArgs parsed;
    parsed.help = given.help;
    parsed.error = given.error;
    if (!parsed.error.empty() || parsed.help) return parsed;
    if (const auto start = given.value("--read-start"))
        parsed.options.readStart = std::stoi(*start);
    if (const auto start = given.value("--write-start")) {
        parsed.options.writeStart = std::stoi(*start);
    }
    if (given.value("--order") == "high-first") {
        parsed.options.order = AutoMapByteOrder::FirstByteHigh;
    }
    if (given.flag("--replace")) parsed.options.mode = AutoMapMode::Replace;
    parsed.dryRun = given.flag("--dry-run");
    if (given.operands.size() == 1) {
        parsed.project = given.operands.front();
    } else {
        parsed.error = given.operands.empty() ? "missing PROJECT_DIR"
                                              : "unexpected argument '" + given.operands[1] + "'";
    }
    return parsed;
}

std::string_view sideName(MapSide side) { return side == MapSide::Read ? "read" : "write"; }

std::string choiceText(std::int32_t choice) {
    return choice == 0 ? "None" : "Byte" + std::to_string(choice);
}

std::string nodeText(const RegisterMap& map, MapSide side, int nrDNNode) {
    const TClDNNode& node = map.nodeLists->list(side).at(static_cast<std::size_t>(nrDNNode - 1));
    return "node " + std::to_string(nrDNNode) + " (ID " + node.IDText + ")";
}

// What the auto map did, a register a line, and its summary; the bytes that did not fit on
// standard error.
void report(const RegisterMap& map, const AutoMapResult& result, bool written, std::ostream& out,
            std::ostream& err) {
    std::array<std::size_t, 2> added{};
    for (const AutoMappedRegister& r : result.added) {
        ++added[r.side == MapSide::Read ? 0 : 1];
        out << sideName(r.side) << " register " << r.index << ": "
            << nodeText(map, r.side, r.nrDNNode) << ", high " << choiceText(r.choices.high)
            << ", low " << choiceText(r.choices.low) << "\n";
    }
    for (const AutoMapOverflow& o : result.overflow) {
        err << kProgram << ": warning: " << sideName(o.side) << " map, "
            << nodeText(map, o.side, o.nrDNNode) << ": " << byteRunsText(o.bytes)
            << " found no free index up to 65535\n";
    }
    out << project_layout::kDefRegFile << ": " << plural(added[0], "read register") << " and "
        << plural(added[1], "write register") << " added";
    if (result.removed > 0) out << ", " << plural(result.removed, "register") << " replaced";
    out << (written ? "\n" : " (dry run: nothing written)\n");
}

}  // namespace

fs::path defRegPath(const fs::path& projectDir) { return projectDir / project_layout::kDefRegFile; }

RegisterMap loadProjectMap(const fs::path& projectDir, bool withRegisters) {
    const fs::path dnet = projectDir / project_layout::kDNetNetFile;
    RegisterMapLoad load =
        LoadRegisterMap(dnet, withRegisters ? defRegPath(projectDir) : fs::path());
    if (!load.map.nodeLists) {
        throw Error("the project has no node list: " + pathText(dnet) + " is missing");
    }
    if (!load.messages.empty()) {
        throw Error("the project's documents cannot be read whole (" + load.messages.front() +
                    "); velmora-cli check lists the faults");
    }
    return std::move(load.map);
}

int automap(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const AutomapArgs parsed = parseAutomapArgs(args);
    if (!parsed.error.empty()) return usageError(err, kUsage, parsed.error, "automap");
    if (parsed.help) {
        out << kUsage << "\n" << kHelp;
        return kExitOk;
    }
    if (const auto problem = notAProject(parsed.project)) return failure(err, *problem);
    const fs::path projectDir = pathFromText(parsed.project);
    try {
        const std::size_t errors = countProblems(checkProject(projectDir), Severity::Error);
        if (errors > 0) {
            return failure(err, "the project has " + plural(errors, "error") +
                                    " (velmora-cli check " + parsed.project +
                                    " lists them); nothing written");
        }
        RegisterMap map = loadProjectMap(projectDir);
        const AutoMapResult result = autoMap(*map.nodeLists, parsed.options);
        if (!parsed.dryRun) SaveRegisterMap(map, defRegPath(projectDir));
        report(map, result, !parsed.dryRun, out, err);
        return result.overflow.empty() ? kExitOk : kExitFailure;
    } catch (const std::exception& e) {
        return failure(err, failureText(e));
    }
}

}  // namespace velmora::cli
