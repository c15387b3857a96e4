#include "workspace/folder_browser.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <functional>

#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace velmora::ui {
namespace {

// Processes events until `done` holds or two seconds have passed; the model reads folders
// in the background.
bool waitUntil(const std::function<bool()>& done) {
    const QDeadlineTimer deadline(2000);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

class FolderBrowserTest : public ::testing::Test {
protected:
    FolderBrowserTest() {
        fs::create_directories(root() / "Plant1" / "Line2");
        fs::create_directories(root() / "Plant3");
        fs::create_directories(dir / "MASTER");
        test::writeText(root() / "Plant1" / "pargen.xml", "<a/>");
    }
    fs::path root() const { return dir / "PROJECTS"; }
    static QString nameOf(const QModelIndex& index) { return index.data().toString(); }

    test::TempDir dir;
};

TEST_F(FolderBrowserTest, TheRootItselfIsTheOneTopItemAndCanBeConfirmed) {
    FolderBrowser browser("Select directory of project", root(), fs::path());
    EXPECT_EQ(browser.instruction->text(), "Select directory of project");
    const QAbstractItemModel* model = browser.tree->model();
    const QModelIndex top = browser.tree->rootIndex();
    ASSERT_TRUE(waitUntil([&] { return model->rowCount(top) == 1; }));
    EXPECT_EQ(nameOf(model->index(0, 0, top)), "PROJECTS");
    EXPECT_EQ(browser.chosenFolder(), root());
    EXPECT_TRUE(browser.okButton->isEnabled());
}

TEST_F(FolderBrowserTest, ShowsFoldersOnlyBelowTheRoot) {
    FolderBrowser browser("t", root(), root() / "Plant1");
    const QAbstractItemModel* model = browser.tree->model();
    // Persistent: the model sorts its rows while it reads.
    const QPersistentModelIndex plant1 = browser.tree->currentIndex();
    const QPersistentModelIndex projects = plant1.parent();
    EXPECT_EQ(nameOf(plant1), "Plant1");
    EXPECT_EQ(nameOf(projects), "PROJECTS");
    ASSERT_TRUE(waitUntil([&] { return model->rowCount(plant1) == 1; }));
    EXPECT_EQ(nameOf(model->index(0, 0, plant1)), "Line2");  // not pargen.xml
    ASSERT_TRUE(waitUntil([&] { return model->rowCount(projects) == 2; }));
    EXPECT_EQ(model->rowCount(browser.tree->rootIndex()), 1);  // not MASTER
}

TEST_F(FolderBrowserTest, PreselectsAndExpandsTheGivenFolder) {
    FolderBrowser browser("t", root(), root() / "Plant1" / "Line2");
    const QModelIndex current = browser.tree->currentIndex();
    EXPECT_EQ(nameOf(current), "Line2");
    EXPECT_TRUE(browser.tree->isExpanded(current));
    EXPECT_TRUE(browser.tree->isExpanded(current.parent()));
    EXPECT_EQ(browser.chosenFolder(), root() / "Plant1" / "Line2");
}

TEST_F(FolderBrowserTest, AMissingRootShowsTheWholeTree) {
    FolderBrowser browser("t", dir / "Missing", root() / "Plant3");
    EXPECT_FALSE(browser.tree->rootIndex().isValid());
    EXPECT_EQ(browser.chosenFolder(), root() / "Plant3");
}

// Runs SelectFolder and, once its browser is up, hands it to `act`.
bool selectFolderWith(fs::path& folder, const fs::path& root,
                      const std::function<void(FolderBrowser&)>& act) {
    QTimer::singleShot(0, [&] {
        auto* browser = qobject_cast<FolderBrowser*>(QApplication::activeModalWidget());
        ASSERT_NE(browser, nullptr);
        act(*browser);
    });
    return SelectFolder("Select directory of project", root, folder);
}

TEST_F(FolderBrowserTest, SelectFolderGivesTheConfirmedFolder) {
    fs::path folder = root();
    EXPECT_TRUE(selectFolderWith(folder, root(), [&](FolderBrowser& browser) {
        browser.select(root() / "Plant1" / "Line2");
        browser.okButton->click();
    }));
    EXPECT_EQ(folder, root() / "Plant1" / "Line2");
}

TEST_F(FolderBrowserTest, SelectFolderCancelledKeepsAnExistingFolderAndEmptiesAMissingOne) {
    fs::path folder = root() / "Plant3";
    EXPECT_FALSE(
        selectFolderWith(folder, root(), [](FolderBrowser& b) { b.cancelButton->click(); }));
    EXPECT_EQ(folder, root() / "Plant3");

    folder = root() / "Gone";
    EXPECT_FALSE(selectFolderWith(folder, root(), [](FolderBrowser& b) { b.reject(); }));
    EXPECT_EQ(folder, fs::path());
}

}  // namespace
}  // namespace velmora::ui
