// The parts of the main window made after start-up, when first needed: the explorer pane, and the language they
// get then (the tab pages other than the preview make their own widgets when first shown).

#include <QAction>
#include <QComboBox>
#include <QMessageBox>
#include <QVBoxLayout>

#include "explorer_pane.h"
#include "main_window.h"
#include "pel_language.h"

namespace quorra {

TExplorerPane* TfrmMain::Explorer()
{
    if (explorer_)
        return explorer_;
    TExplorerPane::THost host;
    host.Settings = &settings_;
    host.FileNameBox = cbFileName_;
    host.FileWasLoaded = [this] { return actions_.miFileSaveAs->isEnabled(); };
    host.OpenFile = [this](const QString& path) { OpenFile(path); };
    host.RecentChanged = [this] { RefreshRecent(); };
    host.ClosePane = [this] { actions_.miViewFileTree->trigger(); };
    host.Confirm = [this](const QString& question) {
        QMessageBox box(QMessageBox::Question, windowTitle(), question, QMessageBox::Yes | QMessageBox::No, this);
        box.setObjectName(QStringLiteral("ConfirmBox"));
        box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    };
    explorer_ = new TExplorerPane(std::move(host), pnlLeft_);
    explorer_->hide();
    // Between the logo and the stretch above the home-page label.
    static_cast<QVBoxLayout*>(pnlLeft_->layout())->insertWidget(1, explorer_, 100);
    TranslatePart(explorer_);
    return explorer_;
}

void TfrmMain::TranslatePart(QWidget* part)
{
    // Only a language chosen from a file has translated the window (English from the start translates nothing).
    if (settings_.LangFile.empty() || pelLanguage_->ResourceFile().isEmpty())
        return;
    try {
        pelLanguage_->TranslatePart(part);
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
    }
}

} // namespace quorra
