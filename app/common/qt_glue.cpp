#include "qt_glue.h"

#include <QApplication>

namespace quorra {

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

} // namespace quorra
