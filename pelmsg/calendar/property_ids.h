#pragma once

// The identifiers of the properties calendar items, contacts and tasks are written from: tagged properties by
// their identifier, named properties by their number in their property set (see named_lookup.h).

#include <cstdint>

namespace pelmsg::calendar_ids {

// Tagged properties.
inline constexpr uint16_t kImportance = 0x0017;
inline constexpr uint16_t kSubject = 0x0037;
inline constexpr uint16_t kSensitivity = 0x0036;
inline constexpr uint16_t kClientSubmitTime = 0x0039;
inline constexpr uint16_t kSentRepresentingName = 0x0042;
inline constexpr uint16_t kStartDate = 0x0060;
inline constexpr uint16_t kEndDate = 0x0061;
inline constexpr uint16_t kResponseRequested = 0x0063;
inline constexpr uint16_t kSentRepresentingAddressType = 0x0064;
inline constexpr uint16_t kSentRepresentingEmailAddress = 0x0065;
inline constexpr uint16_t kConversationTopic = 0x0070;
inline constexpr uint16_t kSenderName = 0x0C1A;
inline constexpr uint16_t kSenderAddressType = 0x0C1E;
inline constexpr uint16_t kSenderEmailAddress = 0x0C1F;
inline constexpr uint16_t kRecipientType = 0x0C15;
inline constexpr uint16_t kDisplayTo = 0x0E04;
inline constexpr uint16_t kLastModifierName = 0x3FFA;
inline constexpr uint16_t kMessageDeliveryTime = 0x0E06;
inline constexpr uint16_t kNormalizedSubject = 0x0E1D;
inline constexpr uint16_t kMessageIdLegacy = 0x0FFF;
inline constexpr uint16_t kBody = 0x1000;
inline constexpr uint16_t kRtfCompressed = 0x1009;
inline constexpr uint16_t kDisplayName = 0x3001;
inline constexpr uint16_t kAddressType = 0x3002;
inline constexpr uint16_t kEmailAddress = 0x3003;
inline constexpr uint16_t kCreationTime = 0x3007;
inline constexpr uint16_t kLastModificationTime = 0x3008;
inline constexpr uint16_t kSearchKey = 0x300B;
inline constexpr uint16_t kSmtpAddress = 0x39FE;
inline constexpr uint16_t kTransmittableDisplayName = 0x3A20;
inline constexpr uint16_t kSenderSmtpAddress = 0x5D01;
inline constexpr uint16_t kSentRepresentingSmtpAddress = 0x5D02;
inline constexpr uint16_t kRecipientFlags = 0x5FFD;
inline constexpr uint16_t kRecipientTrackStatus = 0x5FFF;
inline constexpr uint16_t kAttachmentContactPhoto = 0x7FFF;
inline constexpr uint16_t kAttachMimeTag = 0x370E;

// PSETID_Appointment.
inline constexpr uint32_t kLidAppointmentSequence = 0x8201;
inline constexpr uint32_t kLidBusyStatus = 0x8205;
inline constexpr uint32_t kLidLocation = 0x8208;
inline constexpr uint32_t kLidAppointmentStartWhole = 0x820D;
inline constexpr uint32_t kLidAppointmentEndWhole = 0x820E;
inline constexpr uint32_t kLidAppointmentDuration = 0x8213;
inline constexpr uint32_t kLidAppointmentSubType = 0x8215;
inline constexpr uint32_t kLidAppointmentRecur = 0x8216;
inline constexpr uint32_t kLidAppointmentStateFlags = 0x8217;
inline constexpr uint32_t kLidRecurring = 0x8223;
inline constexpr uint32_t kLidExceptionReplaceTime = 0x8228;
inline constexpr uint32_t kLidRecurrencePattern = 0x8232;
inline constexpr uint32_t kLidTimeZoneStruct = 0x8233;
inline constexpr uint32_t kLidTimeZoneDescription = 0x8234;
inline constexpr uint32_t kLidToAttendeesString = 0x823B;
inline constexpr uint32_t kLidCcAttendeesString = 0x823C;
inline constexpr uint32_t kLidTimeZoneDefinitionStartDisplay = 0x825E;
inline constexpr uint32_t kLidTimeZoneDefinitionEndDisplay = 0x825F;
inline constexpr uint32_t kLidTimeZoneDefinitionRecur = 0x8260;

// PSETID_Meeting.
inline constexpr uint32_t kLidAttendeeCriticalChange = 0x0001;
inline constexpr uint32_t kLidWhere = 0x0002;
inline constexpr uint32_t kLidGlobalObjectId = 0x0003;
inline constexpr uint32_t kLidOwnerCriticalChange = 0x001A;
inline constexpr uint32_t kLidCleanGlobalObjectId = 0x0023;

// PSETID_Common.
inline constexpr uint32_t kLidReminderDelta = 0x8501;
inline constexpr uint32_t kLidReminderTime = 0x8502;
inline constexpr uint32_t kLidReminderSet = 0x8503;
inline constexpr uint32_t kLidPrivate = 0x8506;
inline constexpr uint32_t kLidCommonStart = 0x8516;
inline constexpr uint32_t kLidCommonEnd = 0x8517;
inline constexpr uint32_t kLidTaskGlobalId = 0x8519;

// PSETID_Task.
inline constexpr uint32_t kLidTaskStatus = 0x8101;
inline constexpr uint32_t kLidPercentComplete = 0x8102;
inline constexpr uint32_t kLidTaskStartDate = 0x8104;
inline constexpr uint32_t kLidTaskDueDate = 0x8105;
inline constexpr uint32_t kLidTaskDateCompleted = 0x810F;
inline constexpr uint32_t kLidTaskRecurrence = 0x8116;
inline constexpr uint32_t kLidTaskComplete = 0x811C;
inline constexpr uint32_t kLidTaskOwner = 0x811F;
inline constexpr uint32_t kLidTaskFRecurring = 0x8126;

} // namespace pelmsg::calendar_ids
