#include "property_pages.h"

#include <QHeaderView>
#include <QRegularExpression>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "icons.h"
#include "pelmsg.h"

namespace quorra {

namespace {

using pelmsg::TMSGPropertyCategory;

QString ToQString(const pelmsg::WideString& text)
{
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

std::string TagText(uint32_t tag)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", tag);
    return buffer;
}

// The most characters of a value the tree shows.
constexpr qsizetype kValueTextLimit = 300;

// The value as one line of text: empty for none, "True"/"False", binary data as its size and first bytes in
// hexadecimal, otherwise the start of the value text up to its first line break; full gets a longer part for the
// tooltip. Only the start of a long value is converted, so that a large attachment costs nothing here.
QString ValueLine(const pelmsg::TMSGProperty& p, QString& full)
{
    full.clear();
    if (pelmsg::IsEmptyOrNull(p.Value) || !p.SubProperties.Empty())
        return {};
    const uint16_t type = pelmsg::PropType(p.TagID);
    if (const bool* b = std::get_if<bool>(&p.Value)) {
        full = *b ? QStringLiteral("True") : QStringLiteral("False");
    } else if (const pelmsg::ByteString* bytes = std::get_if<pelmsg::ByteString>(&p.Value)) {
        if (type == pelmsg::PT_BINARY || type == pelmsg::PT_OBJECT || type == pelmsg::PT_CLSID) {
            QString hex;
            for (size_t i = 0; i < bytes->size() && i < 16; ++i)
                hex += QStringLiteral("%1 ").arg(static_cast<unsigned char>((*bytes)[i]), 2, 16, QLatin1Char('0'));
            full = QStringLiteral("%1 bytes: %2%3")
                       .arg(bytes->size())
                       .arg(hex.trimmed().toUpper())
                       .arg(bytes->size() > 16 ? QStringLiteral(" ...") : QString());
        } else {
            const int32_t codePage = p.Collection() ? p.Collection()->TextCodePage() : pelmsg::kDefaultMessageCodePage;
            std::string_view start(bytes->data(), std::min<size_t>(bytes->size(), 4 * kValueTextLimit));
            full = ToQString(pelmsg::CodePageToWide(start, codePage));
        }
    } else if (const pelmsg::WideString* wide = std::get_if<pelmsg::WideString>(&p.Value)) {
        full = QString::fromUtf16(wide->data(), qsizetype(std::min<size_t>(wide->size(), 4 * kValueTextLimit)));
    } else {
        full = ToQString(p.ValueText());
    }
    while (full.endsWith(QChar(0)))
        full.chop(1);
    QString line = full.left(kValueTextLimit);
    qsizetype cut = line.indexOf(QRegularExpression(QStringLiteral("[\\r\\n]")));
    if (cut >= 0)
        line = line.left(cut) + QStringLiteral(" ...");
    return line;
}

void AddPropertyNode(QTreeWidget* tree, QTreeWidgetItem* parent, int parentIcon, const pelmsg::TMSGProperty& p)
{
    TPropertyNodeLook look = PropertyNodeLook(p, parentIcon);
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
    item->setText(0, QString::fromStdString(look.Text));
    if (look.Icon >= 0)
        item->setIcon(0, PropertyIcon(look.Icon));
    QString full;
    item->setText(1, ValueLine(p, full));
    if (!full.isEmpty())
        item->setToolTip(1, full);
    item->setData(0, Qt::UserRole, QVariant::fromValue(static_cast<const void*>(&p)));
    for (const pelmsg::TMSGProperty* child : p.SubProperties)
        AddPropertyNode(tree, item, look.Icon, *child);
}

void AddStorageNodes(QTreeWidget* tree, QTreeWidgetItem* parent, pelmsg::IStorage& storage, int depth)
{
    std::unique_ptr<pelmsg::IEnumSTATSTG> elements = storage.EnumElements();
    pelmsg::STATSTG element;
    while (elements->Next(element)) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
        item->setText(0, ToQString(element.pwcsName));
        item->setIcon(0, StructureIcon(element.type));
        item->setText(1, element.type == 2 ? QString::number(element.cbSize) : QString());
        if (element.type != 1 || depth >= kMaxStorageDepth)
            continue;
        // A sub-storage that cannot be opened is shown without children.
        try {
            std::unique_ptr<pelmsg::IStorage> sub = storage.OpenStorage(element.pwcsName);
            if (sub)
                AddStorageNodes(tree, item, *sub, depth + 1);
        } catch (const pelmsg::EPelMsgError&) {
        }
    }
}

QTreeWidget* NewTree(QWidget* page, const char* name, const QStringList& columns)
{
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* tree = new QTreeWidget(page);
    tree->setObjectName(QLatin1String(name));
    tree->setHeaderLabels(columns);
    tree->setUniformRowHeights(true);
    tree->setAcceptDrops(false);
    tree->header()->resizeSection(0, 300);
    layout->addWidget(tree);
    return tree;
}

} // namespace

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
            text = "Attachment";
            icon = 4;
        }
        break;
    case TMSGPropertyCategory::mpcRecipient:
        text = "Recipient";
        icon = 2;
        break;
    case TMSGPropertyCategory::mpcEnvelope:
    case TMSGPropertyCategory::mpcTransportEnvelope:
        icon = 0;
        break;
    case TMSGPropertyCategory::mpcAddressBook:
        icon = 7;
        break;
    case TMSGPropertyCategory::mpcNonTransmittable:
    case TMSGPropertyCategory::mpcUserNonTransmittable:
        icon = 8;
        break;
    case TMSGPropertyCategory::mpcMessage:
    case TMSGPropertyCategory::mpcMessageStore:
        icon = 9;
        break;
    case TMSGPropertyCategory::mpcUserProperty:
    case TMSGPropertyCategory::mpcUser:
        icon = 10;
        break;
    case TMSGPropertyCategory::mpcStatus:
        icon = 11;
        break;
    case TMSGPropertyCategory::mpcTransportRecipient:
        icon = 2;
        break;
    default:
        break;
    }
    if (text.empty() || p.SubProperties.Empty()) {
        text = p.DisplayName(false, false);
        if (text.empty())
            text = TagText(p.TagID);
        // A plain property inside an envelope, recipient or attachment node.
        if (parentIcon == 0 || parentIcon == 2 || parentIcon == 4)
            icon = parentIcon + 1;
    }
    if (p.TagID == 0)
        icon = 6;
    return { text, icon };
}

