#include "notice_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

namespace quorra {

TNoticeBar::TNoticeBar(QWidget* parent, TLook look, const char* name, const char* labelName, bool wrap)
    : QFrame(parent)
{
    setObjectName(QLatin1String(name));
    setFrameShape(QFrame::StyledPanel);
    auto* row = new QHBoxLayout(this);
    label_ = new QLabel(this);
    label_->setObjectName(QLatin1String(labelName));
    label_->setWordWrap(wrap);
    if (look == TLook::ToolTip) {
        setAutoFillBackground(true);
        setBackgroundRole(QPalette::ToolTipBase);
        setForegroundRole(QPalette::ToolTipText);
        label_->setForegroundRole(QPalette::ToolTipText);
        row->setContentsMargins(6, 3, 6, 3);
    } else {
        row->setContentsMargins(6, 4, 6, 4);
    }
    row->addWidget(label_, 1);
    hide();
}

QPushButton* TNoticeBar::AddButton(const char* name, const QString& caption)
{
    if (!button_) {
        button_ = new QPushButton(caption, this);
        button_->setObjectName(QLatin1String(name));
        layout()->addWidget(button_);
    }
    return button_;
}

void TNoticeBar::ShowWarningSign()
{
    if (sign_)
        return;
    sign_ = new QLabel(this);
    sign_->setObjectName(objectName().replace(QLatin1String("pnl"), QLatin1String("img")));
    sign_->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(20, 20));
    static_cast<QHBoxLayout*>(layout())->insertWidget(0, sign_);
}

} // namespace quorra
