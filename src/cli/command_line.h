#pragma once

#include <exception>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::cli {

// The program's name, first in every diagnostic.
inline constexpr std::string_view kProgram = "velmora-cli";

// A usage error: the reason, the usage line and where to find more (the command's own help when
// `command` names one); returns the usage exit status.
int usageError(std::ostream& err, std::string_view usage, const std::string& reason,
               std::string_view command = {});

// A failure on standard error; returns the failure exit status.
int failure(std::ostream& err, std::string_view message);

// The text of a failure; one in a document names the document first.
std::string failureText(const std::exception& e);

// The failure to report when `operand` names no folder (none for an empty operand).
std::optional<std::string> notAProject(const std::string& operand);

// One option a command accepts.
struct OptionRule {
    std::string_view name;            // "--output"
    std::string_view shortName = {};  // "-o", or empty
    // For an option with a value ("--name VALUE", "--name=VALUE", "-o VALUE"): what the message
    // for a missing value says it requires ("a file" gives "option '-o' requires a file"). Empty
    // for a flag.
    std::string_view valueNoun = {};
    bool emptyIsMissing = false;  // "--name=" counts as no value
    // Checks the value as it is read; returns the usage error, or "" to accept it.
    std::function<std::string(const std::string& value)> check = {};
};

// A command's arguments taken apart: its operands, flags and option values (the last given wins),
// or the first usage error.
struct ParsedArgs {
    bool help = false;  // -h or --help
    std::vector<std::string> operands;
    std::set<std::string, std::less<>> flags;                // by long name
    std::map<std::string, std::string, std::less<>> values;  // by long name
    std::string error;

    bool flag(std::string_view name) const { return flags.contains(name); }
    std::optional<std::string> value(std::string_view name) const;
};

// Parses `args` after the command name against `options`; "--" ends the options, an argument
// not starting with "-" (or "-" alone) is an operand. Parsing stops at the first error:
// "unrecognized option 'ARG'", "option 'NAME' requires NOUN", or what an option's check says.
ParsedArgs parseArgs(const std::vector<std::string>& args, std::span<const OptionRule> options);

}  // namespace velmora::cli
