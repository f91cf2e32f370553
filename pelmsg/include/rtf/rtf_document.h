#pragma once

// Reads RTF as mail clients write it into a plain structure of paragraphs, tables and pictures, which a view turns
// into its own document (the window makes a QTextDocument of it). Only what a mail body shows is kept: paragraph
// alignment and indents, list membership, character formats (bold, italic, underline, strike, size, face,
// colours, super- and subscript), simple tables, and pictures carried as PNG or JPEG. Text escaped as "\'hh" is
// decoded in the code page of the current font ("\fcharset"), else the document's "\ansicpg"; "\uN" escapes give
// UTF-16 units and skip their "\ucN" fallback characters. Unknown destinations ("{\*\...}") are skipped.
//
// RTF from a message is hostile input: the reader makes one pass over the text, never reserves memory from a number
// found in it, and stops descending at kMaxRtfGroupDepth, keeping what it read.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/strings.h"

namespace pelmsg {

// Group nesting the reader follows; the contents of deeper groups are dropped (a warning says so).
inline constexpr size_t kMaxRtfGroupDepth = 256;
// The most bytes one picture may hold; larger pictures are dropped.
inline constexpr size_t kMaxRtfPictureBytes = 32u << 20;
// The most cells a table row keeps; further cells join the last one.
inline constexpr size_t kMaxRtfTableColumns = 64;
// The most entries of the font and the colour table.
inline constexpr size_t kMaxRtfTableEntries = 4096;
// The most units an HTML entity of an encapsulated-HTML body spans, "&" and ";" included: "&#x0000FF;" with
// some leading zeros. A "&" whose ";" is further away stays as it is.
inline constexpr size_t kMaxRtfEntityLength = 11;

enum class TRtfAlignment : uint8_t { Left, Right, Center, Justify };
enum class TRtfVerticalPosition : uint8_t { Normal, Super, Sub };

struct TRtfCharFormat {
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool Strike = false;
    TRtfVerticalPosition Position = TRtfVerticalPosition::Normal;
    int SizeHalfPoints = 24; // "\fs": half points; RTF's default is 12 pt
    int Font = -1; // index into TRtfDocument::Fonts; -1: the view's default face
    int Color = -1; // index into TRtfDocument::Colors; -1: automatic
    int Background = -1; // "\highlight" or "\cb"; -1: none
    bool operator==(const TRtfCharFormat&) const = default;
};

// A run of text with one format, or a picture (Picture >= 0, Text empty).
struct TRtfSpan {
    WideString Text;
    TRtfCharFormat Format;
    int Picture = -1; // index into TRtfDocument::Pictures
};

// How a paragraph is laid out.
struct TRtfParagraphFormat {
    TRtfAlignment Alignment = TRtfAlignment::Left;
    // Twips (1/1440 inch).
    int LeftIndent = 0;
    int RightIndent = 0;
    int FirstLineIndent = 0;
    int SpaceBefore = 0;
    int SpaceAfter = 0;
    // List membership: 0 when the paragraph is no list item; otherwise the list it belongs to ("\lsN", or the
    // old-style "\pn" numbering) and its level from 0.
    int List = 0;
    int ListLevel = 0;
};

struct TRtfParagraph : TRtfParagraphFormat {
    bool Numbered = false; // of a list item: its marker is a number rather than a bullet
    std::vector<TRtfSpan> Spans;
};

struct TRtfTableCell {
    std::vector<TRtfParagraph> Paragraphs;
};

struct TRtfTableRow {
    std::vector<TRtfTableCell> Cells;
};

struct TRtfTable {
    std::vector<TRtfTableRow> Rows;
};

using TRtfBlock = std::variant<TRtfParagraph, TRtfTable>;

struct TRtfFont {
    WideString Name;
    int32_t CodePage = 0; // 0: the document's code page
};

struct TRtfColor {
    uint8_t Red = 0;
    uint8_t Green = 0;
    uint8_t Blue = 0;
    bool Automatic = false; // the empty first entry of most colour tables
};

struct TRtfPicture {
    std::string Format; // "png" or "jpeg"
    std::string Bytes;
    // The size the picture is shown at, in twips ("\picwgoal"/"\pichgoal", else "\picw"/"\pich" scaled); 0 when
    // the RTF does not say.
    int WidthTwips = 0;
    int HeightTwips = 0;
};

struct TRtfDocument {
    int32_t CodePage = 1252; // "\ansicpg"
    std::vector<TRtfFont> Fonts;
    std::vector<TRtfColor> Colors;
    std::vector<TRtfPicture> Pictures;
    std::vector<TRtfBlock> Blocks;
    // What was dropped: groups nested too deeply, oversized pictures.
    std::vector<std::string> Warnings;
};

// Reads RTF text. Characters from U+0080 up stand for themselves (the text was decoded already); everything else is
// RTF syntax. Never raises for malformed input: unbalanced braces, unknown words and truncated escapes are read as
// far as they go.
TRtfDocument ReadRtfDocument(std::u16string_view rtf);
// The same for RTF bytes: raw bytes from 0x80 up are decoded like "\'hh" escapes, in the code page in force.
TRtfDocument ReadRtfDocument(std::string_view rtf);

// The text of the document: paragraphs end with "\n", table cells are separated by "\t" and rows end with "\n",
// pictures are left out.
WideString RtfDocumentText(const TRtfDocument& document);

// The Windows code page of a font character set ("\fcharsetN"); 0 for the default (1) and unknown sets.
int32_t CodePageOfRtfCharset(int charset);

} // namespace pelmsg
