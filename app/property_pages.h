#pragma once

// The Properties page (tvProperties: the property tree of the message, each property with its value) and the
// Structure page (tvStructure: the storages and streams of a compound .msg file).

#include <string>

class QWidget;

namespace pelmsg {
class TPelMessage;
class TMSGProperty;
}

namespace quorra {

// The most top-level properties the tree shows.
inline constexpr int kMaxTopLevelProperties = 1002;
// The deepest nesting of storages the structure tree follows.
inline constexpr int kMaxStorageDepth = 64;

void CreatePropertiesPage(QWidget* tsProperties);
// Fills the tree from the message; empties it without one.
void FillPropertiesPage(QWidget* tsProperties, const pelmsg::TPelMessage* message);

// The text and icon of a property's node: containers of attachments and recipients say what they are, every
// other node shows its property name (or its tag as "0x" and eight hexadecimal digits). parentIcon is the icon
// of the parent node, or -1 at the top level.
struct TPropertyNodeLook {
    std::string Text;
    int Icon; // PropertyIcon index, -1 for none
};
TPropertyNodeLook PropertyNodeLook(const pelmsg::TMSGProperty& property, int parentIcon);

void CreateStructurePage(QWidget* tsStructure);
// Shows the storage tree of the file when it is a compound file; returns whether it was built. Empties the
// page for anything else. Throws pelmsg::EPelMsgError when a compound file cannot be read.
bool FillStructurePage(QWidget* tsStructure, const std::string& fileName);
void ClearStructurePage(QWidget* tsStructure);

} // namespace quorra
