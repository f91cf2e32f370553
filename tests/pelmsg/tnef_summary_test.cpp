// The summary a list of TNEF parts shows: it agrees with the full reader on real files, shows what damage leaves,
// stops at its limits, and the mail-file candidates take the TNEF's own fields before the mail's.

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "calendar/item_kind.h"
#include "core/stream.h"
#include "mail_builder.h"
#include "mime/mail_file.h"
#include "mime/mbox.h"
#include "mime/tnef_summary.h"
#include "model/message.h"
#include "model/tags.h"
#include "test_support.h"
#include "tnef/tnef_reader.h"
#include "tnef_builder.h"

using namespace pelmsg;
using namespace pelmsg::test;

namespace {

using Limits = TTnefSummaryLimits;

std::string TempPath(const std::string& name)
{
    return (std::filesystem::temp_directory_path() / (std::to_string(::getpid()) + name)).string();
}

} // namespace

TEST(TnefSummary, AgreesWithTheReaderOnTheCorpus)
{
    if (!CorpusAvailable())
        GTEST_SKIP() << "no corpus";
    size_t compared = 0, subjects = 0;
    for (const auto& entry : std::filesystem::directory_iterator(CorpusPath("tnef"))) {
        const std::string bytes = ReadFileBytes(entry.path().string());
        const TTnefSummary summary = SummarizeTnef(bytes);
        TPelTNEFFile full;
        try {
            TSpanStream stream(bytes);
            full.LoadFromStream(stream);
        } catch (const EPelMsgError&) {
            continue;
        }
        if (!summary.Complete || !full.Warnings().empty())
            continue;
        SCOPED_TRACE(entry.path().filename().string());
        ++compared;
        subjects += !summary.Subject.empty();
        EXPECT_EQ(summary.Subject, U8(full.Subject()));
        EXPECT_EQ(summary.From, U8(full.From()));
        EXPECT_EQ(summary.MessageClass, ItemMessageClass(full.Properties()));
    }
    EXPECT_GT(compared, 25u);
    EXPECT_GT(subjects, 10u);
    // What the tnef tool lists of two of them.
    EXPECT_EQ(SummarizeTnef(ReadFileBytes(CorpusPath("tnef/verdammelt-tnef__MAPI_OBJECT.tnef"))).Subject,
        "OCTOBER DISCOUNTED PRICE LIST");
    EXPECT_EQ(SummarizeTnef(ReadFileBytes(CorpusPath("tnef/horde-compress__TnefMeetingRequest.tnef"))).MessageClass,
        "IPM.Schedule.Meeting.Request");
}

// Damage ends the attribute it is in; what came before it, and the attributes after it, still count.
TEST(TnefSummary, DamagedStreamShowsWhatCanBeRead)
{
    TnefPropList props; // a named property of an unknown kind, between two properties
    props.String8(kIdSentRepresentingName, "Ann Lee").Raw(MakeTag(0x8001, PT_LONG), std::string(16, 'g') + LE32(7));
    TnefBuilder tnef;
    tnef.Version().Subject("Budget").MapiProps(props.Unicode(kIdSubject, "lost after the damage"));
    const TTnefSummary summary
        = SummarizeTnef(tnef.MessageClass("IPM.Microsoft Schedule.MtgReq").AttachRenddata().Bytes());
    EXPECT_EQ(summary.Subject, "Budget");
    EXPECT_EQ(summary.From, "Ann Lee");
    EXPECT_EQ(summary.MessageClass, "IPM.Schedule.Meeting.Request");
    EXPECT_FALSE(summary.Complete);
    // Every prefix of a real stream: no throw, and a prefix that holds the subject attribute shows it.
    const std::string sample = ReadFileBytes(std::string(TESSALY_SOURCE_DIR) + "/samples/winmail.dat");
    const std::string subject = SummarizeTnef(sample).Subject;
    ASSERT_FALSE(subject.empty());
    size_t shown = 0;
    for (size_t length = 0; length <= sample.size(); ++length) {
        const std::string got = SummarizeTnef(std::string_view(sample).substr(0, length)).Subject;
        EXPECT_TRUE(got.empty() || subject.rfind(got, 0) == 0) << length;
        shown += got == subject;
    }
    EXPECT_GT(shown, sample.size() / 2);
}

TEST(TnefSummary, LimitsHoldAtTheirEdges)
{
    // A subject after that many other properties (one step each; the subject takes two) or other attributes.
    struct Row {
        size_t Properties, Attributes;
        bool Shown;
    };
    for (const Row& row : { Row { Limits::kMaxValues - 2, 0, true }, Row { Limits::kMaxValues - 1, 0, false },
             Row { 0, Limits::kMaxAttributes - 2, true }, Row { 0, Limits::kMaxAttributes - 1, false } }) {
        TnefPropList props;
        for (size_t i = 0; i < row.Properties; ++i)
            props.Long(0x0E07, 1);
        TnefBuilder builder;
        builder.Version();
        for (size_t i = 0; i < row.Attributes; ++i)
            builder.Attribute(1, 0x00068009, "id");
        const TTnefSummary summary = SummarizeTnef(builder.MapiProps(props.String8(kIdSubject, "Found")).Bytes());
        EXPECT_EQ(summary.Subject, row.Shown ? "Found" : "") << row.Properties << " " << row.Attributes;
        EXPECT_EQ(summary.Complete, row.Shown);
    }
    // A huge subject, many times over, is kept short.
    TnefPropList props;
    for (int i = 0; i < 50; ++i)
        props.String8(kIdSubject, std::string(100000, 'x'));
    const TTnefSummary summary = SummarizeTnef(TnefBuilder().Version().MapiProps(props).Bytes());
    EXPECT_EQ(summary.Subject, std::string(Limits::kMaxTextBytes, 'x'));
}

