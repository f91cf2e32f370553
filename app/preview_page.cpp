#include "preview_page.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTextDocument>
#include <QVBoxLayout>

#include "icons.h"
#include "pelmsg.h"

namespace quorra {

namespace {

QString ToQString(const pelmsg::WideString& text)
{
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

QLineEdit* NewField(QWidget* parent, const char* name)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setReadOnly(true);
    edit->setAcceptDrops(false);
    return edit;
}

QLabel* NewLabel(QWidget* parent, const char* name, const char* caption, QWidget* buddy)
{
    auto* label = new QLabel(QLatin1String(caption), parent);
    label->setObjectName(QLatin1String(name));
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    label->setBuddy(buddy);
    return label;
}

void SetRow(QWidget* form, const char* label, const char* edit, const QString& text, bool hideWhenEmpty)
{
    auto* e = form->findChild<QLineEdit*>(QLatin1String(edit));
    auto* l = form->findChild<QLabel*>(QLatin1String(label));
    e->setText(text);
    e->setCursorPosition(0);
    bool visible = !hideWhenEmpty || !text.isEmpty();
    e->setVisible(visible);
    l->setVisible(visible);
}

} // namespace

void CreatePreviewPage(QWidget* tsPreview)
{
    auto* outer = new QVBoxLayout(tsPreview);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* form = new QWidget(tsPreview);
    form->setObjectName(QStringLiteral("frmMessage"));
    outer->addWidget(form);

    auto* layout = new QVBoxLayout(form);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* pnlHeader = new QWidget(form);
    pnlHeader->setObjectName(QStringLiteral("pnlHeader"));
    auto* grid = new QGridLayout(pnlHeader);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setVerticalSpacing(4);
    auto* edFrom = NewField(pnlHeader, "edFrom");
    auto* edSent = NewField(pnlHeader, "edSent");
    auto* edTo = NewField(pnlHeader, "edTo");
    auto* edCC = NewField(pnlHeader, "edCC");
    auto* edBCC = NewField(pnlHeader, "edBCC");
    auto* edSubject = NewField(pnlHeader, "edSubject");
    edSent->setMinimumWidth(150);
    edSent->setMaximumWidth(220);
    grid->addWidget(NewLabel(pnlHeader, "lblFrom", "From:", edFrom), 0, 0, Qt::AlignRight);
    grid->addWidget(edFrom, 0, 1);
    grid->addWidget(edSent, 0, 2);
    grid->addWidget(NewLabel(pnlHeader, "lblTo", "To:", edTo), 1, 0, Qt::AlignRight);
    grid->addWidget(edTo, 1, 1, 1, 2);
    grid->addWidget(NewLabel(pnlHeader, "lblSubject", "Subject:", edSubject), 2, 0, Qt::AlignRight);
    grid->addWidget(edSubject, 2, 1, 1, 2);
    grid->addWidget(NewLabel(pnlHeader, "lblCC", "CC:", edCC), 3, 0, Qt::AlignRight);
    grid->addWidget(edCC, 3, 1, 1, 2);
    grid->addWidget(NewLabel(pnlHeader, "lblBCC", "BCC:", edBCC), 4, 0, Qt::AlignRight);
    grid->addWidget(edBCC, 4, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    layout->addWidget(pnlHeader);

    auto* split = new QSplitter(Qt::Vertical, form);
    split->setObjectName(QStringLiteral("splAttachment"));
    split->setChildrenCollapsible(false);
    auto* reBody = new QPlainTextEdit(split);
    reBody->setObjectName(QStringLiteral("reBody"));
    reBody->setReadOnly(true);
    reBody->setAcceptDrops(false);
    auto* lvAttachments = new QListWidget(split);
    lvAttachments->setObjectName(QStringLiteral("lvAttachments"));
    lvAttachments->setViewMode(QListView::IconMode);
    lvAttachments->setFlow(QListView::LeftToRight);
    lvAttachments->setWrapping(true);
    lvAttachments->setResizeMode(QListView::Adjust);
    lvAttachments->setIconSize(QSize(32, 32));
    lvAttachments->setGridSize(QSize(150, 64));
    lvAttachments->setAcceptDrops(false);
    lvAttachments->setDragEnabled(false);
    lvAttachments->hide();
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 0);
    split->setSizes({ 400, 80 });
    layout->addWidget(split, 1);

    for (const char* name : { "lblCC", "edCC", "lblBCC", "edBCC" })
        form->findChild<QWidget*>(QLatin1String(name))->hide();
}

void FillPreviewPage(QWidget* tsPreview, const pelmsg::TPelMessage* message)
{
    auto* form = tsPreview->findChild<QWidget*>(QStringLiteral("frmMessage"));
    if (!form)
        return;
    auto* reBody = form->findChild<QPlainTextEdit*>(QStringLiteral("reBody"));
    auto* lvAttachments = form->findChild<QListWidget*>(QStringLiteral("lvAttachments"));
    lvAttachments->clear();
    lvAttachments->hide();
    if (!message) {
        for (const char* name : { "edFrom", "edSent", "edTo", "edCC", "edBCC", "edSubject" })
            form->findChild<QLineEdit*>(QLatin1String(name))->clear();
        reBody->clear();
        return;
    }
    const pelmsg::TMSGProperties& p = message->Properties();
    SetRow(form, "lblFrom", "edFrom", ToQString(p.From()), false);
    QString to = ToQString(p.ToList());
    if (to.isEmpty())
        to = ToQString(p.ReceivedByAddress());
    SetRow(form, "lblTo", "edTo", to, false);
    SetRow(form, "lblCC", "edCC", ToQString(p.CcList()), true);
    SetRow(form, "lblBCC", "edBCC", ToQString(p.BccList()), true);
    SetRow(form, "lblSubject", "edSubject", ToQString(p.Subject()), false);
    double sent = p.SentDate();
    auto* edSent = form->findChild<QLineEdit*>(QStringLiteral("edSent"));
    edSent->setText(sent != 0 ? ToQString(pelmsg::LocaleDateTimeText(sent)) : QString());

    QString body = ToQString(p.PlainBody());
    if (body.trimmed().isEmpty()) {
        // Without a plain body, the text of the HTML body (no scripts run, nothing is fetched).
        QString html = ToQString(p.HtmlBody());
        if (!html.isEmpty()) {
            QTextDocument document;
            document.setHtml(html);
            body = document.toPlainText();
        }
    }
    body.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    reBody->setPlainText(body);

    for (int i = 0; i < p.AttachmentCount(); ++i) {
        const pelmsg::TMSGProperty* node = p.Attachments(i);
        if (!node) {
            lvAttachments->addItem(QStringLiteral("unknown%1").arg(i, 2, 16, QLatin1Char('0')));
            continue;
        }
        const pelmsg::TAttachmentKind kind = node->AttachmentKind();
        const int icon = kind == pelmsg::TAttachmentKind::EmbeddedMessage ? 1
                         : kind == pelmsg::TAttachmentKind::OleObject     ? 2
                                                                          : 0;
        auto* item = new QListWidgetItem(AttachmentIcon(icon), QString::fromStdString(node->AttachmentDisplayName(i)));
        item->setToolTip(QString::fromStdString(node->AttachmentFileName(i)));
        lvAttachments->addItem(item);
    }
    lvAttachments->setVisible(lvAttachments->count() > 0);
}

int PreviewAttachmentCount(const QWidget* tsPreview)
{
    auto* list = tsPreview->findChild<QListWidget*>(QStringLiteral("lvAttachments"));
    return list ? list->count() : 0;
}

} // namespace quorra
