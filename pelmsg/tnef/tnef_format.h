#pragma once

// The numbers of the TNEF format that its full reader and the part summary both go by.

#include <cstdint>

namespace pelmsg::tnef_format {

constexpr uint32_t kTnefSignature = 0x223E9F78;
constexpr uint32_t kTnefVersion = 0x00010000;
constexpr uint8_t kMessageLevel = 1;

// Attributes recognised by their attribute number (the low 16 bits): some writers put another attribute type in the
// high bits, and the number alone names the attribute.
constexpr uint16_t attSubject = 0x8004;
constexpr uint16_t attMessageClass = 0x8008;
constexpr uint16_t attMAPIProps = 0x9003;
constexpr uint16_t attRecipTable = 0x9004;
constexpr uint16_t attAttachRenddata = 0x9002;
constexpr uint16_t attAttachTitle = 0x8010;
constexpr uint16_t attAttachment = 0x9005;
constexpr uint16_t attOemCodepage = 0x9007;

inline uint16_t AttributeNumber(uint32_t identifier) { return static_cast<uint16_t>(identifier & 0xFFFF); }

} // namespace pelmsg::tnef_format
