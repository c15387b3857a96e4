#pragma once

#include <QDialog>
#include <filesystem>
#include <optional>

class QFileSystemModel;
class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QTreeView;

namespace velmora::ui {

// A modal browser of folders: the top item is `root` itself, with the folders below it;
// the whole file-system tree when `root` is not a folder. `preselected`, when it names a
// folder, is selected and expanded at the start.
class FolderBrowser : public QDialog {
    Q_OBJECT
public:
    FolderBrowser(const QString& title, const std::filesystem::path& root,
                  const std::filesystem::path& preselected, QWidget* parent = nullptr);

    // The folder of the current item, or nothing when no item is current.
    std::optional<std::filesystem::path> chosenFolder() const;
    // Makes `folder` the current item, expanding the items above it; false when it is not shown.
    bool select(const std::filesystem::path& folder);

    QLabel* instruction;
    QTreeView* tree;
    QPushButton* okButton;
    QPushButton* cancelButton;

private:
    QFileSystemModel* model_;
    QSortFilterProxyModel* filter_;
};

// Lets the user pick a folder below `root`, starting at `folder`. A `folder` that is not an
// existing folder is emptied first. Confirmed: `folder` becomes the chosen folder and the
// result is true; cancelled: `folder` is kept and the result is false.
bool SelectFolder(const QString& title, const std::filesystem::path& root,
                  std::filesystem::path& folder, QWidget* parent = nullptr);

}  // namespace velmora::ui
