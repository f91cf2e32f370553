#include "property_tree_model.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <utility>

#include <QIcon>

#include "icons.h"
#include "pel_language.h"
#include "pelmsg.h"
#include "preview_support.h"

namespace quorra {

TProgramText strNodeAttachment("strNodeAttachment", "Attachment");
TProgramText strNodeRecipient("strNodeRecipient", "Recipient");
TProgramText strValueBytes("strValueBytes", "%s bytes:");

namespace {

using pelmsg::TMSGPropertyCategory;

QString ToQString(const pelmsg::WideString& text)
{
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

// The most characters of a value the tree's value column shows.
constexpr qsizetype kValueLineChars = 300;
// The most bytes of a binary value it shows in hexadecimal.
constexpr size_t kValueLineBytes = 16;

bool IsBinaryType(uint16_t type)
{
    type = pelmsg::BaseType(type);
    return type == pelmsg::PT_BINARY || type == pelmsg::PT_OBJECT;
}

// The icon of a node of a category that is not named by the category (attachments and recipients are).
int CategoryIcon(TMSGPropertyCategory category)
{
    using enum TMSGPropertyCategory;
    const std::pair<TMSGPropertyCategory, int> kIcons[]
        = { { mpcEnvelope, 0 }, { mpcTransportEnvelope, 0 }, { mpcAddressBook, 7 }, { mpcNonTransmittable, 8 },
              { mpcUserNonTransmittable, 8 }, { mpcMessage, 9 }, { mpcMessageStore, 9 }, { mpcUserProperty, 10 },
              { mpcUser, 10 }, { mpcStatus, 11 }, { mpcTransportRecipient, 2 } };
    for (const auto& [known, icon] : kIcons)
        if (category == known)
            return icon;
    return -1;
}

} // namespace

// ---------------------------------------------------------------------------------------------------------------
// Texts of a node

QString TagText(uint32_t tag) { return QStringLiteral("0x") + QStringLiteral("%1").arg(tag, 8, 16, QLatin1Char('0')).toUpper(); }

TPropertyNodeLook PropertyNodeLook(const pelmsg::TMSGProperty& p, int parentIcon)
{
    std::string text;
    int icon = -1;
    switch (p.Category()) {
    case TMSGPropertyCategory::mpcAttachment:
        if (p.TagID == pelmsg::kTagAttachDataObject) {
            text = p.DisplayName(false, true);
            icon = 0;
        } else {
            text = strNodeAttachment().toStdString();
            icon = 4;
        }
        break;
    case TMSGPropertyCategory::mpcRecipient:
        text = strNodeRecipient().toStdString();
        icon = 2;
        break;
    default:
        icon = CategoryIcon(p.Category());
        break;
    }
    if (text.empty() || p.SubProperties.Empty()) {
        // A named property is called what the message calls it: the dictionary's entries for identifiers from
        // 0x8000 are address-book properties, not this one.
        text = p.NamedId ? pelmsg::NamedPropertyText(*p.NamedId, false) : p.DisplayName(false, false);
        if (text.empty())
            text = TagText(p.TagID).toStdString();
        // A plain property inside an envelope, recipient or attachment node.
        if (parentIcon == 0 || parentIcon == 2 || parentIcon == 4)
            icon = parentIcon + 1;
    }
    if (p.TagID == 0)
        icon = 6;
    return { text, icon };
}

QString PropertyValueText(const pelmsg::TMSGProperty& p, int maxChars, bool& cut)
{
    cut = false;
    QString text;
    if (const auto* bytes = std::get_if<pelmsg::ByteString>(&p.Value)) {
        // Each value in the code page it is written in (an HTML body in its own charset).
        const int32_t codePage = p.ValueCodePage();
        // No code page takes more than four bytes for a character: only the start is converted.
        size_t length = bytes->size();
        while (length > 0 && (*bytes)[length - 1] == '\0')
            --length;
        const size_t take = std::min<size_t>(length, size_t(maxChars) * 4);
        std::string_view start(bytes->data(), take);
        pelmsg::WideString wide = pelmsg::CodePageToWide(start, codePage);
        if (wide.empty() && !start.empty())
            wide = pelmsg::CodePageToWide(start, pelmsg::kDefaultMessageCodePage);
        text = ToQString(wide);
        cut = take < length;
    } else if (const auto* wide = std::get_if<pelmsg::WideString>(&p.Value)) {
        size_t length = wide->size();
        while (length > 0 && (*wide)[length - 1] == u'\0')
            --length;
        text = QString::fromUtf16(wide->data(), qsizetype(std::min<size_t>(length, size_t(maxChars) + 1)));
    } else {
        text = ToQString(p.ValueText());
    }
    if (text.size() > maxChars) {
        text.truncate(maxChars);
        cut = true;
    }
    while (text.endsWith(QChar(0)))
        text.chop(1);
    return text;
}

QString PropertyValueLine(const pelmsg::TMSGProperty& p)
{
    if (pelmsg::IsEmptyOrNull(p.Value) || !p.SubProperties.Empty())
        return {};
    const auto* bytes = std::get_if<pelmsg::ByteString>(&p.Value);
    if (bytes && IsBinaryType(pelmsg::PropType(p.TagID))) {
        QString hex;
        for (size_t i = 0; i < bytes->size() && i < kValueLineBytes; ++i)
            hex += QStringLiteral(" %1").arg(static_cast<unsigned char>((*bytes)[i]), 2, 16, QLatin1Char('0'));
        QString line = strValueBytes.Arg(QString::number(bytes->size())) + hex.toUpper();
        if (bytes->size() > kValueLineBytes)
            line += QStringLiteral(" ...");
        return line;
    }
    bool cut = false;
    QString line = PropertyValueText(p, int(kValueLineChars), cut);
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == u'\n' || line[i] == u'\r') {
            line = line.left(i) + QStringLiteral(" ...");
            break;
        }
    }
    // A list line: bidirectional controls visible, so that a hostile value cannot pass for another.
    return QString::fromStdU16String(VisibleBidiControls(line.toStdU16String()));
}

