#include "about_dialog.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "desktop_services.h"

namespace quorra {

namespace {

// A label that acts as a link: pointing hand, underlined in the link colour, opened by a click or by Enter or
// Space when it has the focus.
class TLinkLabel : public QLabel {
public:
    TLinkLabel(const QString& text, QWidget* parent, std::function<void(QLabel*)> click)
        : QLabel(text, parent)
        , click_(std::move(click))
    {
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::StrongFocus);
        setForegroundRole(QPalette::Link);
        QFont f = font();
        f.setUnderline(true);
        setFont(f);
    }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        QLabel::mouseReleaseEvent(event);
        if (rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint()))
            click_(this);
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space)
            click_(this);
        else
            QLabel::keyPressEvent(event);
    }

private:
    std::function<void(QLabel*)> click_;
};

} // namespace

TfrmAbout::TfrmAbout(QWidget* parent, const QPixmap& logo, const QString& versionText, const QString& homePage,
    const QString& contactMail)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(tr("About..."));
    auto* outer = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    outer->addLayout(row);

    auto* imgLogo = new QLabel(this);
    imgLogo->setObjectName(QStringLiteral("imgLogo"));
    imgLogo->setPixmap(logo);
    imgLogo->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    row->addWidget(imgLogo);
    row->addSpacing(12);

    auto* texts = new QVBoxLayout;
    row->addLayout(texts, 1);
    // The product name twice, the second a shadow behind the first.
    auto* title = new QWidget(this);
    auto* lblLogo2 = new QLabel(QStringLiteral("Tessaly"), title);
    lblLogo2->setObjectName(QStringLiteral("lblLogo2"));
    auto* lblLogo1 = new QLabel(QStringLiteral("Tessaly"), title);
    lblLogo1->setObjectName(QStringLiteral("lblLogo1"));
    QFont big = font();
    big.setPointSizeF(big.pointSizeF() * 2.2);
    big.setBold(true);
    lblLogo1->setFont(big);
    lblLogo2->setFont(big);
    lblLogo2->setForegroundRole(QPalette::Mid);
    const QSize titleSize = lblLogo1->sizeHint();
    lblLogo1->setGeometry(0, 0, titleSize.width(), titleSize.height());
    lblLogo2->setGeometry(2, 2, titleSize.width(), titleSize.height());
    title->setFixedSize(titleSize + QSize(2, 2));
    texts->addWidget(title);

    auto* lblDescription = new QLabel(tr("Viewer for winmail.dat files and Outlook messages"), this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setWordWrap(true);
    texts->addWidget(lblDescription);
    auto* lblVersion = new QLabel(versionText, this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setTextInteractionFlags(Qt::TextSelectableByMouse);
    texts->addWidget(lblVersion);
    texts->addSpacing(8);

    auto click = [this](QLabel* label) { lblHomepageClick(label); };
    auto* lblHomepage = new TLinkLabel(homePage, this, click);
    lblHomepage->setObjectName(QStringLiteral("lblHomepage"));
    lblHomepage->setToolTip(tr("Go to Corvane homepage"));
    lblHomepage->setProperty("tag", 0);
    texts->addWidget(lblHomepage);
    auto* lblMail = new TLinkLabel(contactMail, this, click);
    lblMail->setObjectName(QStringLiteral("lblMail"));
    lblMail->setToolTip(tr("Send feedback by e-mail"));
    lblMail->setProperty("tag", 1);
    texts->addWidget(lblMail);
    texts->addStretch(1);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(tr("&OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("btnOK"));
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    outer->addWidget(buttons);
}

void TfrmAbout::lblHomepageClick(QLabel* label)
{
    if (!label)
        return;
    const QString caption = label->text();
    if (label->property("tag").toInt() == 1)
        OpenDocument(QUrl(QStringLiteral("mailto:") + caption));
    else
        OpenDocument(QUrl(caption));
}

} // namespace quorra
