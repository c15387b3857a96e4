#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// How bad a problem is: an error makes composing fail or is refused by a dialog; a warning
// composes but is very likely a mistake.
enum class Severity { Error, Warning };

// One problem of a project, where it stands and what is wrong, in the check's own words.
struct ProjectProblem {
    Severity severity = Severity::Error;
    std::string document;  // "pargen.xml", "DNET_Net.xml", "DefReg.xml", or "" for the folder
    std::string place;     // "Ser_ID", "row 2", "Modbus_Read row 3", "Modbus_Write node 1" or ""
    std::string message;   // one line
    std::string code;      // a stable identifier of the kind of problem, such as "node-id-range"
    std::string list;      // "Modbus_Read" or "Modbus_Write" where the problem stands in one
    std::optional<std::size_t> row;  // the row, from 1, within its list or document; none
    // The later rows of the same list that have the very same problem on the same node: it is
    // told once, for all of them, at `row`.
    std::size_t moreRows = 0;

    bool operator==(const ProjectProblem&) const = default;
};

// Every problem of the project in `projectDir`, its documents read as the dialogs and the
// composer read them; ordered by document (pargen.xml, DNET_Net.xml, DefReg.xml), then by list
// and row. Throws velmora::Error only when `projectDir` is no folder.
std::vector<ProjectProblem> checkProject(const std::filesystem::path& projectDir);

// The number of problems of `severity`.
std::size_t countProblems(const std::vector<ProjectProblem>& problems, Severity severity);

// 6120 as "6,120".
std::string groupedNumber(std::int64_t value);

// The rows one problem stands for: "row 3", or "row 3 and 1,111,108 more rows".
std::string rowsText(std::size_t firstRow, std::size_t moreRows);

}  // namespace velmora
