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

}  // namespace velmora::cli
