#pragma once

// Mail files (.eml, and mbox files of many mails) opened for the TNEF message they carry.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/message.h"
#include "tnef/tnef_reader.h"

namespace pelmsg {

// One TNEF part a mail file holds: which mail (0 for a single mail; its place in an mbox), which TNEF part in
// that mail, and what a chooser shows of it.
struct TMailCandidate {
    size_t MailIndex = 0;
    size_t PartIndex = 0;
    // The TNEF message's own subject (SummarizeTnef), else the Subject of the mail it belongs to (UTF-8): what the
    // window shows once the part is opened.
    std::string Subject;
    std::string PartName; // the part's file name ("winmail.dat"), or ""
    // The part's size, decoded; the TNEF message's own sender, else the mail's From (UTF-8), as for the subject.
    size_t Bytes = 0;
    std::string From;
    std::string MessageClass; // the TNEF message's class ("IPM.Schedule.Meeting.Request"), or ""
};

// The most TNEF parts ListTnefCandidates lists (and TPelMailFile opens): an mbox with more lists the first ones.
inline constexpr size_t kMaxTnefCandidates = 10000;

// Whether the file's first bytes are those of a mail (LooksLikeMail). False for a file that cannot be read.
bool IsMailFile(const std::string& fileName);

// A listing run in a worker thread, watched and cancelled from another. ListTnefCandidates sets Total to the file's
// size, and Read to the bytes of the file read so far and Found to the parts found so far after each mail (and each
// few megabytes of a single mail). Once Cancelled is set, the listing stops there and returns the parts found so far.
struct TListControl {
    std::atomic<bool> Cancelled { false };
    std::atomic<int64_t> Read { 0 };
    std::atomic<int64_t> Total { 0 };
    std::atomic<size_t> Found { 0 };
};

// The TNEF parts of every mail in the file, in order (an mbox is read one mail at a time), at most
// kMaxTnefCandidates of them. Each part is decoded once and summarised (SummarizeTnef), its attachments not read.
// With a control, the listing reports its progress there and stops when it is cancelled.
// Raises EFileError when the file cannot be read, EFormatError for an mbox mail over TMboxReader::kMaxMailBytes.
std::vector<TMailCandidate> ListTnefCandidates(const std::string& fileName, TListControl* control = nullptr);

// Reads a mail file (a single mail or an mbox) and shows the message of one of its TNEF parts: by default the
// first; SelectCandidate chooses another before loading. The mail's From, To, Cc, Subject and Date are added
// where the TNEF message has none (as the sender's name, the display To and Cc, the subject and the submit
// time), never in place of the TNEF's own. A mail without a TNEF part raises EFormatError saying so and naming
// what the mail holds (its subject and parts).
class TPelMailFile : public TPelTNEFFile {
public:
    // The n-th of ListTnefCandidates (counting from 0).
    void SelectCandidate(size_t index) { candidate_ = index; }
    // Reads the mail file from the stream (LoadFromFile, inherited, opens the file and comes here).
    void LoadFromStream(TStream& stream) override;
    // The candidates the last load found (every TNEF part of every mail of the file).
    const std::vector<TMailCandidate>& Candidates() const { return candidates_; }

private:
    size_t candidate_ = 0;
    std::vector<TMailCandidate> candidates_;
};

// The fields of the mail that encloses a TNEF message, copied into the message where it has none. Mail is the
// whole mail, message the entity whose header counts (the mail, or the message of a message/rfc822 part).
struct TMimeEntity;
void FillFieldsFromMail(TPelMessage& message, std::string_view mail, const TMimeEntity& enclosing);

} // namespace pelmsg
