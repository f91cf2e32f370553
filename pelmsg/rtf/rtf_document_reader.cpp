#include "rtf/rtf_document_reader.h"

#include <algorithm>

#include "text/ascii_case.h"
#include "text/codepage.h"

namespace pelmsg::rtf_document {

// rawBytes: characters U+0080 to U+00FF are bytes of the input, text in the current code page.
TDocumentReader::TDocumentReader(std::u16string_view input, bool rawBytes)
    : in_(input)
    , rawBytes_(rawBytes)
{
    stack_.reserve(64);
}

TRtfDocument TDocumentReader::Read()
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

// Past the escape at pos_ inside a dropped group: "\binN" with its N bytes, else the backslash and the
// character after it.
size_t TDocumentReader::SkipOverflowEscape() const
{
    static constexpr std::u16string_view kBin = u"bin";
    size_t p = pos_ + 1;
    if (in_.substr(p, kBin.size()) != kBin || p + kBin.size() >= in_.size() || !IsRtfDigit(in_[p + kBin.size()]))
        return std::min(in_.size(), pos_ + 2);
    p += kBin.size();
    uint64_t count = 0;
    for (; p < in_.size() && IsRtfDigit(in_[p]); ++p)
        count = std::min<uint64_t>(count * 10 + (in_[p] - u'0'), in_.size());
    if (p < in_.size() && in_[p] == u' ')
        ++p;
    return count >= in_.size() - p ? in_.size() : p + static_cast<size_t>(count);
}

void TDocumentReader::OpenGroup()
{
    FlushBytes();
    skipFallback_ = 0;
    if (overflow_ > 0 || stack_.size() >= kMaxRtfGroupDepth) {
        if (overflow_ == 0)
            doc_.Warnings.push_back(
                "groups nested deeper than " + std::to_string(kMaxRtfGroupDepth) + " levels were left out");
        ++overflow_;
        return;
    }
    stack_.push_back(state_);
}

void TDocumentReader::CloseGroup()
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

void TDocumentReader::ControlWord()
{
    const TRtfEscape<char16_t> escape = ReadRtfEscape(in_, pos_ - 1);
    pos_ = escape.End;
    const TRtfControlWord<char16_t>& word = escape.Word;
    if (word.Name.empty()) {
        if (escape.Symbol != 0)
            ControlSymbol(escape.Symbol);
        return;
    }
    // No word the reader knows is longer than this; a longer one keeps its first letters, which match none.
    std::string name;
    for (size_t i = 0; i < std::min(word.Name.size(), kMaxControlWordLetters); ++i)
        name.push_back(static_cast<char>(word.Name[i]));
    Word(name, word.HasParameter, static_cast<int>(std::clamp<int64_t>(word.Parameter, -0x7FFFFFFF, 0x7FFFFFFF)));
}

void TDocumentReader::ControlSymbol(char16_t c)
{
    switch (c) {
    case u'\'': {
        int high = pos_ < in_.size() ? AsciiHexValue(in_[pos_]) : -1;
        int low = pos_ + 1 < in_.size() ? AsciiHexValue(in_[pos_ + 1]) : -1;
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

void TDocumentReader::Byte(char byte)
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

void TDocumentReader::FlushBytes()
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
void TDocumentReader::Character(char16_t c, bool decoded)
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

void TDocumentReader::AddText(char16_t c)
{
    std::vector<TRtfSpan>& spans = paragraph_.Spans;
    if (spans.empty() || spans.back().Picture >= 0 || !(spans.back().Format == state_.Char))
        spans.push_back(TRtfSpan { {}, state_.Char, -1 });
    spans.back().Text.push_back(c);
}

void TDocumentReader::EndFont()
{
    if (!fontOpen_)
        return;
    fontOpen_ = false;
    while (!fontName_.empty() && fontName_.back() == u' ')
        fontName_.pop_back();
    if (doc_.Fonts.size() < kMaxRtfTableEntries && !fontIndex_.contains(fontNumber_)) {
        fontIndex_[fontNumber_] = static_cast<int>(doc_.Fonts.size());
        doc_.Fonts.push_back(TRtfFont { fontName_, fontCodePage_ });
    }
    fontName_.clear();
    fontCodePage_ = 0;
}

int TDocumentReader::FontIndex(int number) const
{
    auto it = fontIndex_.find(number);
    return it == fontIndex_.end() ? -1 : it->second;
}

int TDocumentReader::ColorIndex(int number) const
{
    if (number <= 0 || static_cast<size_t>(number) >= doc_.Colors.size())
        return -1;
    return doc_.Colors[static_cast<size_t>(number)].Automatic ? -1 : number;
}

int32_t TDocumentReader::CurrentCodePage() const
{
    if (state_.Destination == TDestination::FontTable)
        return fontCodePage_ != 0 ? fontCodePage_ : doc_.CodePage;
    const int font = state_.Char.Font >= 0 ? state_.Char.Font : FontIndex(defaultFont_);
    if (font >= 0 && doc_.Fonts[static_cast<size_t>(font)].CodePage != 0)
        return doc_.Fonts[static_cast<size_t>(font)].CodePage;
    return doc_.CodePage;
}

} // namespace pelmsg::rtf_document
