#pragma once

// Mailboxes: the mbox file (mails after "From " lines) read and written one mail at a time, and Maildir folders.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pelmsg {

class TStream;

// Reads an mbox one mail at a time: memory holds the mail being read, never the mailbox. A mail starts at a line
// beginning "From " at the start of the file or after an empty line; the empty line before it belongs to the
// separator. Lines of the mail quoted as ">From ", ">>From ", ... lose one ">" (mboxrd; mboxo's ">From " reads
// the same way).
class TMboxReader {
public:
    // A mail longer than this raises EFormatError.
    static constexpr size_t kMaxMailBytes = size_t { 512 } * 1024 * 1024;

    explicit TMboxReader(TStream& stream);
    // The next mail: its "From " line (without line ending) and its bytes. False at the end of the mailbox.
    // Bytes before the first "From " line (a file that is no mbox) make a mail with an empty From line; empty
    // lines there are skipped.
    bool Next(std::string& fromLine, std::string& mail);
    // Lines looked at so far (work counter for tests).
    size_t LinesRead() const { return linesRead_; }

private:
    bool ReadLine(std::string& line);

    TStream& stream_;
    std::string buffer_;
    size_t bufferPos_ = 0;
    bool end_ = false;
    std::string pending_; // a "From " line read ahead, the start of the next mail
    bool havePending_ = false;
    bool started_ = false;
    size_t linesRead_ = 0;
};

// Writes a mail into an mbox: its "From " line (a made-up one when empty), the mail with lines that start with
// "From " (after any ">") quoted by one more ">", a line ending after the last line if it has none, and an empty
// line, all in the line ending of the mail's first line.
void WriteMboxMail(TStream& stream, const std::string& fromLine, std::string_view mail);

// The mails of a Maildir folder (its cur/ and new/ subfolders), as paths relative to the folder ("cur/NAME"),
// in name order. Raises EFileError when the folder is no Maildir.
std::vector<std::string> ListMaildir(const std::string& folder);

// Creates a Maildir folder (with tmp/, new/ and cur/) when it does not exist. Raises EFileError.
void MakeMaildir(const std::string& folder);

// Writes a mail into a Maildir folder under the relative path ("cur/NAME" or "new/NAME"): through tmp/ and a
// rename, so a reader never sees half a mail. An existing mail of that name is not replaced (EFileError).
void WriteMaildirMail(const std::string& folder, const std::string& relativePath, std::string_view mail);

} // namespace pelmsg
