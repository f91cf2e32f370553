#pragma once

// Compound files (OLE structured storage): everything the message readers and writers use.

#include "storage/compound_file.h"
#include "storage/ole_stream.h"
#include "storage/stat_stg.h"
#include "storage/storage_interfaces.h"
