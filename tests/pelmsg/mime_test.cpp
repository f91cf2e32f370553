// The MIME layer: decoding, the reader's byte ranges and limits, unwrapping as a minimal edit, mailboxes, and
// mail files opened for their TNEF message.

#include <gtest/gtest.h>

#include <array>

#include <filesystem>
#include <sstream>

#include "core/errors.h"
#include "core/stream.h"
#include "lzfu.h"
#include "mail_builder.h"
#include "message_file.h"
#include "mime/header_words.h"
#include "mime/mail_file.h"
#include "mime/mbox.h"
#include "mime/mime_reader.h"
#include "mime/tnef_parts.h"
#include "mime/transfer_encoding.h"
#include "mime/unwrap.h"
#include "model/message.h"
#include "model/tags.h"
#include "sha256.h"
#include "test_support.h"
#include "tnef/tnef_reader.h"
#include "tnef_builder.h"

using namespace pelmsg;
using namespace pelmsg::test;

namespace {

std::string SampleTnef() { return ReadFileBytes(std::string(TESSALY_SOURCE_DIR) + "/samples/winmail.dat"); }

// A TNEF stream with no subject and no sender: the fields must come from the mail.
std::string BareTnef()
{
    return TnefBuilder()
        .Version()
        .MessageClass("IPM.Note")
        .MapiProps(TnefPropList().String8(0x1000, "Body of a bare message"))
        .AttachRenddata()
        .AttachTitle("notes.txt")
        .AttachData("some notes")
        .Bytes();
}

std::string TempPath(const std::string& name)
{
    const auto dir = std::filesystem::temp_directory_path() / ("mime_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

struct Leaf {
    std::string Type, Name, Sha, Tnef;
};

// Python's email package on the mail: its defect count and leaves.
std::vector<Leaf> PythonLeaves(const std::string& mail, int& defects)
{
    const std::string path = TempPath("leaves.eml");
    WriteFileBytes(path, mail);
    const CommandResult r = RunCommand("/usr/bin/python3 " + ShellQuote(std::string(TESSALY_SOURCE_DIR))
        + "/tests/pelmsg/tools/mail_leaves.py " + ShellQuote(path));
    EXPECT_EQ(r.ExitCode, 0);
    std::istringstream in(r.Output);
    std::string line;
    std::vector<Leaf> leaves;
    defects = -1;
    while (std::getline(in, line)) {
        if (line.rfind("defects ", 0) == 0) {
            defects = std::stoi(line.substr(8));
            continue;
        }
        std::istringstream fields(line);
        Leaf leaf;
        std::getline(fields, leaf.Type, '\t');
        std::getline(fields, leaf.Name, '\t');
        std::getline(fields, leaf.Sha, '\t');
        std::getline(fields, leaf.Tnef, '\t');
        leaves.push_back(leaf);
    }
    return leaves;
}

} // namespace

TEST(TransferEncoding, DecodesLeniently)
{
    // Encoding, text, what it decodes to.
    const std::array<std::string, 3> rows[] = {
        { "base64", "SGVsbG8=", "Hello" },
        { "base64", "SGVs\r\nbG8", "Hello" }, // no padding, line break inside
        { "base64", "S*G!V s\tb~G8=garbage", "Hello" }, // garbage skipped, stops at the pad
        { "base64", "", "" },
        { "base64", "Q", "" }, // one character carries no byte
        { "quoted-printable", "a=3Db=\r\nc", "a=bc" }, // soft line break
        { "quoted-printable", "x=\nz", "xz" }, // soft line break with LF
        { "quoted-printable", "bad=ZZ=4", "bad=ZZ=4" }, // malformed escapes stay
        { "quoted-printable", "trail   \r\nnext", "trail\r\nnext" },
        { "7bit", "as is=3D", "as is=3D" },
        { "x-unknown", "as is", "as is" },
    };
    for (const auto& [encoding, text, expected] : rows)
        EXPECT_EQ(DecodeTransfer(encoding, text), expected) << encoding << " " << text;
    EXPECT_EQ(DecodeBase64Lenient("SGVsbG8gd29ybGQ=", 4), "Hell");
    EXPECT_EQ(DecodeQuotedPrintable("=41=42=43", 2), "AB");
}

TEST(HeaderWords, DecodesEncodedWordsAndRawBytes)
{
    struct Row {
        std::string Value;
        std::string Expected;
    };
    const Row rows[] = {
        { " plain text ", "plain text" },
        { " =?utf-8?B?R3LDvMOfZQ==?=", "Gr\xc3\xbc\xc3\x9f" "e" },
        { " =?ISO-8859-1?Q?Andr=E9_X?=", "Andr\xc3\xa9 X" },
        { " =?utf-8?Q?a?= =?utf-8?Q?b?=", "ab" },                 // blanks between words dropped
        { " =?utf-8?Q?a?= x =?utf-8?Q?b?=", "a x b" },
        { " folded\r\n\tline", "folded\tline" },
        { " J\xc3\xbcrgen", "J\xc3\xbcrgen" },                   // raw UTF-8 kept
        { " Andr\xe9", "Andr\xc3\xa9" },                          // raw Latin-1 read as Windows-1252
        { " =?x-made-up?Q?caf=C3=A9?=", "caf\xc3\xa9" },           // unknown charset: UTF-8 when valid
        { " =?utf-8?X?what?=", "=?utf-8?X?what?=" },               // unknown encoding stays
        { " =?utf-8?Q?unterminated", "=?utf-8?Q?unterminated" },
    };
    for (const Row& row : rows)
        EXPECT_EQ(DecodeHeaderText(row.Value), row.Expected) << row.Value;
}

TEST(HeaderWords, ParsesContentTypeWithRfc2231Parameters)
{
    TContentType t = ParseContentType(" Multipart/Mixed ; (comment) Boundary=\"a b\\\"c\"; charset=us-ascii");
    EXPECT_EQ(t.Type, "multipart");
    EXPECT_EQ(t.Subtype, "mixed");
    ASSERT_EQ(t.Parameters.size(), 2u);
    EXPECT_EQ(t.Parameters[0].first, "boundary");
    EXPECT_EQ(t.Parameters[0].second, "a b\"c");

    t = ParseContentType("application/octet-stream; name*0*=utf-8''%E2%82%AC; name*1=\"-rate.txt\"");
    ASSERT_EQ(t.Parameters.size(), 1u);
    EXPECT_EQ(t.Parameters[0].second, "\xe2\x82\xac-rate.txt");

    t = ParseContentType("text/plain; name*=iso-8859-1'de'Gr%FC%DFe.txt");
    EXPECT_EQ(t.Parameters[0].second, "Gr\xc3\xbc\xc3\x9f" "e.txt");

    t = ParseContentType("text/plain; name=\"=?utf-8?B?w6k=?=.txt\"");
    EXPECT_EQ(t.Parameters[0].second, "\xc3\xa9.txt");

    EXPECT_TRUE(ParseContentType("garbage").Subtype.empty());
    EXPECT_TRUE(ParseContentType("").Type.empty());
}

TEST(MimeReader, KeepsTheByteRangesOfEveryPiece)
{
    for (const bool crlf : { true, false }) {
        const std::string eol = crlf ? "\r\n" : "\n";
        const std::string mail = "Subject: x" + eol + " folded" + eol + "Content-Type: multipart/mixed;" + eol
            + "\tboundary=\"b\"" + eol + eol + "pre" + eol + "--b" + eol + "Content-Type: text/plain" + eol + eol
            + "one" + eol + "--b" + eol + eol + "two" + eol + "--b--" + eol + "epi" + eol;
        const TMimeDocument d = ReadMime(mail);
        EXPECT_EQ(d.LineEnding, eol);
        const TMimeEntity& root = d.Root;
        ASSERT_EQ(root.Fields.size(), 2u);
        EXPECT_EQ(root.Fields[0].Whole.In(mail), "Subject: x" + eol + " folded" + eol);
        EXPECT_EQ(root.Fields[0].Name.In(mail), "Subject");
        EXPECT_EQ(root.Preamble.In(mail), "pre");
        EXPECT_EQ(root.Epilogue.In(mail), "epi" + eol);
        ASSERT_EQ(root.Children.size(), 2u);
        EXPECT_EQ(root.Children[0].Whole.In(mail), "Content-Type: text/plain" + eol + eol + "one");
        EXPECT_EQ(root.Children[0].Body.In(mail), "one");
        EXPECT_EQ(root.Children[1].Body.In(mail), "two");
        EXPECT_EQ(root.Children[1].Type, "text"); // no Content-Type: text/plain
        EXPECT_FALSE(root.ClosingDelimiterMissing);
        EXPECT_TRUE(d.LimitsReached.empty());
    }
}

TEST(MimeReader, IsLenientAsMailProgramsAre)
{
    // Delimiters with blanks around them, a missing closing delimiter, a part without header.
    const std::string mail = "Content-Type: multipart/mixed; boundary=zz\n\n  --zz\t\nContent-Type: text/html\n\n"
                             "<p>x</p>\n--zz  \n\nbare\n";
    TMimeDocument d = ReadMime(mail);
    ASSERT_EQ(d.Root.Children.size(), 2u);
    EXPECT_EQ(d.Root.Children[0].Subtype, "html");
    EXPECT_EQ(d.Root.Children[1].Body.In(mail), "bare\n");
    EXPECT_TRUE(d.Root.ClosingDelimiterMissing);

    // An inner multipart that never closes ends at the outer delimiter.
    const std::string nested = "Content-Type: multipart/mixed; boundary=o\n\n--o\nContent-Type: multipart/"
                               "alternative; boundary=i\n\n--i\n\nA\n--o\n\nB\n--o--\n";
    d = ReadMime(nested);
    ASSERT_EQ(d.Root.Children.size(), 2u);
    EXPECT_TRUE(d.Root.Children[0].ClosingDelimiterMissing);
    ASSERT_EQ(d.Root.Children[0].Children.size(), 1u);
    EXPECT_EQ(d.Root.Children[0].Children[0].Body.In(nested), "A");
    EXPECT_EQ(d.Root.Children[1].Body.In(nested), "B");
    // A part whose header's empty line runs into a delimiter: that line break is the delimiter's, as after any body.
    const std::string empty = "Content-Type: multipart/mixed; boundary=o\n\n--o\nContent-Type: text/plain\n\n--o--\n";
    d = ReadMime(empty);
    ASSERT_EQ(d.Root.Children.size(), 1u);
    EXPECT_EQ(d.Root.Children[0].Whole.In(empty), "Content-Type: text/plain\n");
    EXPECT_EQ(d.Root.Children[0].Body.Size(), 0u);

    // message/rfc822 and a digest's default type.
    const std::string digest = "Content-Type: multipart/digest; boundary=d\n\n--d\n\nSubject: in\n\nbody\n--d--\n";
    d = ReadMime(digest);
    ASSERT_EQ(d.Root.Children.size(), 1u);
    EXPECT_TRUE(d.Root.Children[0].IsMessage());
    ASSERT_EQ(d.Root.Children[0].Children.size(), 1u);
    EXPECT_EQ(d.Root.Children[0].Children[0].Body.In(digest), "body");

    // Header lines without the empty line; a first line that is an mbox separator.
    d = ReadMime("From ann@example.org Tue Mar  3 10:00:00 2026\nSubject: s\nno field here\nrest\n");
    ASSERT_EQ(d.Root.Fields.size(), 1u);
    EXPECT_EQ(d.Root.Body.Begin, d.Root.Header.End);
    EXPECT_TRUE(ReadMime("").Root.Fields.empty());
}

TEST(MimeReader, LimitsHoldAtTheirEdges)
{
    TMimeLimits limits;
    limits.MaxDepth = 4;
    limits.MaxEntities = 6;
    limits.MaxHeaderBytes = 64;
    limits.MaxFields = 3;
    auto nestedMail = [](int depth) {
        std::string mail;
        for (int i = 0; i < depth; ++i)
            mail += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\n\n--b" + std::to_string(i)
                + "\n";
        return mail + "\nleaf\n";
    };
    // Depth: a multipart at depth limit - 1 is read; one at the limit is an opaque leaf.
    for (const auto& [depth, reached] : { std::pair { 4, false }, std::pair { 5, true }, std::pair { 6, true } }) {
        const TMimeDocument d = ReadMime(nestedMail(depth), limits);
        EXPECT_EQ(!d.LimitsReached.empty(), reached) << depth;
    }
    auto partsMail = [](int parts) {
        std::string mail = "Content-Type: multipart/mixed; boundary=p\n\n";
        for (int i = 0; i < parts; ++i)
            mail += "--p\n\nx\n";
        return mail + "--p--\n";
    };
    for (const auto& [parts, reached] : { std::pair { 4, false }, std::pair { 5, false }, std::pair { 6, true } }) {
        const TMimeDocument d = ReadMime(partsMail(parts), limits);
        EXPECT_EQ(!d.LimitsReached.empty(), reached) << parts;
        EXPECT_LE(d.EntityCount, limits.MaxEntities);
    }
    for (const auto& [length, reached] : { std::pair { 63, false }, std::pair { 64, false }, std::pair { 65, true } }) {
        const std::string mail = "X: " + std::string(static_cast<size_t>(length) - 4, 'a') + "\n\nbody";
        EXPECT_EQ(!ReadMime(mail, limits).LimitsReached.empty(), reached) << length;
    }
    for (const auto& [fields, reached] : { std::pair { 2, false }, std::pair { 3, false }, std::pair { 4, true } }) {
        std::string mail;
        for (int i = 0; i < fields; ++i)
            mail += "X: 1\n";
        const TMimeDocument d = ReadMime(mail + "\nbody", limits);
        EXPECT_EQ(!d.LimitsReached.empty(), reached) << fields;
        EXPECT_LE(d.Root.Fields.size(), 3u);
    }
}

TEST(MimeReader, HostileMailTakesLinearWork)
{
    // Work is counted in lines looked at: each line once, and a few more for each entity.
    auto linesOf = [](const std::string& mail) { return static_cast<size_t>(std::count(mail.begin(), mail.end(), '\n')) + 1; };
    std::string nested;
    for (int i = 0; i < 10000; ++i)
        nested += "Content-Type: multipart/mixed; boundary=\"n" + std::to_string(i) + "\"\n\n--n" + std::to_string(i) + "\n";
    TMimeDocument d = ReadMime(nested);
    EXPECT_FALSE(d.LimitsReached.empty());
    EXPECT_LE(d.LinesRead, 3 * linesOf(nested));

    std::string empties = "Content-Type: multipart/mixed; boundary=e\n\n";
    for (int i = 0; i < 1000000; ++i)
        empties += "--e\n";
    d = ReadMime(empties);
    EXPECT_FALSE(d.LimitsReached.empty());
    EXPECT_LE(d.LinesRead, 3 * linesOf(empties));
    EXPECT_LE(d.EntityCount, TMimeLimits {}.MaxEntities);

    const std::string longLine = "Subject: " + std::string(100 * 1024 * 1024, 'x') + "\n\nbody\n";
    d = ReadMime(longLine);
    EXPECT_FALSE(d.LimitsReached.empty());
    EXPECT_LE(d.LinesRead, 4u);
    EXPECT_TRUE(d.Root.Fields.empty());

    // A boundary line inside a base64 body ends the part there, as every reader does; nothing is read twice.
    const std::string inside = "Content-Type: multipart/mixed; boundary=q\n\n--q\nContent-Transfer-Encoding: "
                               "base64\n\nQUJD\n--q\nREVG\n--q--\n";
    d = ReadMime(inside);
    ASSERT_EQ(d.Root.Children.size(), 2u);
    EXPECT_EQ(DecodedBody(inside, d.Root.Children[0]), "ABC");
}

TEST(TnefParts, FoundByContentNotByLabel)
{
    const std::string tnef = SampleTnef();
    const std::string png = "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: application/ms-tnef\n"
                            "Content-Transfer-Encoding: base64\n\n"
        + Base64Lines("\x89PNG\r\n\x1a\n", "\n") + "--b\nContent-Type: application/octet-stream\n"
        + "Content-Transfer-Encoding: base64\n\n" + Base64Lines(tnef, "\n") + "--b--\n";
    const TMimeDocument d = ReadMime(png);
    const auto parts = FindTnefParts(png, d);
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts[0].Part, &d.Root.Children[1]);
    EXPECT_EQ(parts[0].Message, &d.Root);
}

class UnwrapShapes : public ::testing::TestWithParam<std::tuple<ShapeRow, bool>> { };

TEST_P(UnwrapShapes, RewritesOnlyTheTnefParts)
{
    const auto& [row, crlf] = GetParam();
    const std::string tnef = SampleTnef();
    const std::string mail = BuildMail(row.Shape, tnef, crlf);
    const TUnwrapResult result = UnwrapTnefParts(mail);
    ASSERT_TRUE(result.Changed) << result.Reason;
    EXPECT_EQ(result.PartsUnwrapped, row.TnefParts);
    EXPECT_EQ(MinimalEditFault(mail, result.Mail), "");
    EXPECT_NE(result.Mail.find("X-Tessaly-Unwrapped: "), std::string::npos);
    if (!crlf) {
        EXPECT_EQ(result.Mail.find('\r'), std::string::npos) << "an LF mail got CR LF line endings";
    }

    // What the TNEF held is there for a mail reader: its attachments, byte for byte.
    TPelTNEFFile message;
    TMemoryStream stream(tnef);
    message.LoadFromStream(stream);
    int defects = 0;
    const std::vector<Leaf> leaves = PythonLeaves(result.Mail, defects);
    EXPECT_EQ(defects, 0);
    for (const Leaf& leaf : leaves)
        EXPECT_NE(leaf.Tnef, "tnef") << leaf.Name;
    for (const TMSGProperty* node : message.Properties().AttachmentNodes()) {
        if (node->IsEmbeddedMessage())
            continue;
        const auto* data = std::get_if<ByteString>(&node->AttachmentDataNode()->Value);
        ASSERT_NE(data, nullptr);
        const std::string sha = Sha256Hex(*data);
        const auto count = std::count_if(leaves.begin(), leaves.end(), [&](const Leaf& l) { return l.Sha == sha; });
        EXPECT_EQ(count, row.TnefParts) << node->AttachmentFileName(0);
    }
}

INSTANTIATE_TEST_SUITE_P(Mime, UnwrapShapes, ::testing::Combine(::testing::ValuesIn(MailShapes()), ::testing::Bool()),
    [](const auto& test) {
        return std::string(std::get<0>(test.param).Name) + (std::get<1>(test.param) ? "_CRLF" : "_LF");
    });

TEST(Unwrap, LeavesTheMailAsItIsWithAReason)
{
    const std::string tnef = SampleTnef();
    struct Row {
        const char* Name;
        std::string Mail;
        const char* Reason;
    };
    std::string limitsMail = "Content-Type: multipart/mixed; boundary=b\n\n";
    for (int i = 0; i < 11000; ++i)
        limitsMail += "--b\n\n";
    limitsMail += "--b\nContent-Type: application/ms-tnef\nContent-Transfer-Encoding: base64\n\n"
        + Base64Lines(tnef, "\n");
    const Row rows[] = {
        { "no TNEF", "Subject: hi\n\nJust text\n", "holds no TNEF" },
        { "TNEF label on a picture",
            "Content-Type: application/ms-tnef\nContent-Transfer-Encoding: base64\n\n" + Base64Lines("\x89PNG....", "\n"),
            "holds no TNEF" },
        { "damaged TNEF",
            "Content-Type: application/ms-tnef\nContent-Transfer-Encoding: base64\n\n"
                + Base64Lines(tnef.substr(0, tnef.size() / 2), "\n"),
            "part 1" },
        { "over a limit", limitsMail, "limit" },
        { "a body line that is the enclosing boundary",
            "Content-Type: multipart/mixed; boundary=b1\n\n--b1\nContent-Type: application/ms-tnef\n"
            "Content-Transfer-Encoding: base64\n\n"
                + Base64Lines(TnefBuilder()
                                  .Version()
                                  .MapiProps(TnefPropList().String8(0x1000, "text\r\n--b1\r\nforged part"))
                                  .AttachRenddata()
                                  .AttachTitle("a.txt")
                                  .AttachData("a")
                                  .Bytes(),
                    "\n")
                + "--b1--\n",
            "structure" },
    };
    for (const Row& row : rows) {
        const TUnwrapResult r = UnwrapTnefParts(row.Mail);
        EXPECT_FALSE(r.Changed) << row.Name;
        EXPECT_NE(r.Reason.find(row.Reason), std::string::npos) << row.Name << ": " << r.Reason;
        EXPECT_TRUE(r.Mail.empty()) << row.Name;
    }
    TUnwrapOptions small;
    small.MaxMailBytes = 10;
    EXPECT_FALSE(UnwrapTnefParts(BuildMail(MailShape::TopLevel, tnef, true), small).Changed);
}

// Damage that lost nothing of the content is read past (and counted in the field); damage that lost some keeps the
// mail as it came.
TEST(Unwrap, ReadsPastMinorDamageOnlyWhenNothingWasLost)
{
    const std::string tnef = SampleTnef();
    std::string badChecksum = tnef;
    badChecksum.back() = static_cast<char>(badChecksum.back() ^ 0x5A);
    std::string otherVersion = tnef; // the version attribute's data follows signature, key, level, id and length
    otherVersion[15] = 1;
    otherVersion[16] = 0;
    otherVersion[17] = 0;
    struct Row {
        const char* Name;
        std::string Tnef;
        int Faults; // -1: left as it came
    };
    const Row rows[] = {
        { "sound", tnef, 0 },
        { "wrong checksum", badChecksum, 1 },
        { "other version number", otherVersion, 1 },
        { "cut short", tnef.substr(0, tnef.size() - 40), -1 },
        { "bytes after the end", tnef + "\x02garbage that is no attribute", -1 },
    };
    for (const Row& row : rows) {
        const TUnwrapResult r = UnwrapTnefParts(BuildMail(MailShape::Mixed, row.Tnef, true));
        EXPECT_EQ(r.Changed, row.Faults >= 0) << row.Name << ": " << r.Reason;
        if (!r.Changed)
            continue;
        EXPECT_EQ(r.Notes.size(), static_cast<size_t>(row.Faults)) << row.Name;
        EXPECT_EQ(r.Mail.find("read past") != std::string::npos, row.Faults > 0) << row.Name;
        EXPECT_EQ(MinimalEditFault(BuildMail(MailShape::Mixed, row.Tnef, true), r.Mail), "") << row.Name;
    }
    EXPECT_EQ(UnwrappedNote("winmail.dat", 2, 1), "winmail.dat (2 attachments; 1 fault read past)");
    EXPECT_TRUE(IsMinorTnefDamage("attached message: checksum mismatch in attribute 0x00069005"));
    EXPECT_FALSE(IsMinorTnefDamage("attached message: attachment data truncated: 1 of 2 bytes present"));
}

TEST(Unwrap, AddsTheSubjectAMailLacksAndNeverReplacesOne)
{
    const std::string withSubject = TnefBuilder().Version().MessageClass("IPM.Note").Subject(std::string("From TNEF\0", 10)).Bytes();
    const std::string mail = "From: a@example.org\nMIME-Version: 1.0\nContent-Type: application/ms-tnef\n"
                             "Content-Transfer-Encoding: base64\n\n" + Base64Lines(withSubject, "\n");
    TUnwrapResult r = UnwrapTnefParts(mail);
    ASSERT_TRUE(r.Changed) << r.Reason;
    EXPECT_NE(r.Mail.find("\nSubject: From TNEF\n"), std::string::npos) << r.Mail;
    r = UnwrapTnefParts("Subject: Mine\n" + mail);
    ASSERT_TRUE(r.Changed);
    EXPECT_EQ(r.Mail.find("From TNEF\n"), std::string::npos);
    EXPECT_EQ(r.Mail.rfind("Subject: Mine\n", 0), 0u);
    EXPECT_EQ(UnwrappedNote("winmail.dat", 1), "winmail.dat (1 attachment)");
    EXPECT_EQ(UnwrappedNote("", 3), "winmail.dat (3 attachments)");
}

TEST(Mbox, ReadsOneMailAtATimeAndWritesBackTheSameBytes)
{
    const std::string mbox = "From a@x Tue Mar  3 10:00:00 2026\nSubject: one\n\nbody\n>From quoted\n>>From twice\n\n"
                             "From b@x Tue Mar  3 10:00:01 2026\nSubject: two\n\nbody\nFrom inside not after blank\n\n"
                             "From c@x Tue Mar  3 10:00:02 2026\r\nSubject: three\r\n\r\nx\r\n\r\n";
    TMemoryStream in(mbox);
    TMboxReader reader(in);
    std::string from, mail;
    std::vector<std::string> mails;
    TMemoryStream out;
    while (reader.Next(from, mail)) {
        mails.push_back(mail);
        WriteMboxMail(out, from, mail);
    }
    ASSERT_EQ(mails.size(), 3u);
    EXPECT_EQ(mails[0], "Subject: one\n\nbody\nFrom quoted\n>From twice\n");
    EXPECT_NE(mails[1].find("From inside"), std::string::npos);
    EXPECT_EQ(mails[2], "Subject: three\r\n\r\nx\r\n");
    // Written back the same, but for the unquoted "From " line, which the writer quotes (mboxrd).
    std::string expected = mbox;
    expected.replace(expected.find("From inside"), 0, ">");
    EXPECT_EQ(out.TakeBytes(), expected);
    EXPECT_LE(reader.LinesRead(), 20u);

    // Empty lines before the first mail, and a file that is no mbox at all.
    TMemoryStream leading("\n\nFrom a@x Tue Mar  3 10:00:00 2026\nSubject: s\n\nb\n");
    TMboxReader second(leading);
    ASSERT_TRUE(second.Next(from, mail));
    EXPECT_EQ(mail, "Subject: s\n\nb\n");
    EXPECT_FALSE(second.Next(from, mail));
    TMemoryStream plain("Subject: not an mbox\n\nbody\n");
    TMboxReader third(plain);
    ASSERT_TRUE(third.Next(from, mail));
    EXPECT_EQ(from, "");
    EXPECT_EQ(mail, "Subject: not an mbox\n\nbody\n");
}

TEST(Maildir, ListsAndWritesMailsWithoutReplacingOne)
{
    const std::string folder = TempPath("maildir");
    std::filesystem::remove_all(folder);
    EXPECT_THROW(ListMaildir(folder), EFileError);
    MakeMaildir(folder);
    WriteMaildirMail(folder, "new/2.host", "Subject: b\n\nb\n");
    WriteMaildirMail(folder, "cur/1.host:2,S", "Subject: a\n\na\n");
    EXPECT_THROW(WriteMaildirMail(folder, "cur/1.host:2,S", "other"), EFileError);
    EXPECT_EQ(ListMaildir(folder), (std::vector<std::string> { "cur/1.host:2,S", "new/2.host" }));
    EXPECT_EQ(ReadFileBytes(folder + "/cur/1.host:2,S"), "Subject: a\n\na\n");
    EXPECT_TRUE(std::filesystem::is_empty(folder + "/tmp"));
}

TEST(MailFile, OpensTheTnefMessageWithTheMailsFields)
{
    const std::string path = TempPath("bare.eml");
    WriteFileBytes(path,
        "From: Ann Example <ann@example.org>\r\nTo: bob@example.net\r\nSubject: From the mail\r\n"
        "Date: Tue, 3 Mar 2026 10:00:00 +0000\r\nMIME-Version: 1.0\r\nContent-Type: application/ms-tnef\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\n"
            + Base64Lines(BareTnef(), "\r\n"));
    EXPECT_TRUE(IsMailFile(path));
    std::unique_ptr<TPelMessage> message = CreateMessageForFile(path);
    ASSERT_NE(dynamic_cast<TPelMailFile*>(message.get()), nullptr);
    message->LoadFromFile(path);
    EXPECT_EQ(U8(message->Subject()), "From the mail");
    EXPECT_NE(U8(message->From()).find("ann@example.org"), std::string::npos);
    EXPECT_EQ(U8(message->ToList()), "bob@example.net");
    EXPECT_NE(message->Properties().SentDate(), 0);
    EXPECT_EQ(message->Properties().AttachmentCount(), 1);
    ASSERT_TRUE(message->SourceFile());

    // The TNEF's own subject wins over the mail's.
    const std::string own = TempPath("own.eml");
    WriteFileBytes(own, "Subject: Mail subject\nContent-Type: application/ms-tnef\nContent-Transfer-Encoding: base64\n\n"
            + Base64Lines(SampleTnef(), "\n"));
    message = CreateMessageForFile(own);
    message->LoadFromFile(own);
    TPelTNEFFile plain;
    plain.LoadFromFile(std::string(TESSALY_SOURCE_DIR) + "/samples/winmail.dat");
    EXPECT_EQ(message->Subject(), plain.Subject());
}

TEST(MailFile, ListsEveryCandidateAndOpensTheChosenOne)
{
    const std::string tnef = SampleTnef();
    const std::string path = TempPath("several.mbox");
    TMemoryStream mbox;
    WriteMboxMail(mbox, "From a@x Tue Mar  3 10:00:00 2026", BuildMail(MailShape::TwoParts, tnef, false));
    WriteMboxMail(mbox, "From b@x Tue Mar  3 10:00:00 2026", "Subject: plain\n\nnothing\n");
    WriteMboxMail(mbox, "From c@x Tue Mar  3 10:00:00 2026", BuildMail(MailShape::Mixed, BareTnef(), false));
    WriteFileBytes(path, mbox.TakeBytes());
    const std::vector<TMailCandidate> candidates = ListTnefCandidates(path);
    ASSERT_EQ(candidates.size(), 3u);
    EXPECT_EQ(candidates[0].PartName, "winmail.dat");
    EXPECT_EQ(candidates[1].PartName, "second.dat");
    EXPECT_EQ(candidates[2].MailIndex, 2u);
    EXPECT_EQ(candidates[2].Subject, "Mixed");

    TPelMailFile file;
    file.SelectCandidate(2);
    file.LoadFromFile(path);
    EXPECT_EQ(file.Candidates().size(), 3u);
    EXPECT_EQ(U8(file.Subject()), "Mixed");
    file.SelectCandidate(3);
    EXPECT_THROW(file.LoadFromFile(path), EFormatError);
}

TEST(MailFile, SaysWhatAMailWithoutTnefHolds)
{
    const std::string path = TempPath("none.eml");
    WriteFileBytes(path, "Subject: Holiday pictures\nContent-Type: multipart/mixed; boundary=b\n\n--b\n\nSee them\n"
                         "--b\nContent-Type: image/png; name=beach.png\n\nx\n--b--\n");
    std::unique_ptr<TPelMessage> message = CreateMessageForFile(path);
    try {
        message->LoadFromFile(path);
        FAIL() << "no error";
    } catch (const EFormatError& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("holds no TNEF"), std::string::npos) << text;
        EXPECT_NE(text.find("Holiday pictures"), std::string::npos) << text;
        EXPECT_NE(text.find("image/png \"beach.png\""), std::string::npos) << text;
    }
    // Not a mail: text that merely has a colon in its first line stays with the TNEF reader's error.
    const std::string note = TempPath("note.txt");
    WriteFileBytes(note, "Note: remember\nmilk\n");
    EXPECT_FALSE(IsMailFile(note));
}

