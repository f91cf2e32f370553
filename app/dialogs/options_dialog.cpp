#include "options_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "file_dialogs.h"
#include "program_texts.h"
#include "settings.h"
#include "wrapped_captions.h"

namespace quorra {

namespace {

template <class T> T* Named(T* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QWidget* NewPage(QTabWidget* tabs, const char* name, const QString& caption)
{
    auto* page = Named(new QWidget, name);
    tabs->addTab(page, caption);
    return page;
}

// A radio button with a note in smaller text below it.
QRadioButton* AddModeButton(QVBoxLayout* layout, QWidget* parent, const char* name, const QString& caption,
    const char* noteName, const QString& note)
{
    auto* button = Named(new QRadioButton(caption, parent), name);
    auto* label = Named(new QLabel(note, parent), noteName);
    label->setWordWrap(true);
    label->setIndent(24);
    label->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(button);
    layout->addWidget(label);
    layout->addSpacing(6);
    return button;
}

// The formats in the order of the format list, the save modes in the order of their radio group.
constexpr TDefaultFormat kFormatItems[]
    = { TDefaultFormat::Any, TDefaultFormat::Text, TDefaultFormat::RichText, TDefaultFormat::Html };
constexpr TSaveMode kSaveModeItems[] = { TSaveMode::AllProperties, TSaveMode::CommonProperties };

template <class E, size_t N> int ItemOf(const E (&items)[N], E value)
{
    for (size_t i = 0; i < N; ++i)
        if (items[i] == value)
            return int(i);
    return -1;
}

} // namespace

TRadioGroup::TRadioGroup(const QString& title, QWidget* parent)
    : QGroupBox(title, parent)
    , group_(new QButtonGroup(this))
    , layout_(new QVBoxLayout(this))
{
}

QStringList TRadioGroup::Items() const
{
    QStringList items;
    for (QAbstractButton* b : group_->buttons())
        items << b->text();
    return items;
}

void TRadioGroup::SetItems(const QStringList& items)
{
    QList<QAbstractButton*> buttons = group_->buttons();
    for (int i = 0; i < items.size(); ++i) {
        if (i < buttons.size()) {
            buttons[i]->setText(items[i]);
            continue;
        }
        auto* button = new QRadioButton(items[i], this);
        group_->addButton(button, i);
        layout_->addWidget(button);
    }
    for (qsizetype i = items.size(); i < buttons.size(); ++i)
        delete buttons[i];
}

int TRadioGroup::ItemIndex() const { return group_->checkedId(); }

void TRadioGroup::SetItemIndex(int index)
{
    if (QAbstractButton* b = group_->button(index)) {
        b->setChecked(true);
        return;
    }
    if (QAbstractButton* checked = group_->checkedButton()) {
        group_->setExclusive(false);
        checked->setChecked(false);
        group_->setExclusive(true);
    }
}

TfrmOptions::TfrmOptions(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(tr("Preferences"));
    setMinimumWidth(440);
    auto* layout = new QVBoxLayout(this);
    auto* tabs = Named(new QTabWidget(this), "pcOptions");
    layout->addWidget(tabs, 1);

    // General.
    QWidget* general = NewPage(tabs, "tsGeneral", tr("General"));
    auto* g = new QVBoxLayout(general);
    cbOpenLast_ = Named(new QCheckBox(tr("Automatically open last file on starting"), general), "cbOpenLast");
    cbBeep_ = Named(new QCheckBox(tr("Beep after completed operation"), general), "cbBeep");
    cbExtAssociate_ = Named(new QCheckBox(tr("Associate with files in MS Windows"), general), "cbExtAssociate");
    cbExtAssociate_->setEnabled(false);
    // Opening the files from the file manager is View > "Register as default viewer" here: the box would do nothing.
    cbExtAssociate_->setVisible(false);
    chkSaveFormSize_ = Named(new QCheckBox(tr("Save main form size and position"), general), "chkSaveFormSize");
    chkDisableMessageDialog_ = Named(
        new QCheckBox(tr("Disable message dialog after save/export"), general), "chkDisableMessageDialog");
    for (QCheckBox* box : { cbOpenLast_, cbBeep_, cbExtAssociate_, chkSaveFormSize_, chkDisableMessageDialog_ })
        g->addWidget(box);
    g->addSpacing(8);
    auto* lblDefaultDirectory = Named(new QLabel(tr("Default directory:"), general), "lblDefaultDirectory");
    g->addWidget(lblDefaultDirectory);
    auto* dirRow = new QHBoxLayout;
    edDefaultDirectory_ = Named(new QLineEdit(general), "edDefaultDirectory");
    auto* btnDefaultDirectory = Named(new QPushButton(QStringLiteral("..."), general), "btnDefaultDirectory");
    btnDefaultDirectory->setAccessibleName(tr("Browse"));
    dirRow->addWidget(edDefaultDirectory_, 1);
    dirRow->addWidget(btnDefaultDirectory);
    g->addLayout(dirRow);
    lblDefaultDirectory->setBuddy(edDefaultDirectory_);
    auto* lblDefaultFormat = Named(new QLabel(tr("Preferred default message format:"), general), "lblDefaultFormat");
    g->addWidget(lblDefaultFormat);
    cbDefaultFormat_ = Named(new QComboBox(general), "cbDefaultFormat");
    cbDefaultFormat_->addItems({ tr("any"), tr("Text format"), tr("Richtext format"), tr("HTML format") });
    lblDefaultFormat->setBuddy(cbDefaultFormat_);
    g->addWidget(cbDefaultFormat_);
    cbAllowRemoteContent_ = Named(
        new QCheckBox(tr("Always load remote images and styles in HTML mail (senders can see that you read it)"), general),
        "cbAllowRemoteContent");
    g->addWidget(cbAllowRemoteContent_);
    g->addStretch(1);
    connect(btnDefaultDirectory, &QPushButton::clicked, this, &TfrmOptions::btnDefaultDirectoryClick);

    // Mode.
    QWidget* mode = NewPage(tabs, "tsMode", tr("Mode"));
    auto* m = new QVBoxLayout(mode);
    rbModeExtended_ = AddModeButton(m, mode, "rbModeExtended", tr("Extended"), "lblModeExtended",
        tr("full information from message displayed in dialog tabs"));
    rbModeSimple_ = AddModeButton(m, mode, "rbModeSimple", tr("Simple"), "lblModeSimple",
        tr("only basic information and transport header displayed from message file"));
    rbModeBasic_ = AddModeButton(m, mode, "rbModeBasic", tr("Basic"), "lblModeBasic",
        tr("displayed only short information about sender, recipient, body and attachments from loaded message"));
    chkHideLogo_ = Named(new QCheckBox(tr("hide graphic logo in dialog"), mode), "chkHideLogo");
    m->addWidget(chkHideLogo_);
    m->addStretch(1);

    // Attachments.
    QWidget* attachments = NewPage(tabs, "tsAttachments", tr("Attachments"));
    auto* a = new QVBoxLayout(attachments);
    a->addWidget(Named(new QLabel(tr("Default directory to save attachments"), attachments), "lblAttachDirKind"));
    rbAttachAppDir_ = Named(new QRadioButton(tr("current application directory"), attachments), "rbAttachAppDir");
    rbAttachLastUsedDir_
        = Named(new QRadioButton(tr("save the last used directory"), attachments), "rbAttachLastUsedDir");
    rbAttachMailDir_
        = Named(new QRadioButton(tr("directory where original message stored"), attachments), "rbAttachMailDir");
    rbAttachFixedDir_ = Named(new QRadioButton(tr("define custom directory"), attachments), "rbAttachFixedDir");
    auto* dirGroup = new QButtonGroup(attachments);
    for (QRadioButton* b : { rbAttachAppDir_, rbAttachLastUsedDir_, rbAttachMailDir_, rbAttachFixedDir_ }) {
        dirGroup->addButton(b);
        a->addWidget(b);
        connect(b, &QRadioButton::toggled, this, &TfrmOptions::UpdateCustomFolderState);
    }
    auto* attachRow = new QHBoxLayout;
    attachRow->setContentsMargins(24, 0, 0, 0);
    edAttachDir_ = Named(new QLineEdit(attachments), "edAttachDir");
    btnAttachDir_ = Named(new QPushButton(QStringLiteral("..."), attachments), "btnAttachDir");
    btnAttachDir_->setAccessibleName(tr("Browse"));
    attachRow->addWidget(edAttachDir_, 1);
    attachRow->addWidget(btnAttachDir_);
    a->addLayout(attachRow);
    a->addStretch(1);
    connect(btnAttachDir_, &QPushButton::clicked, this, &TfrmOptions::btnAttachDirClick);

    // Save.
    QWidget* save = NewPage(tabs, "tsSave", tr("Save"));
    auto* s = new QVBoxLayout(save);
    rgSaveMode_ = Named(new TRadioGroup(tr("Save mode"), save), "rgSaveMode");
    rgSaveMode_->SetItems({ tr("all original properties"), tr("only common used properties") });
    s->addWidget(rgSaveMode_);
    s->addStretch(1);

    auto* buttons = new QDialogButtonBox(this);
    auto* btnOK = Named(buttons->addButton(tr("&OK"), QDialogButtonBox::AcceptRole), "btnOK");
    auto* btnCancel = Named(buttons->addButton(tr("&Cancel"), QDialogButtonBox::RejectRole), "btnCancel");
    btnOK->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    (void)btnCancel;
    layout->addWidget(buttons);
    UpdateCustomFolderState();
}

void TfrmOptions::SetFromSettings(const TSettings& s)
{
    cbOpenLast_->setChecked(s.LastOpened);
    cbBeep_->setChecked(s.BeepAfter);
    chkSaveFormSize_->setChecked(s.SaveFormPosition);
    chkDisableMessageDialog_->setChecked(s.DisableDialogAfterSave);
    edDefaultDirectory_->setText(QString::fromStdString(s.DefaultDir));
    cbDefaultFormat_->setCurrentIndex(ItemOf(kFormatItems, s.DefaultFormat));
    cbAllowRemoteContent_->setChecked(s.AllowRemoteContent);
    for (const auto& [mode, button] : ModeButtons())
        button->setChecked(mode == s.AppMode);
    chkHideLogo_->setChecked(s.HideLogo);
    for (const auto& [kind, button] : DirKindButtons())
        if (kind == s.DirKind)
            button->setChecked(true);
    edAttachDir_->setText(QString::fromStdString(s.CustomDir));
    rgSaveMode_->SetItemIndex(ItemOf(kSaveModeItems, s.SaveMode));
    UpdateCustomFolderState();
}

void TfrmOptions::ReadBack(TSettings& s) const
{
    s.LastOpened = cbOpenLast_->isChecked();
    s.BeepAfter = cbBeep_->isChecked();
    s.SaveFormPosition = chkSaveFormSize_->isChecked();
    s.DisableDialogAfterSave = chkDisableMessageDialog_->isChecked();
    s.DefaultDir = edDefaultDirectory_->text().toStdString();
    if (const int format = cbDefaultFormat_->currentIndex(); format >= 0 && format < int(std::size(kFormatItems)))
        s.DefaultFormat = kFormatItems[format];
    s.AllowRemoteContent = cbAllowRemoteContent_->isChecked();
    for (const auto& [mode, button] : ModeButtons())
        if (button->isChecked())
            s.AppMode = mode;
    s.HideLogo = chkHideLogo_->isChecked();
    s.DirKind = TDirKind::ProgramFolder;
    for (const auto& [kind, button] : DirKindButtons())
        if (button->isChecked())
            s.DirKind = kind;
    s.CustomDir = edAttachDir_->text().toStdString();
    if (const int mode = rgSaveMode_->ItemIndex(); mode >= 0 && mode < int(std::size(kSaveModeItems)))
        s.SaveMode = kSaveModeItems[mode];
}

std::array<std::pair<TAppMode, QRadioButton*>, 3> TfrmOptions::ModeButtons() const
{
    return { { { TAppMode::Extended, rbModeExtended_ }, { TAppMode::Simple, rbModeSimple_ },
        { TAppMode::Basic, rbModeBasic_ } } };
}

std::array<std::pair<TDirKind, QRadioButton*>, 4> TfrmOptions::DirKindButtons() const
{
    return { { { TDirKind::ProgramFolder, rbAttachAppDir_ }, { TDirKind::LastUsed, rbAttachLastUsedDir_ },
        { TDirKind::MessageFolder, rbAttachMailDir_ }, { TDirKind::Custom, rbAttachFixedDir_ } } };
}

void TfrmOptions::UpdateCustomFolderState()
{
    const bool custom = rbAttachFixedDir_->isChecked();
    edAttachDir_->setEnabled(custom);
    btnAttachDir_->setEnabled(custom);
}

void TfrmOptions::btnDefaultDirectoryClick()
{
    QString path = edDefaultDirectory_->text();
    if (BrowseForFolder(this, strSelectDefaultDir(), path))
        edDefaultDirectory_->setText(path);
}

void TfrmOptions::btnAttachDirClick()
{
    QString path = edAttachDir_->text();
    if (BrowseForFolder(this, strSelectAttachmentDir(), path))
        edAttachDir_->setText(path);
}

void TfrmOptions::setVisible(bool visible)
{
    // Before the dialog takes its size: Qt opens a dialog at most two thirds of the screen wide, and a caption
    // wider than sixty characters would be cut off on a small screen.
    if (visible)
        WrapLongCaptions(this, fontMetrics().averageCharWidth() * 60);
    QDialog::setVisible(visible);
}

} // namespace quorra
