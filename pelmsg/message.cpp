#include "message.h"

#include <sys/stat.h>

#include "constants.h"
#include "errors.h"

namespace pelmsg {

TPelMessage::TPelMessage()
    : properties_(this, nullptr)
{
}

TPelMessage::~TPelMessage() = default;

const char* TPelMessage::About() const { return kLibraryVersion; }

void TPelMessage::Clear() { properties_.Clear(); }

void TPelMessage::LoadFromStream(TStream&) { Clear(); }

void TPelMessage::LoadFromFile(const std::string& fileName)
{
    struct stat st { };
    if (fileName.empty() || ::stat(fileName.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        throw EFileError(FormatMessage(SFileNotFound, fileName));
    Clear();
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
    const TMSGProperty* flags = FirstInTreeOrder(properties_, 0x0E070003);
    if (!flags)
        return false;
    return (ValueAsInteger(flags->Value) & mask) != 0;
}

} // namespace pelmsg
