#include "hex_dump.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include <QFocusEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionFocusRect>
#include <QVBoxLayout>

namespace quorra {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// The character a byte is shown as: Windows-1252, the code page such dumps are read in; control characters and the
// five bytes the code page leaves undefined as ".".
QChar ByteChar(uint8_t b)
{
    static const char16_t k80[32] = { u'\u20AC', u'.', u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020',
        u'\u2021', u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', u'.', u'\u017D', u'.', u'.', u'\u2018',
        u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014', u'\u02DC', u'\u2122', u'\u0161', u'\u203A',
        u'\u0153', u'.', u'\u017E', u'\u0178' };
    if (b < 0x20 || b == 0x7F)
        return QLatin1Char('.');
    if (b >= 0x80 && b < 0xA0)
        return QChar(k80[b - 0x80]);
    return QChar(b);
}

// A colour of the dump: the palette's role until one is set; a new one repaints.
QColor ColorOr(const QColor& colour, const QPalette& palette, QPalette::ColorRole role)
{
    return colour.isValid() ? colour : palette.color(role);
}

void SetColor(QColor& colour, const QColor& value, QWidget* viewport)
{
    if (colour == value)
        return;
    colour = value;
    viewport->update();
}

} // namespace

THexDump::THexDump(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    setObjectName(QStringLiteral("HexDump"));
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setBackgroundRole(QPalette::Base);
    SetBorder(TBorderStyle::bsSingle);
    resize(300, 200);
    TakeFontMetrics();
    UpdateScrollRange();
}

// ---------------------------------------------------------------------------------------------------------------
// Data

void THexDump::SetData(const void* address)
{
    data_ = static_cast<const uint8_t*>(address);
    if (!data_) {
        SetDataSize(0);
        return;
    }
    viewport()->update();
    currentLine_ = -1;
    SetCurrentLine(0);
}

void THexDump::SetDataSize(uint64_t count)
{
    size_ = count;
    RecomputeLayout();
    viewport()->update();
    UpdateScrollRange();
}

// ---------------------------------------------------------------------------------------------------------------
// Published properties

void THexDump::SetBorder(TBorderStyle value)
{
    border_ = value;
    if (value == TBorderStyle::bsSingle) {
        setFrameShape(QFrame::StyledPanel);
        setFrameShadow(QFrame::Sunken);
    } else {
        setFrameShape(QFrame::NoFrame);
    }
}

void THexDump::SetShowAddress(bool value) { SetColumnShown(showAddress_, value); }

void THexDump::SetShowCharacters(bool value) { SetColumnShown(showCharacters_, value); }

// A column shown or hidden moves the others: the layout and the scroll range change with it.
void THexDump::SetColumnShown(bool& shown, bool value)
{
    if (shown == value)
        return;
    shown = value;
    RecomputeLayout();
    viewport()->update();
    UpdateScrollRange();
}

void THexDump::SetShowLineMarker(bool value)
{
    if (showLineMarker_ == value)
        return;
    showLineMarker_ = value;
    viewport()->update();
}

void THexDump::SetRelativeAddress(bool value)
{
    if (relativeAddress_ == value)
        return;
    relativeAddress_ = value;
    // The address column may change its width with it (absolute addresses have as many digits as a pointer).
    RecomputeLayout();
    UpdateScrollRange();
    if (showAddress_)
        viewport()->update();
}

QColor THexDump::AddressColor() const { return ColorOr(addressColor_, palette(), QPalette::Text); }
QColor THexDump::HexDataColor() const { return ColorOr(hexDataColor_, palette(), QPalette::Text); }
QColor THexDump::AnsiCharColor() const { return ColorOr(ansiCharColor_, palette(), QPalette::Highlight); }
void THexDump::SetAddressColor(const QColor& value) { SetColor(addressColor_, value, viewport()); }
void THexDump::SetHexDataColor(const QColor& value) { SetColor(hexDataColor_, value, viewport()); }
void THexDump::SetAnsiCharColor(const QColor& value) { SetColor(ansiCharColor_, value, viewport()); }

// ---------------------------------------------------------------------------------------------------------------
// Layout

void THexDump::TakeFontMetrics()
{
    QFontMetrics metrics(font());
    lineHeight_ = metrics.height() + 2;
    // The advance of a character is fractional; a character width is the next whole pixel and one more.
    const qreal advance = QFontMetricsF(font()).horizontalAdvance(QLatin1Char('D'));
    charWidth_ = int(std::ceil(advance)) + 1;
    // Painted with one pixel between characters, so that every character takes exactly one character width and
    // a line's text lands on its columns.
    paintFont_ = font();
    paintFont_.setKerning(false);
    paintFont_.setLetterSpacing(QFont::AbsoluteSpacing, charWidth_ - advance);
    RecomputeLayout();
    UpdateScrollRange();
    viewport()->update();
}

