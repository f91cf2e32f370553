// The main window's saving commands: Save As, which writes the whole message in the format the chosen file's
// extension names, and Save attachments, which writes the attachments the user checks into one folder.

#include <optional>
#include <utility>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>

#include "attachment_export.h"
#include "attachments_dialog.h"
#include "command_line.h"
#include "document_saver.h"
#include "file_dialogs.h"
#include "main_window.h"
#include "message_preview.h"
#include "message_render.h"
#include "pelmsg.h"
#include "preview_support.h"
#include "program_texts.h"
#include "property_pages.h"
#include "qt_glue.h"
#include "render_files.h"
#include "save_formats.h"

namespace quorra {

namespace {

// The filter text of a Save As entry by its extension.
QString FilterTextOf(const std::string& extension)
{
    const std::pair<const char*, const TProgramText*> kFilters[]
        = { { ".txt", &strFilterText }, { ".htm", &strFilterHTML }, { ".xml", &strFilterXML },
              { ".eml", &strFilterEML }, { ".msg", &MsgFileExt }, { ".ics", &strFilterICalendar },
              { ".vcf", &strFilterVCard }, { ".pdf", &strFilterPDF }, { ".html", &strFilterWebPage } };
    for (const auto& [known, text] : kFilters)
        if (extension == known)
            return (*text)();
    return AllFileExt();
}

// Asks what to do with a file already in the folder.
TExistingFile AskAboutExistingFile(QWidget* owner, const std::string& path, bool& forAll)
{
    QMessageBox box(QMessageBox::Question, owner->windowTitle(),
        strFileExists.Arg(
            QString::fromStdU16String(IsolatedMessageText(QFileInfo(Q(path)).fileName().toStdU16String()))),
        QMessageBox::NoButton, owner);
    box.setObjectName(QStringLiteral("ExistingFileBox"));
    if (const std::string target = SymbolicLinkTarget(path); !target.empty())
        box.setText(box.text() + "\n\n" + strFileIsLink.Arg(Q(target)));
    QPushButton* replace = box.addButton(strReplaceFile(), QMessageBox::DestructiveRole);
    QPushButton* keep = box.addButton(strKeepBoth(), QMessageBox::AcceptRole);
    QPushButton* skip = box.addButton(strSkipFile(), QMessageBox::RejectRole);
    replace->setObjectName(QStringLiteral("btnReplace"));
    keep->setObjectName(QStringLiteral("btnKeepBoth"));
    skip->setObjectName(QStringLiteral("btnSkip"));
    box.setDefaultButton(keep);
    box.setEscapeButton(skip);
    auto* all = new QCheckBox(strForAllFiles(), &box);
    all->setObjectName(QStringLiteral("cbForAll"));
    box.setCheckBox(all);
    box.exec();
    forAll = all->isChecked();
    if (box.clickedButton() == replace)
        return TExistingFile::Replace;
    if (box.clickedButton() == keep)
        return TExistingFile::KeepBoth;
    return TExistingFile::Skip;
}

} // namespace

QString TfrmMain::FormatExtension(int filterIndex) const
{
    if (filterIndex < 1 || filterIndex > int(saveAsExtensions_.size()))
        return {};
    return Q(saveAsExtensions_[size_t(filterIndex - 1)]);
}

QString TfrmMain::SaveDialogTypeChange(int filterIndex, const QString& typedName)
{
    // The PDF entry names the file after the subject, unless the user typed a name of their own.
    if (FormatExtension(filterIndex) == QLatin1String(".pdf") && document_
        && QFileInfo(typedName).completeBaseName() == QFileInfo(LoadedFileName()).completeBaseName())
        return Q(pelmsg::SafeFileName(S(Q(Message()->Properties().Subject())), "message")) + QStringLiteral(".pdf");
    return Q(TypeChangedName(S(typedName), S(FormatExtension(filterIndex))));
}

void TfrmMain::SaveInFormat(
    const QString& fileName, const QString& extension, std::vector<std::string>* calendarWarnings)
{
    if (!document_)
        return;
    TBusyCursor wait;
    quorra::SaveInFormat(*Message(), S(fileName), S(extension), settings_.SaveMode == TSaveMode::AllProperties,
        S(LoadedFileName()), calendarWarnings);
}

void TfrmMain::miFileSaveAsClick()
{
    if (!document_)
        return;
    // The entries this message offers; the dialog starts with the one chosen last when it is among them.
    saveAsExtensions_ = SaveAsExtensions(Message()->Properties());
    // The rendered message, as PDF and as the web page, before "All files".
    saveAsExtensions_.insert(saveAsExtensions_.end() - 1, { ".pdf", ".html" });
    QStringList filters;
    int index = 1;
    for (size_t i = 0; i < saveAsExtensions_.size(); ++i) {
        filters << FilterTextOf(saveAsExtensions_[i]);
        if (saveAsExtensions_[i] == saveAsExtension_)
            index = int(i) + 1;
    }
    QString fileName = Q(ReplaceExtension(S(LoadedFileName()), S(FormatExtension(index))));
    // A PDF is named after the subject, beside the message.
    if (FormatExtension(index) == QLatin1String(".pdf"))
        fileName = QFileInfo(LoadedFileName())
                       .dir()
                       .filePath(Q(pelmsg::SafeFileName(S(Q(Message()->Properties().Subject())), "message"))
                           + QStringLiteral(".pdf"));
    TFileDialogFilter filter;
    filter.FilterIndex = index;
    filter.OnTypeChange
        = [this](int filterIndex, const QString& typed) { return SaveDialogTypeChange(filterIndex, typed); };
    if (!FileDialog(this, QStringLiteral("txt"), filters.join(u'|'), false, fileName, QString(), QString(), filter))
        return;
    saveAsExtension_ = S(FormatExtension(filter.FilterIndex));

    // The format follows the extension of the name chosen, not the filter; an HTML name with the web page's entry
    // chosen is the web page as shown.
    const QString extension = Q(UpperExtension(S(fileName)));
    const bool webPage = saveAsExtension_ == ".html" && (extension == ".HTM" || extension == ".HTML");
    const bool rendered = extension == ".PDF" || webPage;
    if (!rendered && SaveInBackground(fileName, extension))
        return;
    TSaveOutcome outcome;
    outcome.FileName = fileName;
    try {
        if (rendered) {
            TBusyCursor wait;
            const TRenderOptions options = preview_ ? preview_->PrintOptions() : TRenderOptions();
            SaveRenderedMessage(Message()->Properties(), options, S(fileName), !webPage, S(LoadedFileName()),
                DefaultPageSize(QLocale()));
        } else {
            SaveInFormat(fileName, extension, &outcome.Warnings);
        }
    } catch (const ESameFile&) {
        outcome.SameFile = true;
    } catch (const std::exception& e) {
        outcome.Error = QString::fromUtf8(e.what());
    }
    ReportSave(outcome);
}

void TfrmMain::ReportSave(const TSaveOutcome& outcome)
{
    const QString& fileName = outcome.FileName;
    if (outcome.Cancelled)
        return;
    if (outcome.SameFile) {
        ShowError(strSaveOverOpenFile.Arg(fileName));
        return;
    }
    if (!outcome.Error.isEmpty()) {
        ShowError(outcome.Error);
        return;
    }
    if (!outcome.Warnings.empty()) {
        QString text = strSavedWithWarnings.Arg(fileName) + u'\n';
        for (const std::string& w : outcome.Warnings)
            text += u'\n' + QString::fromUtf8(w);
        ShowMessageBox(this, QMessageBox::Information, text, "SavedBox");
        return;
    }
    if (settings_.DisableDialogAfterSave)
        return;
    ShowMessageBox(this, QMessageBox::Information, strSavedSuccesfully.Arg(fileName), "SavedBox");
}

void TfrmMain::miFileSaveAttachmentsClick()
{
    if (!document_)
        return;
    const pelmsg::TMSGProperties& message = Message()->Properties();
    TfrmAttachments dialog(this);
    TranslateForm(&dialog);
    // The first column is captioned as the property page's name label (by default "Name:"), in the language shown.
    dialog.SetNameCaption(tsProperties_->NameCaption());
    const int count = message.AttachmentCount();
    for (int i = 0; i < count; ++i) {
        const pelmsg::TMSGProperty* node = message.Attachments(i);
        if (!node) {
            dialog.AddItem(QStringLiteral("unknown%1").arg(i, 2, 16, QLatin1Char('0')), TAttachmentIcon::Missing,
                QString(), false);
            continue;
        }
        const TAttachmentIcon icon = AttachmentIconOf(node->AttachmentKind());
        // The name the user knows the attachment by; the file gets a safe one.
        // Its bidirectional controls visible, so that a hostile name cannot pass for another.
        dialog.AddItem(
            QString::fromStdU16String(VisibleBidiControls(Q(node->AttachmentDisplayName(i)).toStdU16String())), icon,
            Q(SafeAttachmentName(*node, i)));
    }
    if (dialog.exec() != QDialog::Accepted)
        return;

    std::optional<TAttachmentTargets> targets;
    QString chosenFolder;
    int written = 0;
    for (int i = 0; i < dialog.Count(); ++i) {
        const pelmsg::TMSGProperty* node = message.Attachments(i);
        if (!node || !dialog.IsChecked(i))
            continue;
        if (!targets) {
            // The folder is asked for once, before the first attachment is written.
            // From the file that was loaded, not from the box, whose text the user may have changed since.
            QString folder = Q(AttachmentFolder(settings_, S(LoadedFileName())));
            if (!BrowseForFolder(this, strSelectDirectory(), folder))
                return;
            // The next save starts in the folder chosen now.
            chosenFolder = folder;
            if (S(folder) != settings_.LastUsedDir) {
                settings_.LastUsedDir = S(folder);
                settings_.SettingsChanged = true;
            }
            targets.emplace(S(folder), S(LoadedFileName()),
                [this](const std::string& path, bool& forAll) { return AskAboutExistingFile(this, path, forAll); });
        }
        try {
            const std::string path = targets->PathFor(SafeAttachmentName(*node, i));
            if (path.empty())
                continue;
            TBusyCursor wait;
            SaveAttachmentAs(message, i, path);
            targets->Written(path);
            ++written;
        } catch (const std::exception& e) {
            // The attachments written so far stay.
            ShowError(QString::fromUtf8(e.what()));
            break;
        }
    }
    // What was written where, under the attachment strip, with a button that opens the folder.
    preview_->ShowSaveSummary(written, chosenFolder);
}

} // namespace quorra
