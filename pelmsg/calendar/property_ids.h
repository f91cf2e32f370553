#pragma once

// The named properties calendar items, contacts and tasks are written from, by their number in their property set
// (see named_lookup.h). Tagged properties are named in model/tags.h.

#include <cstdint>

namespace pelmsg::calendar_ids {

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
inline constexpr uint32_t kLidIntendedBusyStatus = 0x8224;
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

// PSETID_Log.
inline constexpr uint32_t kLidLogType = 0x8700;
inline constexpr uint32_t kLidLogStart = 0x8706;
inline constexpr uint32_t kLidLogTypeDescription = 0x8712;

// PSETID_Address.
inline constexpr uint32_t kLidFileUnder = 0x8005;
inline constexpr uint32_t kLidPostalAddressId = 0x8022;
inline constexpr uint32_t kLidHtml = 0x802B;
inline constexpr uint32_t kLidBirthdayLocal = 0x80DE;
inline constexpr uint32_t kLidWeddingAnniversaryLocal = 0x80DF;
inline constexpr uint32_t kLidDistributionListName = 0x8053;
inline constexpr uint32_t kLidDistributionListOneOffMembers = 0x8054;
inline constexpr uint32_t kLidDistributionListMembers = 0x8055;

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
