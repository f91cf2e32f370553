// Loads arbitrary bytes as a TNEF stream and writes what the calendar writers make of it: the item kind, the
// header summary, the iCalendar text of an event, task or journal entry, the vCard (4.0 and 3.0) of a contact or
// distribution list, and the mail of a meeting message or task request with its calendar part (the message
// classes of damaged input still steer into every writer).

#include <cstddef>
#include <cstdint>

#include "pelmsg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    pelmsg::TPelTNEFFile file;
    pelmsg::TSpanStream stream(data, size);
    try {
        file.LoadFromStream(stream);
    } catch (const pelmsg::EPelMsgError&) {
    }
    const pelmsg::TMSGProperties& p = file.Properties();
    (void)pelmsg::SummarizeItem(p);
    try {
        std::vector<std::string> warnings;
        (void)pelmsg::ICalendarText(p, &warnings);
    } catch (const pelmsg::EPelMsgError&) {
    }
    try {
        (void)pelmsg::VCardText(p);
        (void)pelmsg::VCardText(p, pelmsg::TVCardOptions { 3 });
    } catch (const pelmsg::EPelMsgError&) {
    }
    if (pelmsg::ICalendarItem(p)) {
        pelmsg::TMemoryStream mail;
        try {
            pelmsg::WriteEml(p, mail);
        } catch (const pelmsg::EPelMsgError&) {
        }
    }
    return 0;
}
