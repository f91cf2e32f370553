#pragma once

// Small helpers for the writer tests: trees built node by node, the writers' output as bytes, a locale for the
// lifetime of a test.

#include <cstdlib>
#include <string>

#include "pelmsg.h"

namespace pelmsg::test {

// Appends a node with a tag and a value to a collection.
inline TMSGProperty* AddNode(TMSGProperties& collection, uint32_t tag, TValue value = {})
{
    TMSGProperty* node = collection.Add();
    node->TagID = tag;
    node->Value = std::move(value);
    return node;
}

inline std::string TextOf(const TMSGProperties& message, bool withProperties)
{
    TMemoryStream out;
    SaveToText(message, &out, withProperties);
    return out.TakeBytes();
}

inline std::string HtmlOf(const TMSGProperties& message, bool withProperties)
{
    TMemoryStream out;
    SaveToHTML(message, &out, withProperties);
    return out.TakeBytes();
}

inline std::string XmlOf(const TMSGProperties& message, bool withProperties)
{
    TMemoryStream out;
    SaveToXML(message, &out, withProperties);
    return out.TakeBytes();
}

// Sets LC_ALL for the lifetime of the object (the writers read the user's locale on every call).
class ScopedLocale {
public:
    explicit ScopedLocale(const char* locale)
    {
        const char* old = std::getenv("LC_ALL");
        hadPrevious_ = old != nullptr;
        if (old)
            previous_ = old;
        setenv("LC_ALL", locale, 1);
    }
    ~ScopedLocale()
    {
        if (hadPrevious_)
            setenv("LC_ALL", previous_.c_str(), 1);
        else
            unsetenv("LC_ALL");
    }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

private:
    std::string previous_;
    bool hadPrevious_ = false;
};

} // namespace pelmsg::test
