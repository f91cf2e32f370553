#include "explorer_pane.h"

#include <algorithm>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStorageInfo>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "icons.h"
#include "program_texts.h"
#include "qt_glue.h"
#include "settings.h"

namespace quorra {

namespace {

// What a node keeps besides its text: its part of the path and its icon index.
constexpr int kPartRole = Qt::UserRole;
constexpr int kIconRole = Qt::UserRole + 1;
constexpr int kFolderRole = Qt::UserRole + 2;
constexpr int kListedRole = Qt::UserRole + 3;

constexpr int kIconFolder = 1;
constexpr int kIconOpenable = 4;
constexpr int kIconDrive = 5;
constexpr int kIconOtherFile = 6;
constexpr int kIconFavorites = 7;
constexpr int kIconOpened = 8;

bool ContainsPath(const std::vector<std::string>& list, const QString& path)
{
    const std::string p = path.toStdString();
    return std::find(list.begin(), list.end(), p) != list.end();
}

// Matching without recursion: on a mismatch the last "*" takes one more character, so a name is never scanned
// more than once per star position.
bool WildcardMatch(const QString& name, const QString& mask)
{
    qsizetype n = 0, m = 0, starMask = -1, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == u'?' || mask[m] == name[n])) {
            ++n;
            ++m;
        } else if (m < mask.size() && mask[m] == u'*') {
            starMask = m++;
            starName = n;
        } else if (starMask >= 0) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == u'*')
        ++m;
    return m == mask.size();
}

} // namespace

bool MatchesMask(const QString& name, const QString& mask, bool ignoreCase)
{
    if (name == mask)
        return true;
    QString m = mask;
    while (m.contains(QStringLiteral("**")))
        m.replace(QStringLiteral("**"), QStringLiteral("*"));
    if (m == QStringLiteral("*") || m == QStringLiteral("*.*"))
        return true;
    if (name.isEmpty() || m.isEmpty())
        return false;
    return ignoreCase ? WildcardMatch(name.toUpper(), m.toUpper()) : WildcardMatch(name, m);
}

QString TnefFilterPattern(const QString& filterText)
{
    const qsizetype at = filterText.indexOf(QStringLiteral(")|*."));
    return at < 0 ? QString() : filterText.mid(at + 2);
}

bool IsPseudoFileSystem(const QString& type, const QString& mountPoint)
{
    static const QStringList pseudo = { "proc", "sysfs", "devtmpfs", "devpts", "cgroup", "cgroup2", "securityfs",
        "pstore", "bpf", "debugfs", "tracefs", "configfs", "fusectl", "mqueue", "hugetlbfs", "autofs", "binfmt_misc",
        "efivarfs", "rpc_pipefs", "nsfs", "selinuxfs", "squashfs", "ramfs", "nfsd" };
    if (pseudo.contains(type, Qt::CaseInsensitive))
        return true;
    auto under = [&](const char* folder) {
        const QString f = QLatin1String(folder);
        return mountPoint == f || mountPoint.startsWith(f + u'/');
    };
    if (under("/run/media"))
        return false;
    return under("/proc") || under("/sys") || under("/dev") || under("/run");
}

std::vector<TFileSystemRoot> FileSystemRoots()
{
    std::vector<TFileSystemRoot> roots;
    auto add = [&](const QString& path, const QString& type) {
        for (const TFileSystemRoot& r : roots)
            if (r.Path == path)
                return;
        roots.push_back({ path, type });
    };
    add(QDir::homePath(), QStringLiteral("home"));
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady())
            continue;
        const QString path = volume.rootPath();
        const QString type = QString::fromUtf8(volume.fileSystemType());
        // Containers bind single files (/etc/hosts); only folders are roots.
        if (IsPseudoFileSystem(type, path) || !QFileInfo(path).isDir())
            continue;
        add(path, type);
    }
    return roots;
}

// ---------------------------------------------------------------------------------------------------------------

