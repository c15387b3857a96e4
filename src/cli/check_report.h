#pragma once

#include <ostream>
#include <vector>

#include "image/project_check.h"

namespace velmora::cli {

// One line per problem ("error: DefReg.xml, Modbus_Read row 3: ..."), then "N errors, M warnings";
// with `errorsOnly` the warnings are counted but not listed.
void writeCheckText(const std::vector<ProjectProblem>& problems, std::ostream& out,
                    bool errorsOnly = false);

// One JSON object: "problems" (severity, document, place, message, and "moreRows" for a problem
// told once for several rows), "errors" and "warnings"; `errorsOnly` as for the text.
void writeCheckJson(const std::vector<ProjectProblem>& problems, std::ostream& out,
                    bool errorsOnly = false);

}  // namespace velmora::cli
