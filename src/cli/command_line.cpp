#include "cli/command_line.h"

#include <filesystem>
#include <system_error>

#include "cli/cli.h"
#include "core/error.h"
#include "core/path_text.h"

namespace velmora::cli {

int usageError(std::ostream& err, std::string_view usage, const std::string& reason,
               std::string_view command) {
    err << kProgram << ": " << reason << "\n"
        << usage << "Try '" << kProgram << " "
        << (command.empty() ? "" : std::string(command) + " ") << "--help' for more information.\n";
    return kExitUsage;
}

int failure(std::ostream& err, std::string_view message) {
    err << kProgram << ": " << message << "\n";
    return kExitFailure;
}

std::string failureText(const std::exception& e) {
    if (const auto* located = dynamic_cast<const DocumentError*>(&e)) return located->located();
    return e.what();
}

std::optional<std::string> notAProject(const std::string& operand) {
    std::error_code ec;
    if (!operand.empty() && !std::filesystem::is_directory(pathFromText(operand), ec)) {
        return "not a project folder: " + operand;
    }
    return std::nullopt;
}

std::optional<std::string> ParsedArgs::value(std::string_view name) const {
    const auto found = values.find(name);
    if (found == values.end()) return std::nullopt;
    return found->second;
}

ParsedArgs parseArgs(const std::vector<std::string>& args, std::span<const OptionRule> options) {
    ParsedArgs parsed;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size() && parsed.error.empty(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            parsed.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            parsed.help = true;
            continue;
        }
        // Only a long option takes its value after "=".
        const auto equals = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
        const std::string name = arg.substr(0, equals);
        const OptionRule* rule = nullptr;
        for (const OptionRule& option : options) {
            if (option.name == name || (!option.shortName.empty() && option.shortName == name)) {
                rule = &option;
            }
        }
        if (rule == nullptr || (rule->valueNoun.empty() && equals != std::string::npos)) {
            parsed.error = "unrecognized option '" + arg + "'";
            break;
        }
        if (rule->valueNoun.empty()) {
            parsed.flags.emplace(rule->name);
            continue;
        }
        std::optional<std::string> value;
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        }
        if (!value || (rule->emptyIsMissing && value->empty())) {
            parsed.error = "option '" + name + "' requires " + std::string(rule->valueNoun);
            break;
        }
        if (rule->check) parsed.error = rule->check(*value);
        parsed.values[std::string(rule->name)] = *value;
    }
    return parsed;
}

}  // namespace velmora::cli
