#include "rtf_text_document.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <variant>

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QString>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextImageFormat>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

#include "html_text_later.h"
#include "pelmsg.h"

namespace quorra {

namespace {

constexpr double kTwipsPerPixel = 15.0; // 1440 twips an inch, 96 pixels an inch

class TBuilder {
public:
    TBuilder(const pelmsg::TRtfDocument& rtf, QTextDocument& document, TRtfPictures* pictures)
        : rtf_(rtf)
        , document_(document)
        , cursor_(&document)
        , pictures_(pictures)
    {
    }

    int Build()
    {
        // One edit: the document's layout (when it has one) runs once at the end, not for each insertion.
        QTextCursor(&document_).beginEditBlock();
        BuildBlocks();
        QTextCursor(&document_).endEditBlock();
        return leftOut_;
    }

private:
    void BuildBlocks()
    {
        bool first = true;
        for (const pelmsg::TRtfBlock& block : rtf_.Blocks) {
            if (const auto* p = std::get_if<pelmsg::TRtfParagraph>(&block)) {
                Paragraph(*p, first);
                first = false;
                continue;
            }
            Table(std::get<pelmsg::TRtfTable>(block), first);
            first = false;
        }
    }

    void Paragraph(const pelmsg::TRtfParagraph& p, bool first)
    {
        QTextBlockFormat format;
        switch (p.Alignment) {
        case pelmsg::TRtfAlignment::Right:
            format.setAlignment(Qt::AlignRight);
            break;
        case pelmsg::TRtfAlignment::Center:
            format.setAlignment(Qt::AlignHCenter);
            break;
        case pelmsg::TRtfAlignment::Justify:
            format.setAlignment(Qt::AlignJustify);
            break;
        default:
            format.setAlignment(Qt::AlignLeft);
        }
        if (p.List == 0) {
            format.setLeftMargin(std::max(0, p.LeftIndent) / kTwipsPerPixel);
            format.setTextIndent(p.FirstLineIndent / kTwipsPerPixel);
        }
        format.setRightMargin(std::max(0, p.RightIndent) / kTwipsPerPixel);
        format.setTopMargin(std::max(0, p.SpaceBefore) / kTwipsPerPixel);
        format.setBottomMargin(std::max(0, p.SpaceAfter) / kTwipsPerPixel);
        if (first)
            cursor_.setBlockFormat(format);
        else
            cursor_.insertBlock(format);
        cursor_.setBlockCharFormat(CharFormat(p.Spans.empty() ? pelmsg::TRtfCharFormat {} : p.Spans.front().Format));
        if (p.List != 0)
            AddToList(p);
        else
            lastList_ = nullptr;
        Spans(p);
    }

    void AddToList(const pelmsg::TRtfParagraph& p)
    {
        const int key = p.List * 16 + p.ListLevel;
        if (lastList_ && lastListKey_ == key) {
            lastList_->add(cursor_.block());
            return;
        }
        auto found = lists_.find(key);
        if (found != lists_.end() && lastList_ && lastListKey_ / 16 == p.List) {
            found->second->add(cursor_.block());
        } else {
            QTextListFormat format;
            static const QTextListFormat::Style kBullets[]
                = { QTextListFormat::ListDisc, QTextListFormat::ListCircle, QTextListFormat::ListSquare };
            format.setStyle(p.Numbered ? QTextListFormat::ListDecimal : kBullets[p.ListLevel % 3]);
            format.setIndent(p.ListLevel + 1);
            QTextList* list = cursor_.createList(format);
            lists_[key] = list;
            found = lists_.find(key);
        }
        lastList_ = found->second;
        lastListKey_ = key;
    }

    void Spans(const pelmsg::TRtfParagraph& p)
    {
        for (const pelmsg::TRtfSpan& span : p.Spans) {
            if (span.Picture >= 0) {
                Picture(size_t(span.Picture));
                continue;
            }
            cursor_.insertText(QString::fromStdU16String(span.Text), CharFormat(span.Format));
        }
    }

    // A picture: its size read from its header first, so that one past the document's pixel budget is never
    // decoded; then decoded once and kept as a pixmap of the size it is shown with (a QImage resource would be
    // made a pixmap again at every layout and paint).
    void Picture(size_t index)
    {
        const pelmsg::TRtfPicture& picture = rtf_.Pictures[index];
        QByteArray bytes = QByteArray::fromRawData(picture.Bytes.data(), qsizetype(picture.Bytes.size()));
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, picture.Format == "png" ? "PNG" : "JPEG");
        const QSize size = reader.size();
        if (!size.isValid() || size.isEmpty())
            return;
        QSize shown = size;
        if (picture.WidthTwips > 0 && picture.HeightTwips > 0)
            shown = QSize(std::max(1, int(picture.WidthTwips / kTwipsPerPixel)),
                std::max(1, int(picture.HeightTwips / kTwipsPerPixel)));
        const int64_t cost = std::max(int64_t(size.width()) * size.height(), int64_t(shown.width()) * shown.height());
        if (cost > kMaxRtfPicturePixels - pixels_) {
            ++leftOut_;
            return;
        }
        pixels_ += cost;
        QImage image;
        if (!reader.read(&image))
            return;
        if (image.size() != shown)
            image = image.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QUrl name(QStringLiteral("rtfpicture://%1").arg(index));
        if (pictures_)
            pictures_->emplace_back(name, std::move(image));
        else
            document_.addResource(QTextDocument::ImageResource, name, QPixmap::fromImage(std::move(image)));
        QTextImageFormat format;
        format.setName(name.toString());
        format.setWidth(shown.width());
        format.setHeight(shown.height());
        cursor_.insertImage(format);
    }

