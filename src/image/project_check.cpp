#include "image/project_check.h"

#include <algorithm>
#include <array>
#include <utility>

#include "core/path_text.h"
#include "documents/xml_document.h"
#include "image/composer.h"
#include "image/image_format.h"
#include "image/project_checker.h"

namespace velmora {

namespace fs = std::filesystem;
namespace fmt = image_format;

namespace project_check_internal {

namespace {

// What stands at `path` where a plain file is expected ("a folder, not a file"), or none when
// nothing does. Nothing there is opened: a named pipe would block.
std::optional<std::string> whatStandsAt(const fs::path& path) {
    std::error_code ec;
    const fs::file_status link = fs::symlink_status(path, ec);
    if (ec || !fs::exists(link)) return std::nullopt;
    fs::file_status target = link;
    std::string through;
    if (fs::is_symlink(link)) {
        target = fs::status(path, ec);
        const fs::path to = fs::read_symlink(path, ec);
        if (!fs::exists(target)) {
            return "a link to " + quotedValue(pathText(to)) + ", which does not exist";
        }
        through = " (a link to " + quotedValue(pathText(to)) + ")";
    }
    switch (target.type()) {
        case fs::file_type::directory:
            return "a folder, not a file" + through;
        case fs::file_type::fifo:
            return "a named pipe, not a file" + through;
        case fs::file_type::socket:
            return "a socket, not a file" + through;
        case fs::file_type::block:
        case fs::file_type::character:
            return "a device, not a file" + through;
        default:
            return "not a plain file" + through;
    }
}

// A parser's reason spans lines ("Line: N", then the source); a problem is one line.
std::string oneLine(std::string text) {
    std::string::size_type at = 0;
    while ((at = text.find('\n', at)) != std::string::npos) text.replace(at, 1, "; ");
    return text;
}

// The stable code of a fault that a reading met, for an element (of pargen.xml) or for an
// attribute or a row.
std::string_view faultCode(ReadStatus status, bool element) {
    switch (status) {
        case ReadStatus::Missing:
            return element ? "element-missing" : "attribute-missing";
        case ReadStatus::NotText:
            return "element-not-text";
        case ReadStatus::NotInteger:
            return element ? "element-not-integer" : "attribute-not-integer";
        case ReadStatus::NotAnElement:
            return "not-an-element";
        case ReadStatus::OutOfRange:
            return "node-position-range";
        case ReadStatus::Ok:
        case ReadStatus::NoNodes:
        case ReadStatus::Unreadable:
            break;
    }
    return "document-unreadable";
}

}  // namespace

void Problems::add(Severity severity, std::string_view document, std::string_view list,
                   std::size_t row, std::string place, std::string_view code, std::string message) {
    ProjectProblem problem{
        severity,
        std::string(document),
        std::move(place),
        oneLine(std::move(message)),
        std::string(code),
        std::string(list),
        row == 0 || row == kNodePlaceRow ? std::nullopt : std::optional<std::size_t>(row)};
    // The composer and the document readers may meet the very same fault.
    if (!told_.emplace(problem.severity, problem.document, problem.place, problem.message).second) {
        return;
    }
    // A problem of a whole list stands before the rows of every list of its document.
    entries_.push_back({rankOf(document),
                        row == 0 ? -1 : rankOf(list),
                        row,
                        entries_.size(),
                        std::move(problem),
                        0,
                        {}});
}

void Problems::addOnNode(Severity severity, std::string_view document, std::string_view list,
                         std::size_t row, std::int32_t node, std::string_view code,
                         std::string message, std::string groupMessage) {
    message = oneLine(std::move(message));
    const auto [at, first] =
        onNode_.emplace(NodeProblem{severity, std::string(document), std::string(list),
                                    std::string(code), node, message},
                        entries_.size());
    if (!first) {
        Entry& told = entries_[at->second];
        // A row that meets the very same problem twice counts once.
        if (told.lastRow != row) ++told.problem.moreRows;
        told.lastRow = row;
        return;
    }
    add(severity, document, list, row, std::string(list) + " row " + std::to_string(row), code,
        std::move(message));
    if (entries_.size() == at->second) {
        onNode_.erase(at);  // told before, though not as a problem on a node
        return;
    }
    entries_.back().lastRow = row;
    entries_.back().groupMessage = std::move(groupMessage);
}

std::vector<ProjectProblem> Problems::ordered() {
    std::stable_sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
        return std::tie(a.document, a.list, a.row, a.sequence) <
               std::tie(b.document, b.list, b.row, b.sequence);
    });
    std::vector<ProjectProblem> result;
    for (Entry& e : entries_) {
        ProjectProblem& p = e.problem;
        if (p.moreRows > 0) {
            p.place = p.list + " " + rowsText(e.row, p.moreRows);
            if (!e.groupMessage.empty()) p.message = std::move(e.groupMessage);
        }
        result.push_back(std::move(p));
    }
    return result;
}

