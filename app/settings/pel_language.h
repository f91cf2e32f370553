#pragma once

// Interface translation: language files (".lng", INI syntax) applied to the live forms by component name and
// property, and the program's own texts read by key.
//
// A language file has two sections. "Translations" holds lines "form.component.Property=value": the form is found
// by its objectName among the application's widgets, the component by its objectName anywhere under the form,
// and the property by its name (the names of the language files, "Caption", "Hint", "Text", "Items", "Lines",
// "Columns", mapped to the Qt property that shows each; any other name is looked up among the object's Qt
// properties without regard to case). "Custom" holds "key=text" lines for the texts the program builds in code
// (TProgramText below). Names are matched without regard to case; in a value "~" stands for a tab.

#include <functional>
#include <stdexcept>
#include <vector>

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

namespace quorra {

// A value that a property cannot take (an integer property given text that is not a number). It ends the
// translation pass.
class ETranslationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One "name=value" line of a section, in file order.
struct TLanguageLine {
    QString Name;
    QString Value;
};

// The longest value a line keeps (longer values are cut), and the most characters of key names a section
// lists (the names, each followed by one terminator; names past it are not read).
inline constexpr int kLanguageValueLimit = 2047;
inline constexpr int kLanguageKeyListLimit = 16383;

// The lines of one section of a language file, in file order (a name given twice keeps its first value). The
// file is UTF-8; a file that is not valid UTF-8 is read as Windows-1252. Empty when the file or the section is
// missing.
std::vector<TLanguageLine> ReadLanguageSection(const QString& fileName, const QString& section);

// The translation component. One sits on the main window as "PelLanguage".
class TPelLanguage : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool AutoTranslate READ AutoTranslate WRITE SetAutoTranslate)
    Q_PROPERTY(QString ResourceFile READ ResourceFile WRITE SetResourceFile)
    Q_PROPERTY(QString StringsSeparator READ StringsSeparator WRITE SetStringsSeparator)

public:
    // Called for each property about to be set, with the component, the property name, its current text and
    // the text about to be set (which the handler may change).
    using TLanguageEvent = std::function<void(
        TPelLanguage* sender, QObject* component, const QString& propertyName, const QString& oldValue, QString& newValue)>;

    explicit TPelLanguage(QObject* parent = nullptr);

    bool AutoTranslate() const { return autoTranslate_; }
    void SetAutoTranslate(bool value) { autoTranslate_ = value; }
    const QString& ResourceFile() const { return resourceFile_; }
    // Translates at once when AutoTranslate is set.
    void SetResourceFile(const QString& fileName);
    const QString& StringsSeparator() const { return stringsSeparator_; }
    // A value that is empty after trimming blanks stores CR LF.
    void SetStringsSeparator(const QString& separator);

    // Applies the "Translations" section of the file (ResourceFile when empty) to every form that exists now.
    // Throws ETranslationError when a value does not fit its property.
    void Translate(const QString& fileName = QString());
    // The text of the key in the "Custom" section of ResourceFile, or the default.
    QString ReadCustomString(const QString& key, const QString& defaultText) const;
    // Sets the property named by the path ("frmMain.miOpen.Caption") to the value. A path whose components are
    // not found, an unknown property or an empty value changes nothing.
    void TranslateEntry(const QString& path, const QString& value);
    // Gives every property a translation changed its original text again (the form's own, English), for the
    // components that still exist; afterwards the originals are forgotten.
    void RestoreOriginals();
    // Applies the "Translations" section of ResourceFile to the components under `part` only: a part of a form
    // made after its language was chosen (a page built when first shown) gets the texts it would have had.
    // Throws ETranslationError.
    void TranslatePart(QObject* part);

    TLanguageEvent OnTranslate;

signals:
    void BeforeTranslation(QObject* sender);
    void AfterTranslation(QObject* sender);

private:
    bool autoTranslate_ = false;
    QString resourceFile_;
    QString stringsSeparator_;
    // The text each translated property had before its first translation.
    struct TOriginal {
        QPointer<QObject> Component;
        QString Property;
        QString Text;
    };
    std::vector<TOriginal> originals_;
    QObject* part_ = nullptr; // while TranslatePart runs: components outside it are left as they are
};

// The text of a property as a language file names it; empty for properties that are not text.
QString ComponentPropertyText(QObject* component, const QString& propertyName);
// Sets a property as a language file names it; false when the component has no such property. List values
// are cut at the separator (empty separator: the whole value is one item). Throws ETranslationError.
bool SetComponentProperty(QObject* component, const QString& propertyName, const QString& value, const QString& separator);

// A text the program builds in code: a key of the "Custom" section and the built-in English text. Define each
// once at namespace scope; every defined text is reloaded when a language is chosen.
class TProgramText {
public:
    TProgramText(const char* key, const char* english);
    TProgramText(const TProgramText&) = delete;
    TProgramText& operator=(const TProgramText&) = delete;

    const char* Key() const { return key_; }
    QString English() const { return QString::fromUtf8(english_); }
    // The text in the language in use.
    const QString& Text() const { return text_; }
    QString operator()() const { return text_; }
    // The text with its "%s" replaced by the argument.
    QString Arg(const QString& argument) const;

    // Every text defined in the program, in the order of definition.
    static const std::vector<TProgramText*>& All();
    // Reads every text from the language's "Custom" section; a missing key keeps the text in use (so a partial
    // language file leaves the previous language's texts where it has none).
    static void ReloadAll(const TPelLanguage& language);
    // Every text back to its built-in English one.
    static void ResetAllToEnglish();
    // Finds a text by key (without regard to case); nullptr when there is none.
    static TProgramText* Find(const QString& key);

private:
    const char* key_;
    const char* english_;
    QString text_;
};

} // namespace quorra
