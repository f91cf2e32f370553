#pragma once

// The Transport Header page (reTransport: the Internet header text) and the Flags page (lvMessageFlags: the
// message-flag bits as check boxes the user cannot change).

#include <cstdint>

class QTreeWidgetItem;
class QWidget;

namespace pelmsg {
class TPelMessage;
}

namespace quorra {

class TProgramText;

// One row of the Flags page.
struct TMessageFlagRow {
    const char* Flag;
    uint16_t Bit;
    TProgramText& Description;
};
// The thirteen rows, in order.
const TMessageFlagRow* MessageFlagRows();
inline constexpr int kMessageFlagRowCount = 13;

// Builds the page's widgets inside the tab page.
void CreateTransportHeaderPage(QWidget* tsHeader);
// Shows the message's transport header; empties the page without a message.
void FillTransportHeader(QWidget* tsHeader, const pelmsg::TPelMessage* message);

void CreateFlagsPage(QWidget* tsFlags);
// Takes back every change of a row's check mark: the boxes show the message's flags and the user cannot change
// them (texts may change).
void lvMessageFlagsChanging(QTreeWidgetItem* item, int column);
// Checks the row of every bit the message's flags hold; all unchecked without a message or flags.
void FillFlags(QWidget* tsFlags, const pelmsg::TPelMessage* message);
// Sets the descriptions again from the program texts (after a language change).
void RetranslateFlags(QWidget* tsFlags);

} // namespace quorra
