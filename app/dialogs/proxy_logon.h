#pragma once

// The proxy logon dialog: user and password for a proxy server that asks for them. The password is masked.

#include <functional>

#include <QDialog>

class QLineEdit;

namespace quorra {

class TfrmPelILogon : public QDialog {
    Q_OBJECT

public:
    // The caption is "Enter Password" unless one is given.
    explicit TfrmPelILogon(QWidget* parent, const QString& caption = QString());

    QLineEdit* Login() const { return edLogin_; }
    QLineEdit* Password() const { return edPassword_; }

private:
    QLineEdit* edLogin_ = nullptr;
    QLineEdit* edPassword_ = nullptr;
};

// Runs the dialog with the fields filled from user and password; true when confirmed, with the texts as entered.
// `translate` (when set) translates the dialog before it shows.
bool ProxyLogon(QWidget* parent, const QString& caption, QString& user, QString& password,
    const std::function<void(QDialog*)>& translate = {});

} // namespace quorra
