#pragma once

// The About box: the product picture and name, the version, and links to the home page and the contact address.

#include <QDialog>

class QLabel;

namespace quorra {

class TfrmAbout : public QDialog {
    Q_OBJECT

public:
    // homePage is shown by lblHomepage (a click opens it), contactMail by lblMail (a click writes to it).
    TfrmAbout(QWidget* parent, const QPixmap& logo, const QString& versionText, const QString& homePage,
        const QString& contactMail);

    // A click on a link label: lblMail (tag 1) opens "mailto:" and its caption, lblHomepage its caption.
    void lblHomepageClick(QLabel* label);
};

} // namespace quorra
