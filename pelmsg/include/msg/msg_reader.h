#pragma once

// The .msg reader: the message component that loads an Outlook .msg compound file into its property tree.

#include <string>

#include "model/message.h"

namespace pelmsg {

class IStorage;
class TStream;

// Reads an Outlook .msg compound file: every storage and stream becomes a node, the properties streams' entries
// nodes of their own, named properties get their names. Raises EFormatError for a file that is no compound file,
// EStorageError for a damaged one.
class TPelMSGFile : public TPelMessage {
public:
    void LoadFromStream(TStream& stream) override;
    void LoadFromFile(const std::string& fileName) override;

    TPelMSGConvertCodepage ConvertCodepageHandler() const override { return OnConvertCodepage; }

    TPelMSGConvertCodepage OnConvertCodepage;

private:
    void ReadTree(IStorage& root);
};

} // namespace pelmsg
