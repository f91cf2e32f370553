#pragma once

// Tables of texts and what a function makes of them, checked row by row (a failing row names its input).

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "model/types.h"
#include "test_support.h"

namespace pelmsg::test {

struct TextCase {
    std::string In;
    std::string Out;
};

// Checks that f(row.In) == row.Out for each row.
template <class F> void ExpectEachMapsTo(F&& f, std::initializer_list<TextCase> rows)
{
    for (const TextCase& row : rows)
        EXPECT_EQ(f(row.In), row.Out) << row.In;
}

// The same for a function that rewrites UTF-16 text in place.
template <class F> void ExpectEachRewrittenTo(F&& rewrite, std::initializer_list<TextCase> rows)
{
    ExpectEachMapsTo(
        [&](const std::string& in) {
            WideString text = W(in);
            rewrite(text);
            return U8(text);
        },
        rows);
}

} // namespace pelmsg::test
