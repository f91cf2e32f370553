// The German interface is complete: every text a form or dialog shows has its entry in german.lng (or a German
// text from the program's own texts), and Qt's own dialogs and buttons follow the language chosen.

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>
#include <map>
#include <memory>
#include <set>

#include "about_dialog.h"
#include "attachments_dialog.h"
#include "lazy_page.h"
#include "main_window.h"
#include "options_dialog.h"
#include "pel_language.h"
#include "pelmsg.h"
#include "proxy_logon.h"
#include "qt_translations.h"
#include "test_data.h"
#include "tnef_part_dialog.h"
#include "window_test_support.h"

using namespace quorra;
using namespace quorra_test;

namespace {

const QString kGerman = QStringLiteral(TESSALY_SOURCE_DIR "/resources/languages/german.lng");

// One text a widget shows: where (form, component, which text) and what.
struct TShownText {
    QString Form, Component, What, Text;
};

QString Plain(QString text)
{
    text = text.section(u'\t', 0, 0);
    text.remove(u'&');
    return text.trimmed();
}

// A text that reads the same in every language: empty, numbers and signs, the product's and the firm's names.
bool LanguageNeutral(const QString& text)
{
    static const QRegularExpression letters(QStringLiteral("[A-Za-z]{2,}"));
    static const QStringList names { "Tessaly", "Corvane", "OK", "ID:", "HTML", "RTF", "TNEF", "*.*" };
    // The title names the open message ("subject — Tessaly"): the message's words, not the program's.
    return !text.contains(letters) || names.contains(text) || text.endsWith(QStringLiteral(" \u2014 Tessaly"));
}

// Every text the widgets under `form` show, in the order the widgets were made.
std::vector<TShownText> ShownTexts(QWidget* form)
{
    std::vector<TShownText> texts;
    const QString formName = form->objectName();
    auto add = [&](QObject* o, const QString& what, const QString& text) {
        const QString plain = Plain(text);
        if (!plain.isEmpty())
            texts.push_back({ formName, o->objectName(), what, plain });
    };
    add(form, "Caption", form->windowTitle());
    QList<QObject*> objects;
    for (QWidget* w : form->findChildren<QWidget*>())
        objects << w;
    for (QAction* a : form->findChildren<QAction*>())
        objects << a;
    for (QObject* o : objects) {
        if (auto* a = qobject_cast<QAction*>(o)) {
            // Unnamed actions are lists the program fills with data: recent files, language files.
            auto* owner = qobject_cast<QWidget*>(a->parent());
            if (!a->isSeparator() && !a->objectName().isEmpty() && (!owner || owner->window() == form)) {
                add(a, "Caption", a->text());
                if (a->toolTip() != a->text().remove(u'&').section(u'\t', 0, 0))
                    add(a, "Hint", a->toolTip());
            }
            continue;
        }
        auto* w = static_cast<QWidget*>(o);
        // A dialog the form owns is a form of its own.
        if (w->window() != form)
            continue;
        // Qt's own parts of widgets (the line edit inside a combo box, scroll bars, the tab bar's arrows) have no
        // names of ours, and a tool button shows its action's texts.
        if (w->objectName().startsWith(QLatin1String("qt_")) || qobject_cast<QTabBar*>(w->parentWidget()))
            continue;
        if (auto* tool = qobject_cast<QToolButton*>(w); tool && tool->defaultAction())
            continue;
        add(w, "Hint", w->toolTip());
        add(w, "AccessibleName", w->accessibleName());
        if (auto* l = qobject_cast<QLabel*>(w); l && l->textFormat() != Qt::RichText && !l->text().startsWith(u'<'))
            add(w, "Caption", l->text());
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            add(w, "Caption", b->text());
        else if (auto* g = qobject_cast<QGroupBox*>(w))
            add(w, "Caption", g->title());
        else if (auto* t = qobject_cast<QTabWidget*>(w)) {
            for (int i = 0; i < t->count(); ++i)
                add(t->widget(i), "Caption", t->tabText(i));
        } else if (auto* c = qobject_cast<QComboBox*>(w); c && !c->isEditable()) {
            for (int i = 0; i < c->count(); ++i)
                add(w, "Items", c->itemText(i));
        } else if (auto* e = qobject_cast<QLineEdit*>(w))
            add(w, "Placeholder", e->placeholderText());
        else if (auto* v = qobject_cast<QTreeView*>(w); v && v->model() && !v->isHeaderHidden()) {
            for (int i = 0; i < v->model()->columnCount(); ++i)
                add(w, "Columns", v->model()->headerData(i, Qt::Horizontal).toString());
        }
    }
    return texts;
}

// "component.Property" of every line of the file's Translations section ("form.component.Property", or
// "form.Property" for the form's own), in lower case. A form inside the window (the message preview, frmMessage) is
// a form of its own there, so the form is left out.
std::set<QString> TranslatedProperties(const QString& file)
{
    std::set<QString> properties;
    for (const TLanguageLine& line : ReadLanguageSection(file, QStringLiteral("Translations"))) {
        const QStringList parts = line.Name.toLower().split(u'.');
        properties.insert(parts.size() == 2 ? parts.join(u'.') : parts.mid(1).join(u'.'));
    }
    return properties;
}

// A window on the sample, in German when asked, and the dialogs it opens, translated as it translates them.
struct TForms {
    explicit TForms(TIsolatedHome& home, bool german)
    {
        TfrmMain::TStartup startup;
        startup.Arguments = { TESSALY_SOURCE_DIR "/samples/winmail.dat", "/noini" };
        if (german) {
            QDir().mkpath(home.Path("program/languages"));
            QFile::remove(home.Path("program/languages/german.lng"));
            QFile::copy(kGerman, home.Path("program/languages/german.lng"));
            startup.Arguments.push_back("/LANG=german.lng");
        }
        startup.ProgramFolder = home.ProgramFolder();
        startup.CurrentFolder = home.CurrentFolder();
        window = std::make_unique<TfrmMain>(startup);
        window->Beep = [] {};
        // The pages and the explorer pane the window makes when first shown, translated as they are then.
        for (TLazyPage* page : window->findChildren<TLazyPage*>())
            page->EnsureBuilt();
        window->Explorer();
        options = std::make_unique<TfrmOptions>(window.get());
        about = std::make_unique<TfrmAbout>(window.get(), QPixmap(), QStringLiteral("v1"), QString(), QString());
        attachments = std::make_unique<TfrmAttachments>(window.get());
        logon = std::make_unique<TfrmPelILogon>(window.get());
        tnefParts = std::make_unique<TfrmTnefParts>(window.get(), std::vector<pelmsg::TMailCandidate>(2));
        for (QDialog* d : Dialogs())
            window->TranslateForm(d);
    }
    std::vector<QDialog*> Dialogs() const
    {
        return { options.get(), about.get(), attachments.get(), logon.get(), tnefParts.get() };
    }
    std::vector<QWidget*> Forms() const
    {
        std::vector<QWidget*> forms { window.get() };
        for (QDialog* d : Dialogs())
            forms.push_back(d);
        return forms;
    }
    std::unique_ptr<TfrmMain> window;
    std::unique_ptr<TfrmOptions> options;
    std::unique_ptr<TfrmAbout> about;
    std::unique_ptr<TfrmAttachments> attachments;
    std::unique_ptr<TfrmPelILogon> logon;
    std::unique_ptr<TfrmTnefParts> tnefParts;
};

} // namespace

class TTranslationsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { LoadQtTranslations(QString()); }

    // A text that is the same in German as in English must be one the translator saw: its component and property
    // have an entry in german.lng. Anything else is a text the language file does not reach.
    void everyTextHasAGermanEntry()
    {
        TIsolatedHome home;
        // A language file translates every form of its name in the program, so the English texts are read first.
        std::vector<std::vector<TShownText>> englishTexts;
        {
            TForms english(home, false);
            for (QWidget* form : english.Forms())
                englishTexts.push_back(ShownTexts(form));
        }
        TForms german(home, true);
        const std::set<QString> translated = TranslatedProperties(kGerman);
        QStringList untranslated;
        int compared = 0;
        for (size_t f = 0; f < englishTexts.size(); ++f) {
            const std::vector<TShownText> de = ShownTexts(german.Forms()[f]);
            std::multimap<QString, QString> germanTexts;
            for (const TShownText& t : de)
                germanTexts.emplace(t.Component + '.' + t.What, t.Text);
            for (const TShownText& t : englishTexts[f]) {
                if (LanguageNeutral(t.Text))
                    continue;
                ++compared;
                const auto range = germanTexts.equal_range(t.Component + '.' + t.What);
                bool same = false;
                for (auto it = range.first; it != range.second; ++it)
                    same = same || it->second == t.Text;
                if (same && !translated.count((t.Component + '.' + t.What).toLower()))
                    untranslated << QStringLiteral("%1.%2.%3=%4").arg(t.Form, t.Component, t.What, t.Text);
            }
        }
        QVERIFY2(compared > 150, qPrintable(QString::number(compared)));
        untranslated.removeDuplicates();
        QVERIFY2(untranslated.isEmpty(), qPrintable("no German for:\n" + untranslated.join(u'\n')));
    }

    void languageOfAFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("code");
        QTest::newRow("Language key") << "mine.lng" << QByteArray("[Custom]\nLanguage=fr\n") << "fr";
        QTest::newRow("key wins over name") << "german.lng" << QByteArray("[Custom]\nlanguage=nl_NL\n") << "nl";
        QTest::newRow("file name") << "German.lng" << QByteArray("[Custom]\nx=y\n") << "de";
        QTest::newRow("English") << "english.lng" << QByteArray() << "en";
        QTest::newRow("name in its own language") << "Deutsch.lng" << QByteArray() << "";
        QTest::newRow("no language") << "mine.lng" << QByteArray("[Custom]\nLanguage=\n") << "";
    }
    void languageOfAFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, code);
        QTemporaryDir dir;
        QVERIFY(quorra_test::WriteFile(dir.filePath(name), content));
        QCOMPARE(LanguageCodeOf(dir.filePath(name)), code);
    }

    void theShippedGermanFileNamesItsLanguage() { QCOMPARE(LanguageCodeOf(kGerman), QStringLiteral("de")); }

    // With German chosen, Qt's message-box buttons and dialogs speak German; back to the default, English.
    void qtDialogsFollowTheLanguage()
    {
        if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_de.qm"))
            QSKIP("Qt's translations are not installed (qt6-translations-l10n)");
        TIsolatedHome home;
        TForms german(home, true);
        QMessageBox box(QMessageBox::Question, "t", "q", QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.button(QMessageBox::Yes)->text().remove(u'&'), QStringLiteral("Ja"));
        QCOMPARE(box.button(QMessageBox::No)->text().remove(u'&'), QStringLiteral("Nein"));
        QDialogButtonBox buttons(QDialogButtonBox::Cancel);
        QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text().remove(u'&'), QStringLiteral("Abbrechen"));
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        auto* label = dialog.findChild<QLabel*>("fileNameLabel");
        QVERIFY(label);
        QVERIFY2(label->text().remove(u'&').contains("Dateiname"), qPrintable(label->text()));

        QVERIFY(LoadQtTranslations(QString()));
        QMessageBox english(QMessageBox::Question, "t", "q", QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(english.button(QMessageBox::Yes)->text().remove(u'&'), QStringLiteral("Yes"));
        // A language Qt has no translation for leaves the dialogs in English and says so.
        QVERIFY(!LoadQtTranslations(QStringLiteral("tlh")));
    }
};

QTEST_MAIN(TTranslationsTest)
#include "tst_translations.moc"
