#include "attachment_export.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "pelmsg.h"
#include "preview_support.h"
#include "save_formats.h"

namespace quorra {

std::string ProposedAttachmentName(const pelmsg::TMSGProperty& attachment, int index)
{
    return ProposedAttachmentName(
        attachment.AttachmentKind(), attachment.AttachmentDisplayName(index), attachment.AttachmentFileName(index));
}

std::string SafeAttachmentName(const pelmsg::TMSGProperty& attachment, int index)
{
    return pelmsg::SafeFileName(ProposedAttachmentName(attachment, index), "attachment " + std::to_string(index + 1));
}

void SaveAttachmentAs(const pelmsg::TMSGProperties& message, int index, const std::string& path)
{
    const pelmsg::TMSGProperty* attachment = message.Attachments(index);
    if (attachment && attachment->IsEmbeddedMessage()) {
        // The message is the data node's tree; an attachment without one holds the message's properties itself.
        const pelmsg::TMSGProperty* data = attachment->AttachmentDataNode();
        const pelmsg::TMSGProperties& embedded = data ? data->SubProperties : attachment->SubProperties;
        pelmsg::SaveThroughTemporaryFile(path, [&](pelmsg::TStream& file) { pelmsg::SaveToMSG(embedded, file, true); });
        return;
    }
    pelmsg::SaveAttachmentToFile(message, index, path);
}

TAttachmentTargets::TAttachmentTargets(std::string folder, std::string openFile, TAsk ask)
    : folder_(std::move(folder))
    , openFile_(std::move(openFile))
    , ask_(std::move(ask))
{
}

std::string TAttachmentTargets::PathFor(const std::string& safeName)
{
    const std::string path = (folder_.empty() || folder_.back() == '/' ? folder_ : folder_ + "/") + safeName;
    struct stat entry { };
    if (::lstat(path.c_str(), &entry) != 0)
        return path;
    struct stat target { };
    const bool folder = ::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
    if (written_.count(path) || folder || IsSameFile(path, openFile_))
        return pelmsg::FirstFreeFilePath(folder_, safeName);
    // Replacing a symbolic link writes the file it points to: a link is never replaced on an answer given for
    // all, the question about it (which shows where it points) is always asked.
    const bool link = S_ISLNK(entry.st_mode);
    TExistingFile answer = answer_;
    if (!answerForAll_ || (link && answer_ == TExistingFile::Replace)) {
        bool forAll = false;
        answer = ask_ ? ask_(path, forAll) : TExistingFile::KeepBoth;
        if (forAll && !answerForAll_) {
            answerForAll_ = true;
            answer_ = answer;
        }
    }
    switch (answer) {
    case TExistingFile::Replace:
        return path;
    case TExistingFile::Skip:
        return {};
    case TExistingFile::KeepBoth:
        break;
    }
    return pelmsg::FirstFreeFilePath(folder_, safeName);
}

std::string DefaultAttachmentFolder(const std::string& messagePath)
{
    std::filesystem::path path(messagePath);
    if (path.has_extension() && !path.stem().empty())
        return (path.parent_path() / path.stem()).string();
    return messagePath + " attachments";
}

std::string SymbolicLinkTarget(const std::string& path)
{
    std::error_code ec;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec)))
        return {};
    const std::string target = std::filesystem::read_symlink(path, ec).string();
    return target.empty() ? std::string("?") : target;
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
        const std::string safe = SafeAttachmentName(*attachment, i);
        std::string path;
        try {
            path = pelmsg::FirstFreeFilePath(folder, safe);
            SaveAttachmentAs(message, i, path);
            out << path << "\n";
            if (const pelmsg::TMSGProperty* data = attachment->AttachmentDataNode(); data && data->Truncated)
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
