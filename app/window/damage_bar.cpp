#include "damage_bar.h"

#include <QLabel>
#include <QPushButton>

#include "open_document.h"
#include "pelmsg.h"
#include "program_texts.h"
#include "qt_glue.h"
#include "viewer_support.h"

namespace quorra {

namespace {

// The Details box lists at most this many warnings and says how many more there are.
constexpr size_t kMaxWarningLines = 200;

} // namespace

TDamageBar::TDamageBar(QWidget* parent)
    : TNoticeBar(parent, TLook::Panel, "pnlDamage", "lblDamage", true)
{
    connect(AddButton("btnDamageDetails", tr("Details...")), &QPushButton::clicked, this,
        &TDamageBar::btnDamageDetailsClick);
}

void TDamageBar::Show(const TOpenDocument* document)
{
    document_ = document;
    const bool damaged = document && !document->Warnings().empty();
    Retranslate();
    if (damaged)
        ShowWarningSign();
    setVisible(damaged);
}

void TDamageBar::Retranslate() { Label()->setText(strDamagedFile()); }

void TDamageBar::btnDamageDetailsClick()
{
    if (!document_)
        return;
    std::vector<TWarningLine> warnings;
    for (const pelmsg::TReadWarning& w : document_->Warnings())
        warnings.push_back({ w.Offset, w.Text });
    std::vector<std::string> lines = WarningLines(warnings, S(strWarningAtByte()), kMaxWarningLines);
    QString text = strDamageListTitle.Arg(document_->Path()) + u'\n';
    for (const std::string& line : lines)
        text += u'\n' + Q(line);
    if (warnings.size() > lines.size())
        text += u'\n' + strMoreWarnings.Arg(QString::number(warnings.size() - lines.size()));
    ShowMessageBox(window(), QMessageBox::Information, text, "DamageBox");
}

} // namespace quorra
