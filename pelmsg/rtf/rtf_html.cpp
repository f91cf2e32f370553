// HTML out of RTF that encapsulates it ("\fromhtml"): the tags come back out of the "{\*\htmltag" groups, the
// text between them loses the RTF-only control words, and escaped characters become UTF-8.

#include "rtf/rtf_html.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "rtf/rtf_document.h"
#include "rtf/rtf_html_text.h"
#include "rtf/rtf_syntax.h"
#include "text/ascii_case.h"
#include "text/codepage.h"

namespace pelmsg {

namespace {

constexpr std::string_view kHtmlTagGroup = "{\\*\\htmltag";
constexpr int kMaxFallbackCount = 16;

using rtf_html::BinaryAt;
using rtf_html::BinaryDataEnd;
using rtf_html::IsDigit;
using rtf_html::IsLetter;
using rtf_html::TFontCodePages;

// Pass 1: the text from the first "{\*\htmltag" on, with each tag group opener (and its number) and the "}"
// that closes it taken out, so the tags stand in the text between the RTF of the body. Done in place (the text
// only shrinks): what is kept moves to the front of the buffer, which is then cut to it.
void UnwrapTagGroups(ByteString& buffer, size_t from)
{
    const std::string_view rtf = buffer;
    size_t write = 0;
    auto keep = [&](size_t at, size_t count) {
        if (write != at)
            std::memmove(buffer.data() + write, buffer.data() + at, count);
        write += count;
    };
    bool inTag = false;
    size_t pos = from;
    const size_t n = rtf.size();
    while (pos < n) {
        if (!inTag) {
            size_t at = rtf.find(kHtmlTagGroup, pos);
            if (at == std::string_view::npos) {
                keep(pos, n - pos);
                break;
            }
            keep(pos, at - pos);
            pos = at;
        }
        char c = rtf[pos];
        if (c == '{' && MatchKeyword(rtf, kHtmlTagGroup, true, pos)) {
            inTag = true;
            continue;
        }
        if (inTag && c == '}') {
            inTag = false;
            ++pos;
            continue;
        }
        if (inTag && c == '\\' && pos + 1 < n && (rtf[pos + 1] == '}' || rtf[pos + 1] == '{' || rtf[pos + 1] == '\\')) {
            // An escaped brace or backslash inside a tag (CSS rules, script) is text, not the end of the group.
            keep(pos, 2);
            pos += 2;
            continue;
        }
        keep(pos, 1);
        ++pos;
    }
    buffer.resize(write);
}

enum class TAction : uint8_t {
    SkipGroup, // the whole group the word opens (a table, a destination the HTML does not have)
    HtmlRtf, // \htmlrtf: the start (or with 0 the end) of RTF that the HTML does not have
    Font, // \fN: the font, whose charset the text that follows is in
    Plain, // \plain: back to the default font
    Drop, // the word goes
    DropField, // the word and everything up to the next "\htmlrtf"
    DropGroup, // the word, and the rest of its group when it opens one
    Replace, // the word becomes fixed text
    Unicode, // \uN
    UnicodeSkip, // \ucN
    Binary, // \binN: N bytes of data follow
};

struct TRule {
    std::string_view Word; // the control word's letters, matched whole
    TAction Action;
    std::string_view Replacement = {};
};

constexpr TRule kRules[] = {
    { "htmlrtf", TAction::HtmlRtf },
    { "field", TAction::DropField },
    { "f", TAction::Font },
    { "lang", TAction::Drop },
    { "pard", TAction::Replace, "\r\n" },
    { "par", TAction::Replace, "\r\n" },
    { "tab", TAction::Replace, "\t" },
    { "bullet", TAction::Replace, "\xE2\x80\xA2" },
    { "line", TAction::Drop },
    { "b", TAction::Drop },
    { "qc", TAction::Drop },
    { "qj", TAction::Drop },
    { "uldb", TAction::Drop },
    { "ul", TAction::Drop },
    { "ulnone", TAction::Drop },
    { "viewkind", TAction::Drop },
    { "highlight", TAction::Drop },
    { "fs", TAction::Drop },
    { "plain", TAction::Plain },
    { "cf", TAction::Drop },
    { "shp", TAction::Drop },
    { "sp", TAction::Drop },
    { "sn", TAction::DropGroup },
    { "sv", TAction::DropGroup },
    { "li", TAction::DropGroup },
    { "fi", TAction::DropGroup },
    { "chbrdr", TAction::DropGroup },
    { "listtext", TAction::DropGroup },
    { "u", TAction::Unicode },
    { "uc", TAction::UnicodeSkip },
    { "bin", TAction::Binary },
    { "fonttbl", TAction::SkipGroup },
    { "colortbl", TAction::SkipGroup },
};

// Destinations written "\*\word": the word, or its group. Every other one that opens a group is skipped whole, as
// every RTF reader skips a destination it does not know ("\*\fldinst", "\*\mhtmltag", ...).
constexpr TRule kStarRules[] = {
    { "background", TAction::Drop },
    { "shpinst", TAction::Drop },
    { "bkmkstart", TAction::DropGroup },
    { "bkmkend", TAction::DropGroup },
    { "pn", TAction::DropGroup },
};

using TControlWord = TRtfControlWord<char>;

const TRule* FindRule(std::string_view name, const TRule* first, const TRule* last)
{
    for (const TRule* rule = first; rule != last; ++rule)
        if (rule->Word == name)
            return rule;
    return nullptr;
}

// After a group word: when the word opens its group (follows "{" at `start`), the rest of the group's line.
size_t GroupWordEnd(std::string_view text, size_t start, size_t end)
{
    if (start == 0 || text[start - 1] != '{')
        return end;
    size_t p = end;
    while (p < text.size() && text[p] != '\r' && text[p] != '\n' && text[p] != '}') {
        const size_t binary = text[p] == '\\' ? BinaryAt(text, p) : 0;
        p = binary != 0 ? binary : p + (text[p] == '\\' ? 2 : 1);
    }
    return std::min(p, text.size());
}

// The "}" that closes the group whose "{" is just before `start` (or the end of the text): escaped braces and
// "\binN" data close nothing.
size_t GroupClose(std::string_view text, size_t start)
{
    size_t depth = 1;
    for (size_t p = start; p < text.size();) {
        const char c = text[p];
        if (c == '\\') {
            const size_t binary = BinaryAt(text, p);
            p = binary != 0 ? binary : p + 2;
        } else if (c == '{') {
            ++depth;
            ++p;
        } else if (c == '}') {
            if (--depth == 0)
                return p;
            ++p;
        } else {
            ++p;
        }
    }
    return text.size();
}

// Characters the plain-text scan stops at.
constexpr std::array<bool, 256> kSpecial = [] {
    std::array<bool, 256> t {};
    t['\\'] = t['{'] = t['}'] = true;
    for (size_t b = 0x80; b < 256; ++b)
        t[b] = true;
    return t;
}();

// Pass 2: the control words of the intermediate text applied or dropped. Text between "\htmlrtf" and
// "\htmlrtf0" is the RTF rendering of something the HTML already holds in a tag group ("&rsquo;" beside "\'92",
// an image's alternative text): it is left out, or the HTML would show it twice.
class TBodyWriter {
public:
    TBodyWriter(std::string_view text, int32_t codePage, TFontCodePages fonts)
        : text_(text)
        , codePage_(codePage)
        , fonts_(std::move(fonts))
    {
        base_.Font = fonts_.DefaultFont;
        out_.reserve(text.size());
    }

