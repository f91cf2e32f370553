#include "property_pages.h"

#include <algorithm>
#include <utility>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTreeView>
#include <QVBoxLayout>

#include "file_dialogs.h"
#include "hex_dump.h"
#include "pel_language.h"
#include "pelmsg.h"
#include "program_texts.h"
#include "qt_glue.h"

namespace quorra {

namespace {

// The type list: each item's property type and text.
struct TTypeItem {
    uint16_t Type;
    const char* Text;
};
constexpr TTypeItem kTypeItems[] = {
    { 0x1000, "MV_FLAG: Multi-value flag" },
    { 0x0000, "PT_UNSPECIFIED: Reserved for interface use) type doesn't matter to caller" },
    { 0x0001, "PT_NULL: NULL property value" },
    { 0x0002, "PT_I2: Signed 16-bit value" },
    { 0x0003, "PT_LONG: Signed 32-bit value" },
    { 0x0004, "PT_R4: 4-byte floating point" },
    { 0x0005, "PT_DOUBLE: Floating point double" },
    { 0x0006, "PT_CURRENCY: Signed 64-bit int (decimal w/    4 digits right of decimal pt)" },
    { 0x0007, "PT_APPTIME: Application time" },
    { 0x000A, "PT_ERROR: 32-bit error value" },
    { 0x000B, "PT_BOOLEAN: 16-bit boolean (non-zero true)" },
    { 0x000D, "PT_OBJECT: Embedded object in a property" },
    { 0x0014, "PT_I8: 8-byte signed integer" },
    { 0x001E, "PT_STRING8: Null terminated 8-bit character string" },
    { 0x001F, "PT_UNICODE: Null terminated Unicode string" },
    { 0x0040, "PT_SYSTIME: FILETIME 64-bit int w/ number of 100ns periods since Jan 1,1601" },
    { 0x0048, "PT_CLSID: OLE GUID" },
    { 0x0102, "PT_BINARY: Uninterpreted (counted byte array)" },
};

// The longest name the name edit takes (a container's name is its value text).
constexpr int kMaxNameChars = 1024;
// The width of the detail panel at 96 dpi.
constexpr int kGroupWidth = 316;

QLineEdit* NewEdit(QWidget* parent, const char* name, const char* hint)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setReadOnly(true);
    edit->setAcceptDrops(false);
    edit->setToolTip(QLatin1String(hint));
    edit->setAccessibleName(QLatin1String(hint));
    return edit;
}

QLabel* NewLabel(QWidget* parent, const char* name, const char* caption, QWidget* buddy)
{
    auto* label = new QLabel(QLatin1String(caption), parent);
    label->setObjectName(QLatin1String(name));
    label->setBuddy(buddy);
    return label;
}

QPushButton* NewButton(QWidget* parent, const char* name, const char* caption, const char* hint)
{
    auto* button = new QPushButton(QLatin1String(caption), parent);
    button->setObjectName(QLatin1String(name));
    button->setToolTip(QLatin1String(hint));
    button->setAutoDefault(false);
    return button;
}

// Widens the detail panel so that the hex view shows 16 bytes a line, as long as the tree keeps a third of the page.
void WidenForHexRows(QSplitter* splitter, QWidget* group, const THexDump* hexDump, const QTabWidget* tabs)
{
    const int total = splitter->width() - splitter->handleWidth();
    // The tab's room (a hidden tab page keeps an old size): the tab widget less its frame.
    const int room = tabs->width() - 2 * tabs->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, tabs) - 4;
    const int missing = hexDump->WidthForBytesPerLine(THexDump::kMaxBytesPerLine) - room;
    if (!group->isVisible() || missing <= 0 || group->width() + missing > total * 2 / 3)
        return;
    splitter->setSizes({ total - group->width() - missing, group->width() + missing });
}

// Replaces the first "%s" of a text with the number, grouped in thousands by the locale.
QString WithNumber(const TProgramText& text, uint64_t number)
{
    return text.Arg(QLocale().toString(qulonglong(number)));
}

} // namespace

// ---------------------------------------------------------------------------------------------------------------
// Values

QStringList PropertyTypeItems()
{
    QStringList items;
    for (const TTypeItem& item : kTypeItems)
        items << QLatin1String(item.Text);
    return items;
}

int PropertyTypeIndex(uint16_t type)
{
    for (size_t i = 0; i < std::size(kTypeItems); ++i)
        if (kTypeItems[i].Type == type)
            return int(i);
    return -1;
}

