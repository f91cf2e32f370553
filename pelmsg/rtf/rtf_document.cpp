#include "rtf/rtf_document.h"

#include <algorithm>
#include <array>
#include <unordered_map>

#include "model/lookup_work.h"
#include "text/codepage.h"

namespace pelmsg {

namespace {

// What the text of a group feeds.
enum class TDestination : uint8_t {
    Body,
    Skip,
    FontTable,
    ColorTable,
    Picture,
    ListText, // "\pntext", "\listtext": the marker a list item shows
};

struct TParagraphFormat {
    TRtfAlignment Alignment = TRtfAlignment::Left;
    int LeftIndent = 0;
    int RightIndent = 0;
    int FirstLineIndent = 0;
    int SpaceBefore = 0;
    int SpaceAfter = 0;
    int List = 0;
    int ListLevel = 0;
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
constexpr int kMaxParameterDigits = 10;

bool IsLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
int HexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// Destinations whose text is not body text, and which are not marked with "\*" by every writer.
bool IsSkippedDestination(std::string_view word)
{
    static constexpr std::array<std::string_view, 48> kSkipped = { "stylesheet", "info", "header", "headerl",
        "headerr", "headerf", "footer", "footerl", "footerr", "footerf", "footnote", "annotation", "fldinst",
        "nonshppict", "xe", "tc", "txe", "rxe", "template", "listtable", "listoverridetable", "revtbl", "rsidtbl",
        "filetbl", "pgdsctbl", "themedata", "colorschememapping", "latentstyles", "datastore", "xmlnstbl",
        "generator", "mmathPr", "comment", "author", "title", "subject", "operator", "keywords", "doccomm",
        "company", "objdata", "pn", "pntxta", "pntxtb", "atnid", "atnauthor", "private", "fldtype" };
    return std::find(kSkipped.begin(), kSkipped.end(), word) != kSkipped.end();
}

class TRtfReader {
public:
    // rawBytes: characters U+0080 to U+00FF are bytes of the input, text in the current code page.
    TRtfReader(std::u16string_view input, bool rawBytes)
        : in_(input)
        , rawBytes_(rawBytes)
    {
        stack_.reserve(64);
    }

    TRtfDocument Read()
    {
        while (pos_ < in_.size()) {
            const char16_t c = in_[pos_];
            if (overflow_ > 0 && c != u'{' && c != u'}') {
                // Inside groups beyond the depth limit only the braces count; an escaped brace is no brace, and
                // "\binN" data holds none.
                pos_ = c == u'\\' ? SkipOverflowEscape() : pos_ + 1;
                continue;
            }
            if (c == u'{') {
                ++pos_;
                OpenGroup();
            } else if (c == u'}') {
                ++pos_;
                CloseGroup();
            } else if (c == u'\\') {
                ++pos_;
                ControlWord();
            } else if (c == u'\r' || c == u'\n') {
                ++pos_;
            } else if (rawBytes_ && c >= 0x80 && c <= 0xFF) {
                ++pos_;
                Byte(static_cast<char>(c));
            } else {
                ++pos_;
                Character(c);
            }
        }
        FlushBytes();
        // An unclosed picture still counts as read.
        while (!stack_.empty())
            CloseGroup();
        if (!paragraph_.Spans.empty() || listTextSeen_)
            EndParagraph(false);
        CloseTable();
        if (fromHtml_)
            DecodeEntities();
        return std::move(doc_);
    }

private:
    // Past the escape at pos_ inside a dropped group: "\binN" with its N bytes, else the backslash and the
    // character after it.
    size_t SkipOverflowEscape() const
    {
        static constexpr std::u16string_view kBin = u"bin";
        size_t p = pos_ + 1;
        if (in_.substr(p, kBin.size()) != kBin || p + kBin.size() >= in_.size() || !IsDigit(in_[p + kBin.size()]))
            return std::min(in_.size(), pos_ + 2);
        p += kBin.size();
        uint64_t count = 0;
        for (; p < in_.size() && IsDigit(in_[p]); ++p)
            count = std::min<uint64_t>(count * 10 + (in_[p] - u'0'), in_.size());
        if (p < in_.size() && in_[p] == u' ')
            ++p;
        return count >= in_.size() - p ? in_.size() : p + static_cast<size_t>(count);
    }

