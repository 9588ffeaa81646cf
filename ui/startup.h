#ifndef STARTUP_H
#define STARTUP_H

#include <QString>

class QTranslator;

// The directory part of the program path, cut at its last '/' or '\'; a path with neither is
// taken whole.
QString programDirectory(const QString& programPath);
// "kz." and the locale name, for example kz.ru_RU.
QString translationName(const QString& localeName);
// Loads the translation for the locale from the program's directory with the translator's
// default search rules, after saying so on the debug output. A missing file leaves the texts
// in English, so the outcome is not reported.
void loadTranslation(QTranslator& translator, const QString& programPath,
                     const QString& localeName);
// Qt's own texts (file dialog, message box buttons) for the locale, from Qt's translations
// directory; false when there are none.
bool loadQtTranslation(QTranslator& translator, const QString& localeName);

#endif
