#pragma once

#include <ostream>
#include <vector>

#include "image/project_check.h"

namespace velmora::cli {

// One line per problem ("error: DefReg.xml, Modbus_Read row 3: ..."), then "N errors, M warnings".
void writeCheckText(const std::vector<ProjectProblem>& problems, std::ostream& out);

// One JSON object: "problems" (severity, document, place, message), "errors" and "warnings".
void writeCheckJson(const std::vector<ProjectProblem>& problems, std::ostream& out);

}  // namespace velmora::cli