QStringList PropertyCategoryItems()
{
    QStringList items;
    for (int c = int(pelmsg::TMSGPropertyCategory::mpcGeneral); c <= int(pelmsg::TMSGPropertyCategory::mpcStatus); ++c)
        items << QLatin1String(pelmsg::CategoryName(pelmsg::TMSGPropertyCategory(c)));
    return items;
}

uint32_t StoredTag(const pelmsg::TMSGProperty& p)
{
    return p.MultiValued ? p.TagID | pelmsg::MV_FLAG : p.TagID;
}

QString PropertyNameText(const pelmsg::TMSGProperty& p)
{
    // A named property is called what the message calls it (see PropertyNodeLook).
    QString name = p.NamedId && p.SubProperties.Empty()
        ? QString::fromStdString(pelmsg::NamedPropertyText(*p.NamedId, true))
        : QString::fromStdString(p.DisplayName(true, false));
    if (name.size() > kMaxNameChars)
        name.truncate(kMaxNameChars);
    return name;
}

std::string_view PropertyHexBytes(const pelmsg::TMSGProperty& p, std::string& scratch)
{
    std::string_view bytes = pelmsg::StoredValueBytes(p, scratch);
    // The size the message gave the value; a node without one shows all it holds.
    if (p.DataSize != 0 && p.DataSize < bytes.size())
        bytes = bytes.substr(0, p.DataSize);
    return bytes;
}

QString HexLines(std::string_view bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    QString text;
    text.reserve(qsizetype(bytes.size()) * 3);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        text += QLatin1Char(digits[b >> 4]);
        text += QLatin1Char(digits[b & 0x0F]);
        text += (i % 16 == 15 || i + 1 == bytes.size()) ? QLatin1Char('\n') : QLatin1Char(' ');
    }
    return text;
}

// ---------------------------------------------------------------------------------------------------------------
// The page

