#pragma once

// The explorer pane on the left of the main window: a title bar with a close button, and two trees on tabs at
// the bottom: "Workspace" (the opened file, the recent files and the favorites) and "Files" (the mounted file
// systems and the home folder, their folders and the files that pass the filter).
//
// A folder is listed in batches from the event loop, so that a folder with a hundred thousand entries never
// freezes the window; the tree shows the entries as they come.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QFrame>
#include <QString>
#include <QStringList>

class QComboBox;
class QDirIterator;
class QLabel;
class QMenu;
class QAction;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace quorra {

struct TSettings;
class TProgramText;

// Wildcard test of a file name: true when the mask equals the name; "**" counts as "*"; the masks "*" and "*.*"
// match every name; otherwise an empty name or mask does not match, "?" matches one character, "*" any run of
// characters (also none), every other character itself (in upper case both when ignoreCase), and the whole name
// must be consumed. Runs in time proportional to the product of the lengths at worst.
bool MatchesMask(const QString& name, const QString& mask, bool ignoreCase);

// The pattern of TNEF files in the filter text of the Open dialog: what follows the first ")|*." from its "*"
// on ("*.tnef" for the built-in text). Empty when the text has no such part.
QString TnefFilterPattern(const QString& filterText);

// One root of the file tree: a mounted file system or the home folder.
struct TFileSystemRoot {
    QString Path; // "/", "/home/ann", "/media/ann/STICK"
    QString Type; // the file system type ("ext4", "vfat"); "home" for the home folder
};
// The home folder, then the mounted file systems that hold files for people (pseudo file systems such as proc,
// sysfs, cgroup, devpts and the ones under /proc, /sys, /dev and /run but /run/media left out), each once.
std::vector<TFileSystemRoot> FileSystemRoots();
// Whether a mounted file system of this type at this place is one of those left out.
bool IsPseudoFileSystem(const QString& type, const QString& mountPoint);

class TExplorerPane : public QFrame {
    Q_OBJECT

public:
    // What the pane needs of the main window.
    struct THost {
        TSettings* Settings = nullptr; // RecentFiles and FavoriteFiles
        QComboBox* FileNameBox = nullptr; // the file-name box: its text and its list
        std::function<bool()> FileWasLoaded; // whether a file has been loaded (Save As is enabled)
        std::function<void(const QString&)> OpenFile; // puts the path in the file-name box and loads it
        std::function<void()> RecentChanged; // the main window's RefreshRecent
        std::function<void()> ClosePane; // the file-tree command that hides the pane
        std::function<bool(const QString&)> Confirm; // a Yes/No box with the question; true on Yes
    };

    // The most entries one step of a folder listing adds before it lets the event loop run.
    static constexpr int kListingBatch = 500;

    TExplorerPane(THost host, QWidget* parent);
    ~TExplorerPane() override;

    QTreeWidget* Workspace() const { return tvWorkspace_; }
    QTreeWidget* Files() const { return tvFiles_; }
    QComboBox* FilterBox() const { return cbFileFilter_; }

    // Rebuilds the workspace tree: "Opened files" (the file-name box's text once a file was loaded), "Recent
    // files" (the box's list, without its first entry once a file was loaded), "Favorites"; all expanded.
    void BuildWorkspace();
    // Without a node: the roots of the file tree (also fills the filter list when empty and builds the
    // workspace). With a folder node: starts listing that folder under it.
    void FillFolder(QTreeWidgetItem* node);
    // Adds one node and picks its icon; returns it.
    QTreeWidgetItem* AddTreeNode(QTreeWidget* tree, QTreeWidgetItem* parent, bool isFolder, const QString& text);
    // The node's path: the parts from the root down to the node joined by "/".
    static QString NodePath(const QTreeWidgetItem* node);
    // The node's text as the pane knows it: a workspace file's whole path (the tree shows its name), a folder's
    // or file's name in the file tree, the mount point of a root without its trailing "/".
    static QString NodeText(const QTreeWidgetItem* node);
    // The icon index a node was given (see StorageIcon).
    static int NodeIcon(const QTreeWidgetItem* node);
    // The workspace roots.
    QTreeWidgetItem* OpenedRoot() const { return opened_; }
    QTreeWidgetItem* RecentRoot() const { return recent_; }
    QTreeWidgetItem* FavoritesRoot() const { return favorites_; }

    // Whether a folder listing is still running; the number of batches listed so far (all folders).
    bool Listing() const { return !jobs_.empty(); }
    int ListedBatches() const { return listedBatches_; }
    // Runs listings to their end (for callers that need a folder's entries at once).
    void FinishListing();

    // The pop-up menu's commands as the menu leaves them for the tree it was opened on.
    void pmFileExplorerPopup(QTreeWidget* tree);
    void mniAddFileToFaforitesClick();
    void mniDeleteFromFavoritesClick();
    void miDeleteFromRecentClick();
    // A double-click on the selected node of the tree.
    void tvFilesDblClick(QTreeWidget* tree);
    void tvFilesExpanding(QTreeWidgetItem* node);
    // The pane's title, shown in its title bar; re-read when a language is chosen.
    void SetTitle(const QString& title);
    QString Title() const { return title_; }
    QMenu* PopupMenu() const { return pmFileExplorer_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct TListing;
    void ListStep();
    void FinishNode(QTreeWidgetItem* node);
    void CancelListings(QTreeWidget* tree);
    QString SelectedPath(QTreeWidget* tree) const;
    QTreeWidgetItem* AddNode(
        QTreeWidget* tree, QTreeWidgetItem* parent, bool isFolder, const QString& text, const QString& filter);
    bool FileIsOpenable(const QString& name, const QString& filter) const;
    bool DeleteSelectedFrom(QTreeWidgetItem* root, std::vector<std::string>& list, const TProgramText& question);

    THost host_;
    QString title_;
    QWidget* pbCaption_ = nullptr;
    QTabWidget* pcExplorer_ = nullptr;
    QTreeWidget* tvWorkspace_ = nullptr;
    QTreeWidget* tvFiles_ = nullptr;
    QWidget* pnlFileFilter_ = nullptr;
    QLabel* lblFileFilter_ = nullptr;
    QComboBox* cbFileFilter_ = nullptr;
    QMenu* pmFileExplorer_ = nullptr;
    QAction* mniAddFileToFaforites_ = nullptr;
    QAction* mniDeleteFromFavorites_ = nullptr;
    QAction* miDeleteFromRecent_ = nullptr;
    QTreeWidget* popupTree_ = nullptr;
    QTreeWidgetItem* opened_ = nullptr;
    QTreeWidgetItem* recent_ = nullptr;
    QTreeWidgetItem* favorites_ = nullptr;
    std::vector<std::unique_ptr<TListing>> jobs_;
    bool stepQueued_ = false;
    int listedBatches_ = 0;
};

} // namespace quorra
