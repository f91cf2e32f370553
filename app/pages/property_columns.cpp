// The property tree's tag, type and size columns and its sorting; and the value view's text of a binary value.

#include <algorithm>
#include <numeric>

#include <QLocale>
#include <QStringDecoder>

#include "pelmsg.h"
#include "program_texts.h"
#include "property_tree_model.h"

namespace quorra {

TProgramText strBinaryValue("strBinaryValue", "binary, %s bytes \u2014 see the hex view");

namespace {

bool Readable(QStringView text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text)
        if (!c.isPrint() && c != u'\n' && c != u'\r' && c != u'\t')
            return false;
    return true;
}

} // namespace

QString BinaryValueViewText(std::string_view bytes, int maxChars)
{
    while (!bytes.empty() && bytes.back() == '\0')
        bytes.remove_suffix(1);
    // Only the start is decoded: a value of megabytes is not turned into text to be shown in part.
    const size_t take = std::min(bytes.size(), size_t(std::max(maxChars, 0)) * 4);
    const std::string_view start = bytes.substr(0, take);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(start.data(), qsizetype(start.size())));
    // A multi-byte character cut at the end is no reason to call the value binary.
    if (take < bytes.size())
        while (!text.isEmpty() && text.back() == QChar::ReplacementCharacter)
            text.chop(1);
    if (utf8.hasError() && take == bytes.size())
        text.clear();
    if (!Readable(text) && start.size() % 2 == 0) {
        QStringDecoder utf16(QStringDecoder::Utf16LE, QStringDecoder::Flag::Stateless);
        text = utf16.decode(QByteArrayView(start.data(), qsizetype(start.size())));
        if (utf16.hasError())
            text.clear();
    }
    if (Readable(text) && !text.contains(QChar::ReplacementCharacter))
        return text.left(maxChars);
    return strBinaryValue.Arg(QLocale().toString(qulonglong(bytes.size())));
}

QString PropertyColumnText(const pelmsg::TMSGProperty& p, int column)
{
    if (!p.SubProperties.Empty() && pelmsg::IsEmptyOrNull(p.Value))
        return {};
    const uint32_t tag = p.MultiValued ? p.TagID | pelmsg::MV_FLAG : p.TagID;
    switch (column) {
    case TPropertyTreeModel::kColumnTag:
        return TagText(tag);
    case TPropertyTreeModel::kColumnType: {
        const std::string name = pelmsg::PropertyTypeName(pelmsg::PropType(tag));
        return name.empty() ? QStringLiteral("0x%1").arg(pelmsg::PropType(tag), 4, 16, QLatin1Char('0')).toUpper()
                            : QString::fromStdString(name);
    }
    case TPropertyTreeModel::kColumnSize:
        return QLocale().toString(qulonglong(p.DataSize));
    default:
        return {};
    }
}

QVariant TPropertyTreeModel::SortKey(int node, int column) const
{
    const TNode& n = nodes_[size_t(node)];
    switch (column) {
    case kColumnName:
        return n.Text.toCaseFolded();
    case kColumnValue:
        return PropertyValueLine(*n.Property).toCaseFolded();
    case kColumnTag:
        return qulonglong(n.Property->TagID);
    case kColumnType:
        return qulonglong(pelmsg::PropType(n.Property->TagID));
    case kColumnSize:
        return qulonglong(n.Property->DataSize);
    default:
        return node; // the file's order
    }
}

void TPropertyTreeModel::sort(int column, Qt::SortOrder order)
{
    if (nodes_.empty())
        return;
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    std::vector<int> nodesBefore;
    nodesBefore.reserve(size_t(before.size()));
    for (const QModelIndex& index : before)
        nodesBefore.push_back(NodeOf(index));
    // Keys once per node; equal keys keep the file's order.
    std::vector<QVariant> keys(nodes_.size());
    for (size_t i = 0; i < nodes_.size(); ++i)
        keys[i] = SortKey(int(i), column);
    auto less = [&](int a, int b) {
        const QVariant& ka = keys[size_t(a)];
        const QVariant& kb = keys[size_t(b)];
        const QPartialOrdering c = QVariant::compare(ka, kb);
        if (c == QPartialOrdering::Equivalent || c == QPartialOrdering::Unordered)
            return a < b;
        return order == Qt::AscendingOrder ? c == QPartialOrdering::Less : c == QPartialOrdering::Greater;
    };
    std::stable_sort(roots_.begin(), roots_.end(), less);
    for (TNode& n : nodes_)
        std::stable_sort(n.Children.begin(), n.Children.end(), less);
    // The filter's lists follow the new order.
    if (!filter_.isEmpty() && searchText_.size() != nodes_.size())
        searchText_.clear();
    ApplyFilter();
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i) {
        const int node = nodesBefore[size_t(i)];
        after << (node >= 0 ? createIndex(nodes_[size_t(node)].Row, before[i].column(), quintptr(node))
                            : QModelIndex());
    }
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

} // namespace quorra
