#pragma once

// The Properties page: the property tree of the message (tvProperties, every node, with a filter box above it)
// and, beside it, the detail panel gbPropInfo of the selected property: its category, tag, size, name and type,
// and its value as text (rePropValue) and as a hex dump of the bytes the message stores (pcValue), which the user
// can copy or save as a file.

#include <cstdint>
#include <string>
#include <string_view>

#include <QModelIndex>
#include <QStringList>
#include <QWidget>

#include "lazy_page.h"
#include "property_tree_model.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QTabWidget;
class QTreeView;

namespace pelmsg {
class TPelMessage;
class TMSGProperties;
class TMSGProperty;
}

namespace quorra {

class THexDump;

// The most characters of a value the Value page shows; the hex dump and Save value take the whole value.
inline constexpr int kValueTextChars = 16384;
// The largest value the copy commands put on the clipboard.
inline constexpr size_t kMaxClipboardBytes = size_t(16) << 20;

// The items of the type list, in order, and the item a property type selects (-1 for none: any type the list
// does not hold, multi-valued ones such as 0x101E included).
QStringList PropertyTypeItems();
int PropertyTypeIndex(uint16_t type);
// The items of the category list: the identifiers of the categories in ordinal order.
QStringList PropertyCategoryItems();

// The tag as the message stores it: a value of a multi-valued TNEF property keeps the multi-value bit.
uint32_t StoredTag(const pelmsg::TMSGProperty& property);
// The name the detail panel shows: the dictionary name with its description, the name and property set of a named
// property, or a container's value text.
QString PropertyNameText(const pelmsg::TMSGProperty& property);
// The bytes the hex view shows: the stored bytes of the value (see pelmsg::StoredValueBytes), no more than the
// property's DataSize of them when it gives one.
std::string_view PropertyHexBytes(const pelmsg::TMSGProperty& property, std::string& scratch);
// Bytes as hexadecimal text, 16 to a line: "0A FF 31\n".
QString HexLines(std::string_view bytes);

// The Properties tab page "tsProperties": its widgets and handlers. The widgets are made when the page first shows
// (or an accessor needs them); the message given before that fills them then.
class TPropertiesPage : public TMessagePage {
    Q_OBJECT

public:
    explicit TPropertiesPage(QWidget* parent = nullptr)
        : TMessagePage("tsProperties", parent)
    {
    }

    // Fills tvProperties from the top-level collection (nullptr: empties it and the detail panel).
    void BuildPropertyTree(const pelmsg::TMSGProperties* root);
    // Shows the property of the node in the detail panel; an invalid index hides the panel.
    void tvPropertiesChange(const QModelIndex& current);
    // Sets the texts taken from the program texts again (after a language change).
    void Retranslate();

    // The widgets (made first when the page has not shown yet).
    TPropertyTreeModel* Model() { return Built(model_); }
    QTreeView* Tree() { return Built(tvProperties_); }
    THexDump* HexDump() { return Built(hexDump_); }
    // The caption of the detail panel's name field, in the language shown (by default "Name:").
    QString NameCaption();
    // The property the detail panel shows, or nullptr.
    const pelmsg::TMSGProperty* Current() const { return current_; }

    // The commands of the detail panel.
    void btnCopyValueClick();
    void btnCopyHexClick();
    void btnSaveValueClick();
    // Writes the bytes the hex view shows into the file (through the library's safe save). Throws on failure.
    void SaveValueToFile(const std::string& fileName) const;

protected:
    void MakeWidgets() override;
    // Fills the tree from the message; empties it (and the detail panel) without one.
    void ShowMessage(const pelmsg::TPelMessage* message) override;

private:
    void edPropFilterChange(const QString& text);
    void ClearDetails();

    TPropertyTreeModel* model_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QLineEdit* edPropFilter_ = nullptr;
    QTreeView* tvProperties_ = nullptr;
    QGroupBox* gbPropInfo_ = nullptr;
    QComboBox* cbPropCategory_ = nullptr;
    QLineEdit* edPropID_ = nullptr;
    QLineEdit* edPropSize_ = nullptr;
    QLineEdit* edPropName_ = nullptr;
    QLabel* lblPropName_ = nullptr;
    QComboBox* cbPropType_ = nullptr;
    QTabWidget* pcValue_ = nullptr;
    QPlainTextEdit* rePropValue_ = nullptr;
    THexDump* hexDump_ = nullptr;
    QLabel* lblValueLimit_ = nullptr;
    QPushButton* btnCopyValue_ = nullptr;
    QPushButton* btnCopyHex_ = nullptr;
    QPushButton* btnSaveValue_ = nullptr;
    const pelmsg::TMSGProperty* current_ = nullptr;
    std::string hexScratch_; // the encoded bytes of a fixed-size value the hex dump points into
    int groupWidth_ = 316;

protected:
    // The first showing gives the filter box its clear button: the style looks its icon up in the icon theme,
    // which a start on the Preview page need not wait for.
    void showEvent(QShowEvent* event) override;
};

} // namespace quorra
