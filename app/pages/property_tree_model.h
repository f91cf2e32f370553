#pragma once

// The property tree of a message as an item model: one row per property node, every node of the tree, however
// many (the model keeps a small record per node and makes texts only for the rows a view asks for). Column 0
// shows the node's name and icon, column 1 the start of its value. A filter narrows the rows to the nodes whose
// name, tag or value text holds a given text, keeping the path to each of them.
//
// The model points into the tree and never owns it: Clear it (or give it another tree) before the tree goes.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <QAbstractItemModel>
#include <QString>

namespace pelmsg {
class TMSGProperties;
class TMSGProperty;
struct TNamedPropertyId;
}

namespace quorra {

class TProgramText;

// The text and icon of a property's node: containers of attachments and recipients say what they are, every
// other node shows its property name: the dictionary name of its tag, the name the message gives a named
// property, or the tag as "0x" and eight hexadecimal digits. parentIcon is the icon of the parent node, or -1 at
// the top level.
struct TPropertyNodeLook {
    std::string Text;
    int Icon; // PropertyIcon index, -1 for none
};
TPropertyNodeLook PropertyNodeLook(const pelmsg::TMSGProperty& property, int parentIcon);

// A named property's name: pelmsg::NamedPropertyText (model/property_name.h), the rule pelmsg-dump follows too.

// The tag as "0x" and eight upper-case hexadecimal digits.
QString TagText(uint32_t tag);

// The start of the value's text (at most maxChars characters): empty for none, "True"/"False" for a Boolean, byte
// strings decoded with the message's code page, without the terminator a string was stored with. Only the start
// of a long value is converted; cut tells whether the value has more.
QString PropertyValueText(const pelmsg::TMSGProperty& property, int maxChars, bool& cut);

// The value as one line of the tree: empty for none (and for containers), "True"/"False", binary data as its size
// and first bytes in hexadecimal, otherwise the start of the value text up to its first line break. Only the start
// of a long value is looked at, so a value of any size costs little here.
QString PropertyValueLine(const pelmsg::TMSGProperty& property);

// The value view's text of a binary value: its text where the bytes are text (UTF-8 or UTF-16, the first
// maxChars characters), else "binary, N bytes — see the hex view".
QString BinaryValueViewText(std::string_view bytes, int maxChars);

// The text of the tag, type and size columns (TPropertyTreeModel::TColumn) of a property; "" for a structural node.
QString PropertyColumnText(const pelmsg::TMSGProperty& property, int column);

class TPropertyTreeModel : public QAbstractItemModel {
    Q_OBJECT

public:
    // The role that gives the node's property (a const pelmsg::TMSGProperty* as a const void*).
    static constexpr int PropertyRole = Qt::UserRole + 1;
    // The role that gives the node's icon index (PropertyIcon), -1 for none.
    static constexpr int IconRole = Qt::UserRole + 2;
    // The most characters of a value the filter looks at.
    static constexpr int kFilterValueChars = 1024;

    explicit TPropertyTreeModel(QObject* parent = nullptr);

    // Shows the tree of the collection (nullptr: nothing); the filter is kept.
    void SetProperties(const pelmsg::TMSGProperties* root);
    void Clear() { SetProperties(nullptr); }
    // Makes the node texts again (after a language change); what is expanded and selected stays.
    void Retranslate();
    // Narrows the rows to the matching nodes and their ancestors (empty: every node). Case does not matter.
    void SetFilter(const QString& text);
    const QString& Filter() const { return filter_; }
    // Nodes in the tree, and nodes the filter lets through (all of them without a filter).
    int NodeCount() const { return int(nodes_.size()); }
    int MatchCount() const { return matches_; }

    const pelmsg::TMSGProperty* Property(const QModelIndex& index) const;
    // The index of a property's row (invalid when it is not shown).
    QModelIndex IndexOf(const pelmsg::TMSGProperty* property) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The columns: the name, the value, then the tag, the type and the size the message gave the value.
    enum TColumn { kColumnName, kColumnValue, kColumnTag, kColumnType, kColumnSize, kColumnCount };
    // Sorts every level by a column; column -1 gives the order of the file back.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    struct TNode {
        const pelmsg::TMSGProperty* Property;
        int Parent; // node index, -1 at the top level
        int Row; // row among the shown children of the parent
        int Icon;
        QString Text;
        std::vector<int> Children; // every child, in order
        std::vector<int> Shown; // the children the filter lets through
    };
    void AddPropertyNode(int parent, const pelmsg::TMSGProperty& property);
    void ApplyFilter();
    bool Matches(int node);
    const std::vector<int>& ShownChildren(int node) const;
    int NodeOf(const QModelIndex& index) const { return index.isValid() ? int(index.internalId()) : -1; }

    std::vector<TNode> nodes_;
    std::vector<int> roots_;
    std::vector<int> shownRoots_;
    std::vector<QString> searchText_; // made on the first filter, per node, folded for searching
    QString filter_;
    QString foldedFilter_; // filter_ folded for searching (pelmsg::FoldForSearch)
    int matches_ = 0;
    QString headers_[kColumnCount];
    QVariant SortKey(int node, int column) const;
};

} // namespace quorra
