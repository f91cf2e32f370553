#pragma once

// Read-only storages and streams of a compound file being read.

#include <memory>

#include "storage/cfb_image.h"
#include "storage/storage_interfaces.h"

namespace pelmsg::cfb {

// The root storage of an opened image; storages and streams opened from it keep the image (and so the file)
// alive.
std::unique_ptr<IStorage> MakeReadRoot(std::shared_ptr<TCompoundFileImage> image);

} // namespace pelmsg::cfb
