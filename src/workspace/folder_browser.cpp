#include "workspace/folder_browser.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTreeView>
#include <QVBoxLayout>
#include <system_error>

#include "ui/look.h"
#include "ui/qt_path.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace velmora::ui {

namespace {

#ifdef _WIN32
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseSensitive;
#endif

bool isBelow(const QString& path, const QString& folder) {
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    return path.startsWith(prefix, kPathCase);
}

// Keeps the root folder, the folders below it and the folders above it (which the view does not
// show), so that the root is the one top item.
class SubtreeFilter : public QSortFilterProxyModel {
public:
    SubtreeFilter(QString root, QObject* parent)
        : QSortFilterProxyModel(parent), root_(std::move(root)) {}

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
        if (root_.isEmpty()) return true;
        const auto* model = static_cast<const QFileSystemModel*>(sourceModel());
        const QString path = model->filePath(model->index(row, 0, parent));
        return path.compare(root_, kPathCase) == 0 || isBelow(path, root_) || isBelow(root_, path);
    }

private:
    QString root_;
};

// Keeps the system's critical-error prompts (an empty removable drive) away while browsing.
class CriticalErrorPromptsOff {
public:
#ifdef _WIN32
    CriticalErrorPromptsOff() : previous_(SetErrorMode(SEM_FAILCRITICALERRORS)) {}
    ~CriticalErrorPromptsOff() { SetErrorMode(previous_); }

private:
    UINT previous_;
#endif
};

}  // namespace

FolderBrowser::FolderBrowser(const QString& title, const std::filesystem::path& root,
                             const std::filesystem::path& preselected, QWidget* parent)
    : QDialog(parent),
      instruction(new QLabel(title, this)),
      tree(new QTreeView(this)),
      okButton(nullptr),
      cancelButton(nullptr),
      model_(new QFileSystemModel(this)) {
    setObjectName(QStringLiteral("SelectFolder"));
    applyLook(*this);
    setWindowTitle(title);
    resize(360, 420);

    const QFileInfo rootInfo(toQString(root));
    const bool rooted = !root.empty() && rootInfo.isDir();
    const QString rootPath = rooted ? rootInfo.absoluteFilePath() : QString();

    model_->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
    model_->setReadOnly(true);
    model_->setRootPath(rooted ? rootPath : QString());
    filter_ = new SubtreeFilter(rootPath, this);
    filter_->setSourceModel(model_);

    tree->setModel(filter_);
    tree->setHeaderHidden(true);
    for (int column = 1; column < model_->columnCount(); ++column) tree->hideColumn(column);
    if (rooted) {
        const QModelIndex rootIndex = filter_->mapFromSource(model_->index(rootPath));
        tree->setRootIndex(rootIndex.parent());
        tree->expand(rootIndex);
        tree->setCurrentIndex(rootIndex);
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    okButton = buttons->button(QDialogButtonBox::Ok);
    cancelButton = buttons->button(QDialogButtonBox::Cancel);
    okButton->setIcon(lookIcon(QStringLiteral("ok")));
    cancelButton->setIcon(lookIcon(QStringLiteral("cancel")));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    instruction->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(instruction);
    layout->addWidget(tree);
    layout->addWidget(buttons);

    if (!preselected.empty()) select(preselected);
    const auto updateOk = [this] { okButton->setEnabled(chosenFolder().has_value()); };
    connect(tree->selectionModel(), &QItemSelectionModel::currentChanged, this, updateOk);
    updateOk();
}

bool FolderBrowser::select(const std::filesystem::path& folder) {
    const QFileInfo info(toQString(folder));
    if (!info.isDir()) return false;
    const QModelIndex index = filter_->mapFromSource(model_->index(info.absoluteFilePath()));
    if (!index.isValid()) return false;
    for (QModelIndex above = index.parent(); above.isValid(); above = above.parent()) {
        tree->expand(above);
    }
    tree->expand(index);
    tree->setCurrentIndex(index);
    tree->scrollTo(index);
    return true;
}

std::optional<std::filesystem::path> FolderBrowser::chosenFolder() const {
    const QModelIndex current = tree->currentIndex();
    if (!current.isValid()) return std::nullopt;
    const QString path = model_->filePath(filter_->mapToSource(current));
    if (path.isEmpty()) return std::nullopt;
    return toPath(QDir::toNativeSeparators(path));
}

bool SelectFolder(const QString& title, const std::filesystem::path& root,
                  std::filesystem::path& folder, QWidget* parent) {
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) folder.clear();
    FolderBrowser browser(title, root, folder, parent);
    browser.setWindowModality(Qt::ApplicationModal);
    [[maybe_unused]] const CriticalErrorPromptsOff promptsOff;
    if (browser.exec() != QDialog::Accepted) return false;
    const auto chosen = browser.chosenFolder();
    if (!chosen) return false;
    folder = *chosen;
    return true;
}

}  // namespace velmora::ui
