#pragma once

// A tab page whose widgets are made the first time it is shown (or the first time its code needs them), so that a
// start on another page does not pay for them. The page itself, with its objectName, exists from the start: the
// page control, the tab captions and the language files find it as before.

#include <QWidget>

namespace quorra {

class TLazyPage : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;

    // Whether the widgets have been made.
    bool IsBuilt() const { return built_; }
    // Makes the widgets now, once; emits ContentBuilt.
    void EnsureBuilt();
    // Makes the widgets before the page first shows, so that they show with it as if they had always been there.
    void setVisible(bool visible) override;

signals:
    // The widgets were just made (the window gives them the language in use).
    void ContentBuilt(QWidget* page);

protected:
    // Makes the widgets and fills them with what the page was given so far.
    virtual void Build() = 0;

private:
    bool built_ = false;
};

} // namespace quorra
