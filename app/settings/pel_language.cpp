#include "pel_language.h"

#include <algorithm>

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
    for (QObject* component : FindForms(names.front())) {
        for (qsizetype i = 1; component && i < names.size(); ++i)
            component = FindOwned(component, names[i]);
        if (!component)
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
    if (Is(name, "Caption")) {
        if (QTabWidget* tabs = TabWidgetOfPage(c))
            return tabs->tabText(tabs->indexOf(static_cast<QWidget*>(c)));
        if (auto* a = qobject_cast<QAction*>(c))
            return a->text();
        if (auto* m = qobject_cast<QMenu*>(c))
            return m->title();
        if (auto* b = qobject_cast<QAbstractButton*>(c))
            return b->text();
        if (auto* l = qobject_cast<QLabel*>(c))
            return l->text();
        if (auto* g = qobject_cast<QGroupBox*>(c))
            return g->title();
        if (auto* w = qobject_cast<QWidget*>(c))
            return w->windowTitle();
    }
    if (Is(name, "Hint")) {
        if (QTabWidget* tabs = TabWidgetOfPage(c))
            return tabs->tabToolTip(tabs->indexOf(static_cast<QWidget*>(c)));
        if (auto* a = qobject_cast<QAction*>(c))
            return a->toolTip();
        if (auto* w = qobject_cast<QWidget*>(c))
            return w->toolTip();
    }
    if (Is(name, "Text")) {
        if (auto* e = qobject_cast<QLineEdit*>(c))
            return e->text();
        if (auto* cb = qobject_cast<QComboBox*>(c))
            return cb->currentText();
    }
    if (Is(name, "Items") || Is(name, "Lines") || Is(name, "Columns")) {
        if (auto* cb = qobject_cast<QComboBox*>(c)) {
            QStringList items;
            for (int i = 0; i < cb->count(); ++i)
                items << cb->itemText(i);
            return items.join(QStringLiteral("\r\n"));
        }
        if (auto* e = qobject_cast<QPlainTextEdit*>(c))
            return e->toPlainText();
        if (auto* e = qobject_cast<QTextEdit*>(c))
            return e->toPlainText();
        if (Is(name, "Columns"))
            return HeaderLabels(c).join(QStringLiteral("\r\n"));
    }
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
    if (Is(name, "Caption")) {
        if (QTabWidget* tabs = TabWidgetOfPage(c)) {
            tabs->setTabText(tabs->indexOf(static_cast<QWidget*>(c)), value);
            return true;
        }
        if (auto* a = qobject_cast<QAction*>(c)) {
            a->setText(value);
            return true;
        }
        if (auto* m = qobject_cast<QMenu*>(c)) {
            m->setTitle(value);
            return true;
        }
        if (auto* b = qobject_cast<QAbstractButton*>(c)) {
            b->setText(value);
            return true;
        }
        if (auto* l = qobject_cast<QLabel*>(c)) {
            l->setText(value);
            return true;
        }
        if (auto* g = qobject_cast<QGroupBox*>(c)) {
            g->setTitle(value);
            return true;
        }
        if (auto* w = qobject_cast<QWidget*>(c)) {
            w->setWindowTitle(value);
            return true;
        }
    }
    if (Is(name, "Hint")) {
        if (QTabWidget* tabs = TabWidgetOfPage(c)) {
            tabs->setTabToolTip(tabs->indexOf(static_cast<QWidget*>(c)), value);
            return true;
        }
        if (auto* a = qobject_cast<QAction*>(c)) {
            a->setToolTip(value);
            a->setStatusTip(value);
            return true;
        }
        if (auto* w = qobject_cast<QWidget*>(c)) {
            w->setToolTip(value);
            return true;
        }
    }
    if (Is(name, "Text")) {
        if (auto* e = qobject_cast<QLineEdit*>(c)) {
            e->setText(value);
            return true;
        }
        if (auto* cb = qobject_cast<QComboBox*>(c); cb && cb->isEditable()) {
            cb->setEditText(value);
            return true;
        }
        if (auto* a = qobject_cast<QAction*>(c)) {
            a->setText(value);
            return true;
        }
        if (auto* b = qobject_cast<QAbstractButton*>(c)) {
            b->setText(value);
            return true;
        }
        if (auto* l = qobject_cast<QLabel*>(c)) {
            l->setText(value);
            return true;
        }
    }
    if (Is(name, "Items")) {
        if (auto* cb = qobject_cast<QComboBox*>(c)) {
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
        if (auto* list = qobject_cast<QListWidget*>(c)) {
            QStringList items = SplitList(value, separator);
            for (int i = 0; i < items.size() && i < list->count(); ++i)
                list->item(i)->setText(items[i]);
            return true;
        }
        // A tree of fixed items (a legend): the texts of its top-level items.
        if (auto* tree = qobject_cast<QTreeWidget*>(c)) {
            QStringList items = SplitList(value, separator);
            for (int i = 0; i < items.size() && i < tree->topLevelItemCount(); ++i)
                tree->topLevelItem(i)->setText(0, items[i]);
            return true;
        }
    }
    if (Is(name, "Lines")) {
        QString text = SplitList(value, separator).join(u'\n');
        if (auto* e = qobject_cast<QPlainTextEdit*>(c)) {
            e->setPlainText(text);
            return true;
        }
        if (auto* e = qobject_cast<QTextEdit*>(c)) {
            e->setPlainText(text);
            return true;
        }
        if (auto* l = qobject_cast<QLabel*>(c)) {
            l->setText(text);
            return true;
        }
    }
    if (Is(name, "Columns")) {
        QStringList labels = SplitList(value, separator);
        if (auto* tree = qobject_cast<QTreeWidget*>(c)) {
            for (int i = 0; i < labels.size() && i < tree->columnCount(); ++i)
                tree->headerItem()->setText(i, labels[i]);
            return true;
        }
        if (auto* table = qobject_cast<QTableWidget*>(c)) {
            for (int i = 0; i < labels.size() && i < table->columnCount(); ++i)
                table->setHorizontalHeaderItem(i, new QTableWidgetItem(labels[i]));
            return true;
        }
        // A view of a model of its own: the model takes the column titles.
        if (auto* view = qobject_cast<QAbstractItemView*>(c); view && view->model()) {
            for (int i = 0; i < labels.size() && i < view->model()->columnCount(); ++i)
                view->model()->setHeaderData(i, Qt::Horizontal, labels[i]);
            return true;
        }
    }
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
