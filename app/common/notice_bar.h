#pragma once

// A bar above a view that tells the user something about what it shows (a damaged file, blocked remote content, a
// web view that failed): a text, and where the bar asks for it a warning sign and one button. The bar and its
// widgets carry object names, for the language files and the tests.

#include <QFrame>

class QLabel;
class QPushButton;

namespace quorra {

class TNoticeBar : public QFrame {
public:
    // Panel: a framed panel in the window's colours; ToolTip: in the colours of a tool tip, over a page.
    enum class TLook { Panel, ToolTip };

    // Hidden until shown; the text wraps when wrap is true.
    TNoticeBar(QWidget* parent, TLook look, const char* name, const char* labelName, bool wrap);

    QLabel* Label() const { return label_; }
    // The button at the right end, made once (nullptr until then).
    QPushButton* AddButton(const char* name, const QString& caption);
    QPushButton* Button() const { return button_; }
    // The style's warning sign at the left end, made when first asked for (it costs an icon-theme lookup); named
    // after the bar ("pnlDamage": "imgDamage").
    void ShowWarningSign();

private:
    QLabel* label_ = nullptr;
    QLabel* sign_ = nullptr;
    QPushButton* button_ = nullptr;
};

} // namespace quorra
