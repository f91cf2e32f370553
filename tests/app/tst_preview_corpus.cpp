// Every TNEF and .msg file of the shared corpus fills the preview without an error, attached messages at every
// depth too; and where a message carries both an RTF and a plain body, the rich-text tab's text matches the plain
// body after whitespace is normalised (and what the plain body spells out for links, list markers and rules is
// taken out), for at least 90 % of them; the others are listed with what differs.

#include <QDirIterator>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTextDocument>
#include <QTextEdit>
#include <QtTest>

#include "message_preview.h"
#include "pelmsg.h"
#include "settings.h"
#include "test_data.h"

using namespace quorra;

namespace {

QString Normalised(QString text)
{
    // Blanks, line and paragraph breaks, no-break spaces are left out altogether: where a line breaks, and whether
    // a spelt-out link target had a blank on each side, is layout, not text.
    static const QRegularExpression blanks(QStringLiteral("[\\s\\x{00A0}\\x{2028}\\x{2029}\\x{FEFF}]+"));
    text.replace(blanks, QString());
    return text;
}

// The plain body of a formatted mail spells out what the formatted text shows otherwise: link targets after the
// link text ("<http://...>", "<mailto:...>", "[https://...]" for a linked picture), list markers at the starts of
// lines, and rules drawn as underscores. Those are taken out before comparing.
QString PlainAsShown(QString text)
{
    static const QRegularExpression targets(QStringLiteral("\\s*[<\\[](?:https?|mailto|ftp|file|cid):[^>\\]]*[>\\]]"));
    static const QRegularExpression markers(
        QStringLiteral("^[ \\t]*(?:[*\\-\\x{2022}\\x{00B7}\\x{00A7}]|\\d{1,2}[.)])[ \\t]+"),
        QRegularExpression::MultilineOption);
    static const QRegularExpression rules(QStringLiteral("_{5,}"));
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(targets, QString());
    text.replace(markers, QString());
    text.replace(rules, QString());
    return Normalised(text);
}

QString FirstDifference(const QString& a, const QString& b)
{
    int i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i])
        ++i;
    return QStringLiteral("at %1: rtf \"%2\" vs plain \"%3\"").arg(i).arg(a.mid(i, 30), b.mid(i, 30));
}

} // namespace

class TestPreviewCorpus : public QObject {
    Q_OBJECT

private:
    int filled_ = 0;
    int nested_ = 0;

    void FillWithNested(TfrmMessage& form, const pelmsg::TMSGProperties& p, int depth)
    {
        form.FillPreview(&p);
        ++filled_;
        if (depth > 8)
            return;
        for (int i = 0; i < p.AttachmentCount(); ++i) {
            const pelmsg::TMSGProperty* node = p.Attachments(i);
            if (!node || !node->IsEmbeddedMessage())
                continue;
            const pelmsg::TMSGProperty* data
                = node->SubProperties.FindProperty(pelmsg::MakeTag(pelmsg::kIdAttachDataObject, 0), true, true);
            const pelmsg::TMSGProperties& inner
                = data && !data->SubProperties.Empty() ? data->SubProperties : node->SubProperties;
            ++nested_;
            FillWithNested(form, inner, depth + 1);
        }
    }

private slots:
    void everyFileFillsThePreview()
    {
        const QStringList files = quorra_test::CorpusFiles({ "tnef", "msg" });
        if (files.size() < 10)
            QSKIP("the shared corpus is not present");
        TSettings settings;
        TfrmMessage form(settings);
        int both = 0, matching = 0, loadErrors = 0;
        QStringList differing;
        for (const QString& file : files) {
            auto message = pelmsg::CreateMessageForFile(file.toStdString());
            try {
                message->LoadFromFile(file.toStdString());
            } catch (const std::exception& e) {
                // A file the reader refuses is the reader's business (its own tests); what it read still shows.
                ++loadErrors;
            }
            try {
                FillWithNested(form, message->Properties(), 0);
            } catch (const std::exception& e) {
                QFAIL(qPrintable(file + ": " + QString::fromUtf8(e.what())));
            }
            const pelmsg::TMSGProperties& p = message->Properties();
            const QString plain = PlainAsShown(QString::fromStdU16String(p.PlainBody()));
            const QString rtf = QString::fromStdU16String(p.RtfBody());
            if (plain.isEmpty() || rtf.isEmpty())
                continue;
            ++both;
            form.FillPreview(&p);
            // The rich-text view gets its document when its tab shows.
            form.findChild<QTabWidget*>("pcBody")->setCurrentWidget(form.findChild<QWidget*>("tsRTFBody"));
            // A long body is laid out in a worker: its document is in once the job has gone.
            if (QObject* job = form.findChild<QObject*>("rtfReadInWorker")) {
                QSignalSpy done(job, &QObject::destroyed);
                QVERIFY(done.wait(60000));
            }
            // The same on both sides: a link target the rich text shows as text is taken out of it too.
            const QString shown = PlainAsShown(form.findChild<QTextEdit*>("reRTFBody")->toPlainText());
            if (shown == plain)
                ++matching;
            else
                differing << QFileInfo(file).fileName() + " " + FirstDifference(shown, plain);
        }
        qInfo("%d files (%d refused by the reader), %d previews filled (%d attached messages)",
            int(files.size()), loadErrors, filled_, nested_);
        qInfo("rich text vs plain body: %d of %d match", matching, both);
        for (const QString& d : differing)
            qInfo("  differs: %s", qPrintable(d));
        QVERIFY(both > 0);
        QVERIFY2(matching * 10 >= both * 9, qPrintable(QStringLiteral("%1 of %2").arg(matching).arg(both)));
    }
};

QTEST_MAIN(TestPreviewCorpus)
#include "tst_preview_corpus.moc"