int THexDump::AddressChars() const
{
    if (!showAddress_)
        return 0;
    // For offsets as many digits as the last offset needs (at least four; a value is at most 4 GB, eight), so
    // that a short value leaves the room to its bytes; a pointer's digits for memory addresses; then ": ".
    int digits = int(2 * sizeof(void*));
    if (relativeAddress_) {
        digits = 4;
        for (uint64_t last = size_ > 0 ? size_ - 1 : 0; digits < 8 && (last >> (4 * digits)) != 0;)
            ++digits;
    }
    return digits + 2;
}

void THexDump::RecomputeLayout()
{
    if (lineHeight_ <= 0 || charWidth_ <= 0)
        return;
    visibleRows_ = viewport()->height() / lineHeight_ + 1;
    int n = viewport()->width() / charWidth_ - AddressChars();
    n /= showCharacters_ ? 4 : 3;
    // Rows of 16, 8, 4, 2 or 1 bytes, so that the offsets go in round steps.
    int fit = kMaxBytesPerLine;
    while (fit > 1 && fit > n)
        fit /= 2;
    bytesPerLine_ = fit;
    lineCount_ = int64_t(size_ / uint64_t(bytesPerLine_)) + (size_ % uint64_t(bytesPerLine_) ? 1 : 0);
    const int64_t last = std::max<int64_t>(lineCount_ - 1, 0);
    if (currentLine_ > last)
        currentLine_ = last;
    if (topLine_ > last)
        SetTopLine(last);
}

void THexDump::UpdateScrollRange()
{
    syncingScrollBar_ = true;
    // The scroll bar counts in int; a dump of more lines than that scrolls its last part by keyboard only.
    const int64_t last = std::max<int64_t>(lineCount_ - 1, 0);
    verticalScrollBar()->setRange(0, int(std::min<int64_t>(last, INT_MAX)));
    verticalScrollBar()->setPageStep(std::max(visibleRows_ - 1, 1));
    verticalScrollBar()->setSingleStep(1);
    verticalScrollBar()->setValue(int(std::min<int64_t>(topLine_, INT_MAX)));
    syncingScrollBar_ = false;
}

int THexDump::WidthForBytesPerLine(int bytes) const
{
    const int chars = AddressChars() + bytes * (showCharacters_ ? 4 : 3) + 1;
    // Before the first layout the character width comes from the font.
    const int charWidth = charWidth_ > 0 ? charWidth_ : fontMetrics().horizontalAdvance(QLatin1Char('0'));
    return chars * charWidth + verticalScrollBar()->sizeHint().width() + 2 * frameWidth() + 2;
}

int THexDump::HexColumnLeft() const { return 1 + AddressChars() * charWidth_; }

int THexDump::CharColumnLeft() const { return HexColumnLeft() + bytesPerLine_ * 3 * charWidth_; }

// ---------------------------------------------------------------------------------------------------------------
// Line texts

int THexDump::LineBytes(int64_t line) const
{
    if (line < 0 || line >= lineCount_)
        return 0;
    const uint64_t start = uint64_t(line) * uint64_t(bytesPerLine_);
    return int(std::min<uint64_t>(uint64_t(bytesPerLine_), size_ - start));
}

QString THexDump::AddressText(int64_t line) const
{
    uint64_t address = uint64_t(line) * uint64_t(bytesPerLine_);
    int digits = std::max(AddressChars() - 2, 4);
    if (!relativeAddress_) {
        address += reinterpret_cast<uintptr_t>(data_);
        digits = int(2 * sizeof(void*));
    }
    return QStringLiteral("%1: ").arg(address, digits, 16, QLatin1Char('0')).toUpper();
}

QString THexDump::HexText(int64_t line) const
{
    const int n = data_ ? LineBytes(line) : 0;
    QString text(std::max(n * 3 - 1, 0), QLatin1Char(' '));
    const uint8_t* bytes = data_ + uint64_t(line) * uint64_t(bytesPerLine_);
    for (int i = 0; i < n; ++i) {
        text[i * 3] = QLatin1Char(kHexDigits[bytes[i] >> 4]);
        text[i * 3 + 1] = QLatin1Char(kHexDigits[bytes[i] & 0x0F]);
    }
    return text;
}

QString THexDump::CharText(int64_t line) const
{
    const int n = data_ ? LineBytes(line) : 0;
    QString text(n, QLatin1Char(' '));
    const uint8_t* bytes = data_ + uint64_t(line) * uint64_t(bytesPerLine_);
    for (int i = 0; i < n; ++i)
        text[i] = ByteChar(bytes[i]);
    return text;
}

// ---------------------------------------------------------------------------------------------------------------
// Painting

