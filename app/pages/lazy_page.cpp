#include "lazy_page.h"

#include <utility>

namespace quorra {

TLazyPage::TLazyPage(const char* name, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QLatin1String(name));
}

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

void TMessagePage::Fill(const pelmsg::TPelMessage* message)
{
    if (IsBuilt())
        ShowMessage(message);
    else
        pending_ = message;
}

void TMessagePage::Build()
{
    MakeWidgets();
    ShowMessage(std::exchange(pending_, nullptr));
}

} // namespace quorra
