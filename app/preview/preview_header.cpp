// The preview header's additions: colours from the desktop's palette, and a task's due date, status and percent
// complete in rows of their own, as an event shows When and Where.

#include <tuple>

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "message_preview.h"
#include "message_preview_parts.h"
#include "pelmsg.h"
#include "program_texts.h"
#include "qt_glue.h"

namespace quorra {

void TfrmMessage::ApplyPaletteColours()
{
    // The header a shade of the selection colour over the window's, its labels in the window's text colour: readable
    // in a light and a dark palette alike. The importance banner in the selection's colours.
    const QPalette base = palette();
    const QColor window = base.color(QPalette::Window);
    const QColor accent = base.color(QPalette::Highlight);
    const double share = 0.22;
    QPalette header = base;
    header.setColor(QPalette::Window,
        QColor::fromRgbF(float(window.redF() * (1 - share) + accent.redF() * share),
            float(window.greenF() * (1 - share) + accent.greenF() * share),
            float(window.blueF() * (1 - share) + accent.blueF() * share)));
    header.setColor(QPalette::WindowText, base.color(QPalette::WindowText));
    pnlHeader_->setPalette(header);
    QPalette banner = base;
    banner.setColor(QPalette::Window, accent);
    banner.setColor(QPalette::WindowText, base.color(QPalette::HighlightedText));
    lblImportance_->setPalette(banner);
}

void TfrmMessage::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && pnlHeader_)
        ApplyPaletteColours();
}

QLineEdit* NewHeaderField(QWidget* panel, const char* name)
{
    auto* edit = new QLineEdit(panel);
    edit->setObjectName(QLatin1String(name));
    edit->setReadOnly(true);
    edit->setAcceptDrops(false);
    return edit;
}

QLabel* NewHeaderLabel(QWidget* panel, const char* name, const QString& caption, QLineEdit* buddy)
{
    auto* label = new QLabel(caption, panel);
    label->setObjectName(QLatin1String(name));
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setBuddy(buddy);
    buddy->setAccessibleName(caption);
    return label;
}

void TfrmMessage::CreateTaskRows()
{
    auto* grid = static_cast<QGridLayout*>(pnlHeader_->layout());
    auto row = [this, grid](const char* labelName, const QString& caption, const char* editName) {
        QLineEdit* edit = NewHeaderField(pnlHeader_, editName);
        QLabel* label = NewHeaderLabel(pnlHeader_, labelName, caption, edit);
        rowLabels_[edit] = label;
        const int at = grid->rowCount();
        grid->addWidget(label, at, 0);
        grid->addWidget(edit, at, 1, 1, 2);
        label->hide();
        edit->hide();
        return edit;
    };
    edDue_ = row("lblDue", tr("Due:"), "edDue");
    edTaskStatus_ = row("lblTaskStatus", tr("Status:"), "edTaskStatus");
}

void TfrmMessage::FillTaskRows(const pelmsg::TItemSummary* item)
{
    QString due;
    QString status;
    if (item) {
        due = Q(item->Due);
        const TProgramText* names[]
            = { &strTaskNotStarted, &strTaskInProgress, &strTaskCompleted, &strTaskWaiting, &strTaskDeferred };
        if (item->TaskStatus >= 0 && item->TaskStatus < 5)
            status = (*names[item->TaskStatus])();
        if (item->PercentComplete >= 0) {
            const QString percent = strTaskPercentComplete.Arg(QStringLiteral("%1%").arg(item->PercentComplete));
            status = status.isEmpty() ? percent : status + QStringLiteral(", ") + percent;
        }
    }
    for (auto [edit, text] : { std::pair { edDue_, due }, { edTaskStatus_, status } }) {
        edit->setText(text);
        edit->setCursorPosition(0);
        edit->setVisible(!text.isEmpty());
        rowLabels_.value(edit)->setVisible(!text.isEmpty());
    }
}

} // namespace quorra
