#pragma once

// A tab page whose widgets are made the first time it is shown (or the first time its code needs them), so that a
// start on another page does not pay for them. The page itself, with its objectName, exists from the start: the
// page control, the tab captions and the language files find it as before.

#include <QWidget>

namespace pelmsg {
class TPelMessage;
}

namespace quorra {

class TLazyPage : public QWidget {
    Q_OBJECT

public:
    // The page with its object name (the tab's, which the language files know it by).
    TLazyPage(const char* name, QWidget* parent);

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
    // A widget of the page, for the typed accessors: the page is built first when it has not been yet.
    template <class TWidget> TWidget* Built(TWidget* const& widget)
    {
        EnsureBuilt();
        return widget;
    }

private:
    bool built_ = false;
};

// A lazy page that shows one message: a message given before the widgets are made is shown when they are.
class TMessagePage : public TLazyPage {
public:
    using TLazyPage::TLazyPage;

    // Shows the message, or empties the page for nullptr; a page not made yet keeps it for its first showing.
    void Fill(const pelmsg::TPelMessage* message);

protected:
    // Makes the widgets, empty.
    virtual void MakeWidgets() = 0;
    // Shows the message (or none) in the widgets made.
    virtual void ShowMessage(const pelmsg::TPelMessage* message) = 0;

private:
    void Build() final;

    const pelmsg::TPelMessage* pending_ = nullptr; // the message given before the widgets were made
};

} // namespace quorra
