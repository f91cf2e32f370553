#pragma once

// The Transport Header page (reTransport: the Internet header text) and the Flags page (lvMessageFlags: the
// message-flag bits as check boxes the user cannot change).

#include <cstdint>

#include <QWidget>

#include "lazy_page.h"

class QPlainTextEdit;
class QTreeWidget;
class QTreeWidgetItem;

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

// The Transport Header tab page "tsHeader". Its text box is made when the page first shows (or Text() needs it),
// with the message given before that.
class TTransportHeaderPage : public TMessagePage {
public:
    explicit TTransportHeaderPage(QWidget* parent = nullptr)
        : TMessagePage("tsHeader", parent)
    {
    }
    QPlainTextEdit* Text() { return Built(reTransport_); }

protected:
    void MakeWidgets() override;
    // Shows the message's transport header; empties the page without a message.
    void ShowMessage(const pelmsg::TPelMessage* message) override;

private:
    QPlainTextEdit* reTransport_ = nullptr;
};

// The Flags tab page "tsFlags". Its list is made when the page first shows (or List() needs it), with the message
// given before that.
class TFlagsPage : public TMessagePage {
public:
    explicit TFlagsPage(QWidget* parent = nullptr)
        : TMessagePage("tsFlags", parent)
    {
    }
    // Sets the descriptions again from the program texts (after a language change).
    void Retranslate();
    QTreeWidget* List() { return Built(lvMessageFlags_); }

protected:
    void MakeWidgets() override;
    // Checks the row of every bit the message's flags hold; all unchecked without a message or flags.
    void ShowMessage(const pelmsg::TPelMessage* message) override;

private:
    QTreeWidget* lvMessageFlags_ = nullptr;
};

// Takes back every change of a row's check mark: the boxes show the message's flags and the user cannot change
// them (texts may change).
void lvMessageFlagsChanging(QTreeWidgetItem* item, int column);

} // namespace quorra
