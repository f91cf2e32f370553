#include "export/mail_header_text.h"

#include "export/mail_encoding.h"
#include "model/property.h"
#include "text/codepage.h"
#include "text/header_encoding.h"

namespace pelmsg {

namespace {

constexpr const char* kUtf8 = "utf-8";
// A quoted parameter longer than this is left to its RFC 2231 form, which can be folded.
constexpr size_t kLongParameter = 900;
constexpr size_t kLongAsciiParameter = 200;
// Header text with a word (a run without blanks) longer than this cannot be folded into lines mail allows: it is
// written as encoded words, which are cut short.
constexpr size_t kFoldableWord = 900;

} // namespace

ByteString TMailHeaderText::Charset(const ByteString& utf8) const
{
    int32_t codePage = WritableCodePage(charset_);
    if (codePage == 0)
        return kUtf8;
    ByteString converted = codePage == 65001 ? utf8 : WideToCodePage(Utf8ToWide(utf8), codePage);
    return !converted.empty() && Represents(converted, codePage, utf8) ? charset_ : ByteString(kUtf8);
}

ByteString TMailHeaderText::Text(const WideString& text) const
{
    ByteString utf8 = WideToAnsi(HeaderSafe(text));
    if (!IsAscii(utf8))
        return EncodeHeaderText(utf8, Charset(utf8));
    return LongestWord(utf8) <= kFoldableWord ? utf8 : EncodedWords(utf8);
}

ByteString TMailHeaderText::Phrase(WideString name) const
{
    ByteString utf8 = WideToAnsi(name);
    if (IsAscii(utf8) && LongestWord(utf8) <= kFoldableWord) {
        bool quoted = utf8.size() >= 2 && utf8.front() == '"' && utf8.back() == '"'
            && utf8.find_first_of("\"\\", 1) == utf8.size() - 1;
        if (quoted || utf8.find_first_of("()<>[]:;@\\,.\"") == ByteString::npos)
            return utf8;
        return QuotedString(utf8);
    }
    if (name.size() >= 2 && name.front() == u'"' && name.back() == u'"')
        name = name.substr(1, name.size() - 2);
    utf8 = WideToAnsi(name);
    return IsAscii(utf8) ? EncodedWords(utf8) : EncodeHeaderText(utf8, Charset(utf8));
}

ByteString TMailHeaderText::AddressList(const WideString& list) const
{
    ByteString out;
    for (const WideString& entry : ListEntries(HeaderSafe(list))) {
        if (entry.empty())
            continue;
        if (!out.empty())
            out += ", ";
        size_t open = entry.rfind(u" <");
        if (!entry.empty() && entry.back() == u'>' && open != WideString::npos) {
            WideString address = entry.substr(open + 2, entry.size() - open - 3);
            out += Phrase(entry.substr(0, open)) + " <" + Text(address) + ">";
        } else if (entry.find(u'@') != WideString::npos && entry.find(u' ') == WideString::npos) {
            out += Text(entry);
        } else {
            out += Phrase(entry);
        }
    }
    return out;
}

ByteString TMailHeaderText::Parameter(const char* name, const ByteString& utf8) const
{
    ByteString safe = WideToAnsi(HeaderSafe(AnsiToWide(utf8)));
    if (IsAscii(safe)) {
        ByteString quoted = QuotedString(safe);
        if (quoted.size() > kLongAsciiParameter)
            return ExtendedParameter(name, safe);
        return ByteString(name) + "=" + quoted;
    }
    ByteString words = QuotedString(EncodeHeaderText(safe, Charset(safe)));
    ByteString extended = ExtendedParameter(name, safe);
    if (words.size() > kLongParameter)
        return extended;
    return ByteString(name) + "=" + words + "; " + extended;
}

} // namespace pelmsg
