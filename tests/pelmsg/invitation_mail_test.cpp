// Meeting messages and task requests as mail are invitations: Python's email package finds a text/calendar
// alternative whose method matches the message class and whose UID is the one of the item's iCalendar file,
// beside a plain body, with Content-Class, From, To and Date from the message's own properties (never the
// date-time origin), and a .msg sender by its SMTP address rather than an Exchange name.

#include <gtest/gtest.h>

#include <filesystem>

#include "calendar/calendar.h"
#include "calendar_builder.h"
#include "calendar_readers.h"
#include "core/stream.h"
#include "export/eml_writer.h"
#include "message_file.h"
#include "model/message.h"
#include "msg/named_properties.h"
#include "test_support.h"
#include "tnef/tnef_reader.h"
#include "tnef_builder.h"

using namespace pelmsg;
using namespace pelmsg::test;

namespace {

const char* ExpectedMethod(TItemKind kind)
{
    switch (kind) {
    case TItemKind::MeetingRequest:
    case TItemKind::TaskRequest:
        return "REQUEST";
    case TItemKind::MeetingCancellation:
        return "CANCEL";
    case TItemKind::MeetingAccepted:
    case TItemKind::MeetingDeclined:
    case TItemKind::MeetingTentative:
        return "REPLY";
    default:
        return nullptr;
    }
}

std::string Eml(const TMSGProperties& message)
{
    TMemoryStream out;
    WriteEml(message, out);
    return out.TakeBytes();
}

Json InvitationSummary(const std::string& emlBytes)
{
    return ToolSummaryOfBytes("invitation_summary.py", "m.eml", emlBytes);
}

// The message of a corpus file, or nullptr when it does not load.
std::unique_ptr<TPelMessage> LoadedOrNull(const std::string& path)
{
    try {
        std::unique_ptr<TPelMessage> message = CreateMessageForFile(path);
        message->LoadFromFile(path);
        return message;
    } catch (const EPelMsgError&) {
        return nullptr;
    }
}

std::string UidOf(std::string ics)
{
    for (size_t at; (at = ics.find("\r\n ")) != std::string::npos;)
        ics.erase(at, 3);
    const size_t at = ics.find("\r\nUID:");
    return at == std::string::npos ? std::string() : ics.substr(at + 6, ics.find("\r\n", at + 6) - at - 6);
}

// What a mail with an invitation must show, whatever its source.
void CheckInvitation(const TMSGProperties& message, const Json& mail)
{
    const char* method = ExpectedMethod(ItemKindOf(message));
    ASSERT_TRUE(method);
    EXPECT_EQ(mail["content_class"].string, "urn:content-classes:calendarmessage");
    ASSERT_EQ(mail["calendars"].array.size(), 1u);
    const Json& calendar = mail["calendars"].array[0];
    EXPECT_EQ(calendar["method_parameter"].string, method);
    EXPECT_EQ(calendar["method"].string, method);
    EXPECT_EQ(calendar["charset"].string, "utf-8");
    const std::string uid = UidOf(ICalendarText(message));
    ASSERT_FALSE(calendar["uids"].array.empty());
    EXPECT_EQ(calendar["uids"].array[0].string, uid);
    EXPECT_EQ(calendar["kinds"].array[0].string, ItemKindOf(message) == TItemKind::TaskRequest ? "VTODO" : "VEVENT");
    bool plain = false;
    for (const Json& leaf : mail["leaves"].array)
        plain = plain || leaf.string == "text/plain";
    if (!ItemBodyText(message).empty()) {
        EXPECT_TRUE(plain) << "a plain body beside the calendar";
    }
    EXPECT_FALSE(mail["from"].string.empty());
    // A response names the organizer only in the mail around it, when it was sent as TNEF.
    if (std::string_view(method) != "REPLY") {
        EXPECT_FALSE(mail["to"].string.empty());
    }
    EXPECT_FALSE(mail["date"].string.empty());
    EXPECT_EQ(mail["date"].string.find("1899"), std::string::npos) << mail["date"].string;
    EXPECT_TRUE(mail["defects"].array.empty());
}

TEST(InvitationMail, EveryCorpusMeetingMessageAndTaskRequest)
{
    if (!CorpusAvailable() || !CalendarReadersAvailable())
        GTEST_SKIP() << "corpus or python3-icalendar missing";
    int checked = 0;
    for (const char* folder : { "tnef", "msg" }) {
        for (const auto& entry : std::filesystem::directory_iterator(CorpusPath(folder))) {
            const std::string path = entry.path().string();
            SCOPED_TRACE(path);
            const std::unique_ptr<TPelMessage> message = LoadedOrNull(path);
            if (!message || !ExpectedMethod(ItemKindOf(message->Properties())))
                continue;
            CheckInvitation(message->Properties(), InvitationSummary(Eml(message->Properties())));
            ++checked;
        }
    }
    EXPECT_GE(checked, 4) << "the corpus holds two meeting requests, a response and a task request";
}

TEST(InvitationMail, ABuiltRequestCancellationAndResponse)
{
    if (!CalendarReadersAvailable())
        GTEST_SKIP() << "python3-icalendar missing";
    for (const char* cls : { "IPM.Schedule.Meeting.Request", "IPM.Schedule.Meeting.Canceled",
             "IPM.Schedule.Meeting.Resp.Pos", "IPM.Microsoft Schedule.MtgReq" }) {
        SCOPED_TRACE(cls);
        // A plain body, no sender fields (but for the response, which comes from the attendee): the organizer is
        // known by the recipient row flagged so; the date only from the legacy sent-date attribute.
        TnefPropList props, organizer, attendee;
        props.String8(0x0037, "Planning").String8(0x1000, "Agenda: everything.");
        props.Raw(0x8100u << 16 | 0x0040,
            NamedNumber(kPsetidAppointment, 0x820D) + TnefSysTime(FileTimeOf(2015, 1, 28, 8, 0, 0)));
        props.Raw(0x8101u << 16 | 0x0040,
            NamedNumber(kPsetidAppointment, 0x820E) + TnefSysTime(FileTimeOf(2015, 1, 28, 8, 30, 0)));
        props.Raw(0x8102u << 16 | 0x0102,
            NamedNumber(kPsetidMeeting, 0x0023) + TnefBinary(std::string(16, '\x04') + std::string(24, '\0')));
        if (std::string(cls).find("Resp") != std::string::npos)
            props.String8(0x0042, "Ann Attendee").String8(0x0064, "SMTP").String8(0x0065, "ann@example.com");
        organizer.String8(0x3001, "Olga Organizer").String8(0x39FE, "olga@example.com").Long(0x5FFD, 3);
        attendee.String8(0x3001, "Ann Attendee").String8(0x39FE, "ann@example.com").Long(0x0C15, 1);
        const std::string tnef = TnefBuilder()
                                     .Version()
                                     .MessageClass(cls)
                                     .Attribute(1, 0x00038005, std::string("\xDF\x07\x01\x00\x1C\x00\x07\x00\x00\x00\x00\x00\x03\x00", 14))
                                     .MapiProps(props)
                                     .RecipientTable({ organizer, attendee })
                                     .Bytes();
        TPelTNEFFile message;
        TSpanStream stream(tnef);
        message.LoadFromStream(stream);
        const std::string eml = Eml(message.Properties());
        const Json mail = InvitationSummary(eml);
        CheckInvitation(message.Properties(), mail);
        EXPECT_NE(mail["date"].string.find("28 Jan 2015"), std::string::npos) << eml.substr(0, 600);
    }
}

TEST(InvitationMail, AMessageWithoutAnyDateHasNoDateField)
{
    TnefPropList props;
    props.String8(0x0037, "Undated").String8(0x1000, "Text.");
    const std::string tnef = TnefBuilder().Version().MessageClass("IPM.Note").MapiProps(props).Bytes();
    TPelTNEFFile message;
    TSpanStream stream(tnef);
    message.LoadFromStream(stream);
    const std::string eml = Eml(message.Properties());
    EXPECT_EQ(eml.find("\r\nDate:"), std::string::npos) << eml;
    EXPECT_EQ(eml.find("1899"), std::string::npos);
    EXPECT_EQ(eml.find("Content-Class"), std::string::npos) << "a plain mail is no calendar message";
}

TEST(InvitationMail, CorpusMsgSendersAreSmtpAddressesWhenOneIsKnown)
{
    if (!CorpusAvailable())
        GTEST_SKIP() << "corpus missing";
    int checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(CorpusPath("msg"))) {
        const std::string path = entry.path().string();
        SCOPED_TRACE(path);
        const std::unique_ptr<TPelMessage> message = LoadedOrNull(path);
        if (!message)
            continue;
        const TParticipant sender = MessageSender(message->Properties());
        if (sender.Address.find('@') == std::string::npos)
            continue;
        const std::string eml = Eml(message->Properties());
        const size_t from = eml.find("From:");
        ASSERT_NE(from, std::string::npos);
        const std::string field = eml.substr(from, eml.find("\r\nTo:", from) - from);
        EXPECT_EQ(field.find("/O="), std::string::npos) << field;
        EXPECT_EQ(field.find("/o="), std::string::npos) << field;
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

} // namespace
