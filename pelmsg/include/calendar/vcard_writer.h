#pragma once

// Contacts as vCard 4.0 (RFC 6350) files.

#include <string>

#include "model/property.h"

namespace pelmsg {

class TStream;

// The vCard of a contact (message class IPM.Contact): names, organisation and title, e-mail addresses, phone
// numbers by kind, postal addresses, birthday, anniversary, web pages, notes and the contact picture. Raises
// EWrongItemKind for any other message.
std::string VCardText(const TMSGProperties& message);

// Writes the vCard to a stream or, through a temporary file, to a file (which a failure leaves as it was).
void SaveToVCard(const TMSGProperties& message, TStream& stream);
void SaveToVCardFile(const TMSGProperties& message, const std::string& fileName);

} // namespace pelmsg
