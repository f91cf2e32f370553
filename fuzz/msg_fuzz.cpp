// Loads arbitrary bytes as an Outlook .msg compound file and reads every field accessor of the resulting tree,
// attachments and the messages attached to it included.

#include <cstddef>
#include <cstdint>

#include "pelmsg.h"

namespace {

void Touch(const pelmsg::TMSGProperties& c, int depth)
{
    (void)c.Subject();
    (void)c.From();
    (void)c.ToList();
    (void)c.CcList();
    (void)c.BccList();
    (void)c.SentDate();
    (void)c.PlainBody();
    (void)c.HtmlBody();
    (void)c.RtfBody();
    (void)c.Charset();
    (void)c.TextCodePage();
    for (int i = 0; i < c.AttachmentCount(); ++i) {
        const pelmsg::TMSGProperty* attachment = c.Attachments(i);
        if (!attachment)
            continue;
        (void)attachment->AttachmentFileName(i);
        (void)attachment->AttachmentDisplayName(i);
        (void)attachment->AttachmentKind();
        (void)attachment->AttachmentDataNode();
    }
    for (const pelmsg::TMSGProperty* node : c) {
        (void)node->DisplayName(true, true);
        (void)node->DisplayName(false, false);
        (void)node->ValueText();
        if (depth < 64 && !node->SubProperties.Empty())
            Touch(node->SubProperties, depth + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    pelmsg::TPelMSGFile file;
    pelmsg::TSpanStream stream(data, size);
    try {
        file.LoadFromStream(stream);
    } catch (const pelmsg::EPelMsgError&) {
        // A damaged file is refused with an error; whatever was read before it still has to be safe to use.
    }
    Touch(file.Properties(), 0);
    return 0;
}
