// The message component's shortcuts: the flag test over the whole tree, the field shortcuts and the save calls
// that forward to the writers.

#include <gtest/gtest.h>

#include "export_fixtures.h"
#include "pelmsg.h"
#include "test_support.h"
#include "tnef_builder.h"

using namespace pelmsg;
using namespace pelmsg::test;

TEST(MessageShortcuts, HasMessageFlag)
{
    TPelTNEFFile none;
    AddNode(none.Properties(), 0x0037001F, W("no flags"));
    AddNode(none.Properties(), 0x0E070014, int64_t { 0xFFFF }); // same identifier, other type: not the flags
    for (uint16_t mask : { 0x0000, 0x0001, 0xFFFF })
        EXPECT_FALSE(none.HasMessageFlag(mask)) << mask;

    TPelTNEFFile top;
    AddNode(top.Properties(), kTagMessageFlags, int32_t { 0x11 });
    struct Row {
        uint16_t mask;
        bool set;
    };
    for (Row row : { Row { 0x0000, false }, Row { 0x0001, true }, Row { 0x0002, false }, Row { 0x0010, true },
             Row { 0x0012, true }, Row { 0xFFFF, true } })
        EXPECT_EQ(top.HasMessageFlag(row.mask), row.set) << row.mask;

    // The first MESSAGE_FLAGS in tree order counts, even inside an attachment before the message's own.
    TPelTNEFFile nested;
    TMSGProperty* attachment = AddNode(nested.Properties(), kTagTnefAttachment);
    AddNode(attachment->SubProperties, kTagMessageFlags, int32_t { 0x02 });
    AddNode(nested.Properties(), kTagMessageFlags, int32_t { 0x01 });
    EXPECT_TRUE(nested.HasMessageFlag(0x02));
    EXPECT_FALSE(nested.HasMessageFlag(0x01));
}

TEST(MessageShortcuts, FieldShortcutsOfAnEmptyComponentAreEmpty)
{
    TPelTNEFFile file;
    EXPECT_TRUE(file.Subject().empty());
    EXPECT_TRUE(file.PlainBody().empty());
    EXPECT_TRUE(file.TransportHeaders().empty());
    EXPECT_TRUE(file.From().empty());
    EXPECT_TRUE(file.ToList().empty());
    EXPECT_TRUE(file.CcList().empty());
    EXPECT_TRUE(file.BccList().empty());
}

TEST(MessageShortcuts, SaveCallsWriteWhatTheWritersWrite)
{
    TPelTNEFFile file;
    std::string tnef
        = TnefBuilder()
              .Version()
              .MapiProps(
                  TnefPropList().Unicode(0x0037, "Shortcuts").Unicode(0x1000, "body").Unicode(0x1013, "<p>html</p>"))
              .AttachRenddata()
              .AttachTitle("a.txt")
              .AttachData("abc")
              .Bytes();
    TSpanStream stream(tnef);
    file.LoadFromStream(stream);
    EXPECT_EQ(file.Subject(), W("Shortcuts"));

    TempDir dir;
    for (bool flag : { false, true }) {
        SCOPED_TRACE(flag);
        file.SaveToTextFile(dir.File("m.txt"), flag);
        EXPECT_EQ(ReadFileBytes(dir.File("m.txt")), TextOf(file.Properties(), flag));
        file.SaveToHTMLFile(dir.File("m.html"), flag);
        EXPECT_EQ(ReadFileBytes(dir.File("m.html")), HtmlOf(file.Properties(), flag));
        file.SaveToXMLFile(dir.File("m.xml"), flag);
        EXPECT_EQ(ReadFileBytes(dir.File("m.xml")), XmlOf(file.Properties(), flag));
        // The MIME writer takes no flag; the shortcut accepts one and ignores it.
        file.SaveToEMLFile(dir.File("m.eml"), flag);
        TMemoryStream eml;
        file.Properties().SaveToEML(&eml);
        EXPECT_EQ(ReadFileBytes(dir.File("m.eml")), eml.Bytes());
    }
    EXPECT_NE(HtmlOf(file.Properties(), false), HtmlOf(file.Properties(), true));
}