struct TExplorerPane::TListing {
    QTreeWidget* Tree;
    QTreeWidgetItem* Node;
    QString Mask;
    std::unique_ptr<QDirIterator> Entries;
};

TExplorerPane::TExplorerPane(THost host, QWidget* parent)
    : QFrame(parent)
    , host_(std::move(host))
{
    setObjectName(QStringLiteral("pnlFolders"));
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(1);

    title_ = strFileExplorer();
    pbCaption_ = new QWidget(this);
    pbCaption_->setObjectName(QStringLiteral("pbCaption"));
    pbCaption_->setFixedHeight(std::max(15, fontMetrics().height() + 2));
    pbCaption_->installEventFilter(this);
    pbCaption_->setToolTip(title_);
    layout->addWidget(pbCaption_);

    pcExplorer_ = new QTabWidget(this);
    pcExplorer_->setObjectName(QStringLiteral("pcExplorer"));
    pcExplorer_->setTabPosition(QTabWidget::South);
    pcExplorer_->setDocumentMode(true);
    pcExplorer_->setUsesScrollButtons(false);
    pcExplorer_->setElideMode(Qt::ElideRight);
    layout->addWidget(pcExplorer_, 1);

    auto newTree = [this](QWidget* page, const char* name) {
        auto* tree = new QTreeWidget(page);
        tree->setObjectName(QLatin1String(name));
        tree->setHeaderHidden(true);
        tree->setColumnCount(1);
        tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
        tree->setContextMenuPolicy(Qt::CustomContextMenu);
        tree->setIconSize(QSize(16, 16));
        tree->header()->setStretchLastSection(false);
        tree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
        tree->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        connect(tree, &QTreeWidget::itemActivated, this, [this, tree](QTreeWidgetItem*, int) {
            // Opening rebuilds the workspace tree, which deletes the item that was activated: open afterwards.
            QMetaObject::invokeMethod(this, [this, tree] { tvFilesDblClick(tree); }, Qt::QueuedConnection);
        });
        connect(tree, &QTreeWidget::customContextMenuRequested, this, [this, tree](const QPoint& pos) {
            // The node under the pointer becomes the selected node before the menu opens.
            if (QTreeWidgetItem* item = tree->itemAt(pos))
                tree->setCurrentItem(item);
            pmFileExplorerPopup(tree);
            pmFileExplorer_->exec(tree->viewport()->mapToGlobal(pos));
        });
        return tree;
    };

    auto* tsWorkspace = new QWidget;
    tsWorkspace->setObjectName(QStringLiteral("tsWorkspace"));
    auto* workspaceLayout = new QVBoxLayout(tsWorkspace);
    workspaceLayout->setContentsMargins(0, 0, 0, 0);
    tvWorkspace_ = newTree(tsWorkspace, "tvWorkspace");
    workspaceLayout->addWidget(tvWorkspace_);
    pcExplorer_->addTab(tsWorkspace, tr("Workspace"));

    auto* tsFileExplorer = new QWidget;
    tsFileExplorer->setObjectName(QStringLiteral("tsFileExplorer"));
    auto* filesLayout = new QVBoxLayout(tsFileExplorer);
    filesLayout->setContentsMargins(0, 0, 0, 0);
    filesLayout->setSpacing(2);
    tvFiles_ = newTree(tsFileExplorer, "tvFiles");
    connect(tvFiles_, &QTreeWidget::itemExpanded, this, &TExplorerPane::tvFilesExpanding);
    filesLayout->addWidget(tvFiles_, 1);
    pnlFileFilter_ = new QWidget(tsFileExplorer);
    pnlFileFilter_->setObjectName(QStringLiteral("pnlFileFilter"));
    auto* filterLayout = new QHBoxLayout(pnlFileFilter_);
    filterLayout->setContentsMargins(2, 0, 5, 2);
    lblFileFilter_ = new QLabel(tr("Filter:"), pnlFileFilter_);
    lblFileFilter_->setObjectName(QStringLiteral("lblFileFilter"));
    cbFileFilter_ = new QComboBox(pnlFileFilter_);
    cbFileFilter_->setObjectName(QStringLiteral("cbFileFilter"));
    cbFileFilter_->setEditable(true);
    cbFileFilter_->setToolTip(tr("Which files are listed (? stands for one character, * for any number of them)"));
    cbFileFilter_->setInsertPolicy(QComboBox::NoInsert);
    cbFileFilter_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    cbFileFilter_->setMinimumContentsLength(4);
    lblFileFilter_->setBuddy(cbFileFilter_);
    filterLayout->addWidget(lblFileFilter_);
    filterLayout->addWidget(cbFileFilter_, 1);
    filesLayout->addWidget(pnlFileFilter_);
    pcExplorer_->addTab(tsFileExplorer, tr("Files"));

    pmFileExplorer_ = new QMenu(this);
    pmFileExplorer_->setObjectName(QStringLiteral("pmFileExplorer"));
    mniAddFileToFaforites_ = pmFileExplorer_->addAction(tr("Add file to favorites"));
    mniAddFileToFaforites_->setObjectName(QStringLiteral("mniAddFileToFaforites"));
    mniAddFileToFaforites_->setIcon(StorageIcon(kIconFavorites));
    mniDeleteFromFavorites_ = pmFileExplorer_->addAction(tr("Delete from favorites"));
    mniDeleteFromFavorites_->setObjectName(QStringLiteral("mniDeleteFromFavorites"));
    miDeleteFromRecent_ = pmFileExplorer_->addAction(tr("Delete from recent"));
    miDeleteFromRecent_->setObjectName(QStringLiteral("miDeleteFromRecent"));
    connect(mniAddFileToFaforites_, &QAction::triggered, this, &TExplorerPane::mniAddFileToFaforitesClick);
    connect(mniDeleteFromFavorites_, &QAction::triggered, this, &TExplorerPane::mniDeleteFromFavoritesClick);
    connect(miDeleteFromRecent_, &QAction::triggered, this, &TExplorerPane::miDeleteFromRecentClick);
    for (QAction* a : pmFileExplorer_->actions())
        a->setEnabled(false);
}

