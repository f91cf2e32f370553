#include "attachment_export.h"

#include <filesystem>
#include <system_error>

#include "pelmsg.h"

namespace quorra {

namespace {

constexpr uint16_t kIdDisplayName = 0x3001;

bool EndsWithMsg(const std::string& name)
{
    return name.size() >= 4 && pelmsg::EqualsIgnoringAsciiCase(std::string_view(name).substr(name.size() - 4), ".msg");
}

// The file name an attachment is written under, before it is made safe.
std::string NameOf(const pelmsg::TMSGProperty& attachment, int index)
{
    if (!attachment.IsEmbeddedMessage())
        return attachment.AttachmentFileName(index);
    // An attached message is named by its display name (its subject, as mail programs show it).
    std::string name = pelmsg::WideToUtf8(pelmsg::TItemProperties(attachment.SubProperties).Text(kIdDisplayName));
    if (name.empty())
        name = attachment.AttachmentFileName(index);
    return EndsWithMsg(name) ? name : name + ".msg";
}

} // namespace

std::string DefaultAttachmentFolder(const std::string& messagePath)
{
    std::filesystem::path path(messagePath);
    if (path.has_extension() && !path.stem().empty())
        return (path.parent_path() / path.stem()).string();
    return messagePath + " attachments";
}

int SaveAllAttachments(
    const pelmsg::TMSGProperties& message, const std::string& folder, std::ostream& out, std::ostream& errors)
{
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!std::filesystem::is_directory(folder)) {
        errors << "quorra: cannot create the folder " << folder << (ec ? ": " + ec.message() : std::string()) << "\n";
        return 1;
    }
    int failed = 0;
    const int count = message.AttachmentCount();
    for (int i = 0; i < count; ++i) {
        const pelmsg::TMSGProperty* attachment = message.Attachments(i);
        if (!attachment)
            continue;
        const std::string fallback = "attachment " + std::to_string(i + 1);
        const std::string safe = pelmsg::SafeFileName(NameOf(*attachment, i), fallback);
        std::string path;
        try {
            path = pelmsg::FirstFreeFilePath(folder, safe);
            const pelmsg::TMSGProperty* data = attachment->AttachmentDataNode();
            if (attachment->IsEmbeddedMessage() && data) {
                pelmsg::SaveThroughTemporaryFile(
                    path, [&](pelmsg::TStream& file) { data->SubProperties.SaveToMSG(file, true); });
            } else {
                pelmsg::SaveThroughTemporaryFile(
                    path, [&](pelmsg::TStream& file) { message.SaveAttachment(i, &file); });
            }
            out << path << "\n";
            if (data && data->Truncated)
                errors << "quorra: warning: attachment " << i + 1 << " (" << path
                       << ") is incomplete: the message file ends inside it\n";
        } catch (const std::exception& e) {
            ++failed;
            errors << "quorra: attachment " << i + 1 << " (" << safe << ") was not written: " << e.what() << "\n";
        }
    }
    return failed == 0 ? 0 : 1;
}

} // namespace quorra