    ByteString Run()
    {
        const size_t n = text_.size();
        while (pos_ < n) {
            if (State().RtfOnly) {
                SkipRtfOnly();
                continue;
            }
            size_t plain = pos_;
            while (plain < n && !kSpecial[static_cast<unsigned char>(text_[plain])])
                ++plain;
            if (plain > pos_) {
                Emit(text_.substr(pos_, plain - pos_));
                pos_ = plain;
                continue;
            }
            if (Brace())
                continue;
            auto c = static_cast<unsigned char>(text_[pos_]);
            if (c >= 0x80) {
                // Raw 8-bit text: bytes of the font's code page like the escaped ones.
                PushByte(static_cast<char>(c));
                ++pos_;
            } else {
                ControlWord();
            }
        }
        Flush();
        return std::move(out_);
    }

private:
    void ControlWord()
    {
        const char second = pos_ + 1 < text_.size() ? text_[pos_ + 1] : '\0';
        if (IsLetter(second)) {
            TControlWord word = ReadRtfControlWord(text_, pos_);
            if (const TRule* rule = FindRule(word.Name, std::begin(kRules), std::end(kRules)))
                if (ApplyRule(*rule, word, pos_))
                    return;
        } else if (second == '{' || second == '}' || second == '\\') {
            Emit(text_.substr(pos_ + 1, 1));
            pos_ += 2;
            return;
        } else if (second == '~') {
            pos_ += 2;
            return;
        } else if (second == '\'') {
            if (HexByte())
                return;
        } else if (second == '*' && pos_ + 3 < text_.size() && text_[pos_ + 2] == '\\' && IsLetter(text_[pos_ + 3])) {
            TControlWord word = ReadRtfControlWord(text_, pos_ + 2);
            if (const TRule* rule = FindRule(word.Name, std::begin(kStarRules), std::end(kStarRules))) {
                if (ApplyRule(*rule, word, pos_))
                    return;
            } else if (pos_ > 0 && text_[pos_ - 1] == '{') {
                pos_ = GroupClose(text_, pos_);
                return;
            }
        }
        // Any other control word stays in the text as it is.
        if (IsLetter(second)) {
            size_t end = ReadRtfControlWord(text_, pos_).End;
            Emit(text_.substr(pos_, end - pos_));
            pos_ = end;
            return;
        }
        Emit(text_.substr(pos_, 1));
        ++pos_;
    }