int Problems::rankOf(std::string_view name) {
    constexpr std::array<std::string_view, 5> order = {
        fmt::kParGenFile, fmt::kDNetNetFile, fmt::kDefRegFile, fmt::kReadList, fmt::kWriteList};
    const auto at = std::find(order.begin(), order.end(), name);
    return at == order.end() ? -1 : static_cast<int>(at - order.begin());
}

std::vector<ProjectProblem> ProjectChecker::run() {
    if (!exists(fmt::kParGenFile) && !exists(fmt::kDNetNetFile) && !exists(fmt::kDefRegFile)) {
        // Such as the PROJECTS folder typed by mistake: nothing there to check.
        problems_.add(Severity::Error, "", "", 0, "", "not-a-project",
                      "not a project folder: none of " + std::string(fmt::kParGenFile) + ", " +
                          std::string(fmt::kDNetNetFile) + ", " + std::string(fmt::kDefRegFile));
        return problems_.ordered();
    }
    compose();
    checkSettings();
    checkNetwork();
    checkMap();
    // The composer stops at its first fault; the reading above goes on past it and names
    // every one, so the composer's is told only where that reading found none in the
    // document (a parse error, the image's capacity).
    if (composeFault_ && !faultyDocuments_.contains(composeFault_->document())) {
        const DocumentError& e = *composeFault_;
        problems_.add(Severity::Error, e.document(), e.list(), e.row(), e.place(), "composer",
                      e.detail());
    }
    return problems_.ordered();
}

bool ProjectChecker::exists(std::string_view document) const {
    return XmlDocument::fileExists(dir_ / document);
}

bool ProjectChecker::usable(std::string_view document, const ReadResult& reading,
                            std::string_view consequence) {
    if (reading.status == ReadStatus::Missing) {
        // The composer takes whatever is not a plain file for no document; the user is told
        // what stands there instead.
        const std::optional<std::string> there = whatStandsAt(dir_ / document);
        problems_.add(
            Severity::Warning, document, "", 0, "", "document-missing",
            "the document is " + there.value_or("missing") + ": " + std::string(consequence));
        return false;
    }
    if (reading.status == ReadStatus::Unreadable) {
        problems_.add(Severity::Error, document, "", 0, "", "document-unreadable", reading.message);
        return false;
    }
    return true;
}

void ProjectChecker::compose() {
    ConfigImage image;
    try {
        ComposeConfigImage(image, dir_);
    } catch (const DocumentError& e) {
        composeFault_ = e;
    }
}

void ProjectChecker::readingError(std::string_view document, std::string_view list, std::size_t row,
                                  std::string place, std::string_view code, std::string message) {
    faultyDocuments_.emplace(document);
    problems_.add(Severity::Error, document, list, row, std::move(place), code, std::move(message));
}

void ProjectChecker::valueError(std::string_view document, const ReadResult& fault,
                                std::string place) {
    readingError(document, fault.place.list, fault.place.row, std::move(place),
                 faultCode(fault.status, fault.place.row == 0), fault.message);
}

void ProjectChecker::rowProblem(Severity severity, const char* listName, std::size_t row,
                                std::int32_t node, std::string_view code, std::string message,
                                std::string groupMessage) {
    if (severity == Severity::Error) faultyDocuments_.emplace(fmt::kDefRegFile);
    problems_.addOnNode(severity, fmt::kDefRegFile, listName, row, node, code, std::move(message),
                        std::move(groupMessage));
}

void ProjectChecker::rowFault(const char* listName, std::int32_t node, const ReadResult& fault) {
    rowProblem(Severity::Error, listName, fault.place.row, node, faultCode(fault.status, false),
               fault.message);
}

}  // namespace project_check_internal

std::vector<ProjectProblem> checkProject(const fs::path& projectDir) {
    std::error_code ec;
    if (projectDir.empty() || !fs::is_directory(projectDir, ec)) {
        throw Error("not a project folder: " + projectDir.string());
    }
    return project_check_internal::ProjectChecker(projectDir).run();
}

std::string groupedNumber(std::int64_t value) {
    const std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    const std::string digits = std::to_string(magnitude);
    std::string text = value < 0 ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    return text;
}

std::string rowsText(std::size_t firstRow, std::size_t moreRows) {
    std::string text = "row " + std::to_string(firstRow);
    if (moreRows > 0) {
        text += " and " + groupedNumber(static_cast<std::int64_t>(moreRows)) + " more " +
                (moreRows == 1 ? "row" : "rows");
    }
    return text;
}

std::size_t countProblems(const std::vector<ProjectProblem>& problems, Severity severity) {
    return static_cast<std::size_t>(
        std::count_if(problems.begin(), problems.end(),
                      [severity](const ProjectProblem& p) { return p.severity == severity; }));
}

}  // namespace velmora
