#include "workspace/workspace.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "core/error.h"
#include "documents/xml_document.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"
#include "workspace/settings_file.h"

namespace fs = std::filesystem;

namespace velmora {
namespace {

// `text` written with "/" as the platform writes it.
std::string native(std::string text) {
    for (char& c : text) {
        if (c == '/') c = static_cast<char>(fs::path::preferred_separator);
    }
    return text;
}

// A settings file naming `projectName`, with the line ends a file made here is written with.
std::string settingsWith(std::string_view projectName) {
    const std::string nl(kNativeLineEnd);
    return "[lastproj]" + nl + "projectname=" + std::string(projectName) + nl;
}

class WorkspaceTest : public ::testing::Test {
protected:
    void writeSettings(std::string_view text) {
        test::writeText(dir / std::string(kSettingsFileName), text);
    }
    std::string settings() const { return test::readText(dir / std::string(kSettingsFileName)); }
    fs::path projects() const { return dir / "PROJECTS"; }
    // A workspace started in `dir`, as the main window does when it is created.
    Workspace started() {
        Workspace ws(dir.path());
        ws.startUp();
        return ws;
    }
    static std::optional<fs::path> cancel(const fs::path&, const fs::path&) { return std::nullopt; }

    test::TempDir dir;
};

TEST_F(WorkspaceTest, StartUpSetsFoldersAndRestoresTheRememberedProject) {
    struct Case {
        const char* name;
        std::optional<std::string> settings;  // nothing: no settings file
        const char* folder;                   // created below PROJECTS first, "" for none
        std::string projectName;
        const char* projectDir;  // below the installation folder
        std::string caption;
    };
    const std::string startup(kStartupCaption);
    const Case cases[] = {
        {"no settings file", std::nullopt, "", "", "PROJECTS", startup},
        {"no section", "[other]\nprojectname=Plant1\n", "Plant1", "", "PROJECTS", startup},
        {"bare name", settingsWith("Plant1"), "Plant1", native("/Plant1"), "PROJECTS/Plant1",
         projectCaption(native("/Plant1"))},
        {"windows name", settingsWith("\\Plant1"), "Plant1", native("/Plant1"), "PROJECTS/Plant1",
         projectCaption(native("/Plant1"))},
        {"native name", settingsWith("/Plant1"), "Plant1", native("/Plant1"), "PROJECTS/Plant1",
         projectCaption(native("/Plant1"))},
        {"windows line ends", "[lastproj]\r\nprojectname=\\Plant1\r\n", "Plant1", native("/Plant1"),
         "PROJECTS/Plant1", projectCaption(native("/Plant1"))},
        {"nested", settingsWith("\\Plant1\\Line2"), "Plant1/Line2", native("/Plant1/Line2"),
         "PROJECTS/Plant1/Line2", projectCaption(native("/Plant1/Line2"))},
        {"folder missing", settingsWith("Gone"), "", native("/Gone"), "PROJECTS", startup},
        {"empty value", settingsWith(""), "", "", "PROJECTS", startup},
        // A hand-edited name that leads out of PROJECTS restores nothing, like a missing folder.
        {"up and out", settingsWith("\\..\\Outside"), "../Outside", native("/../Outside"),
         "PROJECTS", startup},
        {"up and out without a separator", settingsWith("..\\Outside"), "../Outside",
         native("/../Outside"), "PROJECTS", startup},
        {"down, then out", settingsWith("/Plant1/../../Outside"), "Plant1/../../Outside",
         native("/Plant1/../../Outside"), "PROJECTS", startup},
        {"the projects root", settingsWith("\\."), "", native("/."), "PROJECTS", startup},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir fresh;
        if (c.settings) test::writeText(fresh / std::string(kSettingsFileName), *c.settings);
        if (*c.folder) fs::create_directories(fresh / "PROJECTS" / c.folder);
        Workspace ws(fresh.path() / "");  // a trailing separator is dropped
        ws.startUp();
        EXPECT_EQ(ws.AppDir(), fresh.path());
        EXPECT_EQ(ws.MasterDir(), fresh / "MASTER");
        EXPECT_EQ(ws.ProjectsDir(), fresh / "PROJECTS");
        EXPECT_TRUE(fs::is_directory(ws.MasterDir()));
        EXPECT_TRUE(fs::is_directory(ws.ProjectsDir()));
        EXPECT_EQ(ws.ProjectName(), c.projectName);
        EXPECT_EQ(ws.ProjectDir(), (fresh / c.projectDir).make_preferred());
        EXPECT_EQ(ws.ParGenFile(), ws.ProjectDir() / "pargen.xml");
        EXPECT_EQ(ws.DNetNetFile(), ws.ProjectDir() / "DNET_Net.xml");
        EXPECT_EQ(ws.DefRegFile(), ws.ProjectDir() / "DefReg.xml");
        EXPECT_EQ(ws.caption(), c.caption);
    }
}

TEST_F(WorkspaceTest, StartUpRestoresNoFolderThatALinkLeadsOutOfTheProjects) {
    fs::create_directories(dir / "Outside");
    fs::create_directories(projects() / "Plant1");
    if (!test::makeDirectoryLink(dir / "Outside", projects() / "Away")) {
        GTEST_SKIP() << "this build makes no links";
    }
    ASSERT_TRUE(test::makeDirectoryLink(projects() / "Plant1", projects() / "Alias"));

    writeSettings(settingsWith("Away"));
    Workspace away = started();
    EXPECT_EQ(away.ProjectDir(), projects());
    EXPECT_EQ(away.ParGenFile(), projects() / "pargen.xml");
    EXPECT_EQ(away.caption(), kStartupCaption);
    away.Close();  // the name is kept, as for a missing folder
    EXPECT_EQ(settings(), settingsWith(native("/Away")));

    writeSettings(settingsWith("Alias"));  // a link that stays inside is a project like any
    Workspace alias = started();
    EXPECT_EQ(alias.ProjectDir(), projects() / "Alias");
    EXPECT_EQ(alias.caption(), projectCaption(native("/Alias")));
}

TEST_F(WorkspaceTest, StartUpLeavesAFileNamedMasterAloneAndSaysNothing) {
    test::writeText(dir / "MASTER", "not a folder");
    Workspace ws = started();
    EXPECT_TRUE(fs::is_regular_file(ws.MasterDir()));
    EXPECT_EQ(ws.caption(), kStartupCaption);
}

TEST_F(WorkspaceTest, StartUpTakesAFolderInPlaceOfTheSettingsFileAsNoSettings) {
    fs::create_directory(dir / std::string(kSettingsFileName));
    EXPECT_EQ(started().caption(), kStartupCaption);
}

#ifndef _WIN32
TEST_F(WorkspaceTest, APipeInPlaceOfTheSettingsFileNeitherBlocksNorIsReplaced) {
    const fs::path file = dir / std::string(kSettingsFileName);
    ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0);
    // In a child, so that a start or close waiting on the pipe ends with the test, not hangs it.
    const std::string outcome = test::inChild([&] {
        ::alarm(10);
        Workspace ws = started();
        try {
            ws.Close();
            return ws.caption() + ", closed";
        } catch (const Error& e) {
            return ws.caption() + ", " + e.what();
        }
    });
    EXPECT_EQ(outcome, std::string(kStartupCaption) + ", Unable to write to " + pathText(file));
    EXPECT_TRUE(fs::is_fifo(file));
}
#endif

TEST_F(WorkspaceTest, CloseStoresTheNameAndKeepsForeignSectionsAndKeys) {
    writeSettings(
        "; kept comment\r\n[window]\r\nleft=10\r\n[LastProj]\r\nProjectName=Plant1\r\n"
        "extra = yes\r\n");
    fs::create_directories(projects() / "Plant1");
    Workspace ws = started();
    ws.createProject(ws.ProjectsDir(), "Plant2");
    ws.Close();
    EXPECT_EQ(settings(),
              "; kept comment\r\n[window]\r\nleft=10\r\n[LastProj]\r\nProjectName=Plant2\r\n"
              "extra = yes\r\n");
}

TEST_F(WorkspaceTest, CloseCreatesTheFileAndAMissingFolderNameSurvivesIt) {
    {
        Workspace ws = started();
        ws.Close();
    }
    EXPECT_EQ(settings(), settingsWith(""));
    writeSettings(settingsWith("Gone"));
    started().Close();
    EXPECT_EQ(settings(), settingsWith(native("/Gone")));
}

TEST_F(WorkspaceTest, NewProjectIsRestoredAtTheNextStart) {
    {
        Workspace ws = started();
        ASSERT_TRUE(ws.createProject(ws.ProjectsDir(), "Plant2").created);
        ws.newProjectEnded(true);
        EXPECT_EQ(ws.caption(), projectCaption("Plant2"));
        ws.Close();
        EXPECT_EQ(settings(), settingsWith("Plant2"));
    }
    Workspace next = started();
    EXPECT_EQ(next.ProjectName(), native("/Plant2"));
    EXPECT_EQ(next.ProjectDir(), projects() / "Plant2");
    EXPECT_EQ(next.caption(), projectCaption(native("/Plant2")));
}

// Folder names outside the ANSI code page of Windows go through the settings file, the document
// paths and the caption unchanged.
TEST_F(WorkspaceTest, ProjectsOfAnyNameAreSavedLoadedAndRestored) {
    for (const std::string_view wide : test::kNamesBeyondTheCodePage) {
        const std::string name(wide);
        SCOPED_TRACE(name);
        test::TempDir fresh;
        {
            Workspace ws(fresh.path());
            ws.startUp();
            ASSERT_TRUE(ws.createProject(ws.ProjectsDir(), name).created);
            EXPECT_EQ(ws.ParGenFile(), fresh / "PROJECTS" / pathFromText(name) / "pargen.xml");
            XmlDocument doc;
            doc.create("Par_Gen");
            doc.save(ws.ParGenFile());
            ws.Close();
        }
        EXPECT_EQ(test::readText(fresh / std::string(kSettingsFileName)), settingsWith(name));
        Workspace next(fresh.path());
        next.startUp();
        EXPECT_EQ(next.ProjectName(), native("/" + name));
        EXPECT_EQ(next.caption(), projectCaption(native("/" + name)));
        XmlDocument loaded;
        loaded.load(next.ParGenFile());
        EXPECT_EQ(loaded.serialize(), "<Par_Gen/>");
    }
}

TEST_F(WorkspaceTest, CloseOnAnUnwritableSettingsFileSaysUnableToWriteAndKeepsIt) {
    Workspace ws = started();
    const fs::path file = dir / std::string(kSettingsFileName);
    writeSettings(settingsWith("Old"));
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    try {
        ws.Close();
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + pathText(ws.settingsFile()));
    }
    EXPECT_EQ(settings(), settingsWith("Old"));

    fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);  // Windows keeps it
    fs::remove(file);
    fs::create_directory(file);  // neither readable nor replaceable as a file
    EXPECT_THROW(ws.Close(), Error);
}

TEST_F(WorkspaceTest, CloseLeavesAUtf16SettingsFileWholeAndSaysUnableToWrite) {
    using namespace std::string_literals;
    const std::string utf16 = "\xFF\xFE[\0w\0]\0\r\0\n\0"s;
    writeSettings(utf16);
    Workspace ws = started();
    EXPECT_THROW(ws.Close(), Error);
    EXPECT_EQ(settings(), utf16);
}

TEST_F(WorkspaceTest, CloseInAReadOnlyInstallationFolderSaysUnableToWrite) {
#ifdef _WIN32
    GTEST_SKIP() << "a read-only folder does not keep files from being created on Windows";
#else
    Workspace ws = started();
    writeSettings(settingsWith("Old"));
    // The folder and the file belong to the user who closes; only the folder is read-only.
    test::handToUnprivilegedUser(dir.path());
    fs::permissions(dir.path(),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const std::string closed = test::inUnprivilegedChild([&] {
        try {
            ws.Close();
            return std::string("closed");
        } catch (const Error& e) {
            return std::string(e.what());
        }
    });
    EXPECT_EQ(closed, "Unable to write to " + pathText(ws.settingsFile()));
    EXPECT_EQ(settings(), settingsWith("Old"));
#endif
}

TEST_F(WorkspaceTest, ANameWrittenAfterABareCarriageReturnIsRestored) {
    fs::create_directories(projects() / "Plant2");
    writeSettings("[lastproj]\r");
    {
        Workspace ws = started();
        ws.openProject([&](const fs::path&, const fs::path&) {
            return std::optional<fs::path>(projects() / "Plant2");
        });
        ws.Close();
    }
    EXPECT_EQ(settings(), "[lastproj]\rprojectname=" + native("/Plant2") + "\r");
    EXPECT_EQ(started().ProjectName(), native("/Plant2"));
}

TEST_F(WorkspaceTest, CreateProjectRefusesWithTheMessagesInOrder) {
    Workspace ws = started();
    fs::create_directories(projects() / "Plant1");
    struct Case {
        fs::path destination;
        const char* name;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {projects(), "", {"Name project not valid"}},
        {"", "", {"directory destination not valid", "Name project not valid"}},
        {"", "Plant9", {"directory destination not valid"}},
        {projects(), "Plant1", {"Name project not valid because directory already exists"}},
        {projects(), "a/b", {"Name project not valid"}},
        {projects(), "a\\b", {"Name project not valid"}},
        {projects(), "..", {"Name project not valid"}},
        {projects(), " Plant3", {"Name project not valid"}},
        {projects(), "NUL", {"Name project not valid"}},
    };
    for (const auto& c : cases) {
        const auto outcome = ws.createProject(c.destination, c.name);
        EXPECT_EQ(outcome.messages, c.messages) << c.name;
        EXPECT_FALSE(outcome.created) << c.name;
        EXPECT_EQ(ws.ProjectDir(), projects()) << c.name;
        EXPECT_EQ(ws.ProjectName(), "") << c.name;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(projects()), fs::directory_iterator()), 1);
}

