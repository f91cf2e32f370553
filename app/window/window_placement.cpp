// The main window's place on the screen: where it opens (the switches, the stored bounds, else centred) and what
// is stored of it when it closes.

#include <algorithm>
#include <array>
#include <optional>

#include <QAction>
#include <QGuiApplication>
#include <QScreen>
#include <QSplitter>
#include <QToolBar>
#include <QWidget>

#include "main_window.h"

#include "cool_bar.h"
#include "settings.h"
#include "window_fit.h"

namespace quorra {

void TfrmMain::LoadPlacement()
{
    const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                          : QRect(0, 0, 1024, 768);
    const bool switchesGavePlacement = !settings_.DefaultPlacement;
    const std::array<std::optional<int>, 4> given = settings_.PlacementSwitches;
    // Whether the settings file holds a placement (a first start has none, whatever SaveFormPosition says).
    settings_.DefaultPlacement = true;
    LoadSettings(settings_, true);
    const bool storedPlacement = !settings_.DefaultPlacement;
    settings_.DefaultPlacement = !storedPlacement && !switchesGavePlacement;
    // A first start opens large enough for twenty lines of the body, within the screen.
    const QSize size = FirstStartSize(screen, fontMetrics().lineSpacing());
    if (settings_.DefaultPlacement) {
        resize(size);
        move(screen.center() - QPoint(size.width() / 2, size.height() / 2));
        return;
    }
    if (switchesGavePlacement || settings_.SaveFormPosition) {
        // The window's own bounds (the stored ones, else the default ones), with what the switches gave in place of
        // their coordinates only: a lone "/LEFT=" moves the window, it does not reset its size.
        QRect bounds(screen.center() - QPoint(size.width() / 2, size.height() / 2), size);
        if (settings_.SaveFormPosition && storedPlacement) {
            bounds = QRect(settings_.FormLeft, settings_.FormTop, settings_.FormWidth, settings_.FormHeight);
            // Stored on a screen that is gone or smaller now: brought back onto one.
            if (!switchesGavePlacement) {
                QList<QRect> areas;
                if (QGuiApplication::primaryScreen())
                    areas.append(screen);
                for (QScreen* s : QGuiApplication::screens())
                    if (s != QGuiApplication::primaryScreen())
                        areas.append(s->availableGeometry());
                bounds = FitOntoScreens(bounds, areas);
            }
        }
        if (given[0])
            bounds.moveLeft(*given[0]);
        if (given[1])
            bounds.moveTop(*given[1]);
        if (given[2])
            bounds.setWidth(*given[2]);
        if (given[3])
            bounds.setHeight(*given[3]);
        setGeometry(bounds.x(), bounds.y(), std::max(bounds.width(), 200), std::max(bounds.height(), 150));
    }
    if (settings_.SaveFormPosition) {
        // A band is never narrower than its buttons; a wider stored band keeps its width.
        cbMain_->Band(0)->setMinimumWidth(std::min(settings_.Band0Width, 2000));
        cbMain_->Band(1)->setMinimumWidth(std::min(settings_.Band1Width, 2000));
        QList<int> panes = splitter_->sizes();
        panes[0] = std::max(settings_.LeftPaneWidth, kLeftPaneWidth);
        splitter_->setSizes(panes);
        if (settings_.FileExplorer && !actions_.miViewFileTree->isChecked())
            actions_.miViewFileTree->trigger();
    }
}

void TfrmMain::ShowPlaced()
{
    if (settings_.SaveFormPosition && settings_.FormState == TFormState::Maximized)
        showMaximized();
    else if (settings_.SaveFormPosition && settings_.FormState == TFormState::Minimized)
        showMinimized();
    else
        show();
}

void TfrmMain::StorePlacement()
{
    if (!settings_.SaveFormPosition)
        return;
    Qt::WindowStates state = windowState();
    settings_.FormState = state & Qt::WindowMaximized ? TFormState::Maximized
        : state & Qt::WindowMinimized                 ? TFormState::Minimized
                                                      : TFormState::Normal;
    QRect normal = state & (Qt::WindowMaximized | Qt::WindowMinimized) ? normalGeometry() : geometry();
    settings_.FormLeft = normal.x();
    settings_.FormTop = normal.y();
    settings_.FormWidth = normal.width();
    settings_.FormHeight = normal.height();
    settings_.Band0Width = cbMain_->Band(0)->width();
    settings_.Band1Width = cbMain_->Band(1)->width();
    settings_.LeftPaneWidth = pnlLeft_->isVisible() ? splitter_->sizes().value(0) : settings_.LeftPaneWidth;
    settings_.FileExplorer = actions_.miViewFileTree->isChecked();
}

} // namespace quorra
