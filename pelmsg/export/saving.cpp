// The Save* operations of a property collection: each forwards to the writer of its format, with the stream the
// caller gives or through a temporary file that replaces the named one only once everything was written.

#include "core/errors.h"
#include "core/stream.h"
#include "export/attachment_writer.h"
#include "export/eml_writer.h"
#include "export/html_writer.h"
#include "export/text_writer.h"
#include "export/writer_support.h"
#include "export/xml_writer.h"
#include "model/message.h"
#include "model/property.h"
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

} // namespace

void TMSGProperties::SaveToText(TStream* stream, bool withProperties) const
{
    WithMemoryError("write the text", [&] { WriteText(*this, RequireStream(stream), withProperties); });
}

void TMSGProperties::SaveToTextFile(const std::string& fileName, bool withProperties) const
{
    WithMemoryError("write the text", [&] {
        SaveThroughTemporaryFile(
            fileName, [&](TStream& file) { WriteText(*this, file, withProperties); }, SaveOptionsFor(*this));
    });
}

void TMSGProperties::SaveToHTML(TStream* stream, bool withProperties) const
{
    WithMemoryError("write the page", [&] { WriteHtml(*this, RequireStream(stream), withProperties); });
}

void TMSGProperties::SaveToHTMLFile(const std::string& fileName, bool withProperties) const
{
    WithMemoryError("write the page", [&] {
        SaveThroughTemporaryFile(
            fileName, [&](TStream& file) { WriteHtml(*this, file, withProperties); }, SaveOptionsFor(*this));
    });
}

void TMSGProperties::SaveToXML(TStream* stream, bool withProperties) const
{
    WithMemoryError("write the XML", [&] { WriteXml(*this, RequireStream(stream), withProperties); });
}

void TMSGProperties::SaveToXMLFile(const std::string& fileName, bool withProperties) const
{
    WithMemoryError("write the XML", [&] {
        SaveThroughTemporaryFile(
            fileName, [&](TStream& file) { WriteXml(*this, file, withProperties); }, SaveOptionsFor(*this));
    });
}

void TMSGProperties::SaveToEML(TStream* stream) const
{
    WithMemoryError("write the mail", [&] { WriteEml(*this, RequireStream(stream), EmlOptionsOf(*this)); });
}

void TMSGProperties::SaveToEMLFile(const std::string& fileName) const
{
    WithMemoryError("write the mail", [&] {
        SaveThroughTemporaryFile(
            fileName, [&](TStream& file) { WriteEml(*this, file, EmlOptionsOf(*this)); }, SaveOptionsFor(*this));
    });
}

void TMSGProperties::SaveToMSGFile(const std::string& fileName, bool allProperties) const
{
    WithMemoryError("write the .msg file", [&] { WriteMsgFile(*this, fileName, allProperties); });
}

void TMSGProperties::SaveToMSG(TStream& stream, bool allProperties) const
{
    WithMemoryError("write the .msg file", [&] { WriteMsgStream(*this, stream, allProperties); });
}

void TMSGProperties::SaveAttachment(int index, TStream* stream) const
{
    WriteAttachmentData(*this, index, RequireStream(stream));
}

void TMSGProperties::SaveAttachmentToFile(int index, const std::string& fileName) const
{
    SaveThroughTemporaryFile(
        fileName, [&](TStream& file) { WriteAttachmentData(*this, index, file); }, SaveOptionsFor(*this));
}

} // namespace pelmsg