void TPropertiesPage::MakeWidgets()
{
    splitter_ = NewPageSplitter(this, "SplitterProperties");
    splitter_->setHandleWidth(5);

    // Left: the filter box above the tree.
    auto* left = new QWidget(splitter_);
    left->setObjectName(QStringLiteral("pnlPropTree"));
    QVBoxLayout* leftLayout = NewFlatColumn(left, 3);
    edPropFilter_ = new QLineEdit(left);
    edPropFilter_->setObjectName(QStringLiteral("edPropFilter"));
    edPropFilter_->setAcceptDrops(false);
    edPropFilter_->setToolTip(QStringLiteral("Shows only the properties whose name, tag or value holds the text"));
    leftLayout->addWidget(edPropFilter_);
    model_ = new TPropertyTreeModel(this);
    tvProperties_ = new QTreeView(left);
    tvProperties_->setObjectName(QStringLiteral("tvProperties"));
    tvProperties_->setModel(model_);
    tvProperties_->setUniformRowHeights(true);
    tvProperties_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvProperties_->setSelectionMode(QAbstractItemView::SingleSelection);
    tvProperties_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tvProperties_->setAcceptDrops(false);
    tvProperties_->header()->resizeSection(0, 260);
    tvProperties_->header()->setStretchLastSection(true);
    // Tag, type and size after the value, which takes the room left; a click on a column's header sorts by it.
    // Until then the properties keep the file's order.
    tvProperties_->header()->moveSection(TPropertyTreeModel::kColumnValue, TPropertyTreeModel::kColumnCount - 1);
    tvProperties_->header()->setSortIndicator(-1, Qt::AscendingOrder);
    tvProperties_->setSortingEnabled(true);
    tvProperties_->header()->setSortIndicatorShown(true);
    for (int column :
        { TPropertyTreeModel::kColumnTag, TPropertyTreeModel::kColumnType, TPropertyTreeModel::kColumnSize })
        tvProperties_->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    leftLayout->addWidget(tvProperties_, 1);

    // Right: the detail panel, hidden until a node is selected.
    gbPropInfo_ = new QGroupBox(QStringLiteral(" Property Information "), splitter_);
    gbPropInfo_->setObjectName(QStringLiteral("gbPropInfo"));
    auto* grid = new QGridLayout(gbPropInfo_);
    grid->setContentsMargins(5, 5, 5, 5);
    grid->setHorizontalSpacing(5);
    grid->setVerticalSpacing(4);
    cbPropCategory_ = new QComboBox(gbPropInfo_);
    cbPropCategory_->setObjectName(QStringLiteral("cbPropCategory"));
    cbPropCategory_->addItems(PropertyCategoryItems());
    cbPropCategory_->setEnabled(false);
    cbPropCategory_->setCurrentIndex(-1);
    edPropID_ = NewEdit(gbPropInfo_, "edPropID", "Property identifier");
    edPropSize_ = NewEdit(gbPropInfo_, "edPropSize", "Property size");
    edPropSize_->setAlignment(Qt::AlignRight);
    edPropName_ = NewEdit(gbPropInfo_, "edPropName", "Property name");
    cbPropType_ = new QComboBox(gbPropInfo_);
    cbPropType_->setObjectName(QStringLiteral("cbPropType"));
    cbPropType_->setToolTip(QStringLiteral("Type of property"));
    cbPropType_->addItems(PropertyTypeItems());
    cbPropType_->setEnabled(false);
    cbPropType_->setCurrentIndex(-1);
    // Long item texts must not widen the panel.
    cbPropType_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbPropType_->setMinimumContentsLength(10);
    cbPropCategory_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbPropCategory_->setMinimumContentsLength(10);
    grid->addWidget(NewLabel(gbPropInfo_, "lblPropCategory", "Category:", cbPropCategory_), 0, 0);
    grid->addWidget(cbPropCategory_, 0, 1, 1, 2);
    grid->addWidget(NewLabel(gbPropInfo_, "lblPropID", "ID:", edPropID_), 1, 0);
    grid->addWidget(edPropID_, 1, 1);
    grid->addWidget(edPropSize_, 1, 2);
    lblPropName_ = NewLabel(gbPropInfo_, "lblPropName", "Name:", edPropName_);
    grid->addWidget(lblPropName_, 2, 0);
    grid->addWidget(edPropName_, 2, 1, 1, 2);
    grid->addWidget(NewLabel(gbPropInfo_, "lblPropType", "Type:", cbPropType_), 3, 0);
    grid->addWidget(cbPropType_, 3, 1, 1, 2);
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(2, 2);

    pcValue_ = new QTabWidget(gbPropInfo_);
    pcValue_->setObjectName(QStringLiteral("pcValue"));
    auto* tsValue = new QWidget;
    tsValue->setObjectName(QStringLiteral("tsValue"));
    auto* tsValueHex = new QWidget;
    tsValueHex->setObjectName(QStringLiteral("tsValueHex"));
    pcValue_->addTab(tsValue, QStringLiteral("Value"));
    pcValue_->addTab(tsValueHex, QStringLiteral("Value (as Hex)"));
    QVBoxLayout* valueLayout = NewFlatColumn(tsValue, 2);
    rePropValue_ = new QPlainTextEdit(tsValue);
    rePropValue_->setObjectName(QStringLiteral("rePropValue"));
    rePropValue_->setReadOnly(true);
    rePropValue_->setLineWrapMode(QPlainTextEdit::NoWrap);
    rePropValue_->setAcceptDrops(false);
    rePropValue_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    rePropValue_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    valueLayout->addWidget(rePropValue_, 1);
    lblValueLimit_ = new QLabel(tsValue);
    lblValueLimit_->setObjectName(QStringLiteral("lblValueLimit"));
    lblValueLimit_->setWordWrap(true);
    lblValueLimit_->hide();
    valueLayout->addWidget(lblValueLimit_);
    auto* hexLayout = new QVBoxLayout(tsValueHex);
    hexLayout->setContentsMargins(0, 0, 0, 0);
    hexDump_ = CreateHexDump(tsValueHex);
    hexDump_->SetRelativeAddress(true);
    grid->addWidget(pcValue_, 4, 0, 1, 3);
    grid->setRowStretch(4, 1);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(4);
    btnCopyValue_ = NewButton(gbPropInfo_, "btnCopyValue", "Copy", "Copy the value as text");
    btnCopyHex_ = NewButton(gbPropInfo_, "btnCopyHex", "Copy as hex", "Copy the bytes of the value as hexadecimal text");
    btnSaveValue_ = NewButton(gbPropInfo_, "btnSaveValue", "Save value...", "Save the bytes of the value as a file");
    buttons->addWidget(btnCopyValue_);
    buttons->addWidget(btnCopyHex_);
    buttons->addWidget(btnSaveValue_);
    buttons->addStretch(1);
    grid->addLayout(buttons, 5, 0, 1, 3);

    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 0);
    groupWidth_ = std::max(kGroupWidth * gbPropInfo_->logicalDpiX() / 96, kGroupWidth);
    gbPropInfo_->hide();

    connect(tvProperties_->selectionModel(), &QItemSelectionModel::currentChanged, this,
        [this](const QModelIndex& current) { tvPropertiesChange(current); });
    connect(edPropFilter_, &QLineEdit::textChanged, this, &TPropertiesPage::edPropFilterChange);
    connect(btnCopyValue_, &QPushButton::clicked, this, &TPropertiesPage::btnCopyValueClick);
    connect(btnCopyHex_, &QPushButton::clicked, this, &TPropertiesPage::btnCopyHexClick);
    connect(btnSaveValue_, &QPushButton::clicked, this, &TPropertiesPage::btnSaveValueClick);
    // The hex view gets its 16 bytes a line when it is looked at, if the page has the room.
    connect(pcValue_, &QTabWidget::currentChanged, this,
        [this] { WidenForHexRows(splitter_, gbPropInfo_, hexDump_, pcValue_); });
    Retranslate();
}

