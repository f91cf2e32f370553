#include "pel_language.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMetaProperty>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QStringDecoder>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QTreeWidget>

#include "pelmsg.h"

namespace quorra {

namespace {

QString DecodeLanguageFile(const QByteArray& bytes)
{
    QByteArray body = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(body);
    if (!utf8.hasError())
        return text;
    // Language files written for Windows are in its Western code page.
    pelmsg::WideString wide = pelmsg::CodePageToWide(std::string_view(body.constData(), size_t(body.size())), 1252);
    return QString::fromUtf16(wide.data(), qsizetype(wide.size()));
}

// The tab page's tab widget, when the widget is a page of one.
QTabWidget* TabWidgetOfPage(QObject* object)
{
    auto* page = qobject_cast<QWidget*>(object);
    if (!page || !qobject_cast<QStackedWidget*>(page->parentWidget()))
        return nullptr;
    auto* tabs = qobject_cast<QTabWidget*>(page->parentWidget()->parentWidget());
    return tabs && tabs->indexOf(page) >= 0 ? tabs : nullptr;
}

QStringList SplitList(const QString& value, const QString& separator)
{
    QStringList items;
    if (separator.isEmpty()) {
        items << value.trimmed();
        return items;
    }
    qsizetype start = 0;
    for (;;) {
        qsizetype at = value.indexOf(separator, start);
        if (at < 0)
            break;
        items << value.mid(start, at - start).trimmed();
        start = at + separator.size();
    }
    QString rest = value.mid(start).trimmed();
    if (!rest.isEmpty())
        items << rest;
    return items;
}

QStringList HeaderLabels(QObject* c)
{
    QStringList labels;
    if (auto* tree = qobject_cast<QTreeWidget*>(c)) {
        for (int i = 0; i < tree->columnCount(); ++i)
            labels << tree->headerItem()->text(i);
    } else if (auto* table = qobject_cast<QTableWidget*>(c)) {
        for (int i = 0; i < table->columnCount(); ++i)
            labels << (table->horizontalHeaderItem(i) ? table->horizontalHeaderItem(i)->text() : QString());
    } else if (auto* view = qobject_cast<QAbstractItemView*>(c); view && view->model()) {
        for (int i = 0; i < view->model()->columnCount(); ++i)
            labels << view->model()->headerData(i, Qt::Horizontal).toString();
    }
    return labels;
}

// The Qt property whose name equals the given one without regard to case.
QMetaProperty FindMetaProperty(QObject* c, const QString& name)
{
    const QMetaObject* meta = c->metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i) {
        QMetaProperty p = meta->property(i);
        if (QString::fromLatin1(p.name()).compare(name, Qt::CaseInsensitive) == 0)
            return p;
    }
    return QMetaProperty();
}

bool Is(const QString& a, const char* b) { return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0; }

// The objects a path element can name under a form: its children at any depth, in creation order.
QObject* FindOwned(QObject* owner, const QString& name)
{
    for (QObject* child : owner->findChildren<QObject*>(QString(), Qt::FindChildrenRecursively))
        if (child->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return child;
    return nullptr;
}

// Whether the object is the part or lies under it.
bool Holds(const QObject* part, const QObject* object)
{
    for (; object; object = object->parent())
        if (object == part)
            return true;
    return false;
}

// Every form of that name: the windows first, then other widgets (a form shown inside another window). A form
// can exist more than once (a preview inside the main window and one in a window of its own); each is
// translated.
QList<QObject*> FindForms(const QString& name)
{
    QList<QObject*> forms;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName().compare(name, Qt::CaseInsensitive) == 0)
            forms << w;
    for (QWidget* w : QApplication::allWidgets())
        if (!w->isWindow() && w->objectName().compare(name, Qt::CaseInsensitive) == 0)
            forms << w;
    return forms;
}

// The properties a language file names that reach an object by its kind rather than by a Qt property of that name.
enum TTextProperty : unsigned {
    kCaption = 1,
    kHint = 2,
    kText = 4,
    kItems = 8,
    kLines = 16,
    kColumns = 32,
};

unsigned TextPropertyOf(const QString& name)
{
    static const std::pair<const char*, unsigned> kNames[] = { { "Caption", kCaption }, { "Hint", kHint },
        { "Text", kText }, { "Items", kItems }, { "Lines", kLines }, { "Columns", kColumns } };
    for (const auto& [text, property] : kNames)
        if (Is(name, text))
            return property;
    return 0;
}

// How those properties reach one kind of object: the text read (nothing when the object is not of that kind) and
// written (false when it is not). The rows are tried in order and the first that fits serves, so a row for a
// base class (QWidget) comes after those for its kinds; an object no row fits is read and written through its Qt
// property of that name.
struct TTextRoute {
    unsigned Properties;
    std::optional<QString> (*Read)(QObject* c);
    bool (*Write)(QObject* c, const QString& value, const QString& separator);
};

template <class W, auto Get> std::optional<QString> ReadAs(QObject* c)
{
    if (auto* w = qobject_cast<W*>(c))
        return (w->*Get)();
    return std::nullopt;
}

template <class W, auto Set> bool WriteAs(QObject* c, const QString& value, const QString& /*separator*/)
{
    auto* w = qobject_cast<W*>(c);
    if (w)
        (w->*Set)(value);
    return w != nullptr;
}

// A list value as one text, a line an item.
template <class W, auto Set> bool WriteLines(QObject* c, const QString& value, const QString& separator)
{
    return WriteAs<W, Set>(c, SplitList(value, separator).join(u'\n'), separator);
}

// The tab of a page: its title or its hint.
template <auto Get> std::optional<QString> ReadTab(QObject* c)
{
    if (QTabWidget* tabs = TabWidgetOfPage(c))
        return (tabs->*Get)(tabs->indexOf(static_cast<QWidget*>(c)));
    return std::nullopt;
}

template <auto Set> bool WriteTab(QObject* c, const QString& value, const QString& /*separator*/)
{
    QTabWidget* tabs = TabWidgetOfPage(c);
    if (tabs)
        (tabs->*Set)(tabs->indexOf(static_cast<QWidget*>(c)), value);
    return tabs != nullptr;
}

// The numbered parts of a W (items, columns): as many texts as both the value and the object have.
template <class W, class Count, class SetText>
bool WriteNumbered(W* w, const QStringList& texts, Count count, SetText setText)
{
    if (!w)
        return false;
    for (int i = 0; i < texts.size() && i < std::invoke(count, w); ++i)
        setText(w, i, texts[i]);
    return true;
}

bool WriteActionHint(QObject* c, const QString& value, const QString& /*separator*/)
{
    auto* a = qobject_cast<QAction*>(c);
    if (a) {
        a->setToolTip(value);
        a->setStatusTip(value);
    }
    return a != nullptr;
}

bool WriteEditText(QObject* c, const QString& value, const QString& /*separator*/)
{
    auto* cb = qobject_cast<QComboBox*>(c);
    if (!cb || !cb->isEditable())
        return false;
    cb->setEditText(value);
    return true;
}

std::optional<QString> ReadComboItems(QObject* c)
{
    auto* cb = qobject_cast<QComboBox*>(c);
    if (!cb)
        return std::nullopt;
    QStringList items;
    for (int i = 0; i < cb->count(); ++i)
        items << cb->itemText(i);
    return items.join(QStringLiteral("\r\n"));
}

bool WriteComboItems(QObject* c, const QString& value, const QString& separator)
{
    auto* cb = qobject_cast<QComboBox*>(c);
    if (!cb)
        return false;
    int current = cb->currentIndex();
    QStringList items = SplitList(value, separator);
    // Replace the texts in place, so that the items' data and the selection stay.
    for (int i = 0; i < items.size(); ++i) {
        if (i < cb->count())
            cb->setItemText(i, items[i]);
        else
            cb->addItem(items[i]);
    }
    while (cb->count() > items.size())
        cb->removeItem(cb->count() - 1);
    if (current < cb->count())
        cb->setCurrentIndex(current);
    return true;
}

const TTextRoute kTextRoutes[] = {
    { kCaption, ReadTab<&QTabWidget::tabText>, WriteTab<&QTabWidget::setTabText> },
    { kHint, ReadTab<&QTabWidget::tabToolTip>, WriteTab<&QTabWidget::setTabToolTip> },
    { kCaption | kText, ReadAs<QAction, &QAction::text>, WriteAs<QAction, &QAction::setText> },
    { kHint, ReadAs<QAction, &QAction::toolTip>, WriteActionHint },
    { kCaption, ReadAs<QMenu, &QMenu::title>, WriteAs<QMenu, &QMenu::setTitle> },
    { kCaption | kText, ReadAs<QAbstractButton, &QAbstractButton::text>,
        WriteAs<QAbstractButton, &QAbstractButton::setText> },
    { kCaption | kText, ReadAs<QLabel, &QLabel::text>, WriteAs<QLabel, &QLabel::setText> },
    { kCaption, ReadAs<QGroupBox, &QGroupBox::title>, WriteAs<QGroupBox, &QGroupBox::setTitle> },
    { kText, ReadAs<QLineEdit, &QLineEdit::text>, WriteAs<QLineEdit, &QLineEdit::setText> },
    // Any combo box reads its current text; only an editable one takes a new one.
    { kText, ReadAs<QComboBox, &QComboBox::currentText>, WriteEditText },
    { kItems | kLines | kColumns, ReadComboItems, nullptr },
    { kItems, nullptr, WriteComboItems },
    { kItems, nullptr,
        [](QObject* c, const QString& value, const QString& separator) {
            return WriteNumbered(qobject_cast<QListWidget*>(c), SplitList(value, separator), &QListWidget::count,
                [](QListWidget* list, int i, const QString& text) { list->item(i)->setText(text); });
        } },
    // A tree of fixed items (a legend): the texts of its top-level items.
    { kItems, nullptr,
        [](QObject* c, const QString& value, const QString& separator) {
            return WriteNumbered(qobject_cast<QTreeWidget*>(c), SplitList(value, separator),
                &QTreeWidget::topLevelItemCount,
                [](QTreeWidget* tree, int i, const QString& text) { tree->topLevelItem(i)->setText(0, text); });
        } },
    { kItems | kLines | kColumns, ReadAs<QPlainTextEdit, &QPlainTextEdit::toPlainText>, nullptr },
    { kItems | kLines | kColumns, ReadAs<QTextEdit, &QTextEdit::toPlainText>, nullptr },
    { kLines, nullptr, WriteLines<QPlainTextEdit, &QPlainTextEdit::setPlainText> },
    { kLines, nullptr, WriteLines<QTextEdit, &QTextEdit::setPlainText> },
    { kLines, nullptr, WriteLines<QLabel, &QLabel::setText> },
    { kColumns, [](QObject* c) -> std::optional<QString> { return HeaderLabels(c).join(QStringLiteral("\r\n")); },
        nullptr },
    { kColumns, nullptr,
        [](QObject* c, const QString& value, const QString& separator) {
            return WriteNumbered(qobject_cast<QTreeWidget*>(c), SplitList(value, separator), &QTreeWidget::columnCount,
                [](QTreeWidget* tree, int i, const QString& text) { tree->headerItem()->setText(i, text); });
        } },
    { kColumns, nullptr,
        [](QObject* c, const QString& value, const QString& separator) {
            return WriteNumbered(qobject_cast<QTableWidget*>(c), SplitList(value, separator),
                &QTableWidget::columnCount, [](QTableWidget* table, int i, const QString& text) {
                    table->setHorizontalHeaderItem(i, new QTableWidgetItem(text));
                });
        } },
    // A view of a model of its own: the model takes the column titles.
    { kColumns, nullptr,
        [](QObject* c, const QString& value, const QString& separator) {
            auto* view = qobject_cast<QAbstractItemView*>(c);
            return WriteNumbered(
                view && view->model() ? view->model() : nullptr, SplitList(value, separator),
                [](QAbstractItemModel* model) { return model->columnCount(); },
                [](QAbstractItemModel* model, int i, const QString& text) {
                    model->setHeaderData(i, Qt::Horizontal, text);
                });
        } },
    { kCaption, ReadAs<QWidget, &QWidget::windowTitle>, WriteAs<QWidget, &QWidget::setWindowTitle> },
    { kHint, ReadAs<QWidget, &QWidget::toolTip>, WriteAs<QWidget, &QWidget::setToolTip> },
};

std::vector<TProgramText*>& Registry()
{
    static std::vector<TProgramText*> registry;
    return registry;
}

} // namespace

