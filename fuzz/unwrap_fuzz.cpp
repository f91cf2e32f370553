// Unwraps arbitrary bytes as a mail. Either the mail is left as it is (with a reason), or the result, read again,
// has the same bytes before the first TNEF part and after the last one, and every part of the input that was not
// TNEF, byte for byte and in order.

#include <algorithm>
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

void Leaves(const pelmsg::TMimeEntity& e, std::vector<const pelmsg::TMimeEntity*>& out)
{
    if ((e.IsMultipart() || e.IsMessage()) && !e.Children.empty()) {
        for (const pelmsg::TMimeEntity& child : e.Children)
            Leaves(child, out);
        return;
    }
    out.push_back(&e);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view mail(reinterpret_cast<const char*>(data), size);
    pelmsg::TUnwrapOptions options;
    options.Limits.MaxDepth = 16;
    options.Limits.MaxEntities = 500;
    options.MaxMailBytes = 1 << 20;
    const pelmsg::TUnwrapResult result = pelmsg::UnwrapTnefParts(mail, options);
    if (!result.Changed) {
        Check(!result.Reason.empty() && result.Mail.empty());
        return 0;
    }
    // A mail the filter would copy unread after the quick test is never one that unwraps.
    Check(pelmsg::MayHoldTnefPart(mail));
    const std::string_view after = result.Mail;
    const pelmsg::TMimeDocument in = pelmsg::ReadMime(mail, options.Limits);
    const std::vector<pelmsg::TTnefPart> tnef = pelmsg::FindTnefParts(mail, in);
    Check(!tnef.empty() && static_cast<size_t>(result.PartsUnwrapped) == tnef.size());
    // Up to the first TNEF part, or up to the end of its message's header when a Subject may have been added there.
    size_t head = tnef.front().Part->Header.Begin;
    if (const pelmsg::TMimeEntity* message = tnef.front().Message; !message->Field(mail, "Subject"))
        head = std::min(head, message->Separator.Size() ? message->Separator.Begin : message->Body.Begin);
    const size_t tail = mail.size() - tnef.back().Part->Body.End;
    Check(after.size() >= head + tail);
    Check(after.substr(0, head) == mail.substr(0, head));
    Check(after.substr(after.size() - tail) == mail.substr(mail.size() - tail));

    pelmsg::TMimeLimits generous;
    generous.MaxDepth = 64;
    generous.MaxEntities = 100000;
    const pelmsg::TMimeDocument out = pelmsg::ReadMime(after, generous);
    std::vector<const pelmsg::TMimeEntity*> inLeaves, outLeaves;
    Leaves(in.Root, inLeaves);
    Leaves(out.Root, outLeaves);
    size_t next = 0;
    for (const pelmsg::TMimeEntity* leaf : inLeaves) {
        if (std::any_of(tnef.begin(), tnef.end(), [&](const pelmsg::TTnefPart& p) { return p.Part == leaf; }))
            continue;
        const std::string_view bytes = leaf->Whole.In(mail);
        while (next < outLeaves.size() && outLeaves[next]->Whole.In(after) != bytes)
            ++next;
        Check(next < outLeaves.size());
        ++next;
    }
    return 0;
}
