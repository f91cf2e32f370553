// Reads arbitrary bytes as a mail and as an mbox: every range the reader reports lies inside the input and inside
// its entity, children follow one another, and the limits hold; the quick TNEF test agrees with the reader; and the
// summary of each TNEF part (and of the input as a TNEF stream) agrees with the TNEF reader when it is complete.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

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

// The summary stays within its limits, and a complete one of a stream the reader reads without a warning holds what
// the opened message shows.
void CheckSummary(std::string_view tnef)
{
    const pelmsg::TTnefSummary summary = pelmsg::SummarizeTnef(tnef);
    // Kept text is cut to its limit in bytes; decoded from an 8-bit code page a byte may take three in UTF-8.
    Check(summary.Subject.size() <= 3 * pelmsg::TTnefSummaryLimits::kMaxTextBytes);
    if (!summary.Complete)
        return;
    pelmsg::TPelTNEFFile full;
    try {
        pelmsg::TSpanStream stream(tnef);
        full.LoadFromStream(stream);
    } catch (const pelmsg::EPelMsgError&) {
        return;
    }
    if (!full.Warnings().empty())
        return;
    Check(summary.Subject == pelmsg::WideToUtf8(full.Subject()));
    Check(summary.MessageClass == pelmsg::ItemMessageClass(full.Properties()));
    // A sender named only by a name is resolved through the recipient rows, which the summary does not read.
    bool recipients = false;
    for (const pelmsg::TMSGProperty* node : full.Properties())
        recipients = recipients || node->TagID == pelmsg::kTagRecipientRow;
    if (!recipients)
        Check(summary.From == pelmsg::WideToUtf8(full.From()));
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
    const std::vector<pelmsg::TTnefPart> parts = pelmsg::FindTnefParts(mail, document);
    if (!parts.empty())
        Check(pelmsg::MayHoldTnefPart(mail));
    // The summary a chooser lists each part with, and of the input taken as a TNEF stream itself.
    for (const pelmsg::TTnefPart& part : parts)
        CheckSummary(pelmsg::DecodedBody(mail, *part.Part));
    CheckSummary(mail);
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