std::vector<TLanguageLine> ReadLanguageSection(const QString& fileName, const QString& section)
{
    std::vector<TLanguageLine> lines;
    QFile file(fileName);
    if (fileName.isEmpty() || !file.open(QIODevice::ReadOnly))
        return lines;
    const QString text = DecodeLanguageFile(file.readAll());
    bool inSection = false;
    int keyListLength = 0;
    for (QStringView raw : QStringView(text).split(u'\n')) {
        QStringView line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            qsizetype close = line.indexOf(u']');
            QStringView name = close < 0 ? line.mid(1) : line.mid(1, close - 1);
            inSection = name.trimmed().compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection)
            continue;
        qsizetype eq = line.indexOf(u'=');
        QString name = (eq < 0 ? line : line.left(eq)).trimmed().toString();
        QString value = eq < 0 ? QString() : line.mid(eq + 1).trimmed().toString();
        if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
            value = value.mid(1, value.size() - 2);
        if (value.size() > kLanguageValueLimit)
            value.truncate(kLanguageValueLimit);
        bool seen = false;
        for (const TLanguageLine& l : lines)
            if (l.Name.compare(name, Qt::CaseInsensitive) == 0)
                seen = true;
        if (seen)
            continue;
        keyListLength += int(name.size()) + 1;
        if (keyListLength > kLanguageKeyListLimit)
            break;
        lines.push_back({ name, value });
    }
    return lines;
}

