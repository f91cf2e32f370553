#pragma once

// Reading Internet mail (RFC 5322, MIME: RFC 2045-2049) into a tree of entities that know their byte ranges.
//
// Why our own reader rather than a mail library (GMime, mimetic): the library depends on the standard library and
// ICU alone, and rewriting a mail here is a minimal edit: the bytes of the TNEF parts are replaced and every other
// byte (header fields, other parts, preamble and epilogue, line endings) stays as it was. That needs the exact
// byte range of every field, part, preamble and epilogue, which mail libraries parse away (they hand back a tree to
// be written out again). The reader is lenient as mail programs are: LF or CR LF line endings, a delimiter line
// with blanks before or after it, a missing closing delimiter, 8-bit bytes in header fields, a made-up charset.
// It runs in one pass over the lines (each line is looked up once among the open boundaries, by hash), so its time
// is linear in the mail; it never sizes an allocation from a number found in the mail. Whatever goes past a named
// limit below is kept as plain bytes of the entity around it and recorded as a reached limit.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "mime/mime_entity.h"

namespace pelmsg {

struct TMimeLimits {
    // Entities inside entities (multiparts and message/rfc822): a deeper one is read as an opaque leaf.
    int MaxDepth = 64;
    // Entities in the whole mail; further parts are skipped over (their bytes stay with the multipart).
    size_t MaxEntities = 10000;
    // Bytes of one entity's header section; fields past it are not read.
    size_t MaxHeaderBytes = 1024 * 1024;
    // Fields of one entity's header section.
    size_t MaxFields = 2000;
};

struct TMimeDocument {
    TMimeEntity Root;
    // The line ending the mail's first line uses ("\r\n" or "\n"): what an edit inserts uses it too.
    std::string LineEnding = "\r\n";
    // Each limit the mail went past, said in words; empty when none was reached.
    std::vector<std::string> LimitsReached;
    // How many lines were looked at (work counter for tests of linear time).
    size_t LinesRead = 0;
    size_t EntityCount = 0;
};

// Reads a whole mail. An mbox "From " line at the start is taken as part of the header section (not a field).
// Raises nothing for malformed mail: it reads what is there.
TMimeDocument ReadMime(std::string_view mail, const TMimeLimits& limits = {});

// Whether the bytes look like the start of a mail: an mbox "From " line, or a first line that is a header field
// ("Name: value" with a name of printable ASCII), followed by further field or continuation lines.
bool LooksLikeMail(std::string_view head);

} // namespace pelmsg