    // Applies a rule to the control word that starts at `start`; false when the word is not what the rule needs.
    bool ApplyRule(const TRule& rule, const TControlWord& word, size_t start)
    {
        switch (rule.Action) {
        case TAction::HtmlRtf:
            SetRtfOnly(!word.HasParameter || word.Parameter != 0);
            pos_ = word.End;
            return true;
        case TAction::Font:
            if (word.HasParameter)
                MutableState().Font = word.Parameter;
            pos_ = word.End;
            return true;
        case TAction::Plain:
            MutableState().Font = fonts_.DefaultFont;
            pos_ = word.End;
            return true;
        case TAction::Drop:
            pos_ = word.End;
            return true;
        case TAction::DropField:
            pos_ = word.End;
            SkipTo(std::min(text_.find("\\htmlrtf", pos_), text_.size()));
            return true;
        case TAction::DropGroup:
            pos_ = GroupWordEnd(text_, start, word.End);
            return true;
        case TAction::Replace:
            Emit(rule.Replacement);
            pos_ = word.End;
            return true;
        case TAction::Unicode:
            if (!word.HasParameter)
                return false;
            UnicodeEscape(word);
            return true;
        case TAction::UnicodeSkip:
            MutableState().FallbackCount
                = static_cast<int>(std::clamp<int64_t>(word.HasParameter ? word.Parameter : 1, 0, kMaxFallbackCount));
            pos_ = word.End;
            return true;
        case TAction::Binary:
            pos_ = BinaryDataEnd(text_, word.End, word.Parameter);
            return true;
        case TAction::SkipGroup:
            if (start == 0 || text_[start - 1] != '{')
                return false;
            pos_ = GroupClose(text_, start);
            return true;
        }
        return false;
    }

    bool HexByte()
    {
        if (pos_ + 3 >= text_.size())
            return false;
        int hi = AsciiHexValue(text_[pos_ + 2]);
        int lo = AsciiHexValue(text_[pos_ + 3]);
        if (hi < 0 || lo < 0)
            return false;
        PushByte(static_cast<char>(hi * 16 + lo));
        pos_ += 4;
        return true;
    }

    // "\u" N: a UTF-16 unit (negative N counts from 65536), followed by as many fallback characters as "\uc"
    // says, which readers that know "\u" skip.
    void UnicodeEscape(const TControlWord& word)
    {
        int64_t value = std::clamp<int64_t>(word.Parameter, -1000000, 1000000);
        if (value < 0 && value >= -32768)
            value += 65536;
        FlushBytes();
        unicode_.push_back(value >= 0 && value <= 0xFFFF ? static_cast<char16_t>(value) : u'\uFFFD');
        size_t p = word.End;
        if (p < text_.size() && text_[p] == ' ')
            ++p; // the delimiter of the control word
        pos_ = SkipFallback(p, CurrentFallbackCount());
    }

