// The iCalendar file of a recurring meeting stays in proportion to the message: many changed instances of a
// series with long texts, a long UID or a long free-text zone, and many deleted instances, give a file within a
// small multiple of the message and a warning for what was left out. Sizes are counted, never timed.

#include <gtest/gtest.h>

#include <algorithm>

#include "calendar/calendar.h"
#include "calendar_builder.h"
#include "core/stream.h"
#include "model/message.h"
#include "msg/named_properties.h"
#include "tnef/tnef_reader.h"
#include "tnef_builder.h"

using namespace pelmsg;
using namespace pelmsg::test;

namespace {

// A letter followed by n fill characters (built by appending: GCC 12 warns falsely on "X" + std::string(n, c)).
std::string Marked(char first, size_t n, char fill)
{
    std::string text(1, first);
    text.append(n, fill);
    return text;
}

// The file may be this many times the message, a little above what each changed instance's own lines (its times,
// RECURRENCE-ID, status) take for the 14 to 18 bytes it takes in the record.
constexpr size_t kMaxGrowth = 40;

struct Shape {
    size_t changed = 0, deleted = 0;
    size_t textBytes = 0; // subject, location and organizer's name
    size_t zoneBytes = 0; // the free-text zone description that names the zone
    size_t uidBytes = 0; // a UID embedded in the global object id
    size_t descriptionBytes = 0;
};

std::string Message(const Shape& shape)
{
    RecurrenceRecord r = DailyWithChangedInstances(static_cast<uint32_t>(shape.changed));
    r.Deleted = r.Modified;
    for (size_t i = 0; i < shape.deleted; ++i)
        r.Deleted.push_back(MinutesOf(2000, 1, 1) + 1440 * static_cast<uint32_t>(shape.changed + 2 * i));
    TnefPropList p;
    p.String8(0x0037, Marked('S', shape.textBytes, 's'));
    p.String8(0x0042, Marked('O', shape.textBytes, 'o'));
    p.String8(0x0065, "organizer@example.com");
    p.String8(0x0064, "SMTP");
    if (shape.descriptionBytes)
        p.String8(0x1000, std::string(shape.descriptionBytes, 'd'));
    uint16_t named = 0x8100;
    auto add = [&](const TPropertySetId& set, uint32_t lid, uint16_t type, const std::string& value) {
        p.Raw(static_cast<uint32_t>(named++) << 16 | type, NamedNumber(set, lid) + value);
    };
    add(kPsetidAppointment, 0x8208, 0x001E, TnefString8(Marked('L', shape.textBytes, 'l')));
    add(kPsetidAppointment, 0x8216, 0x0102, TnefBinary(r.Encode()));
    add(kPsetidAppointment, 0x8233, 0x0102, TnefBinary(TimeZoneStructBytes(TokyoRule())));
    if (shape.zoneBytes)
        add(kPsetidAppointment, 0x8234, 0x001E, TnefString8(Marked('Z', shape.zoneBytes, 'z')));
    if (shape.uidBytes) {
        std::string goid = std::string("\x04\x00\x00\x00\x82\x00\xE0\x00\x74\xC5\xB7\x10\x1A\x82\xE0\x08", 16)
            + std::string(4, '\0') + std::string(8, '\x11') + std::string(8, '\0') + LE32(16)
            + std::string("vCal-Uid\x01\x00\x00\x00", 12) + std::string(shape.uidBytes, 'u') + '\0';
        add(kPsetidMeeting, 0x0023, 0x0102, TnefBinary(goid));
    }
    return TnefBuilder().Version().MessageClass("IPM.Schedule.Meeting.Request").MapiProps(p).Bytes();
}

std::string Unfolded(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size(); ++at) {
        if (text.compare(at, 3, "\r\n ") == 0)
            at += 2;
        else
            out += text[at];
    }
    return out;
}

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size())
        ++n;
    return n;
}

bool AnyWarningHas(const std::vector<std::string>& warnings, const std::string& what)
{
    return std::any_of(
        warnings.begin(), warnings.end(), [&](const std::string& w) { return w.find(what) != std::string::npos; });
}