TEST(MailFile, CandidatesShowEachPartsOwnFieldsBeforeTheMails)
{
    auto part = [](const std::string& tnef) {
        return "--b\nContent-Type: application/ms-tnef\nContent-Transfer-Encoding: base64\n\n"
            + Base64Lines(tnef, "\n");
    };
    TnefPropList props;
    props.Unicode(kIdSubject, "Planung März").String8(kIdSentRepresentingName, "Eva Roth");
    props.String8(kIdSenderSmtpAddress, "eva@example.de");
    const std::string own
        = TnefBuilder().Version().MessageClass("IPM.Microsoft Schedule.MtgReq").MapiProps(props).Bytes();
    const std::string bare = TnefBuilder().Version().MessageClass("IPM.Note").Bytes();
    const std::string mail = "From: Ann <ann@example.org>\nSubject: Forwarded\nContent-Type: multipart/mixed; "
                             "boundary=b\n\n"
        + part(own) + part(bare) + part(own.substr(0, own.size() - 54)) + "--b--\n";
    const std::string path = TempPath("own.eml");
    WriteFileBytes(path, mail);
    const std::vector<TMailCandidate> c = ListTnefCandidates(path);
    ASSERT_EQ(c.size(), 3u);
    EXPECT_EQ(c[0].Subject, "Planung März");
    EXPECT_EQ(c[0].From, "\"Eva Roth\" <eva@example.de>");
    EXPECT_EQ(c[0].MessageClass, "IPM.Schedule.Meeting.Request");
    EXPECT_EQ(c[1].Subject, "Forwarded");
    EXPECT_EQ(c[1].From, "Ann <ann@example.org>");
    // Cut inside its properties: the subject before the cut stands, the sender falls back to the mail's.
    EXPECT_EQ(c[2].Subject, "Planung März");
    EXPECT_EQ(c[2].From, "Ann <ann@example.org>");

    // An mbox with more TNEF parts than are listed: the first ones.
    TMemoryStream mbox;
    const std::string one = "Subject: x\nContent-Type: application/ms-tnef\nContent-Transfer-Encoding: base64\n\n"
        + Base64Lines(bare, "\n");
    for (size_t i = 0; i <= kMaxTnefCandidates; ++i)
        WriteMboxMail(mbox, "From a@x Tue Mar  3 10:00:00 2026", one);
    const std::string many = TempPath("many.mbox");
    WriteFileBytes(many, mbox.TakeBytes());
    EXPECT_EQ(ListTnefCandidates(many).back().MailIndex, kMaxTnefCandidates - 1);
}

// A listing with a control counts the file's bytes and parts as it goes, and a cancelled one stops with the parts
// found so far: a single mail larger than the steps it is read in, and an mbox.
TEST(MailFile, ListingReportsItsProgressAndStopsWhenCancelled)
{
    const std::string tnef = TnefBuilder().Version().MessageClass("IPM.Note").Bytes();
    const std::string part
        = "Content-Type: application/ms-tnef\nContent-Transfer-Encoding: base64\n\n" + Base64Lines(tnef, "\n");
    const std::string single = "Subject: large\nContent-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: "
                               "text/plain\n\n"
        + std::string(size_t { 9 } * 1024 * 1024, 'x') + "\n--b\n" + part + "--b--\n";
    TMemoryStream mbox;
    for (int i = 0; i < 3; ++i)
        WriteMboxMail(mbox, "From a@x Tue Mar  3 10:00:00 2026", "Subject: x\n" + part);
    const std::tuple<std::string, std::string, size_t> files[]
        = { { "large.eml", single, 1 }, { "three.mbox", mbox.TakeBytes(), 3 } };
    for (const auto& [name, bytes, parts] : files) {
        SCOPED_TRACE(name);
        const std::string path = TempPath(name);
        WriteFileBytes(path, bytes);
        TListControl control;
        EXPECT_EQ(ListTnefCandidates(path, &control).size(), parts);
        EXPECT_EQ(control.Total, static_cast<int64_t>(bytes.size()));
        EXPECT_EQ(control.Read, control.Total);
        EXPECT_EQ(control.Found, parts);

        TListControl cancelled;
        cancelled.Cancelled = true;
        EXPECT_TRUE(ListTnefCandidates(path, &cancelled).empty());
        EXPECT_LT(cancelled.Read, cancelled.Total);
        EXPECT_EQ(cancelled.Found, 0u);
        std::filesystem::remove(path);
    }
}
