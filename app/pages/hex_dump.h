#pragma once

// THexDump: a block of memory shown as a hex dump, one line per row: the address, the bytes in hexadecimal and the
// same bytes as characters, with a marked current line. The control only reads the memory it is pointed at; it
// never owns or copies it, so the caller keeps the bytes alive (and unchanged) while they are shown.
//
// Only the rows in view are painted, so a value of any size costs the same to show.

#include <cstdint>

#include <QAbstractScrollArea>
#include <QColor>
#include <QFont>
#include <QString>

namespace quorra {

class THexDump : public QAbstractScrollArea {
    Q_OBJECT
    Q_PROPERTY(TBorderStyle Border READ Border WRITE SetBorder)
    Q_PROPERTY(bool ShowAddress READ ShowAddress WRITE SetShowAddress)
    Q_PROPERTY(bool ShowCharacters READ ShowCharacters WRITE SetShowCharacters)
    Q_PROPERTY(bool ShowLineMarker READ ShowLineMarker WRITE SetShowLineMarker)
    Q_PROPERTY(bool RelativeAddress READ RelativeAddress WRITE SetRelativeAddress)
    Q_PROPERTY(QColor AddressColor READ AddressColor WRITE SetAddressColor)
    Q_PROPERTY(QColor HexDataColor READ HexDataColor WRITE SetHexDataColor)
    Q_PROPERTY(QColor AnsiCharColor READ AnsiCharColor WRITE SetAnsiCharColor)

public:
    enum class TBorderStyle { bsNone, bsSingle };
    Q_ENUM(TBorderStyle)

    // The most bytes one line shows.
    static constexpr int kMaxBytesPerLine = 16;

    explicit THexDump(QWidget* parent = nullptr);

    // Points the control at the first byte to show (nullptr: nothing). With data the current line becomes 0 and
    // is scrolled into view; without, the size becomes 0. Call SetDataSize after it.
    void SetData(const void* address);
    // The number of bytes to show; recomputes the layout and the scroll range.
    void SetDataSize(uint64_t count);
    const uint8_t* DataAddress() const { return data_; }
    bool DataAssigned() const { return data_ != nullptr; }
    uint64_t DumpSize() const { return size_; }

    TBorderStyle Border() const { return border_; }
    void SetBorder(TBorderStyle value);
    bool ShowAddress() const { return showAddress_; }
    void SetShowAddress(bool value);
    bool ShowCharacters() const { return showCharacters_; }
    void SetShowCharacters(bool value);
    bool ShowLineMarker() const { return showLineMarker_; }
    void SetShowLineMarker(bool value);
    // Addresses count from 0 instead of from the memory address of the data.
    bool RelativeAddress() const { return relativeAddress_; }
    void SetRelativeAddress(bool value);
    // The colours of the three columns; an invalid colour (the default) follows the palette: the text colour for
    // the address and hexadecimal columns, the highlight colour for the characters.
    QColor AddressColor() const;
    void SetAddressColor(const QColor& value);
    QColor HexDataColor() const;
    void SetHexDataColor(const QColor& value);
    QColor AnsiCharColor() const;
    void SetAnsiCharColor(const QColor& value);

    // Layout, as the last resize, font or size change left it.
    int LineHeight() const { return lineHeight_; }
    int CharWidth() const { return charWidth_; }
    int VisibleRows() const { return visibleRows_; }
    int BytesPerLine() const { return bytesPerLine_; }
    int64_t LineCount() const { return lineCount_; }
    // Characters of the address column (0 when it is hidden).
    int AddressChars() const;
    // The width the control needs to show that many bytes a line.
    int WidthForBytesPerLine(int bytes) const;

    int64_t TopLine() const { return topLine_; }
    // Scrolls so that the line is the first one shown (limited to the lines there are).
    void SetTopLine(int64_t line);
    int64_t CurrentLine() const { return currentLine_; }
    // Marks the line (limited to the lines there are) and scrolls it into view.
    void SetCurrentLine(int64_t line);

    // The texts a line is painted with: its address ("00000010: "), its bytes in hexadecimal ("0A FF 31"), and as
    // characters (every byte below 0x20, and the other bytes no character stands for, as ".").
    QString AddressText(int64_t line) const;
    QString HexText(int64_t line) const;
    QString CharText(int64_t line) const;
    // The number of bytes a line shows (0 past the last line).
    int LineBytes(int64_t line) const;

    // Rows painted since the control was made: painting must cost the rows in view, not the size of the data.
    int64_t PaintedRows() const { return paintedRows_; }

    QSize sizeHint() const override { return QSize(300, 200); }

signals:
    void CurrentLineChanged(int64_t line);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void TakeFontMetrics();
    void RecomputeLayout();
    void UpdateScrollRange();
    void RepaintLine(int64_t line);
    int HexColumnLeft() const;
    int CharColumnLeft() const;
    void SetColumnShown(bool& shown, bool value);

    const uint8_t* data_ = nullptr;
    uint64_t size_ = 0;
    TBorderStyle border_ = TBorderStyle::bsSingle;
    bool showAddress_ = true;
    bool showCharacters_ = true;
    bool showLineMarker_ = true;
    bool relativeAddress_ = false;
    QColor addressColor_;
    QColor hexDataColor_;
    QColor ansiCharColor_;
    QFont paintFont_;
    int lineHeight_ = 0;
    int charWidth_ = 0;
    int visibleRows_ = 0;
    int bytesPerLine_ = kMaxBytesPerLine;
    int64_t lineCount_ = 0;
    int64_t topLine_ = 0;
    int64_t currentLine_ = 0;
    int64_t paintedRows_ = 0;
    bool syncingScrollBar_ = false;
};

// Makes a hex dump on the page: the page is its parent, the system's fixed-width font, and it fills the page.
THexDump* CreateHexDump(QWidget* page);

} // namespace quorra
