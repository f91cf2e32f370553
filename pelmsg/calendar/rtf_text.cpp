#include "calendar/rtf_text.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "rtf/rtf_syntax.h"
#include "text/ascii_case.h"
#include "text/codepage.h"

namespace pelmsg {

namespace {

struct TGroupState {
    bool Skip = false;
    int UnicodeSkip = 1; // characters that stand in for each "\u" character
};

// Destinations whose text is not part of the document's text.
bool IsSkippedDestination(std::string_view word)
{
    static constexpr std::string_view kSkipped[] = { "fonttbl", "colortbl", "stylesheet", "info", "pict", "object",
        "header", "headerl", "headerr", "headerf", "footer", "footerl", "footerr", "footerf", "footnote", "fldinst",
        "listtable", "listoverridetable", "revtbl", "rsidtbl", "filetbl", "themedata", "colorschememapping",
        "latentstyles", "datastore", "xmlnstbl", "generator", "pgdsctbl", "userprops", "nonshppict", "shppict", "xe",
        "tc", "bkmkstart", "bkmkend", "mmathPr" };
    for (std::string_view s : kSkipped)
        if (word == s)
            return true;
    return false;
}

class TRtfText {
public:
    TRtfText(std::string_view rtf, int32_t codePage)
        : rtf_(rtf)
        , codePage_(codePage)
    {
    }

    WideString Run()
    {
        while (at_ < rtf_.size()) {
            const char c = rtf_[at_];
            if (c == '{') {
                ++at_;
                stack_.push_back(state_);
            } else if (c == '}') {
                ++at_;
                if (!stack_.empty()) {
                    state_ = stack_.back();
                    stack_.pop_back();
                }
            } else if (c == '\\') {
                ++at_;
                ControlWord();
            } else if (c == '\r' || c == '\n') {
                ++at_;
            } else {
                ++at_;
                Byte(static_cast<unsigned char>(c));
            }
        }
        Flush();
        return std::move(out_);
    }

private:
    void Byte(unsigned char b)
    {
        if (pendingSkip_ > 0) {
            --pendingSkip_;
            return;
        }
        if (!state_.Skip)
            bytes_ += static_cast<char>(b);
    }

    void Flush()
    {
        if (!bytes_.empty()) {
            out_ += CodePageToWide(bytes_, codePage_);
            bytes_.clear();
        }
    }

    void Text(std::u16string_view text)
    {
        pendingSkip_ = 0;
        if (state_.Skip)
            return;
        Flush();
        out_ += text;
    }

    void ControlWord()
    {
        const TRtfEscape<char> escape = ReadRtfEscape(rtf_, at_ - 1);
        at_ = escape.End;
        if (!escape.Word.Name.empty())
            Keyword(escape.Word.Name, escape.Word.HasParameter, escape.Word.Parameter);
        else if (escape.Symbol != 0)
            ControlSymbol(escape.Symbol);
    }

    void ControlSymbol(char c)
    {
        switch (c) {
        case '\\':
        case '{':
        case '}':
            Byte(static_cast<unsigned char>(c));
            break;
        case '~':
            Text(u"\u00A0");
            break;
        case '_':
            Text(u"-");
            break;
        case '*':
            state_.Skip = true;
            break;
        case '\'':
            if (at_ + 1 < rtf_.size() && AsciiHexValue(rtf_[at_]) >= 0 && AsciiHexValue(rtf_[at_ + 1]) >= 0) {
                Byte(static_cast<unsigned char>(AsciiHexValue(rtf_[at_]) * 16 + AsciiHexValue(rtf_[at_ + 1])));
                at_ += 2;
            }
            break;
        case '\r':
        case '\n':
            Text(u"\n"); // a backslash before a line break is a paragraph break
            break;
        default:
            break; // "\-", "\|", "\:" and the like show nothing
        }
    }

    void Keyword(std::string_view word, bool hasParameter, int64_t parameter)
    {
        if (word == "par" || word == "line" || word == "sect" || word == "page" || word == "row")
            Text(u"\n");
        else if (word == "tab" || word == "cell")
            Text(u"\t");
        else if (const char16_t symbol = RtfSymbolCharacter(word); symbol != 0)
            Text(std::u16string_view(&symbol, 1));
        else if (word == "u" && hasParameter) {
            // A signed 16-bit unit; anything else names no character but still has its replacement.
            if (parameter >= -32768 && parameter <= 65535) {
                const auto unit
                    = static_cast<char16_t>(static_cast<uint16_t>(parameter < 0 ? parameter + 65536 : parameter));
                Text(std::u16string_view(&unit, 1));
            }
            pendingSkip_ = state_.UnicodeSkip;
        } else if (word == "uc" && hasParameter)
            state_.UnicodeSkip = parameter < 0 ? 0 : static_cast<int>(std::min<int64_t>(parameter, 16));
        else if (word == "ansicpg" && hasParameter && parameter > 0 && parameter < 65536) {
            Flush();
            codePage_ = static_cast<int32_t>(parameter);
        } else if (word == "bin" && hasParameter && parameter > 0) {
            at_ += std::min<size_t>(static_cast<size_t>(parameter), rtf_.size() - at_);
        } else if (IsSkippedDestination(word)) {
            state_.Skip = true;
        }
    }

    std::string_view rtf_;
    int32_t codePage_;
    size_t at_ = 0;
    TGroupState state_;
    std::vector<TGroupState> stack_;
    int pendingSkip_ = 0;
    ByteString bytes_;
    WideString out_;
};

} // namespace

WideString PlainTextFromRtf(std::string_view rtf, int32_t defaultCodePage)
{
    return TRtfText(rtf, defaultCodePage).Run();
}

} // namespace pelmsg
