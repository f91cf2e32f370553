#pragma once

// Calendar items, contacts and tasks: what kind of item a message is, its iCalendar and vCard forms, the binary
// recurrence and time-zone records they are made from, and what the message header shows for them.

#include "calendar/appointment.h"
#include "calendar/icalendar_writer.h"
#include "calendar/item_kind.h"
#include "calendar/item_summary.h"
#include "calendar/named_lookup.h"
#include "calendar/recurrence.h"
#include "calendar/recurrence_rule.h"
#include "calendar/time_zone.h"
#include "calendar/vcard_writer.h"