TEST_F(WorkspaceTest, CreateProjectFailsSilentlyWhenTheFolderCannotBeMade) {
    Workspace ws = started();
    fs::remove(projects());  // PROJECTS vanished after start-up
    const auto missing = ws.createProject(ws.ProjectsDir(), "Plant1");
    EXPECT_TRUE(missing.messages.empty());
    EXPECT_FALSE(missing.created);

    fs::create_directory(projects());
    test::writeText(projects() / "Taken", "a file");
    const auto outcome = ws.createProject(ws.ProjectsDir(), "Taken");
    EXPECT_TRUE(outcome.messages.empty());
    EXPECT_FALSE(outcome.created);
    EXPECT_EQ(ws.ProjectDir(), projects());
}

TEST_F(WorkspaceTest, CreateProjectMakesTheFolderWithBinAndTheNameAsTyped) {
    Workspace ws = started();
    const auto outcome = ws.createProject(ws.ProjectsDir(), "Plant 2.x");
    EXPECT_TRUE(outcome.created);
    EXPECT_TRUE(outcome.messages.empty());
    EXPECT_TRUE(fs::is_directory(projects() / "Plant 2.x" / "bin"));
    EXPECT_EQ(ws.ProjectName(), "Plant 2.x");
    EXPECT_EQ(ws.ProjectDir(), projects() / "Plant 2.x");
    EXPECT_EQ(ws.ParGenFile(), projects() / "Plant 2.x" / "pargen.xml");
    EXPECT_EQ(ws.DNetNetFile(), projects() / "Plant 2.x" / "DNET_Net.xml");
    EXPECT_EQ(ws.DefRegFile(), projects() / "Plant 2.x" / "DefReg.xml");
}