TExplorerPane::~TExplorerPane() = default;

void TExplorerPane::SetTitle(const QString& title)
{
    title_ = title;
    pbCaption_->setToolTip(title);
    pbCaption_->update();
}

// ---------------------------------------------------------------------------------------------------------------
// Nodes

QTreeWidgetItem* TExplorerPane::AddTreeNode(QTreeWidget* tree, QTreeWidgetItem* parent, bool isFolder, const QString& text)
{
    return AddNode(tree, parent, isFolder, text, cbFileFilter_->currentText());
}

QTreeWidgetItem* TExplorerPane::AddNode(
    QTreeWidget* tree, QTreeWidgetItem* parent, bool isFolder, const QString& text, const QString& filter)
{
    QString part = text;
    if (part.endsWith(u'/'))
        part.chop(1);
    auto* node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
    // A file of the workspace shows its name; the whole path is its tooltip (and what opens).
    const bool workspaceFile = tree == tvWorkspace_ && parent && !isFolder;
    node->setText(0, part.isEmpty() ? QStringLiteral("/") : workspaceFile ? QFileInfo(part).fileName() : part);
    node->setData(0, kPartRole, part);
    node->setData(0, kFolderRole, isFolder);
    const bool fileTree = tree == tvFiles_;
    node->setChildIndicatorPolicy(fileTree && isFolder ? QTreeWidgetItem::ShowIndicator
                                                       : QTreeWidgetItem::DontShowIndicatorWhenChildless);
    int icon = kIconOtherFile;
    if (fileTree && !parent)
        icon = kIconDrive;
    else if (isFolder)
        icon = part == strFileOpened() ? kIconOpened : part == strFileFavorites() ? kIconFavorites : kIconFolder;
    else if (!fileTree)
        icon = kIconOpenable;
    else
        icon = FileIsOpenable(part, filter) ? kIconOpenable : kIconOtherFile;
    node->setData(0, kIconRole, icon);
    node->setIcon(0, StorageIcon(icon));
    node->setToolTip(0, fileTree ? QString() : part);
    return node;
}

