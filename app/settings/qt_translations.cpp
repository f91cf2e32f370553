#include "qt_translations.h"

#include <memory>

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "pel_language.h"

namespace quorra {

QString LanguageCodeOf(const QString& languageFile)
{
    for (const TLanguageLine& line : ReadLanguageSection(languageFile, QStringLiteral("Custom")))
        if (line.Name.compare(QLatin1String("Language"), Qt::CaseInsensitive) == 0 && !line.Value.trimmed().isEmpty())
            return QLocale(line.Value.trimmed()).name().section(u'_', 0, 0);
    const QString base = QFileInfo(languageFile).completeBaseName();
    for (int l = QLocale::AnyLanguage + 1; l <= QLocale::LastLanguage; ++l) {
        const auto language = QLocale::Language(l);
        if (QLocale::languageToString(language).compare(base, Qt::CaseInsensitive) == 0)
            return QLocale::languageToCode(language, QLocale::ISO639Part1);
    }
    return QString();
}

bool LoadQtTranslations(const QString& code, const QString& folder)
{
    // "qt" brings Qt's base modules (qtbase, and the others installed); the web view's menus are in qtwebengine.
    static std::vector<std::unique_ptr<QTranslator>> loaded;
    for (const auto& t : loaded)
        QCoreApplication::removeTranslator(t.get());
    loaded.clear();
    if (code.isEmpty() || code == QLatin1String("en"))
        return true;
    const QString from = folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
    bool any = false;
    for (const char* catalogue : { "qt", "qtwebengine" }) {
        auto translator = std::make_unique<QTranslator>();
        if (!translator->load(QLatin1String(catalogue) + u'_' + code, from))
            continue;
        QCoreApplication::installTranslator(translator.get());
        loaded.push_back(std::move(translator));
        any = true;
    }
    return any;
}

} // namespace quorra
