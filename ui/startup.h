#ifndef STARTUP_H
#define STARTUP_H

#include <QString>
#include <QStringList>

class QTranslator;

// The directory part of the program path, cut at its last '/' or '\'; a path with neither is
// taken whole.
QString programDirectory(const QString& programPath);
// "kz." and the locale name, for example kz.ru_RU.
QString translationName(const QString& localeName);
// Loads the translation for the locale from the program's directory with the translator's
// default search rules, after saying so on the debug output; failing that, from each of the
// further directories in turn. A missing file leaves the texts in English; a file found is
// named on the debug output.
void loadTranslation(QTranslator& translator, const QString& programPath, const QString& localeName,
                     const QStringList& furtherDirectories = {});
// Where the window's data (the manual's "doc", the translations) lies: beside the program in a
// build, under share/vezive-receiver once installed.
QStringList dataDirectories(const QString& programDirectory);
// The first "doc" of those directories that holds the start page, else the first one's.
QString helpDirectory(const QStringList& dataDirectories);
// Qt's own texts (file dialog, message box buttons) for the locale, from Qt's translations
// directory; false when there are none.
bool loadQtTranslation(QTranslator& translator, const QString& localeName);

#endif