    void Table(const pelmsg::TRtfTable& table, bool first)
    {
        int columns = 1;
        for (const pelmsg::TRtfTableRow& row : table.Rows)
            columns = std::max(columns, int(row.Cells.size()));
        if (!first)
            cursor_.insertBlock();
        QTextTableFormat format;
        format.setCellPadding(2);
        format.setCellSpacing(0);
        format.setBorder(1);
        format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        QTextTable* qtable = cursor_.insertTable(int(table.Rows.size()), columns, format);
        for (int r = 0; r < int(table.Rows.size()); ++r) {
            const pelmsg::TRtfTableRow& row = table.Rows[size_t(r)];
            for (int c = 0; c < int(row.Cells.size()); ++c) {
                cursor_ = qtable->cellAt(r, c).firstCursorPosition();
                bool firstInCell = true;
                for (const pelmsg::TRtfParagraph& p : row.Cells[size_t(c)].Paragraphs) {
                    Paragraph(p, firstInCell);
                    firstInCell = false;
                }
            }
        }
        lastList_ = nullptr;
        cursor_ = qtable->lastCursorPosition();
        cursor_.movePosition(QTextCursor::NextBlock);
    }

    QTextCharFormat CharFormat(const pelmsg::TRtfCharFormat& f) const
    {
        QTextCharFormat format;
        format.setFontWeight(f.Bold ? QFont::Bold : QFont::Normal);
        format.setFontItalic(f.Italic);
        format.setFontUnderline(f.Underline);
        format.setFontStrikeOut(f.Strike);
        format.setFontPointSize(f.SizeHalfPoints / 2.0);
        if (f.Position == pelmsg::TRtfVerticalPosition::Super)
            format.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
        else if (f.Position == pelmsg::TRtfVerticalPosition::Sub)
            format.setVerticalAlignment(QTextCharFormat::AlignSubScript);
        if (f.Font >= 0) {
            const QString face = QString::fromStdU16String(rtf_.Fonts[size_t(f.Font)].Name);
            if (!face.isEmpty())
                format.setFontFamilies({ face });
        }
        if (f.Color >= 0) {
            const pelmsg::TRtfColor& c = rtf_.Colors[size_t(f.Color)];
            format.setForeground(QColor(c.Red, c.Green, c.Blue));
        }
        if (f.Background >= 0) {
            const pelmsg::TRtfColor& c = rtf_.Colors[size_t(f.Background)];
            format.setBackground(QColor(c.Red, c.Green, c.Blue));
        }
        return format;
    }

    const pelmsg::TRtfDocument& rtf_;
    QTextDocument& document_;
    QTextCursor cursor_;
    std::map<int, QTextList*> lists_;
    QTextList* lastList_ = nullptr;
    int lastListKey_ = 0;
    TRtfPictures* pictures_; // where decoded pictures go when they are not made pixmaps here
    int64_t pixels_ = 0; // picture pixels taken so far
    int leftOut_ = 0; // pictures past the budget
};

} // namespace

int FillTextDocument(const pelmsg::TRtfDocument& rtf, QTextDocument& document, TRtfPictures* pictures)
{
    document.clear();
    const bool undo = document.isUndoRedoEnabled();
    document.setUndoRedoEnabled(false);
    const int leftOut = TBuilder(rtf, document, pictures).Build();
    document.setUndoRedoEnabled(undo);
    return leftOut;
}

void LoadRtfIntoDocument(const QString& rtf, QTextDocument& document)
{
    document.clear();
    if (rtf.isEmpty())
        return;
    const std::u16string text = rtf.toStdU16String();
    FillTextDocument(pelmsg::ReadRtfDocument(std::u16string_view(text)), document);
}

void ScaleExplicitSizes(QTextDocument& document, double ratio)
{
    if (std::abs(ratio - 1.0) < 1e-9)
        return;
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            if (!format.hasProperty(QTextFormat::FontPointSize))
                continue;
            QTextCharFormat scaled;
            scaled.setFontPointSize(std::max(1.0, format.fontPointSize() * ratio));
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.mergeCharFormat(scaled);
        }
    }
    cursor.endEditBlock();
}

void ShowRtfInView(const QString& rtf, QTextEdit& view)
{
    // This document replaces one still being read in a worker.
    CancelRtfInView(view);
    QTextDocument* previous = view.document();
    auto* document = new QTextDocument(&view);
    document->setDefaultFont(previous->defaultFont());
    document->setDocumentMargin(previous->documentMargin());
    try {
        LoadRtfIntoDocument(rtf, *document);
    } catch (...) {
        delete document;
        throw;
    }
    // A document the view made itself belongs to its text control and goes with setDocument; one given earlier
    // belongs to the view.
    const bool viewOwnsPrevious = previous->parent() == &view;
    view.setDocument(document);
    if (viewOwnsPrevious)
        delete previous;
    LayOutInSlices(view);
}

} // namespace quorra
