#pragma once

// Texts and fixed values of the message library.

namespace pelmsg {

inline constexpr const char* kLibraryVersion = "1.50b";
inline constexpr const char* kHomePage = "https://tessaly.corvane.org";

inline constexpr const char* SFileNotFound = "File %s is not found.";
inline constexpr const char* SFileIsFolder = "%s is a folder, not a message file.";
inline constexpr const char* SInvalidTnefSignature = "Invalid TNEF signature";
inline constexpr const char* SInvalidMessageFile = "Invalid message file";
inline constexpr const char* SInvalidSequence = "Invalid sequence";
inline constexpr const char* SInvalidPropertyKind = "Invalid property kind (%x)";
inline constexpr const char* SNotCompoundFile = "File %s is not valid file (compound storage)";
inline constexpr const char* SStreamNotDefined = "Stream is not defined";
inline constexpr const char* SCannotCreateFile = "Cannot create file %s";
inline constexpr const char* STooManyProperties
    = "The file holds more properties than a file of its size can (over %s): it is damaged or made to exhaust memory";
inline constexpr const char* SOutOfMemory = "Not enough memory to %s";

} // namespace pelmsg
