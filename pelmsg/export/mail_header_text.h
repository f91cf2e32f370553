#pragma once

// The text of a mail's header fields, in the charset the message declares where that holds it, else in UTF-8:
// unstructured text, display names, address lists and parameters, ready to be folded (FoldHeader).

#include <utility>

#include "core/strings.h"

namespace pelmsg {

class TMailHeaderText {
public:
    // charset: the message's charset name ("iso-8859-1"); empty or one that cannot be written means UTF-8.
    explicit TMailHeaderText(ByteString charset)
        : charset_(std::move(charset))
    {
    }

    // Unstructured header text: ASCII as it is, anything else as RFC 2047 encoded words. ASCII with a word too
    // long to fold into a line goes out as encoded words too, which are cut to short lines.
    ByteString Text(const WideString& text) const;
    // A display name: kept as it is when ASCII (quoted when it holds characters an address list gives meaning
    // to), encoded words otherwise, so that the address after it stays readable as an address.
    ByteString Phrase(WideString name) const;
    // A recipient list as the accessors give it ("Name <address>" entries separated by ";") as an address list:
    // entries separated by ", ", as mail readers expect.
    ByteString AddressList(const WideString& list) const;
    // A parameter whose readers must get the exact text back: quoted (RFC 2047 words inside when it is not
    // ASCII) and, for text that is not ASCII, also in its RFC 2231 form. A long value goes out in the RFC 2231
    // form alone, cut into numbered sections, so that no header line grows beyond what mail allows.
    ByteString Parameter(const char* name, const ByteString& utf8) const;

private:
    // The charset header text is encoded in: the message's when it holds the text, else UTF-8.
    ByteString Charset(const ByteString& utf8) const;

    ByteString charset_;
};

} // namespace pelmsg