    // Past n fallback characters: an escaped byte or a control word counts as one; line breaks do not count;
    // a group boundary ends the fallback early.
    size_t SkipFallback(size_t p, int n) const
    {
        const size_t size = text_.size();
        while (n > 0 && p < size) {
            char c = text_[p];
            if (c == '\r' || c == '\n') {
                ++p;
                continue;
            }
            if (c == '{' || c == '}')
                break;
            if (c == '\\' && p + 1 < size) {
                char k = text_[p + 1];
                if (k == '\'') {
                    p = std::min(p + 4, size);
                } else if ((k >= 'a' && k <= 'z') || (k >= 'A' && k <= 'Z')) {
                    p += 2;
                    while (p < size && ((text_[p] >= 'a' && text_[p] <= 'z') || (text_[p] >= 'A' && text_[p] <= 'Z')))
                        ++p;
                    if (p < size && text_[p] == '-')
                        ++p;
                    while (p < size && IsDigit(text_[p]))
                        ++p;
                    if (p < size && text_[p] == ' ')
                        ++p;
                } else {
                    p += 2;
                }
            } else {
                ++p;
            }
            --n;
        }
        return p;
    }

    int CurrentFallbackCount() const { return State().FallbackCount; }

    // "\htmlrtf" with no number or a number other than 0 starts RTF-only text, "\htmlrtf0" ends it.
    void SetRtfOnly(bool on)
    {
        if (State().RtfOnly != on)
            MutableState().RtfOnly = on;
    }

    // Inside RTF-only text only the group structure and the words that end it or count for later text matter.
    void SkipRtfOnly()
    {
        if (Brace())
            return;
        const size_t n = text_.size();
        char c = text_[pos_];
        if (c == '\\') {
            if (pos_ + 1 < n && IsLetter(text_[pos_ + 1])) {
                TControlWord word = ReadRtfControlWord(text_, pos_);
                if (const TRule* rule = FindRule(word.Name, std::begin(kRules), std::end(kRules)); rule
                    && (rule->Action == TAction::HtmlRtf || rule->Action == TAction::UnicodeSkip
                        || rule->Action == TAction::Binary || rule->Action == TAction::Font
                        || rule->Action == TAction::Plain)) {
                    // A font chosen in RTF-only text stays chosen for the HTML's text after it.
                    ApplyRule(*rule, word, pos_);
                    return;
                }
                pos_ = word.End;
                return;
            }
            // An escaped brace or backslash is no group boundary.
            bool escaped = pos_ + 1 < n && (text_[pos_ + 1] == '{' || text_[pos_ + 1] == '}' || text_[pos_ + 1] == '\\');
            pos_ += escaped ? 2u : 1u;
        } else {
            while (pos_ < n && text_[pos_] != '{' && text_[pos_] != '}' && text_[pos_] != '\\')
                ++pos_;
        }
    }

    // A "{" or "}" at the position: the group entered or left, and passed.
    bool Brace()
    {
        const char c = text_[pos_];
        if (c != '{' && c != '}')
            return false;
        if (c == '{')
            EnterGroup();
        else
            LeaveGroup();
        ++pos_;
        return true;
    }

    // Moves on to a position, keeping track of the groups passed over.
    void SkipTo(size_t to)
    {
        while (pos_ < to) {
            char c = text_[pos_];
            if (c == '\\' && pos_ + 1 < to) {
                const size_t binary = BinaryAt(text_, pos_);
                pos_ = binary != 0 ? binary : pos_ + 2;
                continue;
            }
            if (c == '{')
                EnterGroup();
            else if (c == '}')
                LeaveGroup();
            ++pos_;
        }
    }

    // Group state: what "\uc", "\htmlrtf" and "\f" set lasts to the end of the group they are in.
    struct TGroupState {
        int FallbackCount = 1;
        bool RtfOnly = false;
        int64_t Font = 0;
    };

    TGroupState State() const { return states_.empty() ? base_ : states_.back().second; }

    // The code page of the current font, else the RTF's.
    int32_t CurrentCodePage() const
    {
        auto it = fonts_.ByFont.find(State().Font);
        return it == fonts_.ByFont.end() ? codePage_ : it->second;
    }

