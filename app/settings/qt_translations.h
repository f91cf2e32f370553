#pragma once

// Qt's own texts (the buttons of message boxes, the file, folder and print dialogs) in the language of the
// program's language file, from the translations Qt comes with (Debian: qt6-translations-l10n).

#include <QString>

namespace quorra {

// The language a language file is written in, as an ISO 639 code ("de"): its "Language" key in the "Custom"
// section, or else its file name read as the English name of a language ("german.lng", "Deutsch.lng" gives
// nothing). Empty when neither names a language.
QString LanguageCodeOf(const QString& languageFile);

// Loads Qt's translations for the language ("de") from `folder` (by default Qt's own translations folder) and puts
// them in place of any loaded before; an empty code, or "en", takes them away. False when the language was asked
// for but Qt has no translation of it there (the dialogs then stay in English).
bool LoadQtTranslations(const QString& code, const QString& folder = QString());

} // namespace quorra
