#include "startup.h"

#include "capture/debuglog.h"

#include <QLibraryInfo>
#include <QTranslator>

QString programDirectory(const QString& programPath)
{
    const qsizetype cut =
        qMax(programPath.lastIndexOf(QLatin1Char('/')), programPath.lastIndexOf(QLatin1Char('\\')));
    return cut < 0 ? programPath : programPath.left(cut);
}

QString translationName(const QString& localeName)
{
    return QStringLiteral("kz.") + localeName;
}

void loadTranslation(QTranslator& translator, const QString& programPath, const QString& localeName)
{
    const QString directory = programDirectory(programPath);
    const QString name = translationName(localeName);
    qCDebug(veziveLog).noquote()
        << QStringLiteral("loading translation \"%1\" from \"%2\"").arg(name, directory);
    (void)translator.load(name, directory);
}

bool loadQtTranslation(QTranslator& translator, const QString& localeName)
{
    return translator.load(QStringLiteral("qtbase_") + localeName,
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}
