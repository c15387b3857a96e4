#include "workspace/save_project_dialog.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "support/message_recorder.h"
#include "support/temp_dir.h"
#include "workspace/workspace.h"

namespace fs = std::filesystem;

namespace velmora::ui {
namespace {

using Kind = test::MessageRecorder::Kind;

class SaveProjectDialogTest : public ::testing::Test {
protected:
    SaveProjectDialogTest() : workspace(dir.path()), dialog(workspace, recorder) {
        workspace.startUp();
    }

    // Shows the dialog as New project does, types `name` and presses OK.
    void showAndConfirm(const QString& name) {
        dialog.destination = workspace.ProjectsDir();
        dialog.show();
        dialog.Edit1->setText(name);
        dialog.bitbtn1Click();
    }
    void pressEscape() {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(&dialog, &escape);
    }
    std::vector<test::MessageRecorder::Message> plain(std::initializer_list<const char*> texts) {
        std::vector<test::MessageRecorder::Message> messages;
        for (const char* text : texts) messages.push_back({Kind::Plain, QString::fromUtf8(text)});
        return messages;
    }

    test::TempDir dir;
    test::MessageRecorder recorder;
    Workspace workspace;
    TFsaveproj dialog;
};

TEST_F(SaveProjectDialogTest, HasItsControlsAndSize) {
    EXPECT_EQ(dialog.size(), QSize(319, 91));
    EXPECT_EQ(dialog.windowTitle(), "New project");
    EXPECT_EQ(dialog.Label1->text(), "Project name");
    EXPECT_EQ(dialog.Edit1->width(), 297);
    EXPECT_EQ(dialog.bitbtn1->text(), "OK");
    EXPECT_EQ(dialog.bitbtn2->text(), "Cancel");
    EXPECT_EQ(dialog.bitbtn1->size(), QSize(69, 23));
    EXPECT_EQ(dialog.bitbtn2->size(), QSize(69, 23));
    for (const char* name : {"Label1", "Edit1", "bitbtn1", "bitbtn2"}) {
        EXPECT_NE(dialog.findChild<QWidget*>(name), nullptr) << name;
    }
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(dialog.destination, fs::path());
    EXPECT_FALSE(dialog.gateOpen());
}

TEST_F(SaveProjectDialogTest, EveryShowingEmptiesTheFieldAndFocusesIt) {
    dialog.Edit1->setText("left over");
    dialog.setWindowTitle("changed");
    dialog.show();
    EXPECT_EQ(dialog.Edit1->text(), "");
    EXPECT_EQ(dialog.windowTitle(), "New project");
    EXPECT_EQ(dialog.focusWidget(), dialog.Edit1);
}

TEST_F(SaveProjectDialogTest, ConfirmedNameBecomesTheProjectAndCloses) {
    showAndConfirm("Plant2");
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.gateOpen());
    EXPECT_EQ(workspace.ProjectName(), "Plant2");
    EXPECT_EQ(workspace.ProjectDir(), dir / "PROJECTS" / "Plant2");
    EXPECT_TRUE(fs::is_directory(dir / "PROJECTS" / "Plant2" / "bin"));
    EXPECT_EQ(workspace.DefRegFile(), dir / "PROJECTS" / "Plant2" / "DefReg.xml");
}

TEST_F(SaveProjectDialogTest, RefusedNamesKeepTheDialogOpenWithTheName) {
    fs::create_directories(dir / "PROJECTS" / "Plant1");
    struct Case {
        const char* name;
        const char* message;
    };
    const Case cases[] = {
        {"", "Name project not valid"},
        {"Plant1", "Name project not valid because directory already exists"},
        {"a/b", "Name project not valid"},
        {"a\\b", "Name project not valid"},
        {"..", "Name project not valid"},
        {"Plant3 ", "Name project not valid"},
        {"COM1", "Name project not valid"},
    };
    for (const auto& c : cases) {
        recorder.messages.clear();
        showAndConfirm(QString::fromUtf8(c.name));
        EXPECT_EQ(recorder.messages, plain({c.message})) << c.name;
        EXPECT_TRUE(dialog.isVisible()) << c.name;
        EXPECT_FALSE(dialog.gateOpen()) << c.name;
        EXPECT_EQ(dialog.Edit1->text(), QString::fromUtf8(c.name));
        EXPECT_EQ(workspace.ProjectDir(), dir / "PROJECTS") << c.name;
    }
    EXPECT_FALSE(fs::exists(dir / "PROJECTS" / "a"));
}

TEST_F(SaveProjectDialogTest, WithoutDestinationBothMessagesComeInARow) {
    dialog.show();
    dialog.bitbtn1Click();
    EXPECT_EQ(recorder.messages,
              plain({"directory destination not valid", "Name project not valid"}));
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(SaveProjectDialogTest, AFolderThatCannotBeMadeKeepsTheDialogOpenSilently) {
    fs::remove(dir / "PROJECTS");
    showAndConfirm("Plant1");
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.gateOpen());
}

TEST_F(SaveProjectDialogTest, TheGateDecidesEveryCloseRequestAndOutlivesTheShowing) {
    dialog.show();
    dialog.close();  // the gate is closed from the start
    EXPECT_TRUE(dialog.isVisible());
    pressEscape();
    EXPECT_TRUE(dialog.isVisible());

    dialog.bitbtn2Click();  // Cancel opens the gate
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);

    dialog.show();  // still open at the next showing
    pressEscape();
    EXPECT_FALSE(dialog.isVisible());

    showAndConfirm("");  // a refused name closes it again
    dialog.close();
    EXPECT_TRUE(dialog.isVisible());
    dialog.hide();
    dialog.show();
    pressEscape();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(workspace.ProjectDir(), dir / "PROJECTS");
}

}  // namespace
}  // namespace velmora::ui
