#pragma once

// The TNEF reader (winmail.dat, .tnef): the message component that loads a TNEF stream into its property tree.

#include <string>

#include "model/message.h"

namespace pelmsg {

class TStream;

// Reads a TNEF stream. A damaged stream is read as far as it goes; what was skipped or cut becomes a warning of
// the message (Warnings). Raises EFormatError when the stream is no TNEF stream at all or breaks a limit.
class TPelTNEFFile : public TPelMessage {
public:
    void LoadFromStream(TStream& stream) override;
    void LoadFromFile(const std::string& fileName) override;
};

} // namespace pelmsg
