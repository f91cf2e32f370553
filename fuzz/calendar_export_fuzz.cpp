// Loads arbitrary bytes as a TNEF stream and writes what the calendar writers make of it: the item kind, the
// header summary, the iCalendar text of an event or task and the vCard of a contact (the message classes of
// damaged input still steer into every writer).

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
    } catch (const pelmsg::EPelMsgError&) {
    }
    return 0;
}
