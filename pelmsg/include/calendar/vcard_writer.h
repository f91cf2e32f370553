#pragma once

// Contacts as vCard 4.0 (RFC 6350) files.

#include <string>

#include "model/property.h"

namespace pelmsg {

class TStream;

struct TVCardOptions {
    // 4 (RFC 6350), or 3 (RFC 2426) for older address books: then the parameters and properties 4.0 added are
    // written in their 3.0 forms (TYPE=pref, PHOTO with ENCODING=b, X-ADDRESSBOOKSERVER-KIND for a group).
    int Version = 4;
};

// The vCard of a contact (message class IPM.Contact): its UID (from the search key or entry id), names,
// organisation and title, e-mail addresses, phone numbers by kind, postal addresses, birthday, anniversary, web
// pages, categories, notes, the time of its last change and the contact picture; of a distribution list
// (IPM.DistList) a group (KIND:group) with a MEMBER for each member with an e-mail address. Raises EWrongItemKind
// for any other message.
std::string VCardText(const TMSGProperties& message, const TVCardOptions& options = {});

// Writes the vCard to a stream or, through a temporary file, to a file (which a failure leaves as it was).
void SaveToVCard(const TMSGProperties& message, TStream& stream, const TVCardOptions& options = {});
void SaveToVCardFile(const TMSGProperties& message, const std::string& fileName, const TVCardOptions& options = {});

} // namespace pelmsg
