#include "lazy_page.h"

namespace quorra {

void TLazyPage::EnsureBuilt()
{
    if (built_)
        return;
    built_ = true;
    Build();
    emit ContentBuilt(this);
}

void TLazyPage::setVisible(bool visible)
{
    // Before QWidget shows the page: the children made now are shown with it (children made once it is visible
    // would stay hidden).
    if (visible)
        EnsureBuilt();
    QWidget::setVisible(visible);
}

} // namespace quorra
