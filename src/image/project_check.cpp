#include "image/project_check.h"

#include <algorithm>
#include <array>
#include <utility>

#include "documents/xml_document.h"
#include "image/composer.h"
#include "image/image_format.h"
#include "image/project_checker.h"

namespace velmora {

namespace fs = std::filesystem;
namespace fmt = image_format;

namespace project_check_internal {

namespace {

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
    entries_.push_back({rankOf(document), rankOf(list), row, entries_.size(), problem});
}

std::vector<ProjectProblem> Problems::ordered() {
    std::stable_sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
        return std::tie(a.document, a.list, a.row, a.sequence) <
               std::tie(b.document, b.list, b.row, b.sequence);
    });
    std::vector<ProjectProblem> result;
    for (Entry& e : entries_) result.push_back(std::move(e.problem));
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
        problems_.add(Severity::Warning, document, "", 0, "", "document-missing",
                      "the document is missing: " + std::string(consequence));
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

}  // namespace project_check_internal

std::vector<ProjectProblem> checkProject(const fs::path& projectDir) {
    std::error_code ec;
    if (projectDir.empty() || !fs::is_directory(projectDir, ec)) {
        throw Error("not a project folder: " + projectDir.string());
    }
    return project_check_internal::ProjectChecker(projectDir).run();
}

std::size_t countProblems(const std::vector<ProjectProblem>& problems, Severity severity) {
    return static_cast<std::size_t>(
        std::count_if(problems.begin(), problems.end(),
                      [severity](const ProjectProblem& p) { return p.severity == severity; }));
}

}  // namespace velmora
