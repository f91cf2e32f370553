#include "cool_bar.h"

#include <QAction>
#include <QComboBox>
#include <QCompleter>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolBar>
#include <QVBoxLayout>

#include "program_texts.h"

namespace quorra {

namespace {

QToolBar* NewBand(QWidget* parent, const char* name, std::initializer_list<QAction*> actions)
{
    auto* bar = new QToolBar(parent);
    bar->setObjectName(QLatin1String(name));
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    bar->setIconSize(QSize(24, 24));
    bar->setFloatable(false);
    bar->setMovable(false);
    bar->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    for (QAction* action : actions) {
        if (action)
            bar->addAction(action);
        else
            bar->addSeparator();
    }
    return bar;
}

} // namespace

TCoolBar::TCoolBar(QWidget* parent, std::initializer_list<QAction*> mainBand, std::initializer_list<QAction*> helpBand)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("cbMain"));
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(2, 2, 2, 2);
    rows->setSpacing(2);
    for (QHBoxLayout*& row : rows_) {
        row = new QHBoxLayout;
        rows->addLayout(row);
    }
    bands_[0] = NewBand(this, "tbMain", mainBand);
    bands_[1] = NewBand(this, "tbHelp", helpBand);

    pnlFileName_ = new QWidget(this);
    pnlFileName_->setObjectName(QStringLiteral("pnlFileName"));
    auto* fileLayout = new QHBoxLayout(pnlFileName_);
    fileLayout->setContentsMargins(6, 0, 5, 0);
    lblFileName_ = new QLabel(strFileName(), pnlFileName_);
    lblFileName_->setObjectName(QStringLiteral("lblFileName"));
    cbFileName_ = new QComboBox(pnlFileName_);
    cbFileName_->setObjectName(QStringLiteral("cbFileName"));
    cbFileName_->setEditable(true);
    cbFileName_->setInsertPolicy(QComboBox::NoInsert);
    cbFileName_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    cbFileName_->setMinimumContentsLength(20);
    cbFileName_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbFileName_->lineEdit()->setAcceptDrops(false);
    // Completion only suggests (in a list, paths compared with their case).
    cbFileName_->completer()->setCompletionMode(QCompleter::PopupCompletion);
    cbFileName_->completer()->setCaseSensitivity(Qt::CaseSensitive);
    lblFileName_->setBuddy(cbFileName_);
    fileLayout->addWidget(lblFileName_);
    fileLayout->addWidget(cbFileName_, 1);

    auto* separator = new QFrame(this);
    separator->setFrameShape(QFrame::VLine);
    separator->setFrameShadow(QFrame::Sunken);
    rows_[0]->addWidget(bands_[0]);
    rows_[0]->addWidget(separator);
    rows_[0]->addWidget(bands_[1]);
    rows_[0]->addWidget(pnlFileName_, 1);
    rowFiller_ = new QWidget(this);
    rowFiller_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    rowFiller_->setFixedHeight(1);
    rowFiller_->hide();
    rows_[0]->addWidget(rowFiller_, 1);
}

void TCoolBar::Arrange(int windowWidth)
{
    // The file-name band needs room for its label and a useful part of a path.
    const int needed
        = bands_[0]->sizeHint().width() + bands_[1]->sizeHint().width() + lblFileName_->sizeHint().width() + 260;
    const bool wrap = windowWidth < needed;
    if (wrap == (rows_[1]->indexOf(pnlFileName_) >= 0))
        return;
    if (wrap) {
        rows_[0]->removeWidget(pnlFileName_);
        rows_[1]->addWidget(pnlFileName_, 1);
    } else {
        rows_[1]->removeWidget(pnlFileName_);
        rows_[0]->insertWidget(rows_[0]->indexOf(rowFiller_), pnlFileName_, 1);
    }
    rowFiller_->setVisible(wrap);
}

} // namespace quorra
