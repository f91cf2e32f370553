#pragma once

// Check boxes and radio buttons cannot wrap their captions: a long one (a long translation, most often) widens
// its dialog past the screen or is cut off. WrapLongCaptions moves every caption wider than maxWidth into a word-
// wrapping label beside its box; clicking the label works the box, and the box keeps its accessible name.

class QWidget;

namespace quorra {

void WrapLongCaptions(QWidget* window, int maxWidth);

} // namespace quorra
