#include "structure_page.h"

#include <cstdint>
#include <utility>

#include <QGroupBox>
#include <QHeaderView>
#include <QSplitter>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "icons.h"
#include "pel_language.h"
#include "program_texts.h"
#include "property_pages.h"
#include "qt_glue.h"

namespace quorra {

namespace {

QString ToQString(const std::u16string& text) { return QString::fromUtf16(text.data(), qsizetype(text.size())); }

const TProgramText* const kCaptions[kStructureGridRows - 1] = { &strStgName, &strStgType, &strStgSize,
    &strStgModified, &strStgCreated, &strStgAccessed, &strStgMode, &strStgLocks, &strStgClsid, &strStgStateBits,
    &strStgReserved };

// The width of the legend group and of the grid's columns at 96 dpi.
constexpr int kLegendWidth = 250;
constexpr int kGridColumnWidth = 110;

} // namespace

// ---------------------------------------------------------------------------------------------------------------

TStructureItem::TStructureItem(QTreeWidgetItem* parent, const pelmsg::STATSTG& stat)
    : QTreeWidgetItem(parent)
    , stat_(stat)
{
    Show();
}

TStructureItem::TStructureItem(QTreeWidget* tree, const pelmsg::STATSTG& stat)
    : QTreeWidgetItem(tree)
    , stat_(stat)
{
    Show();
}

void TStructureItem::Show()
{
    setText(0, ToQString(stat_.pwcsName));
    // Icons 0 to 3: storage, stream, lock bytes, property.
    setIcon(0, StructureIcon(stat_.type));
    if (stat_.type == pelmsg::STGTY_STREAM) {
        setText(1, QString::number(stat_.cbSize));
        setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    }
}

QString FileTimeText(uint64_t fileTime)
{
    if (fileTime == 0)
        return {};
    const std::optional<double> local = pelmsg::FileTimeToLocalDateTime(fileTime);
    if (!local)
        return {};
    const pelmsg::WideString text = pelmsg::LocaleDateTimeText(*local);
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

QStringList StructureItemTexts(const pelmsg::STATSTG& stat)
{
    const std::pair<uint32_t, const TProgramText*> kTypes[]
        = { { pelmsg::STGTY_STORAGE, &strStgTypeStorage }, { pelmsg::STGTY_STREAM, &strStgTypeStream },
              { pelmsg::STGTY_LOCKBYTES, &strStgTypeLockBytes }, { pelmsg::STGTY_PROPERTY, &strStgTypeProperty } };
    QString type = strStgTypeUnknown();
    for (const auto& [kind, text] : kTypes)
        if (stat.type == kind)
            type = (*text)();
    return { ToQString(stat.pwcsName), type, QString::number(stat.cbSize), FileTimeText(stat.mtime),
        FileTimeText(stat.ctime), FileTimeText(stat.atime), QString::number(stat.grfMode),
        QString::number(stat.grfLocksSupported), QString::fromStdString(pelmsg::GuidToText(stat.clsid.data())),
        QString::number(stat.grfStateBits), QString::number(stat.reserved) };
}

// ---------------------------------------------------------------------------------------------------------------

void TStructurePage::Build()
{
    splitter_ = NewPageSplitter(this, "splStructure");

    tvStructure_ = new QTreeWidget(splitter_);
    tvStructure_->setObjectName(QStringLiteral("tvStructure"));
    tvStructure_->setHeaderLabels({ QStringLiteral("Name"), QStringLiteral("Size") });
    tvStructure_->setUniformRowHeights(true);
    tvStructure_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvStructure_->setAcceptDrops(false);
    tvStructure_->header()->resizeSection(0, 300);

    gbLegend_ = new QGroupBox(QStringLiteral(" Legend "), splitter_);
    gbLegend_->setObjectName(QStringLiteral("gbLegend"));
    auto* legendLayout = new QVBoxLayout(gbLegend_);
    legendLayout->setContentsMargins(5, 5, 5, 5);
    tvLegend_ = new QTreeWidget(gbLegend_);
    tvLegend_->setObjectName(QStringLiteral("tvLegend"));
    tvLegend_->setHeaderHidden(true);
    tvLegend_->setRootIsDecorated(false);
    tvLegend_->setUniformRowHeights(true);
    tvLegend_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvLegend_->setFocusPolicy(Qt::NoFocus);
    tvLegend_->setSelectionMode(QAbstractItemView::NoSelection);
    tvLegend_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tvLegend_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const char* legend[] = { "Storage", "Stream", "Lock bytes", "Property" };
    for (uint32_t type = 1; type <= 4; ++type) {
        auto* item = new QTreeWidgetItem(tvLegend_);
        item->setText(0, QLatin1String(legend[type - 1]));
        item->setIcon(0, StructureIcon(type));
    }
    // Four rows, without scrolling.
    const int rowHeight = tvLegend_->sizeHintForRow(0) > 0 ? tvLegend_->sizeHintForRow(0) : 19;
    tvLegend_->setFixedHeight(4 * rowHeight + 2 * tvLegend_->frameWidth() + 2);
    legendLayout->addWidget(tvLegend_);

    sgStructureItem_ = new QTableWidget(kStructureGridRows, 2, gbLegend_);
    sgStructureItem_->setObjectName(QStringLiteral("sgStructureItem"));
    sgStructureItem_->horizontalHeader()->hide();
    sgStructureItem_->verticalHeader()->hide();
    sgStructureItem_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sgStructureItem_->setShowGrid(true);
    sgStructureItem_->setWordWrap(false);
    sgStructureItem_->setColumnWidth(0, kGridColumnWidth);
    sgStructureItem_->setColumnWidth(1, kGridColumnWidth);
    sgStructureItem_->horizontalHeader()->setStretchLastSection(true);
    sgStructureItem_->verticalHeader()->setMinimumSectionSize(1);
    sgStructureItem_->setRowHeight(0, 5);
    const QPalette palette = sgStructureItem_->palette();
    for (int row = 0; row < kStructureGridRows; ++row) {
        for (int column = 0; column < 2; ++column) {
            auto* cell = new QTableWidgetItem;
            if (column == 0 || row == 0) {
                // The fixed cells: captions on the colour of buttons, as a grid's fixed cells look.
                cell->setFlags(Qt::ItemIsEnabled);
                cell->setBackground(palette.brush(QPalette::Button));
                cell->setForeground(palette.brush(QPalette::ButtonText));
            } else {
                cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            }
            sgStructureItem_->setItem(row, column, cell);
        }
    }
    legendLayout->addWidget(sgStructureItem_, 1);

    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 0);
    // Wide enough for a class identifier in the value column.
    const QFontMetrics metrics = sgStructureItem_->fontMetrics();
    const int captions = std::max(kGridColumnWidth, metrics.horizontalAdvance(QStringLiteral("Modification time")) + 12);
    const int legendWidth = std::max(kLegendWidth * gbLegend_->logicalDpiX() / 96,
        captions + metrics.horizontalAdvance(QStringLiteral("{00000000-0000-0000-0000-000000000000}")) + 40);
    gbLegend_->resize(legendWidth, gbLegend_->height());
    splitter_->setSizes({ 600, legendWidth });

    connect(tvStructure_, &QTreeWidget::currentItemChanged, this,
        [this](QTreeWidgetItem* current) { tvStructureChange(current); });
    Retranslate();
    ShowElements();
}

void TStructurePage::Retranslate()
{
    if (!IsBuilt())
        return;
    int captionWidth = kGridColumnWidth;
    for (int row = 1; row < kStructureGridRows; ++row) {
        const QString caption = (*kCaptions[row - 1])();
        sgStructureItem_->item(row, 0)->setText(caption);
        captionWidth = std::max(captionWidth, sgStructureItem_->fontMetrics().horizontalAdvance(caption) + 12);
    }
    sgStructureItem_->setColumnWidth(0, captionWidth);
    tvStructureChange(tvStructure_->currentItem());
}

void TStructurePage::Clear()
{
    elements_.clear();
    if (!IsBuilt())
        return;
    tvStructure_->clear();
    tvStructureChange(nullptr);
}

bool TStructurePage::BuildStructureTree(pelmsg::IStorage* root)
{
    Clear();
    if (!root)
        return false;
    // The storage is read at once, so that an element that cannot be read is reported with the load; the nodes
    // are made when the page shows.
    try {
        ReadStorage(*root, -1, 0);
    } catch (...) {
        elements_.clear();
        throw;
    }
    if (IsBuilt())
        ShowElements();
    return true;
}

void TStructurePage::ReadStorage(pelmsg::IStorage& storage, int parent, int depth)
{
    std::unique_ptr<pelmsg::IEnumSTATSTG> elements = storage.EnumElements();
    pelmsg::STATSTG element;
    while (elements->Next(element)) {
        const int index = int(elements_.size());
        elements_.push_back({ element, parent });
        if (element.type != pelmsg::STGTY_STORAGE || depth >= kMaxStorageDepth)
            continue;
        // A sub-storage that cannot be opened is shown without children.
        std::unique_ptr<pelmsg::IStorage> sub;
        try {
            sub = storage.OpenStorage(element.pwcsName);
        } catch (const pelmsg::EPelMsgError&) {
        }
        if (sub)
            ReadStorage(*sub, index, depth + 1);
    }
}

void TStructurePage::ShowElements()
{
    if (elements_.empty())
        return;
    tvStructure_->setUpdatesEnabled(false);
    // An element always follows the element of its storage.
    std::vector<QTreeWidgetItem*> nodes;
    nodes.reserve(elements_.size());
    for (const TElement& element : elements_)
        nodes.push_back(element.Parent < 0 ? new TStructureItem(tvStructure_, element.Stat)
                                           : new TStructureItem(nodes[size_t(element.Parent)], element.Stat));
    elements_.clear();
    tvStructure_->setUpdatesEnabled(true);
    tvStructure_->expandAll();
    tvStructure_->setCurrentItem(tvStructure_->topLevelItem(0));
    tvStructure_->scrollToItem(tvStructure_->topLevelItem(0));
}

void TStructurePage::tvStructureChange(QTreeWidgetItem* node)
{
    const auto* item = dynamic_cast<TStructureItem*>(node);
    const QStringList texts = item ? StructureItemTexts(item->Stat()) : QStringList();
    for (int row = 1; row < kStructureGridRows; ++row) {
        const QString text = texts.value(row - 1);
        sgStructureItem_->item(row, 1)->setText(text);
        sgStructureItem_->item(row, 1)->setToolTip(text);
    }
}

} // namespace quorra
