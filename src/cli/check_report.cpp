#include "cli/check_report.h"

#include <string>
#include <string_view>

#include "cli/report_text.h"

namespace velmora::cli {

namespace {

std::string_view severityName(Severity severity) {
    return severity == Severity::Error ? "error" : "warning";
}

}  // namespace

void writeCheckText(const std::vector<ProjectProblem>& problems, std::ostream& out,
                    bool errorsOnly) {
    for (const ProjectProblem& p : problems) {
        if (errorsOnly && p.severity != Severity::Error) continue;
        // A problem of the whole folder names no document.
        const std::string where = p.document + (p.place.empty() ? "" : ", " + p.place);
        out << severityName(p.severity) << ": " << (where.empty() ? "" : where + ": ") << p.message
            << "\n";
    }
    out << plural(countProblems(problems, Severity::Error), "error") << ", "
        << plural(countProblems(problems, Severity::Warning), "warning") << "\n";
}

void writeCheckJson(const std::vector<ProjectProblem>& problems, std::ostream& out,
                    bool errorsOnly) {
    out << "{\n  \"problems\": [";
    bool listed = false;
    for (const ProjectProblem& p : problems) {
        if (errorsOnly && p.severity != Severity::Error) continue;
        out << (listed ? "," : "")
            << "\n    {\"severity\": " << jsonString(severityName(p.severity))
            << ", \"code\": " << jsonString(p.code) << ", \"document\": " << jsonString(p.document)
            << ", \"list\": " << (p.list.empty() ? std::string("null") : jsonString(p.list))
            << ", \"row\": " << (p.row ? std::to_string(*p.row) : std::string("null"))
            << ", \"place\": " << jsonString(p.place) << ", \"message\": " << jsonString(p.message);
        // A problem told once for several rows: "row" is the first of them.
        if (p.moreRows > 0) out << ", \"moreRows\": " << p.moreRows;
        out << "}";
        listed = true;
    }
    out << (listed ? "\n  ]" : "]")
        << ",\n  \"errors\": " << countProblems(problems, Severity::Error)
        << ",\n  \"warnings\": " << countProblems(problems, Severity::Warning) << "\n}\n";
}

}  // namespace velmora::cli
