#pragma once

#include <exception>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

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

}  // namespace velmora::cli
