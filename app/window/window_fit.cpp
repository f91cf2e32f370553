#include "window_fit.h"

#include <algorithm>

namespace quorra {

namespace {

// Room left around a window for the frame the window manager draws (title bar and borders).
constexpr int kFrameWidth = 16;
constexpr int kFrameHeight = 40;

QRect CentredIn(const QRect& area, QSize size)
{
    size
        = size.boundedTo(QSize(std::max(area.width() - kFrameWidth, 200), std::max(area.height() - kFrameHeight, 150)));
    return QRect(area.center() - QPoint(size.width() / 2, size.height() / 2), size);
}

} // namespace

QSize FirstStartSize(const QRect& available, int lineSpacing)
{
    lineSpacing = std::clamp(lineSpacing, 8, 64);
    // Menu, tool bars, tabs, the preview's header and the attachment strip take about thirty lines' height, the
    // body twenty more.
    const QSize wanted(std::max(960, lineSpacing * 70), lineSpacing * 52);
    return CentredIn(available, wanted).size();
}

QRect FitOntoScreens(const QRect& bounds, const QList<QRect>& available)
{
    if (available.isEmpty())
        return bounds;
    // The upper band of the window must be reachable with the mouse: at least a title bar's height and a
    // hundred pixels of its width on one screen.
    const QRect grip(bounds.x(), bounds.y(), bounds.width(), std::min(bounds.height(), 32));
    for (const QRect& area : available) {
        const QRect seen = grip.intersected(area);
        if (seen.width() >= std::min(100, bounds.width()) && seen.height() >= std::min(16, grip.height())) {
            if (bounds.width() <= area.width() && bounds.height() <= area.height())
                return bounds;
            // Larger than its screen: shrunk, and moved so that it starts on that screen.
            QRect fitted = bounds;
            fitted.setSize(bounds.size().boundedTo(area.size()));
            fitted.moveLeft(std::clamp(bounds.x(), area.left(), area.right() - fitted.width() + 1));
            fitted.moveTop(std::clamp(bounds.y(), area.top(), area.bottom() - fitted.height() + 1));
            return fitted;
        }
    }
    return CentredIn(available.first(), bounds.size());
}

} // namespace quorra
