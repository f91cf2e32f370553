#include "rtf/rtf_document_reader.h"

#include <algorithm>

namespace pelmsg::rtf_document {

void TDocumentReader::TakeParagraphFormat()
{
    const TParagraphFormat& pa = state_.Paragraph;
    static_cast<TRtfParagraphFormat&>(paragraph_) = pa;
    // A list item has a list of its own ("\lsN"), or the marker text ("\pntext") of an old-style one.
    paragraph_.List = 0;
    paragraph_.ListLevel = 0;
    if (listTextSeen_ || (pa.List != 0 && pa.List != kOldStyleList)) {
        paragraph_.List = pa.List != 0 ? pa.List : kOldStyleList;
        paragraph_.ListLevel = pa.ListLevel;
        paragraph_.Numbered = std::any_of(listText_.begin(), listText_.end(),
            [](char16_t c) { return IsRtfDigit(c) || (c >= u'a' && c <= u'z' && c != u'o'); });
    }
}

TRtfParagraph TDocumentReader::TakeParagraph()
{
    TakeParagraphFormat();
    TRtfParagraph p = std::move(paragraph_);
    paragraph_ = {};
    listTextSeen_ = false;
    listText_.clear();
    return p;
}

void TDocumentReader::EndParagraph(bool inTable)
{
    if (inTable) {
        CurrentCell().Paragraphs.push_back(TakeParagraph());
        return;
    }
    CloseTable();
    doc_.Blocks.emplace_back(TakeParagraph());
}

TRtfTableCell& TDocumentReader::CurrentCell()
{
    if (!tableOpen_) {
        tableOpen_ = true;
        table_ = {};
    }
    if (table_.Rows.empty() || rowClosed_) {
        table_.Rows.emplace_back();
        rowClosed_ = false;
    }
    TRtfTableRow& row = table_.Rows.back();
    if (row.Cells.empty())
        row.Cells.emplace_back();
    return row.Cells.back();
}

void TDocumentReader::EndCell()
{
    TRtfTableCell& cell = CurrentCell();
    if (!paragraph_.Spans.empty() || cell.Paragraphs.empty())
        cell.Paragraphs.push_back(TakeParagraph());
    TRtfTableRow& row = table_.Rows.back();
    if (row.Cells.size() < kMaxRtfTableColumns)
        row.Cells.emplace_back();
    cellOpen_ = true;
}

void TDocumentReader::EndRow()
{
    if (!paragraph_.Spans.empty())
        EndCell();
    FinishRow();
}

// Closes the open row without taking the pending paragraph (which may be the first one after the table).
void TDocumentReader::FinishRow()
{
    if (!tableOpen_ || table_.Rows.empty() || rowClosed_)
        return;
    TRtfTableRow& row = table_.Rows.back();
    // The cell that the last "\cell" opened holds nothing.
    if (cellOpen_ && row.Cells.size() > 1 && row.Cells.back().Paragraphs.empty())
        row.Cells.pop_back();
    cellOpen_ = false;
    rowClosed_ = true;
}

void TDocumentReader::CloseTable()
{
    if (!tableOpen_)
        return;
    FinishRow();
    tableOpen_ = false;
    for (TRtfTableRow& row : table_.Rows)
        if (!row.Cells.empty() && row.Cells.back().Paragraphs.empty())
            row.Cells.back().Paragraphs.emplace_back();
    if (!table_.Rows.empty())
        doc_.Blocks.emplace_back(std::move(table_));
    table_ = {};
    rowClosed_ = false;
}

} // namespace pelmsg::rtf_document
