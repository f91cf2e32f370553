#pragma once

// The property identifiers and tags the library looks for, each named once. The field accessors, readers and
// writers use these names; the tag dictionary lists the names of many more for display.

#include <cstdint>

#include "model/property_types.h"

namespace pelmsg {

// ---- Property identifiers (high 16 bits of a tag) ----
inline constexpr uint16_t kIdDeferredDeliveryTime = 0x000F;
inline constexpr uint16_t kIdImportance = 0x0017;
inline constexpr uint16_t kIdMessageClass = 0x001A;
inline constexpr uint16_t kIdPriority = 0x0026;
inline constexpr uint16_t kIdSensitivity = 0x0036;
inline constexpr uint16_t kIdSubject = 0x0037;
inline constexpr uint16_t kIdClientSubmitTime = 0x0039;
inline constexpr uint16_t kIdSubjectPrefix = 0x003D;
inline constexpr uint16_t kIdSentRepresentingName = 0x0042;
inline constexpr uint16_t kIdReceivedRepresentingName = 0x0044;
inline constexpr uint16_t kIdProviderSubmitTime = 0x0048;
inline constexpr uint16_t kIdOriginalMessageClass = 0x004B;
inline constexpr uint16_t kIdOriginalSubmitTime = 0x004E;
inline constexpr uint16_t kIdOriginalDeliveryTime = 0x0055;
inline constexpr uint16_t kIdStartDate = 0x0060;
inline constexpr uint16_t kIdEndDate = 0x0061;
inline constexpr uint16_t kIdResponseRequested = 0x0063;
inline constexpr uint16_t kIdSentRepresentingAddressType = 0x0064;
inline constexpr uint16_t kIdSentRepresentingEmailAddress = 0x0065;
inline constexpr uint16_t kIdConversationTopic = 0x0070;
inline constexpr uint16_t kIdOriginalDisplayBcc = 0x0072;
inline constexpr uint16_t kIdOriginalDisplayCc = 0x0073;
inline constexpr uint16_t kIdReceivedRepresentingEmailAddress = 0x0078;
inline constexpr uint16_t kIdTransportMessageHeaders = 0x007D;
inline constexpr uint16_t kIdRecipientType = 0x0C15;
inline constexpr uint16_t kIdSenderName = 0x0C1A;
inline constexpr uint16_t kIdSenderAddressType = 0x0C1E;
inline constexpr uint16_t kIdSenderEmailAddress = 0x0C1F;
inline constexpr uint16_t kIdDisplayBcc = 0x0E02;
inline constexpr uint16_t kIdDisplayCc = 0x0E03;
inline constexpr uint16_t kIdDisplayTo = 0x0E04;
inline constexpr uint16_t kIdMessageDeliveryTime = 0x0E06;
inline constexpr uint16_t kIdMessageFlags = 0x0E07;
inline constexpr uint16_t kIdNormalizedSubject = 0x0E1D;
inline constexpr uint16_t kIdAttachNumber = 0x0E21;
inline constexpr uint16_t kIdMessageIdLegacy = 0x0FFF;
inline constexpr uint16_t kIdBody = 0x1000;
inline constexpr uint16_t kIdRtfCompressed = 0x1009;
inline constexpr uint16_t kIdBodyHtml = 0x1013;
inline constexpr uint16_t kIdInternetMessageId = 0x1035;
inline constexpr uint16_t kIdRowId = 0x3000;
inline constexpr uint16_t kIdDisplayName = 0x3001;
inline constexpr uint16_t kIdAddressType = 0x3002;
inline constexpr uint16_t kIdEmailAddress = 0x3003;
inline constexpr uint16_t kIdCreationTime = 0x3007;
inline constexpr uint16_t kIdLastModificationTime = 0x3008;
inline constexpr uint16_t kIdSearchKey = 0x300B;
inline constexpr uint16_t kIdStoreSupportMask = 0x340D;
inline constexpr uint16_t kIdAttachDataObject = 0x3701; // ATTACH_DATA_BIN and ATTACH_DATA_OBJ share it
inline constexpr uint16_t kIdAttachFileName = 0x3704;
inline constexpr uint16_t kIdAttachMethod = 0x3705;
inline constexpr uint16_t kIdAttachLongFileName = 0x3707;
inline constexpr uint16_t kIdAttachMimeTag = 0x370E;
inline constexpr uint16_t kIdAttachContentId = 0x3712;
inline constexpr uint16_t kIdSmtpAddress = 0x39FE;
inline constexpr uint16_t kIdGeneration = 0x3A05;
inline constexpr uint16_t kIdGivenName = 0x3A06;
inline constexpr uint16_t kIdSurname = 0x3A11;
inline constexpr uint16_t kIdCompanyName = 0x3A16;
inline constexpr uint16_t kIdTitle = 0x3A17;
inline constexpr uint16_t kIdDepartmentName = 0x3A18;
inline constexpr uint16_t kIdTransmittableDisplayName = 0x3A20;
inline constexpr uint16_t kIdAssistant = 0x3A30;
inline constexpr uint16_t kIdWeddingAnniversary = 0x3A41;
inline constexpr uint16_t kIdBirthday = 0x3A42;
inline constexpr uint16_t kIdMiddleName = 0x3A44;
inline constexpr uint16_t kIdDisplayNamePrefix = 0x3A45;
inline constexpr uint16_t kIdProfession = 0x3A46;
inline constexpr uint16_t kIdSpouseName = 0x3A48;
inline constexpr uint16_t kIdGender = 0x3A4D;
inline constexpr uint16_t kIdNickname = 0x3A4F;
inline constexpr uint16_t kIdPersonalHomePage = 0x3A50;
inline constexpr uint16_t kIdBusinessHomePage = 0x3A51;
inline constexpr uint16_t kIdInternetCodePage = 0x3FDE;
inline constexpr uint16_t kIdLastModifierName = 0x3FFA;
inline constexpr uint16_t kIdMessageCodePage = 0x3FFD;
inline constexpr uint16_t kIdOrgEmailAddress = 0x403E;
inline constexpr uint16_t kIdSenderSmtpAddress = 0x5D01;
inline constexpr uint16_t kIdSentRepresentingSmtpAddress = 0x5D02;
inline constexpr uint16_t kIdRecipientFlags = 0x5FFD;
inline constexpr uint16_t kIdRecipientTrackStatus = 0x5FFF;
inline constexpr uint16_t kIdAttachmentContactPhoto = 0x7FFF;

// ---- Tags of the structural nodes the readers make ----
inline constexpr uint32_t kTagRecipientRow = 0x0C000000; // TNEF recipient row, compound-file recipient storage
inline constexpr uint32_t kTagTnefAttachment = 0x370A0102; // TNEF attachment
inline constexpr uint32_t kTagAttachmentStorage = 0x37000000; // compound-file attachment storage
inline constexpr uint32_t kTagNamedPropertyStorage = 0x00010000; // compound-file named-property storage
inline constexpr uint32_t kTagAttachDataObject = MakeTag(kIdAttachDataObject, PT_OBJECT); // message or OLE object
inline constexpr uint32_t kTagAttachDataBinary = MakeTag(kIdAttachDataObject, PT_BINARY); // attached file data
inline constexpr uint32_t kTagRtfCompressed = MakeTag(kIdRtfCompressed, PT_BINARY);

// ---- Whole tags looked up by more than their identifier ----
inline constexpr uint32_t kTagMessageClass = MakeTag(kIdMessageClass, PT_STRING8);
inline constexpr uint32_t kTagImportance = MakeTag(kIdImportance, PT_LONG);
inline constexpr uint32_t kTagPriority = MakeTag(kIdPriority, PT_LONG);
inline constexpr uint32_t kTagMessageFlags = MakeTag(kIdMessageFlags, PT_LONG);
inline constexpr uint32_t kTagMessageCodePage = MakeTag(kIdMessageCodePage, PT_LONG);
inline constexpr uint32_t kTagInternetCodePage = MakeTag(kIdInternetCodePage, PT_LONG);
inline constexpr uint32_t kTagRecipientType = MakeTag(kIdRecipientType, PT_LONG);
inline constexpr uint32_t kTagAttachMethod = MakeTag(kIdAttachMethod, PT_LONG);
inline constexpr uint32_t kTagAttachNumber = MakeTag(kIdAttachNumber, PT_LONG);
inline constexpr uint32_t kTagRowId = MakeTag(kIdRowId, PT_LONG);
inline constexpr uint32_t kTagStoreSupportMask = MakeTag(kIdStoreSupportMask, PT_LONG);
inline constexpr uint32_t kTagAttachFileName = MakeTag(kIdAttachFileName, PT_STRING8);
inline constexpr uint32_t kTagAttachLongFileName = MakeTag(kIdAttachLongFileName, PT_STRING8);
inline constexpr uint32_t kTagDisplayName = MakeTag(kIdDisplayName, PT_STRING8);

} // namespace pelmsg