void CreatePropertiesPage(QWidget* tsProperties)
{
    NewTree(tsProperties, "tvProperties", { QStringLiteral("Property"), QStringLiteral("Value") });
}

void FillPropertiesPage(QWidget* tsProperties, const pelmsg::TPelMessage* message)
{
    auto* tree = tsProperties->findChild<QTreeWidget*>(QStringLiteral("tvProperties"));
    if (!tree)
        return;
    tree->setUpdatesEnabled(false);
    tree->clear();
    if (message) {
        int n = 0;
        for (const pelmsg::TMSGProperty* p : message->Properties()) {
            if (n++ >= kMaxTopLevelProperties)
                break;
            AddPropertyNode(tree, nullptr, -1, *p);
        }
    }
    tree->setUpdatesEnabled(true);
}

void CreateStructurePage(QWidget* tsStructure)
{
    NewTree(tsStructure, "tvStructure", { QStringLiteral("Name"), QStringLiteral("Size") });
}

void ClearStructurePage(QWidget* tsStructure)
{
    if (auto* tree = tsStructure->findChild<QTreeWidget*>(QStringLiteral("tvStructure")))
        tree->clear();
}

bool FillStructurePage(QWidget* tsStructure, const std::string& fileName)
{
    ClearStructurePage(tsStructure);
    auto* tree = tsStructure->findChild<QTreeWidget*>(QStringLiteral("tvStructure"));
    if (!tree)
        return false;
    bool isStorage = false;
    try {
        isStorage = pelmsg::StgIsStorageFile(fileName);
    } catch (const pelmsg::EPelMsgError&) {
        return false;
    }
    if (!isStorage)
        return false;
    std::unique_ptr<pelmsg::IStorage> root = pelmsg::StgOpenStorage(fileName);
    tree->setUpdatesEnabled(false);
    AddStorageNodes(tree, nullptr, *root, 0);
    tree->setUpdatesEnabled(true);
    tree->expandAll();
    if (tree->topLevelItemCount() > 0) {
        tree->setCurrentItem(tree->topLevelItem(0));
        tree->scrollToItem(tree->topLevelItem(0));
    }
    return true;
}

} // namespace quorra