// ---------------------------------------------------------------------------------------------------------------
// The model

TPropertyTreeModel::TPropertyTreeModel(QObject* parent)
    : QAbstractItemModel(parent)
{
    headers_[0] = QStringLiteral("Property");
    headers_[1] = QStringLiteral("Value");
    headers_[kColumnTag] = QStringLiteral("Tag");
    headers_[kColumnType] = QStringLiteral("Type");
    headers_[kColumnSize] = QStringLiteral("Size");
}

void TPropertyTreeModel::SetProperties(const pelmsg::TMSGProperties* root)
{
    beginResetModel();
    nodes_.clear();
    roots_.clear();
    shownRoots_.clear();
    searchText_.clear();
    if (root)
        for (const pelmsg::TMSGProperty* p : *root)
            AddPropertyNode(-1, *p);
    ApplyFilter();
    endResetModel();
}

void TPropertyTreeModel::AddPropertyNode(int parent, const pelmsg::TMSGProperty& p)
{
    const int parentIcon = parent >= 0 ? nodes_[size_t(parent)].Icon : -1;
    TPropertyNodeLook look = PropertyNodeLook(p, parentIcon);
    const int node = int(nodes_.size());
    nodes_.push_back({ &p, parent, 0, look.Icon, QString::fromStdString(look.Text), {}, {} });
    (parent >= 0 ? nodes_[size_t(parent)].Children : roots_).push_back(node);
    for (const pelmsg::TMSGProperty* child : p.SubProperties)
        AddPropertyNode(node, *child);
}

void TPropertyTreeModel::Retranslate()
{
    if (nodes_.empty())
        return;
    emit layoutAboutToBeChanged();
    for (TNode& n : nodes_) {
        const int parentIcon = n.Parent >= 0 ? nodes_[size_t(n.Parent)].Icon : -1;
        n.Text = QString::fromStdString(PropertyNodeLook(*n.Property, parentIcon).Text);
    }
    emit layoutChanged();
    if (!filter_.isEmpty()) {
        beginResetModel();
        searchText_.clear();
        ApplyFilter();
        endResetModel();
    }
}

void TPropertyTreeModel::SetFilter(const QString& text)
{
    if (text == filter_)
        return;
    beginResetModel();
    filter_ = text;
    foldedFilter_ = QString::fromStdU16String(pelmsg::FoldForSearch(text.toStdU16String()));
    ApplyFilter();
    endResetModel();
}

bool TPropertyTreeModel::Matches(int node)
{
    if (searchText_.size() != nodes_.size())
        searchText_.assign(nodes_.size(), QString());
    QString& search = searchText_[size_t(node)];
    if (search.isNull()) {
        const TNode& n = nodes_[size_t(node)];
        search = n.Text + u'\n' + TagText(n.Property->TagID) + u'\n';
        if (n.Property->SubProperties.Empty() && !pelmsg::IsEmptyOrNull(n.Property->Value)) {
            bool cut = false;
            const auto* bytes = std::get_if<pelmsg::ByteString>(&n.Property->Value);
            search += bytes && IsBinaryType(pelmsg::PropType(n.Property->TagID))
                ? PropertyValueLine(*n.Property)
                : PropertyValueText(*n.Property, kFilterValueChars, cut);
        }
        // As people search: "novak" finds "Novák", "strasse" finds "Straße".
        search = QString::fromStdU16String(pelmsg::FoldForSearch(search.toStdU16String()));
    }
    return search.contains(foldedFilter_);
}

