#include "proxy_logon.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

#include "icons.h"
#include "qt_glue.h"

namespace quorra {

TfrmPelILogon::TfrmPelILogon(QWidget* parent, const QString& caption)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmPelILogon"));
    setWindowTitle(caption.isEmpty() ? tr("Enter Password") : caption);
    auto* row = new QHBoxLayout(this);
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("imgKey"));
    picture->setPixmap(StorageIcon(2).pixmap(48, 48));
    picture->setAlignment(Qt::AlignTop);
    row->addWidget(picture);

    auto* right = new QVBoxLayout;
    auto* form = new QFormLayout;
    edLogin_ = new QLineEdit(this);
    edLogin_->setObjectName(QStringLiteral("edLogin"));
    edPassword_ = new QLineEdit(this);
    edPassword_->setObjectName(QStringLiteral("edPassword"));
    // Typed passwords are never shown on screen.
    edPassword_->setEchoMode(QLineEdit::Password);
    auto* lblLogin = new QLabel(tr("User ID:"), this);
    lblLogin->setObjectName(QStringLiteral("lblLogin"));
    lblLogin->setBuddy(edLogin_);
    auto* lblPassword = new QLabel(tr("Password:"), this);
    lblPassword->setObjectName(QStringLiteral("lblPassword"));
    lblPassword->setBuddy(edPassword_);
    form->addRow(lblLogin, edLogin_);
    form->addRow(lblPassword, edPassword_);
    right->addLayout(form);

    right->addWidget(NewOkCancelButtons(this, tr("&OK"), tr("&Cancel")).Box);
    row->addLayout(right, 1);
    edLogin_->setMinimumWidth(200);
}

bool ProxyLogon(QWidget* parent, const QString& caption, QString& user, QString& password,
    const std::function<void(QDialog*)>& translate)
{
    TfrmPelILogon dialog(parent, caption);
    if (translate)
        translate(&dialog);
    // The caller's caption stands over a translated default one.
    if (!caption.isEmpty())
        dialog.setWindowTitle(caption);
    dialog.Login()->setText(user);
    dialog.Password()->setText(password);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    user = dialog.Login()->text();
    password = dialog.Password()->text();
    return true;
}

} // namespace quorra