void THexDump::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    const QRect area = event->rect();
    painter.fillRect(area, palette().color(QPalette::Base));
    if (!data_ || size_ == 0 || lineHeight_ <= 0)
        return;
    painter.setFont(paintFont_);
    const int addressWidth = AddressChars() * charWidth_;
    const int hexLeft = HexColumnLeft();
    const int charLeft = CharColumnLeft();
    const int width = viewport()->width();
    const int firstRow = std::max(area.top() / lineHeight_, 0);
    const int lastRow = std::min(area.bottom() / lineHeight_, visibleRows_ - 1);
    for (int row = firstRow; row <= lastRow; ++row) {
        const int64_t line = topLine_ + row;
        if (line >= lineCount_)
            break;
        ++paintedRows_;
        const int y = row * lineHeight_;
        if (showAddress_) {
            painter.setPen(AddressColor());
            painter.drawText(QRect(1, y, addressWidth, lineHeight_), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip,
                AddressText(line));
        }
        const bool marked = showLineMarker_ && line == currentLine_;
        QRect marker(hexLeft, y, bytesPerLine_ * 3 * charWidth_ - charWidth_ + 1, lineHeight_);
        if (marked) {
            painter.fillRect(marker, palette().color(QPalette::Highlight));
            painter.setPen(palette().color(QPalette::HighlightedText));
        } else {
            painter.setPen(HexDataColor());
        }
        painter.drawText(QRect(hexLeft, y, charLeft - hexLeft, lineHeight_), Qt::AlignLeft | Qt::AlignVCenter,
            HexText(line));
        if (marked && hasFocus()) {
            QStyleOptionFocusRect option;
            option.initFrom(this);
            option.rect = marker;
            option.backgroundColor = palette().color(QPalette::Highlight);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
        }
        if (showCharacters_ && charLeft < width) {
            painter.setPen(AnsiCharColor());
            painter.drawText(QRect(charLeft, y, width - charLeft, lineHeight_), Qt::AlignLeft | Qt::AlignVCenter,
                CharText(line));
        }
    }
}

void THexDump::RepaintLine(int64_t line)
{
    if (line < topLine_ || line >= topLine_ + visibleRows_)
        return;
    viewport()->update(QRect(0, int(line - topLine_) * lineHeight_, viewport()->width(), lineHeight_));
}

// ---------------------------------------------------------------------------------------------------------------
// Scrolling and the current line

void THexDump::SetTopLine(int64_t line)
{
    line = std::clamp<int64_t>(line, 0, std::max<int64_t>(lineCount_ - 1, 0));
    if (line == topLine_)
        return;
    const int64_t moved = line - topLine_;
    topLine_ = line;
    syncingScrollBar_ = true;
    verticalScrollBar()->setValue(int(std::min<int64_t>(line, INT_MAX)));
    syncingScrollBar_ = false;
    // One line: move what is shown and paint only the row that comes into view.
    if ((moved == 1 || moved == -1) && lineHeight_ > 0)
        viewport()->scroll(0, int(-moved) * lineHeight_);
    else
        viewport()->update();
}

void THexDump::scrollContentsBy(int, int)
{
    // The scroll bar moved (line, page, thumb, top, bottom); keyboard and code move it through SetTopLine.
    if (syncingScrollBar_ || size_ == 0 || !data_)
        return;
    const int value = verticalScrollBar()->value();
    if (value != int(std::min<int64_t>(topLine_, INT_MAX)))
        SetTopLine(value);
}

void THexDump::SetCurrentLine(int64_t line)
{
    line = std::clamp<int64_t>(line, 0, std::max<int64_t>(lineCount_ - 1, 0));
    if (line == currentLine_)
        return;
    RepaintLine(currentLine_);
    currentLine_ = line;
    RepaintLine(currentLine_);
    // The partly shown last row counts as hidden.
    if (line < topLine_)
        SetTopLine(line);
    else if (line >= topLine_ + visibleRows_ - 1)
        SetTopLine(line - visibleRows_ + 2);
    emit CurrentLineChanged(line);
}

void THexDump::keyPressEvent(QKeyEvent* event)
{
    if (!data_) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_PageUp:
        SetCurrentLine(currentLine_ - visibleRows_);
        break;
    case Qt::Key_PageDown:
        SetCurrentLine(currentLine_ + visibleRows_);
        break;
    case Qt::Key_Home:
        SetCurrentLine(0);
        break;
    case Qt::Key_End:
        SetCurrentLine(lineCount_ - 1);
        break;
    case Qt::Key_Up:
        SetCurrentLine(currentLine_ - 1);
        break;
    case Qt::Key_Down:
        SetCurrentLine(currentLine_ + 1);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void THexDump::mousePressEvent(QMouseEvent* event)
{
    if (!hasFocus())
        setFocus(Qt::MouseFocusReason);
    if (event->button() == Qt::LeftButton && data_ && lineHeight_ > 0)
        SetCurrentLine(int64_t(event->position().y()) / lineHeight_ + topLine_);
    QAbstractScrollArea::mousePressEvent(event);
}

void THexDump::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    if (showLineMarker_)
        RepaintLine(currentLine_);
}

void THexDump::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    if (showLineMarker_)
        RepaintLine(currentLine_);
}

void THexDump::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    RecomputeLayout();
    UpdateScrollRange();
    viewport()->update();
}

void THexDump::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        TakeFontMetrics();
    else if (event->type() == QEvent::PaletteChange)
        viewport()->update();
}

THexDump* CreateHexDump(QWidget* page)
{
    auto* dump = new THexDump(page);
    dump->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    QLayout* layout = page->layout();
    if (!layout) {
        layout = new QVBoxLayout(page);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    layout->addWidget(dump);
    return dump;
}

} // namespace quorra