void TPropertiesPage::Retranslate()
{
    if (!IsBuilt())
        return;
    edPropFilter_->setPlaceholderText(strPropFilterHint());
    edPropFilter_->setAccessibleName(strPropFilterHint());
    model_->Retranslate();
    if (current_)
        tvPropertiesChange(tvProperties_->currentIndex());
}

void TPropertiesPage::BuildPropertyTree(const pelmsg::TMSGProperties* root)
{
    EnsureBuilt();
    // The views let go of the old tree before the model does.
    tvPropertiesChange(QModelIndex());
    model_->SetProperties(root);
    tvPropertiesChange(tvProperties_->currentIndex());
}

void TPropertiesPage::edPropFilterChange(const QString& text)
{
    const pelmsg::TMSGProperty* selected = current_;
    model_->SetFilter(text.trimmed());
    // The path to every match is open, as long as that stays a readable number of rows.
    constexpr int kMaxExpandedMatches = 2000;
    if (!model_->Filter().isEmpty() && model_->MatchCount() <= kMaxExpandedMatches)
        tvProperties_->expandAll();
    QModelIndex again = selected ? model_->IndexOf(selected) : QModelIndex();
    if (again.isValid()) {
        tvProperties_->setCurrentIndex(again);
        tvProperties_->scrollTo(again);
    }
    tvPropertiesChange(tvProperties_->currentIndex());
}

void TPropertiesPage::ClearDetails()
{
    cbPropCategory_->setCurrentIndex(-1);
    cbPropType_->setCurrentIndex(-1);
    cbPropType_->setPlaceholderText(QString());
    edPropID_->clear();
    edPropSize_->clear();
    edPropName_->clear();
    rePropValue_->clear();
    lblValueLimit_->hide();
    hexDump_->SetData(nullptr);
    hexScratch_.clear();
    current_ = nullptr;
}

void TPropertiesPage::tvPropertiesChange(const QModelIndex& node)
{
    EnsureBuilt();
    const pelmsg::TMSGProperty* p = model_->Property(node);
    ClearDetails();
    if (!node.isValid()) {
        if (gbPropInfo_->isVisible())
            groupWidth_ = gbPropInfo_->width();
        gbPropInfo_->hide();
        return;
    }
    if (!gbPropInfo_->isVisibleTo(this)) {
        gbPropInfo_->show();
        // At least its own width, and up to nearly half of the page so that the hex dump has room for its lines.
        const int total = splitter_->width() - splitter_->handleWidth();
        const int group = std::max(std::min(std::max(groupWidth_, total * 9 / 20), total / 2),
            std::min(gbPropInfo_->minimumSizeHint().width(), total));
        splitter_->setSizes({ std::max(total - group, 0), group });
        WidenForHexRows(splitter_, gbPropInfo_, hexDump_, pcValue_);
    }
    if (!p)
        return;
    current_ = p;
    cbPropCategory_->setCurrentIndex(int(p->Category()));
    const uint32_t tag = StoredTag(*p);
    edPropID_->setText(TagText(tag));
    edPropName_->setText(PropertyNameText(*p));
    edPropName_->setCursorPosition(0);
    edPropSize_->setText(QString::number(p->DataSize));
    const uint16_t type = pelmsg::PropType(tag);
    cbPropType_->setCurrentIndex(PropertyTypeIndex(type));
    // A type the list lacks still says what it is.
    const std::string typeName = pelmsg::PropertyTypeName(type);
    cbPropType_->setPlaceholderText(typeName.empty()
            ? QStringLiteral("0x") + QStringLiteral("%1").arg(type, 4, 16, QLatin1Char('0')).toUpper()
            : QString::fromStdString(typeName));

    bool cut = false;
    QString text;
    // A binary value is shown as text where it is text; else the view says what it is.
    const uint16_t baseType = pelmsg::BaseType(type);
    if ((baseType == pelmsg::PT_BINARY || baseType == pelmsg::PT_OBJECT) && p->SubProperties.Empty()) {
        std::string scratch;
        const std::string_view all = PropertyHexBytes(*p, scratch);
        text = all.empty() ? QString() : BinaryValueViewText(all, kValueTextChars);
    } else {
        text = PropertyValueText(*p, kValueTextChars, cut);
    }
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    rePropValue_->setPlainText(text);
    const std::string_view bytes = PropertyHexBytes(*p, hexScratch_);
    if (cut) {
        lblValueLimit_->setText(WithNumber(strValueCut, bytes.size()));
        lblValueLimit_->show();
    }
    hexDump_->SetData(bytes.empty() ? nullptr : bytes.data());
    hexDump_->SetDataSize(bytes.size());
}