TEST_F(WorkspaceTest, NewProjectCancelledChangesOnlyTheCaption) {
    Workspace ws = started();
    ws.newProjectEnded(false);
    EXPECT_EQ(ws.caption(), "Vostrel Velmora QS48203 DeviceNet-m / Modbus-s :");
    EXPECT_EQ(ws.ProjectDir(), projects());
}

TEST_F(WorkspaceTest, OpenProjectNamesTheChosenFolderBelowTheProjects) {
    fs::create_directories(projects() / "Plant1" / "Line2");
    fs::create_directories(dir / "Elsewhere");
    struct Case {
        const char* name;
        fs::path chosen;
        std::string projectName;
    };
    std::vector<Case> cases = {
        {"nested", projects() / "Plant1" / "Line2", native("/Plant1/Line2")},
        {"trailing separator", projects() / "Plant1" / "", native("/Plant1")},
        {"the root itself", projects(), ""},
        {"outside", dir / "Elsewhere", ""},
        {"a sibling sharing the prefix", dir / "PROJECTS2", ""},
        {"dot dot", projects() / "Plant1" / ".." / "Plant1", native("/Plant1")},
    };
    if (test::makeDirectoryLink(projects() / "Plant1", dir / "Link")) {
        cases.push_back({"through a link", dir / "Link" / "Line2", native("/Plant1/Line2")});
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Workspace ws = started();
        fs::path offered;
        ws.openProject([&](const fs::path& root, const fs::path& preselected) {
            EXPECT_EQ(root, projects());
            offered = preselected;
            return std::optional<fs::path>(c.chosen);
        });
        EXPECT_EQ(offered, projects());
        EXPECT_EQ(ws.ProjectDir(), c.chosen);
        EXPECT_EQ(ws.ProjectName(), c.projectName);
        EXPECT_EQ(ws.caption(), projectCaption(c.projectName));
        EXPECT_EQ(ws.ParGenFile(), fs::path(c.chosen.native() + fs::path::preferred_separator +
                                            fs::path("pargen.xml").native()));
    }
}

