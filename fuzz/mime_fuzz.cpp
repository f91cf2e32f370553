// Reads arbitrary bytes as a mail and as an mbox: every range the reader reports lies inside the input and inside
// its entity, children follow one another, and the limits hold; and the quick TNEF test agrees with the reader.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "pelmsg.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void Walk(std::string_view mail, const pelmsg::TMimeEntity& e, const pelmsg::TMimeLimits& limits)
{
    const auto inside = [&](const pelmsg::TMimeRange& r, const pelmsg::TMimeRange& outer) {
        Check(r.Begin <= r.End && r.End <= mail.size());
        Check(r.Begin >= outer.Begin && r.End <= outer.End);
    };
    Check(e.Whole.Begin <= e.Whole.End && e.Whole.End <= mail.size());
    Check(e.Depth <= limits.MaxDepth);
    inside(e.Header, e.Whole);
    inside(e.Body, e.Whole);
    Check(e.Header.End <= e.Body.Begin);
    Check(e.Fields.size() <= limits.MaxFields);
    for (const pelmsg::TMimeField& f : e.Fields) {
        inside(f.Whole, e.Header);
        inside(f.Name, f.Whole);
        Check(f.Value.Begin <= f.Value.End && f.Value.End <= f.Whole.End);
    }
    size_t previous = e.Body.Begin;
    for (const pelmsg::TMimeEntity& child : e.Children) {
        inside(child.Whole, e.Body);
        Check(child.Whole.Begin >= previous);
        previous = child.Whole.End;
        Walk(mail, child, limits);
    }
    if (e.Children.empty())
        (void)pelmsg::DecodedBody(mail, e, 4096);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view mail(reinterpret_cast<const char*>(data), size);
    pelmsg::TMimeLimits limits;
    limits.MaxDepth = 16;
    limits.MaxEntities = 500;
    limits.MaxHeaderBytes = 4096;
    limits.MaxFields = 64;
    const pelmsg::TMimeDocument document = pelmsg::ReadMime(mail, limits);
    Check(document.EntityCount <= limits.MaxEntities);
    Walk(mail, document.Root, limits);
    // The quick test never says "no TNEF" of a mail in which the reader finds a TNEF part.
    if (!pelmsg::FindTnefParts(mail, document).empty())
        Check(pelmsg::MayHoldTnefPart(mail));
    (void)pelmsg::DescribeParts(mail, document);
    for (const pelmsg::TMimeField& f : document.Root.Fields) {
        (void)pelmsg::DecodeHeaderText(f.Value.In(mail));
        (void)pelmsg::ParseContentType(f.Value.In(mail));
    }
    (void)pelmsg::LooksLikeMail(mail);

    pelmsg::TSpanStream stream(data, size);
    pelmsg::TMboxReader reader(stream);
    std::string from, one;
    size_t total = 0;
    try {
        while (reader.Next(from, one))
            total += one.size() + from.size();
    } catch (const pelmsg::EPelMsgError&) {
    }
    Check(total <= size);
    return 0;
}
