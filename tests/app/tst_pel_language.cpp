// The translation component on a small form of its own: paths, property names, values and the program texts.

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtTest>

#include "pel_language.h"

using namespace quorra;

namespace {

TProgramText strTestGreeting("strTestGreeting", "Hello");
TProgramText strTestOther("strTestOther", "Other");

// A form "frmTest" with a few kinds of components.
struct TTestForm {
    QWidget form;
    QLabel* label;
    QMenu* menu;
    QAction* action;
    QComboBox* combo;
    QTabWidget* tabs;
    QTreeWidget* list;
    QWidget* page;
    TPelLanguage* language;

    TTestForm()
    {
        form.setObjectName("frmTest");
        form.setWindowTitle("Test");
        auto* layout = new QVBoxLayout(&form);
        label = new QLabel("Caption", &form);
        label->setObjectName("lblName");
        menu = new QMenu("Switch language", &form);
        menu->setObjectName("miLanguage");
        action = new QAction("Open", &form);
        action->setObjectName("miOpen");
        combo = new QComboBox(&form);
        combo->setObjectName("cbFormat");
        combo->addItems({ "any", "text" });
        combo->setCurrentIndex(1);
        tabs = new QTabWidget(&form);
        page = new QWidget;
        page->setObjectName("tsFirst");
        tabs->addTab(page, "First");
        // A component nested deeper under the form is still found by its name.
        list = new QTreeWidget(page);
        list->setObjectName("lvList");
        list->setHeaderLabels({ "Flag", "Description" });
        layout->addWidget(label);
        layout->addWidget(combo);
        layout->addWidget(tabs);
        language = new TPelLanguage(&form);
    }
};

} // namespace

class TestPelLanguage : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;

    QString Write(const QString& name, const QByteArray& text)
    {
        QString path = dir_.path() + "/" + name;
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        f.write(text);
        return path;
    }