    // Bytes wait to be decoded together (a double-byte character may be split by dropped words); a byte in
    // another code page than those waiting first lets them go.
    void PushByte(char byte)
    {
        FlushUnicode();
        const int32_t codePage = CurrentCodePage();
        if (!bytes_.empty() && codePage != bytesCodePage_)
            FlushBytes();
        bytesCodePage_ = codePage;
        bytes_.push_back(byte);
    }

    TGroupState& MutableState()
    {
        if (states_.empty() || states_.back().first != depth_)
            states_.emplace_back(depth_, State());
        return states_.back().second;
    }

    void EnterGroup() { ++depth_; }

    void LeaveGroup()
    {
        if (depth_ > 0)
            --depth_;
        while (!states_.empty() && states_.back().first > depth_)
            states_.pop_back();
    }

    void FlushBytes()
    {
        if (!bytes_.empty()) {
            rtf_html::AppendCodePageBytes(bytes_, bytesCodePage_, out_);
            bytes_.clear();
        }
    }

    void FlushUnicode()
    {
        if (!unicode_.empty()) {
            out_ += WideToUtf8(unicode_); // an unpaired surrogate becomes U+FFFD
            unicode_.clear();
        }
    }

    void Flush()
    {
        FlushBytes();
        FlushUnicode();
    }

    // Escaped bytes and "\u" units wait until other text follows, so that the words the writer drops between
    // them do not split a double-byte character or a surrogate pair.
    void Emit(std::string_view s)
    {
        Flush();
        out_.append(s);
    }

    std::string_view text_;
    int32_t codePage_;
    TFontCodePages fonts_;
    TGroupState base_;
    ByteString out_;
    ByteString bytes_;
    int32_t bytesCodePage_ = 0;
    WideString unicode_;
    size_t pos_ = 0;
    size_t depth_ = 0;
    std::vector<std::pair<size_t, TGroupState>> states_; // group states that differ from the outer ones, by depth
};

} // namespace

bool MatchKeyword(
    std::string_view text, std::string_view keyword, bool skipDigits, size_t& position, bool digitRequired)
{
    if (position > text.size() || text.size() - position < keyword.size())
        return false;
    if (text.compare(position, keyword.size(), keyword) != 0)
        return false;
    size_t p = position + keyword.size();
    if (digitRequired && (p >= text.size() || !IsDigit(text[p])))
        return false;
    if (skipDigits)
        while (p < text.size() && IsDigit(text[p]))
            ++p;
    position = p;
    return true;
}

bool MatchKeywordGroup(std::string_view text, std::string_view keyword, size_t& position)
{
    const size_t start = position;
    if (!MatchKeyword(text, keyword, false, position))
        return false;
    if (start > 0 && text[start - 1] == '{') {
        size_t end = text.find_first_of("\r\n}", position);
        position = end == std::string_view::npos ? text.size() : end;
    }
    return true;
}

namespace {

// Where the first tag group starts, when the RTF encapsulates an HTML document; npos otherwise.
size_t EncapsulatedHtmlStart(std::string_view rtf)
{
    if (rtf.empty() || rtf.find("\\fromhtml") == std::string_view::npos)
        return std::string_view::npos;
    const size_t firstTag = rtf.find(kHtmlTagGroup);
    if (firstTag == std::string_view::npos)
        return std::string_view::npos;
    if (rtf.find("<!DOCTYPE html") == std::string_view::npos && rtf.find("<!DOCTYPE HTML") == std::string_view::npos
        && rtf.find("<html ") == std::string_view::npos && rtf.find("<html>") == std::string_view::npos)
        return std::string_view::npos;
    return firstTag;
}

} // namespace

ByteString ExtractHtmlFromRtf(std::string_view rtf)
{
    if (EncapsulatedHtmlStart(rtf) == std::string_view::npos)
        return {};
    return TakeHtmlFromRtf(ByteString(rtf));
}

ByteString TakeHtmlFromRtf(ByteString&& rtf)
{
    const size_t firstTag = EncapsulatedHtmlStart(rtf);
    if (firstTag == std::string_view::npos)
        return {};
    const int32_t codePage = rtf_html::RtfCodePage(rtf);
    TFontCodePages fonts = rtf_html::ReadFontCodePages(rtf, firstTag);
    ByteString mid = std::move(rtf);
    UnwrapTagGroups(mid, firstTag);
    return TBodyWriter(mid, codePage, std::move(fonts)).Run();
}

} // namespace pelmsg
