#pragma once

// The message library: everything the application uses, layer by layer.

#include "core/errors.h"
#include "core/stream.h"
#include "core/texts.h"

#include "text/ascii_case.h"
#include "text/codepage.h"
#include "text/datetime.h"
#include "text/locale_text.h"
#include "text/text_encoding.h"

#include "storage/storage.h"

#include "rtf/compressed_rtf.h"
#include "rtf/rtf_html.h"

#include "model/message.h"
#include "model/property.h"
#include "model/tag_dictionary.h"
#include "model/types.h"

#include "export/file_name.h"