void TPropertyTreeModel::ApplyFilter()
{
    matches_ = 0;
    if (filter_.isEmpty()) {
        searchText_.clear();
        shownRoots_ = roots_;
        for (TNode& n : nodes_)
            n.Shown = n.Children;
        matches_ = int(nodes_.size());
    } else {
        // Children come after their parents: from the last node back, a node is shown when it matches or one of
        // its children is shown.
        std::vector<char> shown(nodes_.size(), 0);
        for (size_t i = nodes_.size(); i-- > 0;) {
            TNode& n = nodes_[i];
            n.Shown.clear();
            for (int child : n.Children)
                if (shown[size_t(child)])
                    n.Shown.push_back(child);
            const bool match = Matches(int(i));
            matches_ += match ? 1 : 0;
            shown[i] = match || !n.Shown.empty();
        }
        shownRoots_.clear();
        for (int root : roots_)
            if (shown[size_t(root)])
                shownRoots_.push_back(root);
    }
    for (size_t r = 0; r < shownRoots_.size(); ++r)
        nodes_[size_t(shownRoots_[r])].Row = int(r);
    for (TNode& n : nodes_)
        for (size_t r = 0; r < n.Shown.size(); ++r)
            nodes_[size_t(n.Shown[r])].Row = int(r);
}

const std::vector<int>& TPropertyTreeModel::ShownChildren(int node) const
{
    return node < 0 ? shownRoots_ : nodes_[size_t(node)].Shown;
}

const pelmsg::TMSGProperty* TPropertyTreeModel::Property(const QModelIndex& index) const
{
    const int node = NodeOf(index);
    return node >= 0 && size_t(node) < nodes_.size() ? nodes_[size_t(node)].Property : nullptr;
}

QModelIndex TPropertyTreeModel::IndexOf(const pelmsg::TMSGProperty* property) const
{
    for (size_t i = 0; i < nodes_.size(); ++i) {
        if (nodes_[i].Property != property)
            continue;
        // Shown only when every ancestor lists it.
        for (int n = int(i); n >= 0; n = nodes_[size_t(n)].Parent) {
            const std::vector<int>& siblings = ShownChildren(nodes_[size_t(n)].Parent);
            const int row = nodes_[size_t(n)].Row;
            if (row >= int(siblings.size()) || siblings[size_t(row)] != n)
                return {};
        }
        return createIndex(nodes_[i].Row, 0, quintptr(i));
    }
    return {};
}

QModelIndex TPropertyTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column < 0 || column >= kColumnCount || row < 0 || (parent.isValid() && parent.column() != 0))
        return {};
    const std::vector<int>& children = ShownChildren(NodeOf(parent));
    if (size_t(row) >= children.size())
        return {};
    return createIndex(row, column, quintptr(children[size_t(row)]));
}

QModelIndex TPropertyTreeModel::parent(const QModelIndex& child) const
{
    const int node = NodeOf(child);
    if (node < 0)
        return {};
    const int parent = nodes_[size_t(node)].Parent;
    if (parent < 0)
        return {};
    return createIndex(nodes_[size_t(parent)].Row, 0, quintptr(parent));
}

int TPropertyTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return int(ShownChildren(NodeOf(parent)).size());
}

int TPropertyTreeModel::columnCount(const QModelIndex&) const { return kColumnCount; }

bool TPropertyTreeModel::hasChildren(const QModelIndex& parent) const { return rowCount(parent) > 0; }

QVariant TPropertyTreeModel::data(const QModelIndex& index, int role) const
{
    const int node = NodeOf(index);
    if (node < 0)
        return {};
    const TNode& n = nodes_[size_t(node)];
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case kColumnName:
            return n.Text;
        case kColumnValue:
            return PropertyValueLine(*n.Property);
        default:
            return PropertyColumnText(*n.Property, index.column());
        }
    case Qt::TextAlignmentRole:
        return index.column() == kColumnSize ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    case Qt::ToolTipRole:
        if (index.column() == 0) {
            QString tip = TagText(n.Property->TagID);
            if (n.Property->NamedId)
                tip += u' ' + QString::fromStdString(pelmsg::NamedPropertyText(*n.Property->NamedId, true));
            else if (!n.Property->DisplayName(true, true).empty())
                tip += u' ' + QString::fromStdString(n.Property->DisplayName(true, true));
            return tip;
        }
        return {};
    case Qt::DecorationRole:
        if (index.column() == 0 && n.Icon >= 0) {
            static std::array<QIcon, 12> icons;
            if (size_t(n.Icon) < icons.size()) {
                if (icons[size_t(n.Icon)].isNull())
                    icons[size_t(n.Icon)] = PropertyIcon(n.Icon);
                return icons[size_t(n.Icon)];
            }
        }
        return {};
    case PropertyRole:
        return QVariant::fromValue(static_cast<const void*>(n.Property));
    case IconRole:
        return n.Icon;
    default:
        return {};
    }
}

QVariant TPropertyTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumnCount)
        return {};
    return headers_[section];
}

bool TPropertyTreeModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value, int role)
{
    if (orientation != Qt::Horizontal || (role != Qt::EditRole && role != Qt::DisplayRole) || section < 0
        || section >= kColumnCount)
        return false;
    headers_[section] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

Qt::ItemFlags TPropertyTreeModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

} // namespace quorra
