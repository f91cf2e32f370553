// The message component's shortcuts: the flag test over the whole tree. (The field and save shortcuts are
// one-line forwards to the collection's.)

#include <gtest/gtest.h>

#include "export_fixtures.h"
#include "pelmsg.h"
#include "test_support.h"

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