TEST(ICalendarBounds, HostileShapesGiveAFileInProportionWithAWarning)
{
    struct Case {
        const char* what;
        Shape shape;
        const char* warning; // a part of the warning; none when nothing is left out
        size_t events; // VEVENTs written
    } cases[] = {
        // Subject, location, organizer and zone id of 1,000 bytes each, repeated by 10,000 changed instances.
        { "long texts repeated", { 10000, 0, 1000, 1000, 0 }, "do not repeat the series' subject", 10001 },
        // A UID of 20,000 bytes, which every instance must carry: only as many instances as the budget holds.
        { "long UID", { 2000, 0, 10, 0, 20000 }, "changed instances were left out", 1 + 52 },
        // 50,000 deleted instances of a zone named by 2,000 bytes of description.
        { "many deleted instances", { 0, 50000, 10, 2000, 0 }, nullptr, 1 },
        // A few changed instances of a plain meeting repeat everything.
        { "plain", { 20, 20, 40, 40, 0 }, nullptr, 21 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string tnef = Message(c.shape);
        TPelTNEFFile message;
        TSpanStream stream(tnef);
        message.LoadFromStream(stream);
        std::vector<std::string> warnings;
        const std::string ics = ICalendarText(message.Properties(), &warnings);
        EXPECT_LE(ics.size(), kMaxGrowth * tnef.size()) << tnef.size();
        EXPECT_LE(ics.size(), kMaxICalendarRepeatedBytes + 400 * (c.shape.changed + 1) + 4 * tnef.size());
        if (c.warning)
            EXPECT_TRUE(AnyWarningHas(warnings, c.warning)) << (warnings.empty() ? "" : warnings.front());
        else
            EXPECT_TRUE(warnings.empty()) << warnings.front();
        const std::string text = Unfolded(ics);
        EXPECT_EQ(Count(text, "BEGIN:VEVENT"), c.events);
        // The zone id is cut, the same in every place it is written.
        const size_t at = text.find("\r\nTZID:");
        ASSERT_NE(at, std::string::npos);
        const std::string id = text.substr(at + 7, text.find("\r\n", at + 7) - at - 7);
        EXPECT_LE(id.size(), kMaxICalendarZoneIdBytes);
        EXPECT_EQ(Count(text, ";TZID=" + id + ":") + Count(text, ";TZID=\"" + id + "\":"), Count(text, ";TZID="));
        // Deleted dates go many to a line.
        const size_t deletions = c.shape.deleted;
        EXPECT_EQ(Count(text, "\r\nEXDATE"), (deletions + kICalendarExdatesPerLine - 1) / kICalendarExdatesPerLine);
    }
}

TEST(ICalendarBounds, TheRepeatedDetailsBudgetAtItsEdge)
{
    // A description of 100,000 bytes: ten changed instances repeat it within the least budget every series has
    // (with their UID, zone id, subject and organizer), eleven would not and leave it out.
    for (size_t changed : { size_t { 10 }, size_t { 11 } }) {
        SCOPED_TRACE(changed);
        Shape shape;
        shape.changed = changed;
        shape.textBytes = 10;
        shape.descriptionBytes = 100000;
        static_assert(kMinICalendarRepeatedBytes / 100000 == 10);
        std::string tnef = Message(shape);
        TPelTNEFFile message;
        TSpanStream stream(tnef);
        message.LoadFromStream(stream);
        std::vector<std::string> warnings;
        const std::string text = Unfolded(ICalendarText(message.Properties(), &warnings));
        const bool repeats = changed == 10;
        EXPECT_EQ(Count(text, "\r\nDESCRIPTION:"), repeats ? changed + 1 : 1);
        EXPECT_EQ(AnyWarningHas(warnings, "do not repeat the series' description"), !repeats);
        // The subject is repeated either way.
        EXPECT_EQ(Count(text, "\r\nSUMMARY:Sssssssssss\r\n"), changed + 1);
    }
}

} // namespace
