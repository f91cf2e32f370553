#pragma once

// The bar above the pages that says the open file is damaged ("pnlDamage"), with a button that lists what the
// reader found and where.

#include "notice_bar.h"

namespace quorra {

class TOpenDocument;

class TDamageBar : public TNoticeBar {
public:
    explicit TDamageBar(QWidget* parent);
    // Shows the bar for a document read with warnings and hides it otherwise (also for none). The document must
    // outlive the bar's use of it: the window gives nullptr before it frees one.
    void Show(const TOpenDocument* document);
    // Sets the bar's text from the program texts (after a language change).
    void Retranslate();

private:
    void btnDamageDetailsClick();

    const TOpenDocument* document_ = nullptr;
};

} // namespace quorra
