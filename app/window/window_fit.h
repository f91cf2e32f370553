#pragma once

// Sizes and places the main window so that it fits the screens it is shown on: the size of a first start, and a
// stored place brought back onto a screen when the screens have changed since it was stored.

#include <QList>
#include <QRect>
#include <QSize>

namespace quorra {

// The size of a first start: room for the tool bars, the message header and at least twenty lines of the body
// (lineSpacing is the window font's), never larger than the available area less room for the window frame.
QSize FirstStartSize(const QRect& available, int lineSpacing);

// The stored bounds as they may be shown: unchanged when a usable part of the window (its upper band, where the
// title bar is) lies on one of the screens' available areas; otherwise shrunk to fit the primary (first) area and
// centred on it. A window larger than the screen it is on is shrunk to it.
QRect FitOntoScreens(const QRect& bounds, const QList<QRect>& available);

} // namespace quorra