    // ---- Encapsulated HTML ----
    // The ";" that ends an entity starting with the "&" at `amp`, looked for within kMaxRtfEntityLength units.
    static size_t EntityEnd(const WideString& text, size_t amp)
    {
        const size_t stop = std::min(text.size(), amp + kMaxRtfEntityLength);
        for (size_t k = amp + 1; k < stop; ++k) {
            ++LookupWork().EntityUnitsExamined;
            if (text[k] == u';')
                return k;
        }
        return WideString::npos;
    }

    static void DecodeEntitiesIn(WideString& text)
    {
        if (text.find(u'&') == WideString::npos)
            return;
        static const std::pair<std::u16string_view, char16_t> kNamed[] = { { u"amp", u'&' }, { u"lt", u'<' },
            { u"gt", u'>' }, { u"quot", u'"' }, { u"apos", u'\'' }, { u"nbsp", u'\u00A0' } };
        WideString out;
        out.reserve(text.size());
        for (size_t i = 0; i < text.size(); ++i) {
            // The ";" is looked for no further than the longest entity this knows could reach: a run of "&"
            // without ";" costs a bounded look from each.
            const size_t semicolon = text[i] == u'&' ? EntityEnd(text, i) : WideString::npos;
            if (semicolon == WideString::npos) {
                out.push_back(text[i]);
                continue;
            }
            const std::u16string_view name(text.data() + i + 1, semicolon - i - 1);
            char16_t decoded = 0;
            for (const auto& [entity, c] : kNamed)
                if (name == entity)
                    decoded = c;
            if (!decoded && name.size() > 1 && name[0] == u'#') {
                const bool hex = name[1] == u'x' || name[1] == u'X';
                uint32_t value = 0;
                bool ok = name.size() > (hex ? 2u : 1u);
                for (size_t k = hex ? 2 : 1; k < name.size() && ok; ++k) {
                    const int digit = hex ? HexValue(name[k]) : (IsDigit(name[k]) ? name[k] - u'0' : -1);
                    ok = digit >= 0;
                    value = value * (hex ? 16 : 10) + static_cast<uint32_t>(std::max(digit, 0));
                    ok = ok && value <= 0xFFFF;
                }
                if (ok && value != 0)
                    decoded = static_cast<char16_t>(value);
            }
            if (!decoded) {
                out.push_back(text[i]);
                continue;
            }
            out.push_back(decoded);
            i = semicolon;
        }
        text = std::move(out);
    }

    void DecodeEntities()
    {
        auto paragraph = [](TRtfParagraph& p) {
            for (TRtfSpan& span : p.Spans)
                DecodeEntitiesIn(span.Text);
        };
        for (TRtfBlock& block : doc_.Blocks) {
            if (auto* p = std::get_if<TRtfParagraph>(&block)) {
                paragraph(*p);
                continue;
            }
            for (TRtfTableRow& row : std::get<TRtfTable>(block).Rows)
                for (TRtfTableCell& cell : row.Cells)
                    for (TRtfParagraph& p : cell.Paragraphs)
                        paragraph(p);
        }
    }

    // ---- Groups ----
    void OpenGroup()
    {
        FlushBytes();
        skipFallback_ = 0;
        if (overflow_ > 0 || stack_.size() >= kMaxRtfGroupDepth) {
            if (overflow_ == 0)
                doc_.Warnings.push_back("groups nested deeper than " + std::to_string(kMaxRtfGroupDepth)
                    + " levels were left out");
            ++overflow_;
            return;
        }
        stack_.push_back(state_);
    }