bool TExplorerPane::FileIsOpenable(const QString& name, const QString& filter) const
{
    // Openable when the filter chosen is one of the list's patterns other than its first ("all files"), or when
    // such a pattern is "*" and the file's extension in lower case.
    const int chosen = cbFileFilter_->findText(filter, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (chosen > 0)
        return true;
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0)
        return false;
    const int byExtension
        = cbFileFilter_->findText(u'*' + name.mid(dot).toLower(), Qt::MatchFixedString | Qt::MatchCaseSensitive);
    return byExtension > 0;
}

QString TExplorerPane::NodePath(const QTreeWidgetItem* node)
{
    QStringList parts;
    for (const QTreeWidgetItem* n = node; n; n = n->parent())
        parts.prepend(n->data(0, kPartRole).toString());
    const QString path = parts.join(u'/');
    return path.isEmpty() ? QStringLiteral("/") : path;
}

int TExplorerPane::NodeIcon(const QTreeWidgetItem* node) { return node ? node->data(0, kIconRole).toInt() : -1; }

QString TExplorerPane::NodeText(const QTreeWidgetItem* node)
{
    return node ? node->data(0, kPartRole).toString() : QString();
}

// ---------------------------------------------------------------------------------------------------------------
// Workspace

void TExplorerPane::BuildWorkspace()
{
    tvWorkspace_->setUpdatesEnabled(false);
    tvWorkspace_->clear();
    const bool loaded = host_.FileWasLoaded && host_.FileWasLoaded();
    opened_ = AddTreeNode(tvWorkspace_, nullptr, true, strFileOpened());
    if (loaded && host_.FileNameBox)
        AddTreeNode(tvWorkspace_, opened_, false, host_.FileNameBox->currentText());
    recent_ = AddTreeNode(tvWorkspace_, nullptr, true, strFileRecent());
    if (host_.FileNameBox) {
        // The list's first entry is the open file once one was loaded.
        for (int i = loaded ? 1 : 0; i < host_.FileNameBox->count(); ++i)
            AddTreeNode(tvWorkspace_, recent_, false, host_.FileNameBox->itemText(i));
    }
    favorites_ = AddTreeNode(tvWorkspace_, nullptr, true, strFileFavorites());
    for (const std::string& path : host_.Settings->FavoriteFiles)
        AddTreeNode(tvWorkspace_, favorites_, false, Q(path));
    tvWorkspace_->expandAll();
    tvWorkspace_->setUpdatesEnabled(true);
}

// ---------------------------------------------------------------------------------------------------------------
// File tree

