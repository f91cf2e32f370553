#pragma once

// The options dialog "Preferences": four pages of settings, read from the settings when it opens and written
// back when the user confirms.

#include <array>
#include <utility>

#include <QDialog>
#include <QGroupBox>
#include <QStringList>

#include "settings.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QVBoxLayout;

namespace quorra {


// A group of radio buttons made from a list of item texts; ItemIndex is the checked one (-1 for none).
class TRadioGroup : public QGroupBox {
    Q_OBJECT
    Q_PROPERTY(QStringList Items READ Items WRITE SetItems)
    Q_PROPERTY(int ItemIndex READ ItemIndex WRITE SetItemIndex)

public:
    explicit TRadioGroup(const QString& title, QWidget* parent = nullptr);
    QStringList Items() const;
    // Keeps the existing buttons (and the checked one), changing their texts; adds or removes buttons as needed.
    void SetItems(const QStringList& items);
    int ItemIndex() const;
    void SetItemIndex(int index);

private:
    QButtonGroup* group_;
    QVBoxLayout* layout_;
};

class TfrmOptions : public QDialog {
    Q_OBJECT

public:
    explicit TfrmOptions(QWidget* parent = nullptr);

    // Sets every control from the settings.
    void SetFromSettings(const TSettings& settings);
    // Reads every control back into the settings.
    void ReadBack(TSettings& settings) const;

protected:
    // Long captions (long translations) wrap instead of widening the dialog past the screen.
    void setVisible(bool visible) override;

private:
    void UpdateCustomFolderState();
    // The radio buttons of the view modes and of the attachment folders, with the setting each stands for.
    std::array<std::pair<TAppMode, QRadioButton*>, 3> ModeButtons() const;
    std::array<std::pair<TDirKind, QRadioButton*>, 4> DirKindButtons() const;
    void btnDefaultDirectoryClick();
    void btnAttachDirClick();

    QCheckBox* cbOpenLast_;
    QCheckBox* cbBeep_;
    QCheckBox* cbExtAssociate_;
    QCheckBox* chkSaveFormSize_;
    QCheckBox* chkDisableMessageDialog_;
    QLineEdit* edDefaultDirectory_;
    QComboBox* cbDefaultFormat_;
    QCheckBox* cbAllowRemoteContent_;
    QRadioButton* rbModeExtended_;
    QRadioButton* rbModeSimple_;
    QRadioButton* rbModeBasic_;
    QCheckBox* chkHideLogo_;
    QRadioButton* rbAttachAppDir_;
    QRadioButton* rbAttachLastUsedDir_;
    QRadioButton* rbAttachMailDir_;
    QRadioButton* rbAttachFixedDir_;
    QLineEdit* edAttachDir_;
    QPushButton* btnAttachDir_;
    TRadioGroup* rgSaveMode_;
};

} // namespace quorra
