#include "model/message.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstring>

#include "core/errors.h"
#include "core/texts.h"
#include "storage/compound_file.h"

namespace pelmsg {

TPelMessage::TPelMessage()
    : properties_(this, nullptr)
{
}

TPelMessage::~TPelMessage() = default;

// A member of the message component's public API, though it reads no member.
// NOLINTNEXTLINE(readability-convert-member-functions-to-static)
const char* TPelMessage::About() const { return kLibraryVersion; }

void TPelMessage::Clear()
{
    properties_.Clear();
    warnings_.clear();
}

void TPelMessage::LoadFromStream(TStream&) { Clear(); }

size_t TPelMessage::NodeLimitFor(int64_t inputSize)
{
    return kNodeAllowance + static_cast<size_t>(std::max<int64_t>(inputSize, 0)) / kInputBytesPerNode;
}

void TPelMessage::CountNode()
{
    if (nodeLimit_ == 0)
        return;
    if (++nodeCount_ > nodeLimit_) {
        nodeLimitPassed_ = true;
        throw EFormatError(FormatMessage(STooManyProperties, std::to_string(nodeLimit_)), -1);
    }
}

void TPelMessage::LimitNodes(int64_t inputSize)
{
    nodeLimit_ = NodeLimitFor(inputSize);
    nodeCount_ = 0;
    nodeLimitPassed_ = false;
}

void TPelMessage::EndNodeLimit()
{
    const size_t limit = nodeLimit_;
    nodeLimit_ = 0;
    if (nodeLimitPassed_) {
        nodeLimitPassed_ = false;
        throw EFormatError(FormatMessage(STooManyProperties, std::to_string(limit)), -1);
    }
}

void TPelMessage::LoadFromFile(const std::string& fileName)
{
    struct stat st { };
    if (fileName.empty() || ::stat(fileName.c_str(), &st) != 0)
        throw EFileError(FormatMessage(SFileNotFound, fileName));
    if (S_ISDIR(st.st_mode))
        throw EFileError(FormatMessage(SFileIsFolder, fileName));
    Clear();
    sourceFile_ = TFileIdentity { static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino) };
}

TSaveOptions SaveOptionsFor(const TMSGProperties& collection)
{
    TSaveOptions options;
    if (const TPelMessage* owner = collection.Owner(); owner && owner->SourceFile())
        options.Protected.push_back(*owner->SourceFile());
    return options;
}

namespace {

// The first node with the tag in tree order (each node before its children, then its next sibling).
const TMSGProperty* FirstInTreeOrder(const TMSGProperties& collection, uint32_t tag)
{
    for (const TMSGProperty* node : collection) {
        if (node->TagID == tag)
            return node;
        if (const TMSGProperty* found = FirstInTreeOrder(node->SubProperties, tag))
            return found;
    }
    return nullptr;
}

} // namespace

bool TPelMessage::HasMessageFlag(uint16_t mask) const
{
    const TMSGProperty* flags = FirstInTreeOrder(properties_, kTagMessageFlags);
    if (!flags)
        return false;
    return (ValueAsInteger(flags->Value) & mask) != 0;
}

} // namespace pelmsg