TEST_F(WorkspaceTest, OpenProjectCancelledKeepsAnExistingFolder) {
    Workspace ws = started();
    ws.createProject(ws.ProjectsDir(), "Plant2");
    ws.openProject(cancel);
    EXPECT_EQ(ws.ProjectDir(), projects() / "Plant2");
    EXPECT_EQ(ws.ProjectName(), native("/Plant2"));
    EXPECT_EQ(ws.caption(), projectCaption(native("/Plant2")));
}

TEST_F(WorkspaceTest, OpenProjectCancelledAfterTheFolderWasDeletedLeavesNoFolder) {
    Workspace ws = started();
    ws.createProject(ws.ProjectsDir(), "Plant2");
    fs::remove_all(projects() / "Plant2");
    fs::path offered = "unset";
    ws.openProject([&](const fs::path&, const fs::path& preselected) {
        offered = preselected;
        return std::optional<fs::path>();
    });
    EXPECT_EQ(offered, fs::path());
    EXPECT_EQ(ws.ProjectDir(), fs::path());
    EXPECT_EQ(ws.ProjectName(), "");
    EXPECT_EQ(ws.caption(), "Vostrel Velmora QS48203 DeviceNet-m / Modbus-s :");
    EXPECT_EQ(ws.ParGenFile(), fs::path(native("/pargen.xml")));
    EXPECT_EQ(ws.DNetNetFile(), fs::path(native("/DNET_Net.xml")));
    EXPECT_EQ(ws.DefRegFile(), fs::path(native("/DefReg.xml")));
}

}  // namespace
}  // namespace velmora