TPelLanguage::TPelLanguage(QObject* parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("PelLanguage"));
}

void TPelLanguage::SetResourceFile(const QString& fileName)
{
    resourceFile_ = fileName;
    if (autoTranslate_)
        Translate();
}

void TPelLanguage::SetStringsSeparator(const QString& separator)
{
    stringsSeparator_ = separator.trimmed().isEmpty() ? QStringLiteral("\r\n") : separator;
}

void TPelLanguage::Translate(const QString& fileName)
{
    emit BeforeTranslation(this);
    for (const TLanguageLine& line : ReadLanguageSection(fileName.isEmpty() ? resourceFile_ : fileName,
             QStringLiteral("Translations")))
        if (!line.Name.trimmed().isEmpty())
            TranslateEntry(line.Name, line.Value);
    emit AfterTranslation(this);
}

QString TPelLanguage::ReadCustomString(const QString& key, const QString& defaultText) const
{
    for (const TLanguageLine& line : ReadLanguageSection(resourceFile_, QStringLiteral("Custom")))
        if (line.Name.compare(key, Qt::CaseInsensitive) == 0)
            return line.Value.isEmpty() ? defaultText : line.Value;
    return defaultText;
}

void TPelLanguage::TranslateEntry(const QString& path, const QString& value)
{
    QString rest = path.trimmed();
    QString text = value;
    text.replace(u'~', u'\t');
    QStringList names;
    for (qsizetype dot = rest.indexOf(u'.'); dot >= 0; dot = rest.indexOf(u'.')) {
        names << rest.left(dot).trimmed();
        rest = rest.mid(dot + 1).trimmed();
    }
    if (names.isEmpty() || text.isEmpty())
        return;
    // A line for a component the part does not hold is passed over before the forms are searched.
    if (part_ && names.size() > 1 && part_->objectName().compare(names.back(), Qt::CaseInsensitive) != 0
        && !FindOwned(part_, names.back()))
        return;
    for (QObject* component : FindForms(names.front())) {
        for (qsizetype i = 1; component && i < names.size(); ++i)
            component = FindOwned(component, names[i]);
        if (!component || (part_ && !Holds(part_, component)))
            continue;
        QString newValue = text;
        const QString oldValue = ComponentPropertyText(component, rest);
        if (OnTranslate)
            OnTranslate(this, component, rest, oldValue, newValue);
        // A property whose text cannot be read (empty) is not put back, except a hint, which is often empty.
        const bool known = (oldValue.isEmpty() && rest.compare(QLatin1String("Hint"), Qt::CaseInsensitive) != 0)
            || std::any_of(originals_.begin(), originals_.end(),
                [&](const TOriginal& o) { return o.Component == component && o.Property == rest; });
        if (SetComponentProperty(component, rest, newValue, stringsSeparator_) && !known)
            originals_.push_back({ component, rest, oldValue });
    }
}