    void CloseGroup()
    {
        FlushBytes();
        skipFallback_ = 0;
        if (overflow_ > 0) {
            --overflow_;
            return;
        }
        if (stack_.empty())
            return; // a stray "}"
        const TDestination leaving = state_.Destination;
        state_ = stack_.back();
        stack_.pop_back();
        if (leaving == TDestination::FontTable)
            EndFont();
        if (leaving == TDestination::Picture && state_.Destination != TDestination::Picture)
            EndPicture();
    }

    // ---- Control words and symbols ----
    void ControlWord()
    {
        if (pos_ >= in_.size())
            return;
        const char16_t c = in_[pos_];
        if (!IsLetter(c)) {
            ++pos_;
            ControlSymbol(c);
            return;
        }
        std::string word;
        while (pos_ < in_.size() && IsLetter(in_[pos_])) {
            if (word.size() < kMaxControlWordLetters)
                word.push_back(static_cast<char>(in_[pos_]));
            ++pos_;
        }
        bool hasParameter = false;
        bool negative = false;
        int64_t value = 0;
        if (pos_ < in_.size() && in_[pos_] == u'-' && pos_ + 1 < in_.size() && IsDigit(in_[pos_ + 1])) {
            negative = true;
            ++pos_;
        }
        int digits = 0;
        while (pos_ < in_.size() && IsDigit(in_[pos_])) {
            hasParameter = true;
            if (digits++ < kMaxParameterDigits)
                value = value * 10 + (in_[pos_] - u'0');
            ++pos_;
        }
        if (pos_ < in_.size() && in_[pos_] == u' ')
            ++pos_;
        value = std::clamp<int64_t>(negative ? -value : value, -0x7FFFFFFF, 0x7FFFFFFF);
        Word(word, hasParameter, static_cast<int>(value));
    }

    void ControlSymbol(char16_t c)
    {
        switch (c) {
        case u'\'': {
            int high = pos_ < in_.size() ? HexValue(in_[pos_]) : -1;
            int low = pos_ + 1 < in_.size() ? HexValue(in_[pos_ + 1]) : -1;
            if (high < 0 || low < 0) {
                pos_ = std::min(in_.size(), pos_ + (high < 0 ? 0 : 1));
                return;
            }
            pos_ += 2;
            Byte(static_cast<char>(high * 16 + low));
            return;
        }
        case u'*':
            starred_ = true;
            return;
        case u'\\':
        case u'{':
        case u'}':
            Character(c);
            return;
        case u'~':
            Character(u'\u00A0');
            return;
        case u'_':
            Character(u'\u2011');
            return;
        case u'-': // optional hyphen
        case u'|':
        case u':':
            return;
        case u'\r':
        case u'\n':
            Word("par", false, 0);
            return;
        case u'\t':
            Character(u'\t');
            return;
        default:
            return;
        }
    }

