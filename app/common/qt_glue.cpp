#include "qt_glue.h"

#include <utility>

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

namespace quorra {

namespace {

class TEventHook : public QObject {
public:
    TEventHook(QObject* owner, std::function<bool(QEvent*)> handler)
        : QObject(owner)
        , handler_(std::move(handler))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        return handler_(event) || QObject::eventFilter(watched, event);
    }

private:
    std::function<bool(QEvent*)> handler_;
};

} // namespace

TBusyCursor::TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }

void TBusyCursor::Restore()
{
    if (active_)
        QApplication::restoreOverrideCursor();
    active_ = false;
}

QMessageBox::StandardButton ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
    const char* objectName, QMessageBox::StandardButtons buttons)
{
    const QString title = parent && !parent->window()->windowTitle().isEmpty() ? parent->window()->windowTitle()
                                                                               : QApplication::applicationDisplayName();
    QMessageBox box(icon, title, text, buttons, parent);
    box.setObjectName(QLatin1String(objectName));
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void WatchEvents(QObject* watched, QObject* owner, std::function<bool(QEvent*)> handler)
{
    watched->installEventFilter(new TEventHook(owner, std::move(handler)));
}

TDialogButtons NewOkCancelButtons(QDialog* dialog, const QString& okText, const QString& cancelText)
{
    auto* buttons = new QDialogButtonBox(dialog);
    QPushButton* ok = buttons->addButton(okText, QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("btnOK"));
    ok->setDefault(true);
    QPushButton* cancel = buttons->addButton(cancelText, QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return { buttons, ok };
}

QVBoxLayout* NewFlatColumn(QWidget* owner, int spacing)
{
    auto* layout = new QVBoxLayout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    if (spacing >= 0)
        layout->setSpacing(spacing);
    return layout;
}

QSplitter* NewPageSplitter(QWidget* page, const char* name)
{
    auto* splitter = new QSplitter(Qt::Horizontal, page);
    splitter->setObjectName(QLatin1String(name));
    splitter->setChildrenCollapsible(false);
    NewFlatColumn(page)->addWidget(splitter);
    return splitter;
}

} // namespace quorra
