#pragma once

// The filter for mail systems and archives (no Qt): mails in, the same mails out with their TNEF parts unwrapped.

#include <chrono>
#include <cstddef>
#include <ostream>
#include <string>

namespace quorra {

struct TFilterOptions {
    // Worker threads for mailboxes; 0: one per processor.
    unsigned Threads = 0;
    // How long one mail may take; past it the mail goes out as it came.
    std::chrono::milliseconds TimeLimit { 60000 };
    // An mbox is read in stretches of about this many bytes, each split into its mails and unwrapped by a worker.
    size_t MboxStretchBytes = size_t { 1 } << 20;
    // An mbox mail longer than this goes out as it came, without being held whole.
    size_t MaxMailBytes = size_t { 512 } * 1024 * 1024;
};

// Reads one mail from the input descriptor and writes it to the output descriptor: unwrapped when it has TNEF
// parts that can be unwrapped, otherwise byte for byte as it came, the reason on `errors` (a mail without TNEF
// parts goes through without a word). Whatever goes wrong with the mail (damage, a limit, memory, the time limit)
// the mail goes out and the status is 0: a filter never loses or holds back mail. Only when the output cannot be
// written is the status 75 (EX_TEMPFAIL: the mail system keeps the mail and tries again).
int FilterMail(int input, int output, std::ostream& errors, const TFilterOptions& options = {});

// Where the filter says its reasons: standard error, unless that is the very file or pipe the mail goes out on
// (Exim's transport_filter gives the filter one pipe for both), where a reason would become the first line of the
// mail; then the system log (facility mail, "quorra"), a line per reason.
std::ostream& FilterErrorStream(int output);

// The same for an archive: an mbox (a file, or a pipe such as /dev/stdin, read front to back) into an mbox file, or
// a Maildir folder into a Maildir folder (mails of cur/ and new/ keep their names and places). Mails are unwrapped
// in parallel by worker threads; a few stretches of the mbox are in memory, and an mbox mail over MaxMailBytes goes
// out as it came without being held whole. Prints what was done on `errors`. Returns 0 when every mail was written
// (each one unwrapped or as it came), 1 when the input cannot be read or the output cannot be written.
int FilterMailbox(const std::string& input, const std::string& output, std::ostream& errors,
    const TFilterOptions& options = {});

} // namespace quorra
