#include "mail_handoff.h"

#include <QProcess>

#include "desktop_services.h"
#include "pelmsg.h"
#include "private_temp.h"

namespace quorra {

namespace {

QString Q(const pelmsg::WideString& text)
{
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// A header field as the window and the .eml show it: on one line. Control characters (CR and LF above all, which
// would let a hostile subject add lines such as "Bcc:" to the new mail), DEL, the C1 controls and the Unicode
// line and paragraph separators become blanks; a tab stays.
QString HeaderField(const pelmsg::WideString& text)
{
    QString field = Q(text);
    for (QChar& c : field) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t') || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029)
            c = u' ';
    }
    return field;
}

// The body text keeps its line breaks and tabs; other control characters become blanks (a NUL would cut the
// argument it is handed in).
QString BodyText(const pelmsg::WideString& text)
{
    QString body = Q(text);
    for (QChar& c : body) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t' && u != u'\r' && u != u'\n') || u == 0x7F)
            c = u' ';
    }
    return body;
}

} // namespace

QString OriginalMessageText(const pelmsg::TMSGProperties& message)
{
    const QString subject = HeaderField(message.Subject());
    QString sent;
    if (message.SentDate() != 0)
        sent = QStringLiteral("Sent: ") + Q(pelmsg::LocaleDateTimeText(message.SentDate())) + u'\n';
    return QStringLiteral("-----Original Message-----\nFrom: ") + HeaderField(message.From()) + u'\n' + sent
        + QStringLiteral("To: ") + HeaderField(message.ToList()) + u'\n' + QStringLiteral("Cc: ")
        + HeaderField(message.CcList()) + u'\n' + QStringLiteral("Bcc: ") + HeaderField(message.BccList()) + u'\n'
        + QStringLiteral("Subject: ") + subject + QStringLiteral("\n\n") + BodyText(message.PlainBody());
}

TMailDraft BuildMailDraft(const pelmsg::TMSGProperties& message, bool forward, QStringList* errors)
{
    TMailDraft draft;
    draft.Subject = (forward ? QStringLiteral("FW: ") : QStringLiteral("RE: ")) + HeaderField(message.Subject());
    draft.Body = OriginalMessageText(message);
    const int count = message.AttachmentCount();
    for (int i = 0; i < count; ++i) {
        const pelmsg::TMSGProperty* attachment = message.Attachments(i);
        if (!attachment || attachment->AttachmentKind() != pelmsg::TAttachmentKind::FileData)
            continue;
        const QString name = QString::fromStdString(attachment->AttachmentFileName(i));
        try {
            const QString path = WritePrivateTempFile(
                name, [&](pelmsg::TStream& stream) { message.SaveAttachment(i, &stream); });
            draft.AttachmentPaths << path;
            draft.AttachmentNames << QString::fromStdString(attachment->AttachmentDisplayName(i));
        } catch (const std::exception& e) {
            if (errors)
                *errors << name + QStringLiteral(": ") + QString::fromUtf8(e.what());
        }
    }
    return draft;
}

QStringList MailCommandArguments(const TMailDraft& draft)
{
    QStringList args { QStringLiteral("--utf8"), QStringLiteral("--subject"), draft.Subject, QStringLiteral("--body"),
        draft.Body };
    for (const QString& path : draft.AttachmentPaths)
        args << QStringLiteral("--attach") << path;
    return args;
}

QString SendMail(const QString& command, const TMailDraft& draft, QObject* context,
    std::function<void(const QString& reason)> onFailed)
{
    QStringList parts = QProcess::splitCommand(command);
    if (parts.isEmpty())
        return QStringLiteral("no mail command is set");
    const QString program = parts.takeFirst();
    return StartHelper(program, parts + MailCommandArguments(draft), context, std::move(onFailed));
}

} // namespace quorra
