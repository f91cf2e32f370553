#pragma once

// The Structure page: the storages and streams of a compound (.msg) file as a tree (tvStructure), a legend of its
// icons (tvLegend) and the statistics of the selected element (sgStructureItem).

#include <string>

#include <QString>
#include <QTreeWidgetItem>
#include <QWidget>

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

// The Structure tab page "tsStructure".
class TStructurePage : public QWidget {
    Q_OBJECT

public:
    explicit TStructurePage(QWidget* parent = nullptr);

    // Shows the tree of a compound file's root storage (the open document's); returns whether it was built.
    // Empties the page for none. Throws pelmsg::EPelMsgError when an element cannot be read.
    bool BuildStructureTree(pelmsg::IStorage* root);
    void Clear();
    // Sets the grid captions and the legend from the program texts (at start-up and after a language change).
    void Retranslate();

    QTreeWidget* Tree() const { return tvStructure_; }
    QTableWidget* Grid() const { return sgStructureItem_; }

private:
    void AddStorageNodes(pelmsg::IStorage& storage, QTreeWidgetItem* parent, int depth);
    void tvStructureChange(QTreeWidgetItem* node);

    QSplitter* splitter_;
    QTreeWidget* tvStructure_;
    QGroupBox* gbLegend_;
    QTreeWidget* tvLegend_;
    QTableWidget* sgStructureItem_;
};

} // namespace quorra
