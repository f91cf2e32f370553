// Saving a message in every format: each function forwards to the writer of its format, with the stream the caller
// gives or through a temporary file that replaces the named one only once everything was written.

#include "export/saving.h"

#include "core/errors.h"
#include "core/stream.h"
#include "export/attachment_writer.h"
#include "export/eml_writer.h"
#include "export/html_writer.h"
#include "export/text_writer.h"
#include "export/writer_support.h"
#include "export/xml_writer.h"
#include "model/message.h"
#include "msg/msg_writer.h"

namespace pelmsg {

namespace {

// The MIME writer's options for a collection: the handler its message component has, if any.
TEmlOptions EmlOptionsOf(const TMSGProperties& message)
{
    TEmlOptions options;
    if (const TPelMessage* owner = message.Owner())
        options.ConvertCodepage = owner->ConvertCodepageHandler();
    return options;
}

// Runs a writer on the caller's stream; `what` names the work in the out-of-memory message.
template <class Write> void ToStream(const char* what, TStream* stream, Write write)
{
    WithMemoryError(what, [&] { write(RequireStream(stream)); });
}

// Runs a writer on a temporary file that then replaces the named one.
template <class Write>
void ToFile(const char* what, const TMSGProperties& message, const std::string& fileName, Write write)
{
    WithMemoryError(what, [&] { SaveThroughTemporaryFile(fileName, write, SaveOptionsFor(message)); });
}

} // namespace

void SaveToText(const TMSGProperties& message, TStream* stream, bool withProperties)
{
    ToStream("write the text", stream, [&](TStream& out) { WriteText(message, out, withProperties); });
}

void SaveToTextFile(const TMSGProperties& message, const std::string& fileName, bool withProperties)
{
    ToFile("write the text", message, fileName, [&](TStream& out) { WriteText(message, out, withProperties); });
}

void SaveToHTML(const TMSGProperties& message, TStream* stream, bool withProperties)
{
    ToStream("write the page", stream, [&](TStream& out) { WriteHtml(message, out, withProperties); });
}

void SaveToHTMLFile(const TMSGProperties& message, const std::string& fileName, bool withProperties)
{
    ToFile("write the page", message, fileName, [&](TStream& out) { WriteHtml(message, out, withProperties); });
}

void SaveToXML(const TMSGProperties& message, TStream* stream, bool withProperties)
{
    ToStream("write the XML", stream, [&](TStream& out) { WriteXml(message, out, withProperties); });
}

void SaveToXMLFile(const TMSGProperties& message, const std::string& fileName, bool withProperties)
{
    ToFile("write the XML", message, fileName, [&](TStream& out) { WriteXml(message, out, withProperties); });
}

void SaveToEML(const TMSGProperties& message, TStream* stream)
{
    ToStream("write the mail", stream, [&](TStream& out) { WriteEml(message, out, EmlOptionsOf(message)); });
}

void SaveToEMLFile(const TMSGProperties& message, const std::string& fileName)
{
    ToFile("write the mail", message, fileName, [&](TStream& out) { WriteEml(message, out, EmlOptionsOf(message)); });
}

void SaveToMSGFile(const TMSGProperties& message, const std::string& fileName, bool allProperties)
{
    WithMemoryError("write the .msg file", [&] { WriteMsgFile(message, fileName, allProperties); });
}

void SaveToMSG(const TMSGProperties& message, TStream& stream, bool allProperties)
{
    WithMemoryError("write the .msg file", [&] { WriteMsgStream(message, stream, allProperties); });
}

void SaveAttachment(const TMSGProperties& message, int index, TStream* stream)
{
    WriteAttachmentData(message, index, RequireStream(stream));
}

void SaveAttachmentToFile(const TMSGProperties& message, int index, const std::string& fileName)
{
    SaveThroughTemporaryFile(
        fileName, [&](TStream& file) { WriteAttachmentData(message, index, file); }, SaveOptionsFor(message));
}

} // namespace pelmsg
