#pragma once

// The message library: everything the application uses, layer by layer.

#include "core/errors.h"
#include "core/stream.h"
#include "core/strings.h"
#include "core/texts.h"

#include "text/ascii_case.h"
#include "text/base64.h"
#include "text/charset.h"
#include "text/codepage.h"
#include "text/datetime.h"
#include "text/header_encoding.h"
#include "text/html_escape.h"
#include "text/locale_text.h"
#include "text/mail_date.h"
#include "text/search_fold.h"

#include "storage/storage.h"

#include "rtf/compressed_rtf.h"
#include "rtf/rtf_document.h"
#include "rtf/rtf_html.h"

#include "model/limits.h"
#include "model/message.h"
#include "model/property.h"
#include "model/property_name.h"
#include "model/property_types.h"
#include "model/tag_dictionary.h"
#include "model/tags.h"
#include "model/types.h"

#include "tnef/tnef_reader.h"

#include "msg/msg_reader.h"
#include "msg/msg_record.h"
#include "msg/msg_writer.h"

#include "export/attachment_writer.h"
#include "export/eml_writer.h"
#include "export/file_name.h"
#include "export/html_writer.h"
#include "export/saving.h"
#include "export/text_writer.h"
#include "export/value_listing.h"
#include "export/xml_writer.h"

#include "calendar/calendar.h"

#include "mime/header_words.h"
#include "mime/mail_file.h"
#include "mime/mbox.h"
#include "mime/mime_entity.h"
#include "mime/mime_reader.h"
#include "mime/tnef_parts.h"
#include "mime/tnef_summary.h"
#include "mime/transfer_encoding.h"
#include "mime/unwrap.h"

#include "message_file.h"
