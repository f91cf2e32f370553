// Loads arbitrary bytes as a TNEF stream and reads every field accessor of the resulting tree.

#include <cstddef>
#include <cstdint>

#include "pelmsg.h"

namespace {

void Touch(const pelmsg::TMSGProperties& c, int depth)
{
    for (const pelmsg::TMSGProperty* node : c) {
        (void)node->DisplayName(true, true);
        (void)node->ValueText();
        if (depth < 64)
            Touch(node->SubProperties, depth + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    pelmsg::TPelTNEFFile file;
    pelmsg::TSpanStream stream(data, size);
    try {
        file.LoadFromStream(stream);
    } catch (const pelmsg::EPelMsgError&) {
    }
    // Every warning points into the input (attached messages' warnings too) and their number is bounded.
    if (file.Warnings().size() > pelmsg::kMaxReadWarnings + 1)
        __builtin_trap();
    for (const pelmsg::TReadWarning& w : file.Warnings())
        if (w.Offset > static_cast<int64_t>(size) || w.Text.empty())
            __builtin_trap();
    const pelmsg::TMSGProperties& p = file.Properties();
    (void)p.Subject();
    (void)p.From();
    (void)p.ToList();
    (void)p.CcList();
    (void)p.SentDate();
    (void)p.RtfBody();
    (void)p.HtmlBody();
    (void)p.Charset();
    for (int i = 0; i < p.AttachmentCount(); ++i) {
        const pelmsg::TMSGProperty* att = p.Attachments(i);
        (void)att->AttachmentFileName(i);
        (void)att->AttachmentKind();
    }
    Touch(p, 0);
    return 0;
}
