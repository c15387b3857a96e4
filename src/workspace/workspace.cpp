#include "workspace/workspace.h"

#include <fstream>
#include <sstream>
#include <system_error>
#include <utility>

#include "core/atomic_file.h"
#include "core/error.h"
#include "core/project_layout.h"
#include "workspace/project_name.h"
#include "workspace/settings_file.h"

#ifdef _WIN32
#include <wchar.h>
#endif

namespace fs = std::filesystem;

namespace velmora {

namespace {

constexpr fs::path::value_type kSeparator = fs::path::preferred_separator;

// `dir`, one separator and `name`, as text: an empty `dir` gives a name behind a bare separator.
fs::path join(const fs::path& dir, const fs::path& name) {
    return fs::path(dir.native() + kSeparator + name.native());
}

bool isFolder(const fs::path& path) {
    std::error_code ec;
    return !path.empty() && fs::is_directory(path, ec);
}

void ensureFolder(const fs::path& path) {
    std::error_code ec;
    if (!isFolder(path)) fs::create_directory(path, ec);
}

bool sameComponent(const fs::path& a, const fs::path& b) {
#ifdef _WIN32
    return _wcsicmp(a.c_str(), b.c_str()) == 0;
#else
    return a == b;
#endif
}

std::vector<fs::path> components(const fs::path& path) {
    std::vector<fs::path> parts;
    for (const auto& part : path) {
        if (!part.empty()) parts.push_back(part);
    }
    return parts;
}

// The path of `folder` below `root` as separator-prefixed text ("" for `root` itself), compared
// on canonical paths component by component; nothing when `folder` is not at or below `root`.
std::optional<std::string> nameBelow(const fs::path& folder, const fs::path& root) {
    if (folder.empty()) return std::nullopt;
    std::error_code ec;
    const fs::path canonicalFolder = fs::weakly_canonical(folder, ec);
    if (ec) return std::nullopt;
    const fs::path canonicalRoot = fs::weakly_canonical(root, ec);
    if (ec) return std::nullopt;
    const auto folderParts = components(canonicalFolder);
    const auto rootParts = components(canonicalRoot);
    if (folderParts.size() < rootParts.size()) return std::nullopt;
    for (std::size_t i = 0; i < rootParts.size(); ++i) {
        if (!sameComponent(folderParts[i], rootParts[i])) return std::nullopt;
    }
    fs::path::string_type name;
    for (std::size_t i = rootParts.size(); i < folderParts.size(); ++i) {
        name += kSeparator;
        name += folderParts[i].native();
    }
    return pathText(fs::path(name));
}

}  // namespace

std::string projectCaption(std::string_view suffix) {
    return std::string(kStartupCaption) + " :" + std::string(suffix);
}

namespace {

// `folder` with the platform's separators and without a trailing one.
fs::path withoutTrailingSeparator(fs::path folder) {
    folder.make_preferred();
    while (!folder.has_filename() && folder.has_relative_path()) folder = folder.parent_path();
    return folder;
}

}  // namespace

Workspace::Workspace(fs::path installationFolder, fs::path programFolder)
    : appDir_(withoutTrailingSeparator(std::move(installationFolder))),
      programDir_(programFolder.empty() ? appDir_
                                        : withoutTrailingSeparator(std::move(programFolder))) {}

fs::path Workspace::settingsFile() const { return join(appDir_, pathFromText(kSettingsFileName)); }

void Workspace::startUp() {
    masterDir_ = join(appDir_, project_layout::kMasterFolder);
    ensureFolder(masterDir_);
    projectsDir_ = join(appDir_, project_layout::kProjectsFolder);
    ensureFolder(projectsDir_);

    projectName_.clear();
    // Read as a stream: a settings file grown large by hand costs no more than its longest line.
    // A file that cannot be read, or anything but a plain file (a folder, a pipe that would
    // keep the start waiting), reads as nothing.
    std::error_code ec;
    if (fs::is_regular_file(settingsFile(), ec)) {
        std::ifstream in(settingsFile(), std::ios::binary);
        try {
            if (in) projectName_ = readIniValue(in, kSettingsSection, kSettingsKey).value_or("");
        } catch (const Error&) {
            projectName_.clear();
        }
    }
    // A name stored on Windows ("\Plant1\Line2") names the same folders elsewhere, and one
    // stored elsewhere ("/Plant1") the same folders on Windows.
    for (char& c : projectName_) {
        if (c == '\\' || c == '/') c = static_cast<char>(kSeparator);
    }
    if (!projectName_.empty() && projectName_.front() != static_cast<char>(kSeparator)) {
        projectName_.insert(projectName_.begin(), static_cast<char>(kSeparator));
    }

    const fs::path remembered(projectsDir_.native() + pathFromText(projectName_).native());
    // A hand-edited name ("\..\elsewhere", a link leading out) restores nothing outside
    // PROJECTS: the dialogs would write their documents there.
    const auto below = nameBelow(remembered, projectsDir_);
    if (!projectName_.empty() && isFolder(remembered) && below && !below->empty()) {
        projectDir_ = remembered;
        caption_ = projectCaption(projectName_);
    } else {
        projectDir_ = projectsDir_;
        caption_ = std::string(kStartupCaption);
    }
    UpdateDocumentPaths();
}

void Workspace::Close() {
    const fs::path file = settingsFile();
    const auto unableToWrite = [&file] { return Error("Unable to write to " + pathText(file)); };
    std::ifstream existing;
    std::istringstream none;
    std::error_code ec;
    if (fs::exists(file, ec)) {
        // An unreadable file is not replaced: the sections of others in it would be lost.
        // Anything but a plain file is refused before it is opened: a pipe would never end.
        if (!fs::is_regular_file(file, ec)) throw unableToWrite();
        existing.open(file, std::ios::binary);
        if (!existing) throw unableToWrite();
    }
    std::istream& in = existing.is_open() ? static_cast<std::istream&>(existing) : none;
    try {
        writeFileAtomically(file, [&](std::ostream& out) {
            writeIniValue(in, out, kSettingsSection, kSettingsKey, projectName_);
            // Closed before the new file replaces it: Windows does not replace an open file.
            if (existing.is_open()) existing.close();
        });
    } catch (const Error&) {
        throw unableToWrite();
    }
}

void Workspace::UpdateDocumentPaths() {
    parGenFile_ = join(projectDir_, project_layout::kParGenFile);
    dNetNetFile_ = join(projectDir_, project_layout::kDNetNetFile);
    defRegFile_ = join(projectDir_, project_layout::kDefRegFile);
}

NewProjectOutcome Workspace::createProject(const fs::path& destination, const std::string& name) {
    NewProjectOutcome outcome;
    if (destination.empty()) outcome.messages.emplace_back("directory destination not valid");
    if (!isValidProjectName(name)) outcome.messages.emplace_back("Name project not valid");
    if (!outcome.messages.empty()) return outcome;

    const fs::path folder = join(destination, pathFromText(name));
    if (isFolder(folder)) {
        outcome.messages.emplace_back("Name project not valid because directory already exists");
        return outcome;
    }
    std::error_code ec;
    // A failed creation (missing destination, no permission, a file of that name) says nothing.
    if (!fs::create_directory(folder, ec)) return outcome;
    fs::create_directories(join(folder, project_layout::kBinFolder), ec);
    projectName_ = name;
    projectDir_ = folder;
    UpdateDocumentPaths();
    outcome.created = true;
    return outcome;
}

void Workspace::newProjectEnded(bool confirmed) {
    caption_ = projectCaption(confirmed ? projectName_ : std::string());
}

void Workspace::openProject(const FolderChooser& choose) {
    fs::path folder = isFolder(projectDir_) ? projectDir_ : fs::path();
    if (auto chosen = choose(projectsDir_, folder)) folder = std::move(*chosen);
    projectDir_ = std::move(folder);
    projectName_ = nameBelow(projectDir_, projectsDir_).value_or("");
    caption_ = projectCaption(projectName_);
    UpdateDocumentPaths();
}

}  // namespace velmora
