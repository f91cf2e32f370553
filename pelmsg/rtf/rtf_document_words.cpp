#include "rtf/rtf_document_reader.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <utility>

namespace pelmsg::rtf_document {

namespace {

// Destinations whose text is not body text, and which are not marked with "\*" by every writer.
bool IsSkippedDestination(std::string_view word)
{
    static constexpr std::array<std::string_view, 48> kSkipped = { "stylesheet", "info", "header", "headerl", "headerr",
        "headerf", "footer", "footerl", "footerr", "footerf", "footnote", "annotation", "fldinst", "nonshppict", "xe",
        "tc", "txe", "rxe", "template", "listtable", "listoverridetable", "revtbl", "rsidtbl", "filetbl", "pgdsctbl",
        "themedata", "colorschememapping", "latentstyles", "datastore", "xmlnstbl", "generator", "mmathPr", "comment",
        "author", "title", "subject", "operator", "keywords", "doccomm", "company", "objdata", "pn", "pntxta", "pntxtb",
        "atnid", "atnauthor", "private", "fldtype" };
    return std::find(kSkipped.begin(), kSkipped.end(), word) != kSkipped.end();
}

template <class T, size_t N> const T* Find(const std::pair<std::string_view, T> (&table)[N], std::string_view word)
{
    for (const auto& [name, value] : table)
        if (name == word)
            return &value;
    return nullptr;
}

constexpr std::pair<std::string_view, TRtfAlignment> kAlignments[] = {
    { "ql", TRtfAlignment::Left },
    { "qr", TRtfAlignment::Right },
    { "qc", TRtfAlignment::Center },
    { "qj", TRtfAlignment::Justify },
};

// Indents and spaces, in twips.
constexpr std::pair<std::string_view, int TRtfParagraphFormat::*> kMeasures[] = {
    { "li", &TRtfParagraphFormat::LeftIndent },
    { "ri", &TRtfParagraphFormat::RightIndent },
    { "fi", &TRtfParagraphFormat::FirstLineIndent },
    { "sb", &TRtfParagraphFormat::SpaceBefore },
    { "sa", &TRtfParagraphFormat::SpaceAfter },
};

// Character formats that a word turns on, or off with the number 0 ("\b0").
constexpr std::pair<std::string_view, bool TRtfCharFormat::*> kToggles[] = {
    { "b", &TRtfCharFormat::Bold },
    { "i", &TRtfCharFormat::Italic },
    { "strike", &TRtfCharFormat::Strike },
    { "striked", &TRtfCharFormat::Strike },
};

// Every kind of underline is one: a toggle of TRtfCharFormat::Underline.
constexpr std::string_view kUnderlines[] = { "ul", "uld", "uldb", "ulw", "uldash", "ulth", "ulwave" };

constexpr std::pair<std::string_view, TRtfVerticalPosition> kPositions[] = {
    { "super", TRtfVerticalPosition::Super },
    { "sub", TRtfVerticalPosition::Sub },
    { "nosupersub", TRtfVerticalPosition::Normal },
};

} // namespace

void TDocumentReader::Word(std::string_view w, bool hasParameter, int value)
{
    FlushBytes();
    skipFallback_ = 0;
    const bool starred = starred_;
    starred_ = false;
    const bool on = !hasParameter || value != 0;
    TRtfCharFormat& ch = state_.Char;
    TParagraphFormat& pa = state_.Paragraph;

    // "\binN" data is no RTF in any kind of group, skipped ones and the tables included: its bytes would
    // otherwise be read as braces and words, and could end the group early and show what it hides.
    if (w == "bin") {
        if (hasParameter && value > 0)
            BinaryData(static_cast<size_t>(value), state_.Destination == TDestination::Picture);
        return;
    }
    // Destinations. Inside a skipped group everything is skipped.
    if (state_.Destination == TDestination::Skip)
        return;
    if (w == "fonttbl") {
        state_.Destination = TDestination::FontTable;
        return;
    }
    if (w == "colortbl") {
        state_.Destination = TDestination::ColorTable;
        colorSet_ = false;
        return;
    }
    if (w == "pict") {
        state_.Destination = TDestination::Picture;
        picture_ = {};
        pictureNibble_ = -1;
        pictureTooLarge_ = false;
        pictureWidth_ = pictureHeight_ = 0;
        return;
    }
    if (w == "shppict") // the picture inside is what Word shows
        return;
    if (w == "pntext" || w == "listtext") {
        state_.Destination = TDestination::ListText;
        listTextSeen_ = true;
        listText_.clear();
        if (pa.List == 0)
            pa.List = kOldStyleList;
        return;
    }
    if (starred || IsSkippedDestination(w)) {
        state_.Destination = TDestination::Skip;
        return;
    }

    if (state_.Destination == TDestination::FontTable) {
        if (w == "f") {
            EndFont();
            fontNumber_ = value;
            fontOpen_ = true;
        } else if (w == "fcharset")
            fontCodePage_ = CodePageOfRtfCharset(value);
        else if (w == "cpg")
            fontCodePage_ = value;
        return;
    }
    if (state_.Destination == TDestination::ColorTable) {
        const auto component = static_cast<uint8_t>(std::clamp(value, 0, 255));
        if (w == "red")
            color_.Red = component, colorSet_ = true;
        else if (w == "green")
            color_.Green = component, colorSet_ = true;
        else if (w == "blue")
            color_.Blue = component, colorSet_ = true;
        return;
    }
    if (state_.Destination == TDestination::Picture) {
        if (w == "pngblip")
            picture_.Format = "png";
        else if (w == "jpegblip")
            picture_.Format = "jpeg";
        else if (w == "picwgoal")
            picture_.WidthTwips = std::max(0, value);
        else if (w == "pichgoal")
            picture_.HeightTwips = std::max(0, value);
        else if (w == "picw")
            pictureWidth_ = std::max(0, value);
        else if (w == "pich")
            pictureHeight_ = std::max(0, value);
        return;
    }

    // Document.
    if (w == "fromhtml") {
        fromHtml_ = true;
    } else if (w == "ansicpg") {
        if (hasParameter && value > 0)
            doc_.CodePage = value;
    } else if (w == "deff") {
        defaultFont_ = value;
    } else if (w == "uc") {
        state_.Uc = std::clamp(value, 0, 16);
    } else if (w == "u") {
        if (!hasParameter)
            return;
        const int unit = value < 0 ? value + 65536 : value;
        Character(static_cast<char16_t>(unit & 0xFFFF), true);
        skipFallback_ = state_.Uc;
    }
    // Breaks and special characters.
    else if (w == "par" || w == "sect" || w == "page") {
        EndParagraph(pa.InTable);
    } else if (w == "cell" || w == "nestcell") {
        if (w == "cell")
            EndCell();
        else
            EndParagraph(true);
    } else if (w == "row") {
        EndRow();
    } else if (w == "nestrow") {
        // Nested tables flatten into the cell that holds them.
    } else if (w == "line") {
        Character(u'\u2028');
    } else if (w == "tab") {
        Character(u'\t');
    } else if (const char16_t symbol = RtfSymbolCharacter(w); symbol != 0) {
        Character(symbol);
    }
    // Paragraph formats.
    else if (w == "pard") {
        pa = TParagraphFormat {};
    } else if (const TRtfAlignment* alignment = Find(kAlignments, w)) {
        pa.Alignment = *alignment;
    } else if (int TRtfParagraphFormat::*const* measure = Find(kMeasures, w)) {
        pa.*(*measure) = value;
    } else if (w == "intbl") {
        pa.InTable = true;
    } else if (w == "ls") {
        pa.List = std::max(1, value);
    } else if (w == "ilvl") {
        pa.ListLevel = std::clamp(value, 0, 8);
    } else if (w == "pnlvl") {
        pa.ListLevel = std::clamp(value - 1, 0, 8);
    }
    // Character formats.
    else if (w == "plain") {
        ch = TRtfCharFormat {};
        ch.Font = FontIndex(defaultFont_);
        state_.Hidden = false;
    } else if (bool TRtfCharFormat::*const* toggle = Find(kToggles, w)) {
        ch.*(*toggle) = on;
    } else if (std::find(std::begin(kUnderlines), std::end(kUnderlines), w) != std::end(kUnderlines)) {
        ch.Underline = on;
    } else if (w == "ulnone") {
        ch.Underline = false;
    } else if (const TRtfVerticalPosition* position = Find(kPositions, w)) {
        ch.Position = *position;
    } else if (w == "fs") {
        ch.SizeHalfPoints = hasParameter && value > 0 ? std::min(value, 3276) : 24;
    } else if (w == "f") {
        ch.Font = FontIndex(value);
    } else if (w == "cf") {
        ch.Color = ColorIndex(value);
    } else if (w == "cb" || w == "highlight") {
        ch.Background = ColorIndex(value);
    } else if (w == "v") {
        state_.Hidden = on;
    }
}

} // namespace pelmsg::rtf_document
