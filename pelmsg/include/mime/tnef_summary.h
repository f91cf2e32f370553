#pragma once

// What a list of TNEF parts shows of each one before it is opened: the message's own subject, sender and class,
// read from the message attributes alone (attachments and bodies are passed over, not decoded).

#include <cstddef>
#include <string>
#include <string_view>

namespace pelmsg {

// The summary of one TNEF stream; a field the stream does not carry (or that damage hides) is empty.
struct TTnefSummary {
    std::string Subject; // the subject, UTF-8, as the message shows it once opened (TPelMessage::Subject)
    std::string From; // the sender, "Name <address>" or either alone, UTF-8 (TPelMessage::From)
    std::string MessageClass; // "IPM.Note", "IPM.Schedule.Meeting.Request", ... (ItemMessageClass)
    // Whether every message attribute was read: none damaged or cut short, no limit reached. A complete summary of
    // a stream the TNEF reader reads without a warning holds what the opened message shows (its sender aside when
    // the message names the sender only by a name that a recipient row resolves to an address).
    bool Complete = false;
};

// The bounds of one summary: its work and memory are the same for a stream of any size or shape.
struct TTnefSummaryLimits {
    static constexpr size_t kMaxAttributes = 256; // message attributes looked at
    static constexpr size_t kMaxValues = 8192; // MAPI properties and their values looked at, all together
    static constexpr size_t kMaxTextBytes = 4096; // bytes kept of one text value (longer ones are cut)
};

// Reads the summary of a TNEF stream: its message attributes up to the first attachment attribute (the legacy
// subject and class, the MAPI properties among them), keeping only the values the summary needs and skipping the
// rest by their lengths. Never raises for damaged or hostile input: what was read before the damage stands.
TTnefSummary SummarizeTnef(std::string_view tnef);

} // namespace pelmsg