void TPelLanguage::TranslatePart(QObject* part)
{
    part_ = part;
    try {
        Translate();
    } catch (...) {
        part_ = nullptr;
        throw;
    }
    part_ = nullptr;
}

void TPelLanguage::RestoreOriginals()
{
    for (const TOriginal& o : originals_) {
        if (!o.Component)
            continue;
        try {
            // Lists were read joined by CR LF.
            SetComponentProperty(o.Component, o.Property, o.Text, QStringLiteral("\r\n"));
        } catch (const std::exception&) {
            // A value the property took once fits it again; nothing to report if it does not.
        }
    }
    originals_.clear();
}

QString ComponentPropertyText(QObject* c, const QString& name)
{
    const unsigned property = TextPropertyOf(name);
    for (const TTextRoute& route : kTextRoutes)
        if ((route.Properties & property) != 0 && route.Read)
            if (std::optional<QString> text = route.Read(c))
                return *text;
    QMetaProperty p = FindMetaProperty(c, name);
    if (!p.isValid())
        return QString();
    QVariant v = p.read(c);
    if (v.typeId() == QMetaType::QString)
        return v.toString();
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(QStringLiteral("\r\n"));
    return QString();
}

bool SetComponentProperty(QObject* c, const QString& name, const QString& value, const QString& separator)
{
    const unsigned property = TextPropertyOf(name);
    for (const TTextRoute& route : kTextRoutes)
        if ((route.Properties & property) != 0 && route.Write && route.Write(c, value, separator))
            return true;
    QMetaProperty p = FindMetaProperty(c, name);
    if (!p.isValid() || !p.isWritable())
        return false;
    switch (p.typeId()) {
    case QMetaType::Int: {
        bool ok = false;
        int number = value.trimmed().toInt(&ok);
        if (!ok)
            throw ETranslationError(("'" + value + "' is not a valid integer value").toStdString());
        return p.write(c, number);
    }
    case QMetaType::QString:
        return p.write(c, value);
    case QMetaType::QStringList:
        return p.write(c, SplitList(value, separator));
    default:
        return false;
    }
}

