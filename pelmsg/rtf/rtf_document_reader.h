#pragma once

// The reader behind ReadRtfDocument: one pass over RTF text that keeps a stack of group states and builds the
// document's paragraphs, tables, fonts, colours and pictures as it goes. Its parts are in files of their own:
// rtf_document_reader.cpp the groups, control words and text; rtf_document_words.cpp what each control word does;
// rtf_document_blocks.cpp paragraphs and tables; rtf_document_pictures.cpp pictures; rtf_document_entities.cpp the
// entities of encapsulated HTML.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/strings.h"
#include "rtf/rtf_document.h"
#include "rtf/rtf_syntax.h"

namespace pelmsg::rtf_document {

// What the text of a group feeds.
enum class TDestination : uint8_t {
    Body,
    Skip,
    FontTable,
    ColorTable,
    Picture,
    ListText, // "\pntext", "\listtext": the marker a list item shows
};

// The paragraph format in force: what the next paragraph gets, and whether it stands in a table cell.
struct TParagraphFormat : TRtfParagraphFormat {
    bool InTable = false;
};

struct TGroupState {
    TDestination Destination = TDestination::Body;
    TRtfCharFormat Char;
    TParagraphFormat Paragraph;
    int Uc = 1; // fallback characters after "\uN"
    bool Hidden = false; // "\v"
};

// Lists written the old way ("\pn" and "\pntext") share one list id.
constexpr int kOldStyleList = 1 << 30;
constexpr size_t kMaxControlWordLetters = 32;

class TDocumentReader {
public:
    // rawBytes: characters U+0080 to U+00FF are bytes of the input, text in the current code page.
    TDocumentReader(std::u16string_view input, bool rawBytes);

    TRtfDocument Read();

private:
    // Past the escape at pos_ inside a dropped group: "\binN" with its N bytes, else the backslash and the
    // character after it.
    size_t SkipOverflowEscape() const;

    // ---- Groups ----
    void OpenGroup();
    void CloseGroup();

    // ---- Control words and symbols ----
    void ControlWord();
    void ControlSymbol(char16_t c);
    void Word(std::string_view w, bool hasParameter, int value);

    // ---- Text ----
    void Byte(char byte);
    void FlushBytes();
    // A character of text: a fallback after "\u" is skipped; then it goes where the group's text goes.
    void Character(char16_t c, bool decoded = false);
    void AddText(char16_t c);

    // ---- Pictures ----
    // "\binN": N raw bytes follow; inside a picture they are its data.
    void BinaryData(size_t count, bool picture);
    void PictureHex(char16_t c);
    void EndPicture();

    // ---- Fonts and colours ----
    void EndFont();
    int FontIndex(int number) const;
    int ColorIndex(int number) const;
    int32_t CurrentCodePage() const;

    // ---- Paragraphs and tables ----
    void TakeParagraphFormat();
    TRtfParagraph TakeParagraph();
    void EndParagraph(bool inTable);
    TRtfTableCell& CurrentCell();
    void EndCell();
    void EndRow();
    // Closes the open row without taking the pending paragraph (which may be the first one after the table).
    void FinishRow();
    void CloseTable();

    // ---- Encapsulated HTML ----
    // The ";" that ends an entity starting with the "&" at `amp`, looked for within kMaxRtfEntityLength units.
    static size_t EntityEnd(const WideString& text, size_t amp);
    static void DecodeEntitiesIn(WideString& text);
    void DecodeEntities();

    std::u16string_view in_;
    bool rawBytes_;
    size_t pos_ = 0;
    TRtfDocument doc_;
    TGroupState state_;
    std::vector<TGroupState> stack_;
    size_t overflow_ = 0; // groups opened beyond the depth limit and not yet closed
    bool starred_ = false;
    bool fromHtml_ = false; // the RTF encapsulates HTML: its text parts are HTML text, with entities
    int skipFallback_ = 0;
    std::string bytes_;
    int32_t bytesCodePage_ = 1252;
    int defaultFont_ = 0;

    TRtfParagraph paragraph_;
    bool listTextSeen_ = false;
    WideString listText_;

    bool tableOpen_ = false;
    bool rowClosed_ = false;
    bool cellOpen_ = false;
    TRtfTable table_;

    bool fontOpen_ = false;
    int fontNumber_ = 0;
    int32_t fontCodePage_ = 0;
    WideString fontName_;
    std::unordered_map<int, int> fontIndex_;

    TRtfColor color_;
    bool colorSet_ = false;

    TRtfPicture picture_;
    int pictureNibble_ = -1;
    bool pictureTooLarge_ = false;
    int pictureWidth_ = 0;
    int pictureHeight_ = 0;
};

} // namespace pelmsg::rtf_document
