#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/stream.h"
#include "core/texts.h"
#include "model/property.h"
#include "model/types.h"

namespace pelmsg {

class TStream;

// Something a reader skipped or cut while it went on reading a damaged input: where (byte offset in the input,
// -1 when unknown) and what ("attachment data truncated: 135 of 2,048 bytes present").
struct TReadWarning {
    int64_t Offset = -1;
    std::string Text;
};

// Converts message text for the MIME writer: Sender is the collection being written, codePage its charset name,
// value the text to convert, replaced by the converted text.
using TPelMSGConvertCodepage
    = std::function<void(const TMSGProperties& sender, const ByteString& codePage, ByteString& value)>;

// Holds one message: owns its property tree and loads a file or stream into it. Each input format has its own
// subclass in the layer of its reader (tnef/tnef_reader.h, msg/msg_reader.h, mime/mail_file.h; message_file.h
// chooses one for a file); the base loads nothing. The writers are functions of their layers that take the tree
// (export/saving.h).
class TPelMessage {
public:
    TPelMessage();
    virtual ~TPelMessage();
    TPelMessage(const TPelMessage&) = delete;
    TPelMessage& operator=(const TPelMessage&) = delete;

    // The library version.
    const char* About() const;
    // The root collection of the tree.
    TMSGProperties& Properties() { return properties_; }
    const TMSGProperties& Properties() const { return properties_; }
    // Copies a collection into the tree.
    void SetProperties(const TMSGProperties& source) { properties_.Assign(source); }

    virtual void Clear();
    // What the last load skipped or cut; empty for a sound input. Cleared with the tree.
    const std::vector<TReadWarning>& Warnings() const { return warnings_; }
    void AddWarning(int64_t offset, std::string text) { warnings_.push_back({ offset, std::move(text) }); }
    // The file the last LoadFromFile read, by identity; every save of the message refuses to replace it.
    const std::optional<TFileIdentity>& SourceFile() const { return sourceFile_; }

    // The most nodes a load may make from an input of that many bytes: a fixed allowance and one node per
    // kInputBytesPerNode bytes. Every node takes some hundred bytes, so a crafted input of tiny properties would
    // otherwise take memory many times its size.
    static constexpr size_t kNodeAllowance = 4096;
    static constexpr size_t kInputBytesPerNode = 16;
    static size_t NodeLimitFor(int64_t inputSize);
    // Counts a node made while loading; raises EFormatError (STooManyProperties) past the limit of the load.
    void CountNode();
    // Reads the stream into the tree (which is cleared first). Raises EFormatError with the format's message.
    virtual void LoadFromStream(TStream& stream);
    // Raises EFileError "File %s is not found." when the file does not exist, "%s is a folder, not a message
    // file." for a folder (the tree stays as it was); then clears the tree.
    virtual void LoadFromFile(const std::string& fileName);
    // The handler the MIME writer converts text for the message's charset with; an empty one leaves the writer to
    // its own conversion. Only the .msg component has one to give.
    virtual TPelMSGConvertCodepage ConvertCodepageHandler() const { return {}; }

    // ---- Shortcuts over the tree ----
    WideString Subject() const { return properties_.Subject(); }
    WideString PlainBody() const { return properties_.PlainBody(); }
    WideString TransportHeaders() const { return properties_.TransportHeaders(); }
    WideString From() const { return properties_.From(); }
    WideString ToList() const { return properties_.ToList(); }
    WideString CcList() const { return properties_.CcList(); }
    WideString BccList() const { return properties_.BccList(); }
    ByteString Charset() const { return properties_.Charset(); }
    // Whether MESSAGE_FLAGS (first one anywhere in the tree) has any bit of the mask.
    bool HasMessageFlag(uint16_t mask) const;
private:
protected:
    // Starts counting the nodes a load makes against the limit for an input of that size.
    void LimitNodes(int64_t inputSize);
    // Ends counting; raises EFormatError when the load went past the limit (whatever caught it on the way).
    void EndNodeLimit();

private:
    TMSGProperties properties_;
    std::vector<TReadWarning> warnings_;
    std::optional<TFileIdentity> sourceFile_;
    size_t nodeLimit_ = 0; // 0: not loading, no limit
    size_t nodeCount_ = 0;
    bool nodeLimitPassed_ = false;
};

// Runs a load or a save; an allocation that fails on the way becomes EPelMsgError "Not enough memory to <what>"
// instead of ending the program.
template <class Action> void WithMemoryError(const char* what, Action action)
{
    try {
        action();
    } catch (const std::bad_alloc&) {
        throw EPelMsgError(FormatMessage(SOutOfMemory, what));
    }
}

// How every save of a collection (or of anything in it) writes: the file its message was read from is protected.
TSaveOptions SaveOptionsFor(const TMSGProperties& collection);

} // namespace pelmsg
