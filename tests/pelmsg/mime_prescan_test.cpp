// The quick test whether a mail may hold a TNEF part: it never says no to a mail in which the MIME reader finds
// one, however the TNEF is encoded and however the mail around it looks; and it says no to ordinary mail.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>

#include "mail_builder.h"
#include "mime/mime_reader.h"
#include "mime/tnef_parts.h"
#include "test_support.h"

using namespace pelmsg;
using namespace pelmsg::test;

namespace {

std::string SampleTnef() { return ReadFileBytes(std::string(TESSALY_SOURCE_DIR) + "/samples/winmail.dat"); }

size_t TnefPartsFound(const std::string& mail) { return FindTnefParts(mail, ReadMime(mail)).size(); }

// A mail whose one part has the given transfer encoding and body, as bytes stand in the mail.
std::string MailWithBody(const std::string& encoding, const std::string& body)
{
    return "From: a@example.org\r\nSubject: s\r\nMIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=\"x\"\r\n\r\n--x\r\nContent-Type: text/plain\r\n\r\nHello\r\n"
           "--x\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: "
        + encoding + "\r\n\r\n" + body + "\r\n--x--\r\n";
}

std::string Base64(const std::string& bytes) { return Base64Lines(bytes, "\r\n"); }

// Where the prescan must look hardest: the signature split by what the decoders skip or allow.
TEST(TnefPrescan, FindsEveryEncodingOfTheSignature)
{
    const std::string tnef = SampleTnef();
    const std::string b64 = Base64(tnef); // "eJ8+IgAA..."
    ASSERT_EQ(b64.substr(0, 5), "eJ8+I");
    const std::string afterSignature = b64.substr(5);
    const std::string qpRest = QuotedPrintableLines(tnef.substr(4), "\r\n");
    const struct {
        const char* Name;
        std::string Encoding;
        std::string Body;
    } rows[] = {
        { "base64", "base64", b64 },
        { "base64, line break after the start", "base64", "eJ8+\r\n" + b64.substr(4) },
        { "base64, line break after each letter", "base64", "e\r\nJ\r\n8\r\n+\r\nI" + afterSignature },
        { "base64, blanks and junk between", "base64", "e J\t8 -+ *I" + afterSignature },
        { "base64, empty lines and junk first", "base64", "\r\n\r\n  !!eJ8+I" + afterSignature },
        { "base64 labelled in capitals", "BASE64", b64 },
        { "quoted-printable", "quoted-printable", "x=9F>\"" + qpRest },
        { "quoted-printable, lower-case hex", "quoted-printable", "x=9f>\"" + qpRest },
        { "quoted-printable, every byte escaped", "quoted-printable", "=78=9F=3E=22" + qpRest },
        { "quoted-printable, soft line breaks", "quoted-printable", "x=\r\n=9F=\r\n>=\r\n\"" + qpRest },
        { "quoted-printable, the byte 9F as it is", "quoted-printable", tnef },
        { "binary", "binary", tnef },
        { "8bit", "8bit", tnef },
        { "an unknown encoding", "x-unknown", tnef },
    };
    for (const auto& row : rows) {
        const std::string mail = MailWithBody(row.Encoding, row.Body);
        EXPECT_EQ(TnefPartsFound(mail), 1u) << row.Name;
        EXPECT_TRUE(MayHoldTnefPart(mail)) << row.Name;
    }
}

TEST(TnefPrescan, FindsTheTnefOfEveryMailShape)
{
    const std::string tnef = SampleTnef();
    for (const ShapeRow& row : MailShapes())
        for (const bool crlf : { true, false }) {
            const std::string mail = BuildMail(row.Shape, tnef, crlf);
            ASSERT_GT(TnefPartsFound(mail), 0u) << row.Name;
            EXPECT_TRUE(MayHoldTnefPart(mail)) << row.Name << (crlf ? " (CR LF)" : " (LF)");
        }
}

// The corpus's TNEF files inside mails, and the encoded signature cut by line breaks, blanks and junk at random
// places: wherever the reader finds a TNEF part, the prescan says the mail may hold one.
TEST(TnefPrescan, NeverMissesWhatTheReaderFinds)
{
    std::vector<std::string> streams = { SampleTnef() };
    if (CorpusAvailable())
        for (const auto& entry : std::filesystem::directory_iterator(CorpusPath("tnef")))
            if (entry.is_regular_file() && streams.size() < 40)
                streams.push_back(ReadFileBytes(entry.path().string()));
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    const std::string junk[] = { "\r\n", "\n", " ", "\t", "-", "!", "\r\n\r\n", "\x80", "*" };
    size_t found = 0;
    for (const std::string& tnef : streams) {
        const std::string b64 = Base64(tnef);
        for (int variant = 0; variant < 24; ++variant) {
            // Junk after some of the first eight letters.
            std::string body;
            for (size_t i = 0; i < b64.size(); ++i) {
                body += b64[i];
                if (i < 8 && next() % 3 == 0)
                    body += junk[next() % std::size(junk)];
            }
            const std::string mail = MailWithBody(variant % 2 ? "base64" : " Base64 ", body);
            if (TnefPartsFound(mail) == 0)
                continue;
            ++found;
            EXPECT_TRUE(MayHoldTnefPart(mail)) << "variant " << variant;
        }
    }
    EXPECT_GE(found, streams.size() * 20);
}

TEST(TnefPrescan, OrdinaryMailHoldsNone)
{
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += "Line " + std::to_string(i) + " of a letter, with 1+1=2 and a=b; x=9 (no escape).\r\n";
    std::string pdf;
    for (int i = 0; i < 30000; ++i)
        pdf += static_cast<char>((i * 7919) % 127); // no byte 9F; base64 of it holds "+" here and there
    const std::string rows[] = {
        "Subject: hi\r\n\r\n" + text,
        MailWithBody("base64", Base64(pdf)),
        MailWithBody("quoted-printable", "caf=C3=A9 =3D equal=\r\nsigns\r\n"),
        MailWithBody("base64", Base64(text)),
        // Near misses: the signature broken by "=", where the base64 decoder stops, or by another letter.
        MailWithBody("base64", "eJ8=+Ig"),
        MailWithBody("base64", "eJ8+AIg"),
        MailWithBody("base64", "eK8+Ig"),
    };
    for (const std::string& mail : rows) {
        EXPECT_EQ(TnefPartsFound(mail), 0u);
        EXPECT_FALSE(MayHoldTnefPart(mail)) << mail.substr(0, 200);
    }
    EXPECT_FALSE(MayHoldTnefPart(""));
}

} // namespace
