#pragma once

// The glue between the library's strings and Qt, shared by every part of the window: string conversions, the busy
// cursor, the message box the window's commands show, and the pieces several forms are built from.

#include <functional>
#include <string>

#include <QMessageBox>
#include <QString>

class QDialog;
class QDialogButtonBox;
class QPushButton;
class QSplitter;
class QVBoxLayout;

namespace quorra {

// UTF-8 (std::string: paths, settings, the library's UTF-8 texts) and UTF-16 (the library's WideString) to QString.
inline QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }
inline QString Q(const std::u16string& utf16) { return QString::fromStdU16String(utf16); }
// The same as Q for UTF-8, where the call should say that its argument is UTF-8 beside UTF-16 texts.
inline QString Q8(const std::string& utf8) { return Q(utf8); }
// QString to UTF-8.
inline std::string S(const QString& text) { return text.toStdString(); }

// Shows the busy cursor while it lives (or until Restore).
class TBusyCursor {
public:
    TBusyCursor();
    ~TBusyCursor() { Restore(); }
    void Restore();
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;

private:
    bool active_ = true;
};

// A modal message box over parent, titled with the parent window's title (the program's name without one), with
// objectName for language files and tests. Returns the button pressed.
QMessageBox::StandardButton ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
    const char* objectName, QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// Runs handler on every event the watched object receives; a handler that returns true takes the event. The filter
// is a child of owner and goes with it.
void WatchEvents(QObject* watched, QObject* owner, std::function<bool(QEvent*)> handler);

// A dialog's button row: the default button ("btnOK") with okText, which accepts the dialog, and "btnCancel" with
// cancelText, which rejects it.
struct TDialogButtons {
    QDialogButtonBox* Box;
    QPushButton* Ok;
};
TDialogButtons NewOkCancelButtons(QDialog* dialog, const QString& okText, const QString& cancelText);

// A column layout on owner without margins; spacing when it is not negative, else the style's.
QVBoxLayout* NewFlatColumn(QWidget* owner, int spacing = -1);
// The horizontal splitter that fills a page (named for language files and tests); its panes never collapse.
QSplitter* NewPageSplitter(QWidget* page, const char* name);

} // namespace quorra
