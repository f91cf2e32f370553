#pragma once

// Reply and Forward: the open message handed to the user's mail program as a new mail (xdg-email), with the
// original's header lines and text quoted in the body and its attached files attached again.
//
// The attached files are written into the program's private temporary folder and stay there until the program
// ends, since the mail program may read them long after it was started.

#include <functional>

#include <QString>
#include <QStringList>

class QObject;

namespace pelmsg {
class TMSGProperties;
}

namespace quorra {

struct TMailDraft {
    QString Subject;
    QString Body;
    QStringList AttachmentPaths;
    QStringList AttachmentNames; // the names the message shows for them
};

// "-----Original Message-----", From, Sent (only when the message has a sent date; locale short date and long
// time), To, Cc, Bcc and Subject lines, an empty line, and the plain-text body. The header fields are put on one
// line each (control characters and line separators become blanks), as the window and the .eml show them; the
// body keeps its line breaks and tabs, its other control characters become blanks.
QString OriginalMessageText(const pelmsg::TMSGProperties& message);

// The name a file handed to the mail program gets: only letters, digits, ".", "_" and "-", starting with a letter,
// digit or "_", and the extension of the safe name; "report',bcc='x@y',x='.pdf" gives "report__bcc__x_y__x__.pdf".
// Mail programs paste these paths into their own command syntax unquoted.
QString NeutralMailFileName(const QString& name);

// The draft of a reply ("RE: " + subject) or a forward ("FW: " + subject), the subject on one line. Attached files (not attached
// messages or OLE objects) are written into the private temporary folder under neutral names, distinct from the
// files there; an attachment that cannot be written is named in `errors` and left out.
TMailDraft BuildMailDraft(const pelmsg::TMSGProperties& message, bool forward, QStringList* errors = nullptr);

// The arguments of the mail command: "--utf8", "--subject", S, "--body", B, then "--attach", FILE per file.
QStringList MailCommandArguments(const TMailDraft& draft);

// Starts the mail command (a program, possibly with arguments of its own, as a shell would split it) with the
// draft's arguments, without waiting for it. Returns an empty text when it started, else the reason. When the
// command ends with a failure later (xdg-email without a mail program: "no method available"), onFailed runs
// with its reason, unless the context object is gone by then.
QString SendMail(const QString& command, const TMailDraft& draft, QObject* context = nullptr,
    std::function<void(const QString& reason)> onFailed = {});

} // namespace quorra