TProgramText::TProgramText(const char* key, const char* english)
    : key_(key)
    , english_(english)
    , text_(QString::fromUtf8(english))
{
    Registry().push_back(this);
}

QString TProgramText::Arg(const QString& argument) const
{
    QString out = text_;
    qsizetype at = out.indexOf(QLatin1String("%s"));
    if (at >= 0)
        out.replace(at, 2, argument);
    return out;
}

const std::vector<TProgramText*>& TProgramText::All() { return Registry(); }

void TProgramText::ReloadAll(const TPelLanguage& language)
{
    const std::vector<TLanguageLine> lines = ReadLanguageSection(language.ResourceFile(), QStringLiteral("Custom"));
    for (TProgramText* text : Registry()) {
        for (const TLanguageLine& line : lines)
            if (!line.Value.isEmpty() && line.Name.compare(QLatin1String(text->key_), Qt::CaseInsensitive) == 0)
                text->text_ = line.Value;
    }
}

void TProgramText::ResetAllToEnglish()
{
    for (TProgramText* text : Registry())
        text->text_ = text->English();
}

TProgramText* TProgramText::Find(const QString& key)
{
    for (TProgramText* text : Registry())
        if (key.compare(QLatin1String(text->key_), Qt::CaseInsensitive) == 0)
            return text;
    return nullptr;
}

} // namespace quorra