void TExplorerPane::FillFolder(QTreeWidgetItem* node)
{
    if (!node) {
        CancelListings(tvFiles_);
        tvFiles_->setUpdatesEnabled(false);
        tvFiles_->clear();
        for (const TFileSystemRoot& root : FileSystemRoots()) {
            QTreeWidgetItem* item = AddTreeNode(tvFiles_, nullptr, true, root.Path);
            item->setToolTip(0, root.Path + QStringLiteral(" (") + root.Type + u')');
        }
        tvFiles_->setUpdatesEnabled(true);
        if (cbFileFilter_->count() == 0) {
            cbFileFilter_->addItem(QStringLiteral("*.*"));
            const QString tnef = TnefFilterPattern(TNEFFileExt());
            if (!tnef.isEmpty())
                cbFileFilter_->addItem(tnef);
            cbFileFilter_->setCurrentIndex(0);
        }
        BuildWorkspace();
        return;
    }
    QTreeWidget* tree = node->treeWidget();
    if (!tree || node->data(0, kListedRole).toBool())
        return;
    node->setData(0, kListedRole, true);
    auto job = std::make_unique<TListing>();
    job->Tree = tree;
    job->Node = node;
    job->Mask = cbFileFilter_->currentText();
    job->Entries = std::make_unique<QDirIterator>(
        NodePath(node), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    jobs_.push_back(std::move(job));
    // The first batch at once, so that a small folder is complete when this returns.
    ListStep();
}

void TExplorerPane::ListStep()
{
    stepQueued_ = false;
    if (jobs_.empty())
        return;
    TListing& job = *jobs_.front();
    ++listedBatches_;
    int added = 0;
    // Icons follow the filter the listing started with, even when the user types another one meanwhile.
    while (added < kListingBatch && job.Entries->hasNext()) {
        job.Entries->next();
        const QFileInfo info = job.Entries->fileInfo();
        const QString name = info.fileName();
        if (info.isDir()) {
            AddNode(job.Tree, job.Node, true, name, job.Mask);
            ++added;
        } else if (MatchesMask(name, job.Mask, true)) {
            AddNode(job.Tree, job.Node, false, name, job.Mask);
            ++added;
        }
    }
    if (!job.Entries->hasNext()) {
        FinishNode(job.Node);
        jobs_.erase(jobs_.begin());
    }
    if (!jobs_.empty() && !stepQueued_) {
        stepQueued_ = true;
        QTimer::singleShot(0, this, &TExplorerPane::ListStep);
    }
}

void TExplorerPane::FinishNode(QTreeWidgetItem* node)
{
    // A folder keeps its expand button only when it received children (also one that cannot be listed).
    node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

void TExplorerPane::FinishListing()
{
    while (!jobs_.empty())
        ListStep();
}

void TExplorerPane::CancelListings(QTreeWidget* tree)
{
    jobs_.erase(std::remove_if(jobs_.begin(), jobs_.end(), [tree](const auto& job) { return job->Tree == tree; }),
        jobs_.end());
}

void TExplorerPane::tvFilesExpanding(QTreeWidgetItem* node)
{
    if (node && node->childCount() == 0 && node->data(0, kFolderRole).toBool())
        FillFolder(node);
}

// ---------------------------------------------------------------------------------------------------------------
// Commands

QString TExplorerPane::SelectedPath(QTreeWidget* tree) const
{
    QTreeWidgetItem* node = tree ? tree->currentItem() : nullptr;
    if (!node)
        return {};
    return tree == tvFiles_ ? NodePath(node) : node->data(0, kPartRole).toString();
}

void TExplorerPane::tvFilesDblClick(QTreeWidget* tree)
{
    QTreeWidgetItem* node = tree ? tree->currentItem() : nullptr;
    if (!node || NodeIcon(node) != kIconOpenable || !host_.OpenFile)
        return;
    host_.OpenFile(SelectedPath(tree));
}

void TExplorerPane::pmFileExplorerPopup(QTreeWidget* tree)
{
    for (QAction* a : pmFileExplorer_->actions())
        a->setEnabled(false);
    popupTree_ = tree;
    QTreeWidgetItem* node = tree ? tree->currentItem() : nullptr;
    if (!node)
        return;
    if (tree == tvWorkspace_ && node->parent() && node->parent() == recent_)
        miDeleteFromRecent_->setEnabled(true);
    if (tree == tvWorkspace_ && node->parent() && node->parent() == favorites_) {
        mniDeleteFromFavorites_->setEnabled(true);
        return;
    }
    // Only files become favorites; in the file tree a folder not yet listed has no children either.
    if (node->parent() && node->childCount() == 0 && !(tree == tvFiles_ && node->data(0, kFolderRole).toBool()))
        mniAddFileToFaforites_->setEnabled(true);
}

void TExplorerPane::mniAddFileToFaforitesClick()
{
    QTreeWidgetItem* node = popupTree_ ? popupTree_->currentItem() : nullptr;
    if (!node || !node->parent() || node->childCount() != 0
        || (popupTree_ == tvFiles_ && node->data(0, kFolderRole).toBool()))
        return;
    const QString path = SelectedPath(popupTree_);
    std::vector<std::string>& favorites = host_.Settings->FavoriteFiles;
    if (ContainsPath(favorites, path))
        return;
    favorites.push_back(path.toStdString());
    if (tvWorkspace_->topLevelItemCount() > 0)
        BuildWorkspace();
}

// Takes the selected file of the workspace's list under root out of list, once the user agrees to question; true
// when it did.
bool TExplorerPane::DeleteSelectedFrom(
    QTreeWidgetItem* root, std::vector<std::string>& list, const TProgramText& question)
{
    QTreeWidgetItem* node = popupTree_ == tvWorkspace_ ? tvWorkspace_->currentItem() : nullptr;
    if (!node || node->parent() != root)
        return false;
    const QString path = node->data(0, kPartRole).toString();
    auto it = std::find(list.begin(), list.end(), path.toStdString());
    if (it == list.end() || !host_.Confirm || !host_.Confirm(question.Arg(path)))
        return false;
    list.erase(it);
    return true;
}

void TExplorerPane::mniDeleteFromFavoritesClick()
{
    if (DeleteSelectedFrom(favorites_, host_.Settings->FavoriteFiles, strDeleteFileFromFavorites))
        BuildWorkspace();
}

void TExplorerPane::miDeleteFromRecentClick()
{
    if (DeleteSelectedFrom(recent_, host_.Settings->RecentFiles, strDeleteFileFromRecent) && host_.RecentChanged)
        host_.RecentChanged();
}

// ---------------------------------------------------------------------------------------------------------------
// Title bar

bool TExplorerPane::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != pbCaption_)
        return QFrame::eventFilter(watched, event);
    if (event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->position().x() > pbCaption_->width() - 15 && host_.ClosePane)
            host_.ClosePane();
        return true;
    }
    if (event->type() != QEvent::Paint)
        return false;
    QPainter p(pbCaption_);
    const QRect r = pbCaption_->rect();
    const QPalette& pal = pbCaption_->palette();
    // The close button at the right.
    const int box = std::min(10, r.height() - 2);
    const QRect close(r.right() - 11, r.top() + (r.height() - box) / 2, box, box);
    style()->standardIcon(QStyle::SP_TitleBarCloseButton, nullptr, pbCaption_).paint(&p, close);
    // Two raised grip bars under the text, light on their top and left edges, dark on bottom and right.
    const int middle = r.top() + r.height() / 2;
    for (int top : { middle - 4, middle - 1 }) {
        const QRect bar(r.left() + 2, top, r.right() - 14 - (r.left() + 2), 2);
        p.setPen(pal.color(QPalette::Light));
        p.drawLine(bar.topLeft(), bar.topRight());
        p.drawLine(bar.topLeft(), bar.bottomLeft());
        p.setPen(pal.color(QPalette::Dark));
        p.drawLine(bar.bottomLeft() + QPoint(0, 1), bar.bottomRight() + QPoint(0, 1));
        p.drawLine(bar.topRight(), bar.bottomRight() + QPoint(0, 1));
    }
    // The title over the bars, on the pane's own colour.
    const QString text = QStringLiteral(" ") + title_ + QStringLiteral(" ");
    const QRect textArea(r.left() + 5, r.top(), std::max(0, r.right() - 17 - (r.left() + 5)), r.height());
    const QString shown = pbCaption_->fontMetrics().elidedText(text, Qt::ElideRight, textArea.width());
    QRect used = pbCaption_->fontMetrics().boundingRect(textArea, Qt::AlignLeft | Qt::AlignVCenter, shown);
    p.fillRect(used.intersected(textArea), pal.color(QPalette::Window));
    p.setPen(pal.color(QPalette::WindowText));
    p.drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter, shown);
    return true;
}

} // namespace quorra
