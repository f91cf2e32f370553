#pragma once

// What a message header shows for a calendar item, contact or task, and which calendar format it can be saved
// in: the functions the window calls.

#include <string>

#include "calendar/item_kind.h"
#include "model/property.h"

namespace pelmsg {

struct TItemSummary {
    TItemKind Kind = TItemKind::Message;
    // For an event: when it takes place, in the user's time zone and locale ("Monday, December 23, 2013
    // 12:00 PM – 12:30 PM"; a recurring one as the item describes its recurrence, with its time zone), and where.
    WideString When;
    WideString Where;
    // The calendar format the message can be saved in: "ics" (iCalendar), "vcf" (vCard), or empty.
    std::string SaveFormat;
    // For a task: its due date in the user's locale (empty when it has none); its status (0 not started,
    // 1 in progress, 2 complete, 3 waiting on someone else, 4 deferred; -1 when it has none) and its percent
    // complete (0 to 100; -1 when it has none).
    WideString Due;
    int TaskStatus = -1;
    int PercentComplete = -1;
};

// The summary of a message. Never raises: what cannot be read stays empty.
TItemSummary SummarizeItem(const TMSGProperties& message);

// The wall-clock span of an event in the user's locale: the full date and short times ("Monday, December 23,
// 2013 12:00 PM – 12:30 PM"), a second full date when it ends on another day; dates alone for all-day events,
// whose end date is exclusive. Start and end are date-times of the property model (days since 1899-12-30).
WideString FormatEventSpan(double start, double end, bool allDay);

} // namespace pelmsg
