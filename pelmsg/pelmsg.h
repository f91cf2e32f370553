#pragma once

// The message library: everything the application uses.

#include "calendar/calendar.h"
#include "codepage.h"
#include "compressed_rtf.h"
#include "constants.h"
#include "datetime.h"
#include "errors.h"
#include "locale_text.h"
#include "message.h"
#include "property.h"
#include "storage/storage.h"
#include "stream.h"
#include "tag_dictionary.h"
#include "types.h"
