#include "export/attachment_writer.h"

#include <algorithm>

#include "core/stream.h"

namespace pelmsg {

void WriteAttachmentData(const TMSGProperties& message, int index, TStream& stream)
{
    const TMSGProperty* attachment = message.Attachments(index);
    if (!attachment)
        return;
    const TMSGProperty* data = attachment->AttachmentDataNode();
    if (!data && !message.IsTopLevel())
        data = attachment->SubProperties.FindProperty(MakeTag(kIdAttachDataObject, 0), true, true);
    if (!data || data->DataSize == 0)
        return;
    if (const auto* bytes = std::get_if<ByteString>(&data->Value)) {
        stream.WriteBuffer(bytes->data(), std::min<size_t>(bytes->size(), data->DataSize));
        return;
    }
    ByteString bytes = ValueAsBytes(data->Value);
    stream.WriteBuffer(bytes.data(), std::min<size_t>(bytes.size(), data->DataSize));
}

} // namespace pelmsg
