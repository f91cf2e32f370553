#include "mail_handoff.h"

#include <QProcess>

#include "pelmsg.h"
#include "private_temp.h"
#include "qt_glue.h"

namespace quorra {

QString OriginalMessageText(const pelmsg::TMSGProperties& message)
{
    const QString subject = Q(message.Subject());
    QString sent;
    if (message.SentDate() != 0)
        sent = QStringLiteral("Sent: ") + Q(pelmsg::LocaleDateTimeText(message.SentDate())) + u'\n';
    return QStringLiteral("-----Original Message-----\nFrom: ") + Q(message.From()) + u'\n' + sent
        + QStringLiteral("To: ") + Q(message.ToList()) + u'\n' + QStringLiteral("Cc: ") + Q(message.CcList()) + u'\n'
        + QStringLiteral("Bcc: ") + Q(message.BccList()) + u'\n' + QStringLiteral("Subject: ") + subject
        + QStringLiteral("\n\n") + Q(message.PlainBody());
}

TMailDraft BuildMailDraft(const pelmsg::TMSGProperties& message, bool forward, QStringList* errors)
{
    TMailDraft draft;
    draft.Subject = (forward ? QStringLiteral("FW: ") : QStringLiteral("RE: ")) + Q(message.Subject());
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

QString SendMail(const QString& command, const TMailDraft& draft)
{
    QStringList parts = QProcess::splitCommand(command);
    if (parts.isEmpty())
        return QStringLiteral("no mail command is set");
    const QString program = parts.takeFirst();
    QProcess process;
    process.setProgram(program);
    process.setArguments(parts + MailCommandArguments(draft));
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached())
        return program + QStringLiteral(": ") + process.errorString();
    return {};
}

} // namespace quorra
