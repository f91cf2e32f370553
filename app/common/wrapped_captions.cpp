#include "wrapped_captions.h"

#include <QAbstractButton>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QMouseEvent>

#include "qt_glue.h"

namespace quorra {

namespace {

QLayout* LayoutHolding(QLayout* layout, QWidget* widget)
{
    if (!layout)
        return nullptr;
    if (layout->indexOf(widget) >= 0)
        return layout;
    for (int i = 0; i < layout->count(); ++i)
        if (QLayout* inner = LayoutHolding(layout->itemAt(i)->layout(), widget))
            return inner;
    return nullptr;
}

} // namespace

void WrapLongCaptions(QWidget* window, int maxWidth)
{
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        if (!button->inherits("QCheckBox") && !button->inherits("QRadioButton"))
            continue;
        const QString caption = button->text();
        if (caption.isEmpty() || button->fontMetrics().horizontalAdvance(caption) <= maxWidth)
            continue;
        QWidget* parent = button->parentWidget();
        QLayout* holder = parent ? LayoutHolding(parent->layout(), button) : nullptr;
        if (!holder)
            continue;
        auto* row = new QWidget(parent);
        row->setObjectName(button->objectName() + QStringLiteral("Row"));
        auto* rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        delete holder->replaceWidget(button, row);
        auto* label = new QLabel(caption, row);
        label->setObjectName(button->objectName() + QStringLiteral("Caption"));
        label->setWordWrap(true);
        label->setTextFormat(Qt::PlainText);
        label->setBuddy(button);
        // Clicking the label clicks its button.
        WatchEvents(label, label, [button](QEvent* event) {
            if (event->type() != QEvent::MouseButtonRelease || !button->isEnabled()
                || static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
                return false;
            button->click();
            return true;
        });
        if (button->accessibleName().isEmpty())
            button->setAccessibleName(QString(caption).remove(u'&'));
        button->setText(QString());
        button->setToolTip(button->toolTip().isEmpty() ? QString(caption).remove(u'&') : button->toolTip());
        rowLayout->addWidget(button, 0, Qt::AlignTop);
        rowLayout->addWidget(label, 1);
    }
}

} // namespace quorra