// ---------------------------------------------------------------------------------------------------------------
// Taking the value

void TPropertiesPage::btnCopyValueClick()
{
    if (!current_)
        return;
    std::string scratch;
    const size_t size = PropertyHexBytes(*current_, scratch).size();
    if (size > kMaxClipboardBytes) {
        QMessageBox::information(window(), window()->windowTitle(), WithNumber(strValueTooLargeToCopy, size));
        return;
    }
    bool cut = false;
    QString text = PropertyValueText(*current_, int(std::min<size_t>(kMaxClipboardBytes, INT32_MAX)), cut);
    QApplication::clipboard()->setText(text);
}

void TPropertiesPage::btnCopyHexClick()
{
    if (!current_)
        return;
    std::string scratch;
    const std::string_view bytes = PropertyHexBytes(*current_, scratch);
    if (bytes.size() > kMaxClipboardBytes) {
        QMessageBox::information(window(), window()->windowTitle(), WithNumber(strValueTooLargeToCopy, bytes.size()));
        return;
    }
    QApplication::clipboard()->setText(HexLines(bytes));
}

void TPropertiesPage::SaveValueToFile(const std::string& fileName) const
{
    if (!current_)
        return;
    std::string scratch;
    const std::string_view bytes = PropertyHexBytes(*current_, scratch);
    pelmsg::SaveThroughTemporaryFile(fileName, [&](pelmsg::TStream& stream) { stream.WriteString(bytes); });
}

void TPropertiesPage::btnSaveValueClick()
{
    if (!current_)
        return;
    // The file name the attachment had, for an attachment's data; else the property's name.
    std::string name;
    const pelmsg::TMSGProperties* collection = current_->Collection();
    const pelmsg::TMSGProperty* owner = collection ? collection->ParentProperty() : nullptr;
    if (owner && owner->AttachmentDataNode() == current_)
        name = pelmsg::SafeFileName(owner->AttachmentFileName(owner->Index()), "attachment");
    else
        name = pelmsg::SafeFileName(model_->data(tvProperties_->currentIndex()).toString().toStdString() + ".bin", "value.bin");
    QString fileName = QString::fromStdString(name);
    if (!FileDialog(window(), QString(), AllFileExt(), false, fileName, strSaveValueTitle(), QString()))
        return;
    try {
        SaveValueToFile(fileName.toStdString());
    } catch (const std::exception& e) {
        QMessageBox box(
            QMessageBox::Warning, window()->windowTitle(), QString::fromUtf8(e.what()), QMessageBox::Ok, window());
        box.setObjectName(QStringLiteral("ErrorBox"));
        box.exec();
    }
}

// ---------------------------------------------------------------------------------------------------------------

QString TPropertiesPage::NameCaption()
{
    EnsureBuilt();
    return lblPropName_->text();
}

void TPropertiesPage::ShowMessage(const pelmsg::TPelMessage* message)
{
    BuildPropertyTree(message ? &message->Properties() : nullptr);
}

void TPropertiesPage::showEvent(QShowEvent* event)
{
    if (!edPropFilter_->isClearButtonEnabled())
        edPropFilter_->setClearButtonEnabled(true);
    QWidget::showEvent(event);
}

} // namespace quorra
