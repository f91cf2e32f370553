#include "mail_handoff.h"

#include <QFileInfo>
#include <QProcess>

#include "desktop_services.h"
#include "pelmsg.h"
#include "private_temp.h"
#include "qt_glue.h"

namespace quorra {

namespace {

// The most characters of a neutral name's stem.
constexpr qsizetype kMaxNeutralStem = 80;

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

QString NeutralMailFileName(const QString& name)
{
    const std::string safe = pelmsg::SafeFileName(name.toStdString());
    const QString extension = QString::fromStdString(std::string(pelmsg::FileNameExtension(safe)));
    const QString stem
        = QString::fromStdString(safe).chopped(extension.size()).normalized(QString::NormalizationForm_C);
    QString neutral;
    for (QChar c : stem) {
        if (neutral.size() >= kMaxNeutralStem)
            break;
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
            || c == u'.' || c == u'_' || c == u'-';
        // Letters and digits of other scripts are no syntax to any mail program; anything else becomes "_".
        neutral += plain || (c.isLetterOrNumber() && !c.isSurrogate()) ? c : QChar(u'_');
    }
    // Never an option ("-x") or a hidden file (".x"): the name starts with a letter, digit or "_".
    while (!neutral.isEmpty() && (neutral.front() == u'-' || neutral.front() == u'.'))
        neutral.remove(0, 1);
    if (neutral.isEmpty())
        neutral = QStringLiteral("attachment");
    return neutral + extension;
}

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
            // The mail program gets the file under a neutral name (the private folder may already hold it, and the
            // number a clash would add brings blanks and brackets, so a free one is chosen here); the draft keeps
            // the name the message shows.
            const QString neutral = NeutralMailFileName(name);
            const QString folder = PrivateTempFolder();
            const QString extension = QString::fromStdString(std::string(pelmsg::FileNameExtension(neutral.toStdString())));
            QString free = neutral;
            for (int n = 2; !folder.isEmpty() && QFileInfo::exists(folder + u'/' + free); ++n)
                free = neutral.chopped(extension.size()) + u'-' + QString::number(n) + extension;
            const QString path = WritePrivateTempFile(
                free, [&](pelmsg::TStream& stream) { pelmsg::SaveAttachment(message, i, &stream); });
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