    void Word(std::string_view w, bool hasParameter, int value)
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
        } else if (w == "emdash") {
            Character(u'\u2014');
        } else if (w == "endash") {
            Character(u'\u2013');
        } else if (w == "bullet") {
            Character(u'\u2022');
        } else if (w == "lquote") {
            Character(u'\u2018');
        } else if (w == "rquote") {
            Character(u'\u2019');
        } else if (w == "ldblquote") {
            Character(u'\u201C');
        } else if (w == "rdblquote") {
            Character(u'\u201D');
        } else if (w == "emspace") {
            Character(u'\u2003');
        } else if (w == "enspace") {
            Character(u'\u2002');
        } else if (w == "qmspace") {
            Character(u'\u2005');
        }
        // Paragraph formats.
        else if (w == "pard") {
            pa = TParagraphFormat {};
        } else if (w == "ql") {
            pa.Alignment = TRtfAlignment::Left;
        } else if (w == "qr") {
            pa.Alignment = TRtfAlignment::Right;
        } else if (w == "qc") {
            pa.Alignment = TRtfAlignment::Center;
        } else if (w == "qj") {
            pa.Alignment = TRtfAlignment::Justify;
        } else if (w == "li") {
            pa.LeftIndent = value;
        } else if (w == "ri") {
            pa.RightIndent = value;
        } else if (w == "fi") {
            pa.FirstLineIndent = value;
        } else if (w == "sb") {
            pa.SpaceBefore = value;
        } else if (w == "sa") {
            pa.SpaceAfter = value;
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
        } else if (w == "b") {
            ch.Bold = on;
        } else if (w == "i") {
            ch.Italic = on;
        } else if (w == "ul" || w == "uld" || w == "uldb" || w == "ulw" || w == "uldash" || w == "ulth"
            || w == "ulwave") {
            ch.Underline = on;
        } else if (w == "ulnone") {
            ch.Underline = false;
        } else if (w == "strike" || w == "striked") {
            ch.Strike = on;
        } else if (w == "super") {
            ch.Position = TRtfVerticalPosition::Super;
        } else if (w == "sub") {
            ch.Position = TRtfVerticalPosition::Sub;
        } else if (w == "nosupersub") {
            ch.Position = TRtfVerticalPosition::Normal;
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

    // ---- Text ----
    void Byte(char byte)
    {
        if (skipFallback_ > 0) {
            --skipFallback_;
            return;
        }
        const int32_t codePage = CurrentCodePage();
        if (!bytes_.empty() && codePage != bytesCodePage_)
            FlushBytes();
        bytesCodePage_ = codePage;
        bytes_.push_back(byte);
    }

    void FlushBytes()
    {
        if (bytes_.empty())
            return;
        WideString text = CodePageToWide(bytes_, bytesCodePage_);
        // Mail clients that declare UTF-8 still escape single Windows-1252 bytes ("\\'a0" for a no-break space).
        if (bytesCodePage_ == 65001 && text.find(u'\uFFFD') != WideString::npos)
            text = CodePageToWide(bytes_, 1252);
        if (text.empty())
            text = CodePageToWide(bytes_, 1252);
        if (text.empty())
            for (char b : bytes_)
                text.push_back(static_cast<unsigned char>(b));
        bytes_.clear();
        for (char16_t c : text)
            Character(c, true);
    }

    // A character of text: a fallback after "\u" is skipped; then it goes where the group's text goes.
    void Character(char16_t c, bool decoded = false)
    {
        if (!decoded) {
            if (!bytes_.empty())
                FlushBytes();
            if (skipFallback_ > 0) {
                --skipFallback_;
                return;
            }
        }
        switch (state_.Destination) {
        case TDestination::Body:
            if (!state_.Hidden)
                AddText(c);
            return;
        case TDestination::FontTable:
            if (c == u';')
                EndFont();
            else if (fontOpen_)
                fontName_.push_back(c);
            return;
        case TDestination::ColorTable:
            if (c == u';') {
                if (doc_.Colors.size() < kMaxRtfTableEntries) {
                    color_.Automatic = !colorSet_;
                    doc_.Colors.push_back(color_);
                }
                color_ = {};
                colorSet_ = false;
            }
            return;
        case TDestination::Picture:
            PictureHex(c);
            return;
        case TDestination::ListText:
            listText_.push_back(c);
            return;
        case TDestination::Skip:
            return;
        }
    }

    void AddText(char16_t c)
    {
        std::vector<TRtfSpan>& spans = paragraph_.Spans;
        if (spans.empty() || spans.back().Picture >= 0 || !(spans.back().Format == state_.Char))
            spans.push_back(TRtfSpan { {}, state_.Char, -1 });
        spans.back().Text.push_back(c);
    }

    // "\binN": N raw bytes follow; inside a picture they are its data.
    void BinaryData(size_t count, bool picture)
    {
        const size_t take = std::min(count, in_.size() - pos_);
        if (picture && !pictureTooLarge_) {
            if (picture_.Bytes.size() + take > kMaxRtfPictureBytes)
                pictureTooLarge_ = true;
            else
                for (size_t i = 0; i < take; ++i)
                    picture_.Bytes.push_back(static_cast<char>(in_[pos_ + i] & 0xFF));
        }
        pos_ += take;
    }

    void PictureHex(char16_t c)
    {
        const int v = HexValue(c);
        if (v < 0 || pictureTooLarge_)
            return;
        if (pictureNibble_ < 0) {
            pictureNibble_ = v;
            return;
        }
        if (picture_.Bytes.size() >= kMaxRtfPictureBytes) {
            pictureTooLarge_ = true;
            picture_.Bytes.clear();
            picture_.Bytes.shrink_to_fit();
            return;
        }
        picture_.Bytes.push_back(static_cast<char>(pictureNibble_ * 16 + v));
        pictureNibble_ = -1;
    }

    void EndPicture()
    {
        if (pictureTooLarge_) {
            doc_.Warnings.push_back("a picture larger than " + std::to_string(kMaxRtfPictureBytes >> 20)
                + " MB was left out");
            return;
        }
        if (picture_.Format.empty() || picture_.Bytes.empty() || state_.Destination != TDestination::Body)
            return;
        // "\picw"/"\pich" of PNG and JPEG pictures are pixels; at 96 dpi a pixel is 15 twips.
        if (picture_.WidthTwips == 0 && pictureWidth_ > 0)
            picture_.WidthTwips = static_cast<int>(std::min<int64_t>(int64_t(pictureWidth_) * 15, 0x7FFFFFFF));
        if (picture_.HeightTwips == 0 && pictureHeight_ > 0)
            picture_.HeightTwips = static_cast<int>(std::min<int64_t>(int64_t(pictureHeight_) * 15, 0x7FFFFFFF));
        doc_.Pictures.push_back(std::move(picture_));
        picture_ = {};
        paragraph_.Spans.push_back(TRtfSpan { {}, state_.Char, static_cast<int>(doc_.Pictures.size() - 1) });
    }

    // ---- Fonts and colours ----
    void EndFont()
    {
        if (!fontOpen_)
            return;
        fontOpen_ = false;
        while (!fontName_.empty() && fontName_.back() == u' ')
            fontName_.pop_back();
        if (doc_.Fonts.size() < kMaxRtfTableEntries && !fontIndex_.count(fontNumber_)) {
            fontIndex_[fontNumber_] = static_cast<int>(doc_.Fonts.size());
            doc_.Fonts.push_back(TRtfFont { fontName_, fontCodePage_ });
        }
        fontName_.clear();
        fontCodePage_ = 0;
    }

    int FontIndex(int number) const
    {
        auto it = fontIndex_.find(number);
        return it == fontIndex_.end() ? -1 : it->second;
    }

    int ColorIndex(int number) const
    {
        if (number <= 0 || static_cast<size_t>(number) >= doc_.Colors.size())
            return -1;
        return doc_.Colors[static_cast<size_t>(number)].Automatic ? -1 : number;
    }

    int32_t CurrentCodePage() const
    {
        if (state_.Destination == TDestination::FontTable)
            return fontCodePage_ != 0 ? fontCodePage_ : doc_.CodePage;
        const int font = state_.Char.Font >= 0 ? state_.Char.Font : FontIndex(defaultFont_);
        if (font >= 0 && doc_.Fonts[static_cast<size_t>(font)].CodePage != 0)
            return doc_.Fonts[static_cast<size_t>(font)].CodePage;
        return doc_.CodePage;
    }

    // ---- Paragraphs and tables ----
    void TakeParagraphFormat()
    {
        const TParagraphFormat& pa = state_.Paragraph;
        paragraph_.Alignment = pa.Alignment;
        paragraph_.LeftIndent = pa.LeftIndent;
        paragraph_.RightIndent = pa.RightIndent;
        paragraph_.FirstLineIndent = pa.FirstLineIndent;
        paragraph_.SpaceBefore = pa.SpaceBefore;
        paragraph_.SpaceAfter = pa.SpaceAfter;
        if (listTextSeen_ || (pa.List != 0 && pa.List != kOldStyleList)) {
            paragraph_.List = pa.List != 0 ? pa.List : kOldStyleList;
            paragraph_.ListLevel = pa.ListLevel;
            paragraph_.Numbered = std::any_of(listText_.begin(), listText_.end(),
                [](char16_t c) { return IsDigit(c) || (c >= u'a' && c <= u'z' && c != u'o'); });
        }
    }

    TRtfParagraph TakeParagraph()
    {
        TakeParagraphFormat();
        TRtfParagraph p = std::move(paragraph_);
        paragraph_ = {};
        listTextSeen_ = false;
        listText_.clear();
        return p;
    }

    void EndParagraph(bool inTable)
    {
        if (inTable) {
            CurrentCell().Paragraphs.push_back(TakeParagraph());
            return;
        }
        CloseTable();
        doc_.Blocks.emplace_back(TakeParagraph());
    }

    TRtfTableCell& CurrentCell()
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

    void EndCell()
    {
        TRtfTableCell& cell = CurrentCell();
        if (!paragraph_.Spans.empty() || cell.Paragraphs.empty())
            cell.Paragraphs.push_back(TakeParagraph());
        TRtfTableRow& row = table_.Rows.back();
        if (row.Cells.size() < kMaxRtfTableColumns)
            row.Cells.emplace_back();
        cellOpen_ = true;
    }

    void EndRow()
    {
        if (!paragraph_.Spans.empty())
            EndCell();
        FinishRow();
    }

    // Closes the open row without taking the pending paragraph (which may be the first one after the table).
    void FinishRow()
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

    void CloseTable()
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

void AppendParagraphText(const TRtfParagraph& p, WideString& out)
{
    for (const TRtfSpan& span : p.Spans)
        out += span.Text;
}

} // namespace

int32_t CodePageOfRtfCharset(int charset)
{
    switch (charset) {
    case 0:
        return 1252;
    case 2: // symbol: its bytes read as Windows-1252 give the nearest characters (0xB7 a middle dot)
        return 1252;
    case 77:
        return 10000;
    case 128:
        return 932;
    case 129:
        return 949;
    case 130:
        return 1361;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    case 254:
        return 437;
    case 255:
        return 850;
    default:
        return 0;
    }
}

TRtfDocument ReadRtfDocument(std::u16string_view rtf) { return TRtfReader(rtf, false).Read(); }

TRtfDocument ReadRtfDocument(std::string_view rtf)
{
    // Each byte becomes one unit; bytes from 0x80 up are decoded as the code page in force where they stand, as
    // "\'hh" escapes are, and "\bin" data stays byte for byte.
    WideString text(rtf.size(), u'\0');
    std::transform(rtf.begin(), rtf.end(), text.begin(), [](char c) { return static_cast<unsigned char>(c); });
    return TRtfReader(text, true).Read();
}

WideString RtfDocumentText(const TRtfDocument& document)
{
    WideString out;
    for (const TRtfBlock& block : document.Blocks) {
        if (const auto* p = std::get_if<TRtfParagraph>(&block)) {
            AppendParagraphText(*p, out);
            out.push_back(u'\n');
            continue;
        }
        for (const TRtfTableRow& row : std::get<TRtfTable>(block).Rows) {
            for (size_t c = 0; c < row.Cells.size(); ++c) {
                if (c > 0)
                    out.push_back(u'\t');
                const auto& paragraphs = row.Cells[c].Paragraphs;
                for (size_t i = 0; i < paragraphs.size(); ++i) {
                    if (i > 0)
                        out.push_back(u' ');
                    AppendParagraphText(paragraphs[i], out);
                }
            }
            out.push_back(u'\n');
        }
    }
    for (char16_t& c : out)
        if (c == u'\u2028')
            c = u'\n';
    return out;
}

} // namespace pelmsg