TEST(Unwrap, HostileTnefInsideMailIsUnwrappedSoundlyOrLeftAlone)
{
    // The kept fuzz findings of the TNEF reader, and every truncated prefix of the sample at a coarse step.
    std::vector<std::string> streams;
    const std::filesystem::path crashers = TestDataPath("crashers/tnef_fuzz");
    if (std::filesystem::exists(crashers))
        for (const auto& entry : std::filesystem::directory_iterator(crashers))
            streams.push_back(ReadFileBytes(entry.path().string()));
    const std::string sample = SampleTnef();
    for (size_t length = 4; length < sample.size(); length += std::max<size_t>(1, sample.size() / 50))
        streams.push_back(sample.substr(0, length));
    ASSERT_GT(streams.size(), 40u);
    for (const std::string& stream : streams) {
        std::string tnef = stream;
        if (!HasTnefSignature(tnef))
            tnef.insert(0, "\x78\x9F\x3E\x22", 4);
        const std::string mail = BuildMail(MailShape::Mixed, tnef, true);
        const TUnwrapResult r = UnwrapTnefParts(mail);
        if (r.Changed)
            EXPECT_EQ(MinimalEditFault(mail, r.Mail), "");
        else
            EXPECT_FALSE(r.Reason.empty());
    }
}

TEST(Unwrap, AnRtfOnlyBodyAlsoGoesOutAsPlainTextAndHtml)
{
    const std::string rtf = "{\\rtf1\\ansi Hello {\\b bold} world\\par Second <line>\\par}";
    const std::string tnef = TnefBuilder()
                                 .Version()
                                 .MessageClass("IPM.Note")
                                 .MapiProps(TnefPropList().Binary(0x1009, CompressRtfLzfu(rtf)))
                                 .Bytes();
    const std::string mail = BuildMail(MailShape::Mixed, tnef, false);
    const TUnwrapResult r = UnwrapTnefParts(mail);
    ASSERT_TRUE(r.Changed) << r.Reason;
    EXPECT_EQ(MinimalEditFault(mail, r.Mail), "");
    EXPECT_NE(r.Mail.find("Content-Type: multipart/alternative"), std::string::npos);
    EXPECT_NE(r.Mail.find("Hello bold world"), std::string::npos) << r.Mail;
    EXPECT_NE(r.Mail.find("Second &lt;line&gt;<br>"), std::string::npos) << r.Mail;
    EXPECT_NE(r.Mail.find("text/rtf"), std::string::npos);
}