private slots:
    void entries_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("expected");
        QTest::newRow("menu caption") << "frmMain.miLanguage.Caption=Sprache" << "menu" << "Sprache";
        QTest::newRow("names without case") << "FRMTEST.MILANGUAGE.caption=Sprache" << "menu" << "Sprache";
        QTest::newRow("tilde is a tab") << "frmTest.miOpen.Caption=Open~Ctrl+O" << "action" << "Open\tCtrl+O";
        QTest::newRow("blanks around the path") << "  frmTest . lblName . Caption =Name" << "label" << "Name";
        QTest::newRow("empty value keeps") << "frmTest.lblName.Caption=" << "label" << "Caption";
        QTest::newRow("unknown component") << "frmTest.lblNothing.Caption=X" << "label" << "Caption";
        QTest::newRow("unknown form") << "frmNone.lblName.Caption=X" << "label" << "Caption";
        QTest::newRow("unknown property") << "frmTest.lblName.Colour=X" << "label" << "Caption";
        QTest::newRow("form caption") << "frmTest.Caption=Probe" << "form" << "Probe";
        QTest::newRow("tab caption") << "frmTest.tsFirst.Caption=Erste" << "tab" << "Erste";
        QTest::newRow("hint") << "frmTest.lblName.Hint=Tip" << "hint" << "Tip";
        QTest::newRow("qt property name") << "frmTest.lblName.toolTip=Tip2" << "hint" << "Tip2";
        QTest::newRow("items with separator") << "frmTest.cbFormat.Items=beliebig|Text" << "combo" << "beliebig,Text";
        QTest::newRow("nested component") << "frmTest.lvList.Columns=Flag|Beschreibung" << "columns" << "Flag,Beschreibung";
    }

    void entries()
    {
        QFETCH(QString, line);
        QFETCH(QString, what);
        QFETCH(QString, expected);
        TTestForm t;
        t.language->SetStringsSeparator("|");
        // frmMain is the main window's name; here the test form stands in for it.
        line.replace("frmMain.", "frmTest.");
        qsizetype eq = line.indexOf('=');
        t.language->TranslateEntry(line.left(eq), line.mid(eq + 1));
        QString actual;
        if (what == "menu")
            actual = t.menu->title();
        else if (what == "action")
            actual = t.action->text();
        else if (what == "label")
            actual = t.label->text();
        else if (what == "form")
            actual = t.form.windowTitle();
        else if (what == "tab")
            actual = t.tabs->tabText(0);
        else if (what == "hint")
            actual = t.label->toolTip();
        else if (what == "combo")
            actual = QString("%1,%2").arg(t.combo->itemText(0), t.combo->itemText(1));
        else if (what == "columns")
            actual = QString("%1,%2").arg(t.list->headerItem()->text(0), t.list->headerItem()->text(1));
        QCOMPARE(actual, expected);
        if (what == "combo")
            QCOMPARE(t.combo->currentIndex(), 1);
    }

    void separator()
    {
        TPelLanguage language;
        QCOMPARE(language.StringsSeparator(), QString());
        language.SetStringsSeparator("  ");
        QCOMPARE(language.StringsSeparator(), QString("\r\n"));
        language.SetStringsSeparator(";");
        QCOMPARE(language.StringsSeparator(), QString(";"));
        // Without a separator the whole trimmed value is one item.
        TTestForm t;
        t.language->TranslateEntry("frmTest.cbFormat.Items", "a|b");
        QCOMPARE(t.combo->count(), 1);
        QCOMPARE(t.combo->itemText(0), QString("a|b"));
        // Empty pieces before a separator count; an empty rest does not.
        t.language->SetStringsSeparator("|");
        t.language->TranslateEntry("frmTest.cbFormat.Items", " x || y |");
        QCOMPARE(t.combo->count(), 3);
        QCOMPARE(t.combo->itemText(1), QString());
        QCOMPARE(t.combo->itemText(2), QString("y"));
    }

    void integerPropertyNeedsANumber()
    {
        TTestForm t;
        t.language->TranslateEntry("frmTest.lblName.Indent", "12");
        QCOMPARE(t.label->indent(), 12);
        QVERIFY_THROWS_EXCEPTION(ETranslationError, t.language->TranslateEntry("frmTest.lblName.Indent", "wide"));
    }

    void translateFileAndEvents()
    {
        TTestForm t;
        QString file = Write("test.lng",
            "; comment\n[Other]\nfrmTest.lblName.Caption=Wrong\n[Translations]\n"
            "frmTest.lblName.Caption=Erst\n"
            " = skipped\n"
            "frmTest.lblName.Caption=Second line of the same name\n"
            "frmTest.miOpen.Caption=\xC3\x96\x66\x66nen\n"
            "[Custom]\nstrTestGreeting=Hallo\n");
        int before = 0, after = 0;
        QStringList seen;
        connect(t.language, &TPelLanguage::BeforeTranslation, [&] { ++before; });
        connect(t.language, &TPelLanguage::AfterTranslation, [&] { ++after; });
        t.language->OnTranslate = [&](TPelLanguage*, QObject* c, const QString& property, const QString& oldValue,
                                      QString& newValue) {
            seen << c->objectName() + "." + property + ":" + oldValue + ">" + newValue;
            if (c->objectName() == "miOpen")
                newValue += "!";
        };
        t.language->Translate(file);
        QCOMPARE(before, 1);
        QCOMPARE(after, 1);
        QCOMPARE(t.label->text(), QString("Erst"));
        QCOMPARE(t.action->text(), QString::fromUtf8("Öffnen!"));
        QCOMPARE(seen, QStringList({ "lblName.Caption:Caption>Erst", QString::fromUtf8("miOpen.Caption:Open>Öffnen") }));
    }

    void windowsCodePageFile()
    {
        TTestForm t;
        // Not UTF-8: read as Windows-1252.
        QString file = Write("legacy.lng", "[Translations]\nfrmTest.lblName.Caption=Gr\xF6\xDF\x65\n");
        t.language->Translate(file);
        QCOMPARE(t.label->text(), QString::fromUtf8("Größe"));
    }

    void missingFileTranslatesNothing()
    {
        TTestForm t;
        t.language->Translate(dir_.path() + "/none.lng");
        QCOMPARE(t.label->text(), QString("Caption"));
        QCOMPARE(t.language->ReadCustomString("strTestGreeting", "Hello"), QString("Hello"));
    }

    void programTexts()
    {
        TPelLanguage language;
        language.SetResourceFile(Write("texts.lng", "[Custom]\nSTRTESTGREETING=Hallo %s\n"));
        TProgramText::ReloadAll(language);
        QCOMPARE(strTestGreeting(), QString("Hallo %s"));
        QCOMPARE(strTestGreeting.Arg("Welt"), QString("Hallo Welt"));
        QCOMPARE(strTestOther(), QString("Other"));
        QCOMPARE(TProgramText::Find("strtestgreeting"), &strTestGreeting);
        // Another language without the key keeps the text in use (item 17); English comes back on request.
        language.SetResourceFile(Write("empty.lng", "[Custom]\n"));
        TProgramText::ReloadAll(language);
        QCOMPARE(strTestGreeting(), QString("Hallo %s"));
        TProgramText::ResetAllToEnglish();
        QCOMPARE(strTestGreeting(), QString("Hello"));
    }

    // Item 17: what a translation changed goes back to the form's own text on request, once per property.
    void originalsComeBack()
    {
        TTestForm t;
        t.language->Translate(Write("one.lng", "[Translations]\nfrmTest.lblName.Caption=Eins\n"));
        t.language->Translate(Write("two.lng", "[Translations]\nfrmTest.lblName.Caption=Zwei\n"));
        QCOMPARE(t.label->text(), QString("Zwei"));
        t.language->RestoreOriginals();
        QCOMPARE(t.label->text(), QString("Caption"));
    }

    // A part made after the language was chosen (a page first shown) gets the lines for what it holds, itself
    // included; the rest of the form, which the program may have changed since, is left as it is. Going back to
    // English restores the part too.
    void translatePart()
    {
        TTestForm t;
        t.language->SetStringsSeparator("|");
        t.language->SetResourceFile(Write("part.lng",
            "[Translations]\nfrmTest.lblName.Caption=Name\nfrmTest.lvList.Columns=Kennzeichen|Beschreibung\n"
            "frmTest.tsFirst.Caption=Erste\n"));
        t.label->setText("Set by the program");
        t.language->TranslatePart(t.page);
        QCOMPARE(t.label->text(), QString("Set by the program"));
        QCOMPARE(t.list->headerItem()->text(1), QString("Beschreibung"));
        QCOMPARE(t.tabs->tabText(0), QString("Erste"));
        t.language->RestoreOriginals();
        QCOMPARE(t.list->headerItem()->text(1), QString("Description"));
        QCOMPARE(t.tabs->tabText(0), QString("First"));
    }

    void autoTranslate()
    {
        TTestForm t;
        QString file = Write("auto.lng", "[Translations]\nfrmTest.lblName.Caption=Auto\n");
        t.language->SetResourceFile(file);
        QCOMPARE(t.label->text(), QString("Caption"));
        t.language->SetAutoTranslate(true);
        t.language->SetResourceFile(file);
        QCOMPARE(t.label->text(), QString("Auto"));
    }

    void limits()
    {
        QByteArray longValue(3000, 'x');
        QString file = Write("long.lng", "[Custom]\nstrLong=" + longValue + "\n");
        std::vector<TLanguageLine> lines = ReadLanguageSection(file, "Custom");
        QCOMPARE(lines.size(), size_t(1));
        QCOMPARE(lines[0].Value.size(), kLanguageValueLimit);
        // Key names beyond the section's list of names are not read.
        QByteArray many = "[Translations]\n";
        for (int i = 0; i < 2000; ++i)
            many += QByteArray("frmTest.lblName") + QByteArray::number(i) + ".Caption=x\n";
        QString big = Write("many.lng", many);
        size_t count = ReadLanguageSection(big, "Translations").size();
        QVERIFY(count > 100 && count < 2000);
    }
};

QTEST_MAIN(TestPelLanguage)
#include "tst_pel_language.moc"
