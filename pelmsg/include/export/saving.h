#pragma once

// Saving a message in every format the library writes: to a stream the caller gives, or to a file through a
// temporary file that replaces the named one only once everything was written (never the file the message was
// read from: SaveOptionsFor). Each takes the message's tree, or the tree of an attached message, and forwards to
// the writer of its format (export/, msg/), whose header says more. A missing stream raises EPelMsgError "Stream
// is not defined"; an allocation that fails on the way raises EPelMsgError "Not enough memory to ..."; a file
// that cannot be written raises EFileError.

#include <string>

#include "model/property.h"

namespace pelmsg {

class TStream;

void SaveToText(const TMSGProperties& message, TStream* stream, bool withProperties);
void SaveToTextFile(const TMSGProperties& message, const std::string& fileName, bool withProperties);
void SaveToHTML(const TMSGProperties& message, TStream* stream, bool withProperties);
void SaveToHTMLFile(const TMSGProperties& message, const std::string& fileName, bool withProperties);
void SaveToXML(const TMSGProperties& message, TStream* stream, bool withProperties);
void SaveToXMLFile(const TMSGProperties& message, const std::string& fileName, bool withProperties);
// The MIME writer with the text conversion of the message's component, if it has one (ConvertCodepageHandler).
void SaveToEML(const TMSGProperties& message, TStream* stream);
void SaveToEMLFile(const TMSGProperties& message, const std::string& fileName);
void SaveToMSGFile(const TMSGProperties& message, const std::string& fileName, bool allProperties);
// The same compound file, made in memory and written to a stream.
void SaveToMSG(const TMSGProperties& message, TStream& stream, bool allProperties);
// The data of the attachment at the index (WriteAttachmentData).
void SaveAttachment(const TMSGProperties& message, int index, TStream* stream);
void SaveAttachmentToFile(const TMSGProperties& message, int index, const std::string& fileName);

} // namespace pelmsg
