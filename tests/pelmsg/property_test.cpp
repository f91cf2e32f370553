#include <gtest/gtest.h>

#include "pelmsg.h"
#include "test_support.h"

using namespace pelmsg;
using pelmsg::test::W;

TEST(PropertyTest, Placeholder) { EXPECT_EQ(CategoryOfIdentifier(0x3000), TMSGPropertyCategory::mpcMessage); }
