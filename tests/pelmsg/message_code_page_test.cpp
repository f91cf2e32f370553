// The code page of a message's 8-bit strings when it declares no message code page: the Windows code page of the
// language its internet code page or locale id names, before the Western default; the Japanese 8-bit files of the
// corpus read as their Unicode twins.

#include <gtest/gtest.h>

#include "calendar/calendar.h"
#include "core/stream.h"
#include "export/eml_writer.h"
#include "export/text_writer.h"
#include "external_readers.h"
#include "message_file.h"
#include "model/message.h"
#include "test_support.h"
#include "text/message_code_page.h"

using namespace pelmsg;
using namespace pelmsg::test;

namespace {

TEST(MessageCodePage, TheRuleInOrder)
{
    struct Case {
        const char* what;
        int32_t message, internet;
        uint32_t locale;
        int32_t expected;
    } cases[] = {
        { "the message's own wins", 1251, 50220, 1041, 1251 },
        { "an unconvertible own one is passed over", 77777, 0, 1049, 1251 },
        { "ISO-2022-JP is written as Shift-JIS", 0, 50220, 0, 932 },
        { "EUC-JP", 0, 51932, 0, 932 },
        { "EUC-KR", 0, 51949, 0, 949 },
        { "HZ", 0, 52936, 0, 936 },
        { "a Windows code page as it is", 0, 1250, 1041, 1250 },
        { "UTF-8 as it is", 0, 65001, 0, 65001 },
        { "Japanese locale", 0, 0, 1041, 932 },
        { "Russian locale", 0, 0, 1049, 1251 },
        { "Chinese (PRC)", 0, 0, 2052, 936 },
        { "Chinese (Taiwan)", 0, 0, 1028, 950 },
        { "Serbian (Cyrillic)", 0, 0, 0x0C1A, 1251 },
        { "Croatian", 0, 0, 0x041A, 1250 },
        { "Greek", 0, 0, 1032, 1253 },
        { "a Western locale leaves it to the default", 0, 0, 1033, 0 },
        { "nothing declared", 0, 0, 0, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(MessageTextCodePage(c.message, c.internet, c.locale), c.expected);
    }
}

std::unique_ptr<TPelMessage> LoadCorpus(const std::string& name)
{
    const std::string path = CorpusPath("msg/" + name);
    auto message = CreateMessageForFile(path);
    message->LoadFromFile(path);
    return message;
}

// The value of the first content line with the name (unfolded).
std::string LineValue(std::string text, const std::string& name)
{
    for (size_t at; (at = text.find("\r\n ")) != std::string::npos;)
        text.erase(at, 3);
    const size_t at = text.find("\r\n" + name + ":");
    if (at == std::string::npos)
        return {};
    const size_t from = at + 3 + name.size();
    return text.substr(from, text.find("\r\n", from) - from);
}

TEST(MessageCodePage, TheShiftJisContactReadsAsItsUnicodeTwin)
{
    if (!CorpusAvailable())
        GTEST_SKIP() << "corpus missing";
    auto ansi = LoadCorpus("hiraoka-msgreader__contactAnsi.msg");
    auto unicode = LoadCorpus("hiraoka-msgreader__contactUnicode.msg");
    EXPECT_EQ(ansi->Properties().TextCodePage(), 932);
    EXPECT_EQ(U8(ansi->Subject()), U8(unicode->Subject()));
    EXPECT_EQ(U8(ansi->Subject()), "コム ドット イグザンプル 殿");
    const std::string ansiCard = VCardText(ansi->Properties());
    const std::string unicodeCard = VCardText(unicode->Properties());
    for (const char* name : { "FN", "N", "ORG", "ADR;TYPE=work" }) {
        SCOPED_TRACE(name);
        EXPECT_EQ(LineValue(ansiCard, name), LineValue(unicodeCard, name));
    }
    EXPECT_EQ(ansiCard.find("\xEF\xBF\xBD"), std::string::npos) << "no replacement characters";
}

TEST(MessageCodePage, TheCodePage932MessageInEveryFormat)
{
    if (!CorpusAvailable())
        GTEST_SKIP() << "corpus missing";
    auto message = LoadCorpus("hiraoka-msgreader__nonUnicodeCP932.msg");
    const std::string subject = "日本語 Non Unicode タイトル";
    EXPECT_EQ(U8(message->Subject()), subject);
    TMemoryStream text;
    WriteText(message->Properties(), text, false);
    EXPECT_NE(text.TakeBytes().find(subject), std::string::npos);
    if (!ToolAvailable(kPython))
        GTEST_SKIP() << "python3 missing";
    TMemoryStream eml;
    WriteEml(message->Properties(), eml);
    const Json mail = EmlSummaryOfBytes(eml.TakeBytes());
    EXPECT_EQ(mail["headers"]["subject"]["text"].string, subject);
}

} // namespace
