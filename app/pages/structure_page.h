#pragma once

// The Structure page: the storages and streams of a compound (.msg) file as a tree (tvStructure), a legend of its
// icons (tvLegend) and the statistics of the selected element (sgStructureItem).

#include <string>
#include <vector>

#include <QString>
#include <QTreeWidgetItem>
#include <QWidget>

#include "lazy_page.h"
#include "pelmsg.h"

class QGroupBox;
class QSplitter;
class QTableWidget;
class QTreeWidget;

namespace quorra {

// The deepest nesting of storages the tree follows.
inline constexpr int kMaxStorageDepth = 64;
// The rows of the statistics grid: row 0 is a narrow spacer, rows 1 to 11 hold one statistic each.
inline constexpr int kStructureGridRows = 12;

// A node of tvStructure: it owns a copy of its element's statistics, freed with the node.
class TStructureItem : public QTreeWidgetItem {
public:
    TStructureItem(QTreeWidgetItem* parent, const pelmsg::STATSTG& stat);
    TStructureItem(QTreeWidget* tree, const pelmsg::STATSTG& stat);
    const pelmsg::STATSTG& Stat() const { return stat_; }

private:
    void Show();
    pelmsg::STATSTG stat_;
};

// The texts of column 1 of the grid, rows 1 to 11 (index 0 is row 1): name, type, size, the three times, mode,
// locks, class identifier, state bits, reserved word. A time of zero, or one that cannot be converted, is empty;
// others are local time in the locale's short date and long time.
QStringList StructureItemTexts(const pelmsg::STATSTG& stat);
// The FILETIME as local time in the locale's short date and long time; empty for zero or a time beyond the
// calendar.
QString FileTimeText(uint64_t fileTime);

// The Structure tab page "tsStructure". Its widgets are made when the page first shows (or an accessor needs
// them); a tree read before that is shown then.
class TStructurePage : public TLazyPage {
    Q_OBJECT

public:
    explicit TStructurePage(QWidget* parent = nullptr)
        : TLazyPage("tsStructure", parent)
    {
    }

    // Reads the tree of a compound file's root storage (the open document's) and shows it; returns whether it was
    // read. Empties the page for none. Throws pelmsg::EPelMsgError when an element cannot be read.
    bool BuildStructureTree(pelmsg::IStorage* root);
    void Clear();
    // Sets the grid captions and the legend from the program texts (at start-up and after a language change).
    void Retranslate();

    // The widgets (made first when the page has not shown yet).
    QTreeWidget* Tree() { return Built(tvStructure_); }
    QTableWidget* Grid() { return Built(sgStructureItem_); }

protected:
    void Build() override;

private:
    // An element read from the storage: its statistics and the index of its storage's element (-1: the root's).
    struct TElement {
        pelmsg::STATSTG Stat;
        int Parent;
    };
    void ReadStorage(pelmsg::IStorage& storage, int parent, int depth);
    void ShowElements();
    void tvStructureChange(QTreeWidgetItem* node);

    QSplitter* splitter_ = nullptr;
    QTreeWidget* tvStructure_ = nullptr;
    QGroupBox* gbLegend_ = nullptr;
    QTreeWidget* tvLegend_ = nullptr;
    QTableWidget* sgStructureItem_ = nullptr;
    std::vector<TElement> elements_; // read and not yet shown
};

} // namespace quorra
