#include "startup.h"

#include "capture/debuglog.h"

#include <QDir>
#include <QFileInfo>
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

void loadTranslation(QTranslator& translator, const QString& programPath, const QString& localeName,
                     const QStringList& furtherDirectories)
{
    const QString name = translationName(localeName);
    // argv[0] holds no directory when the program was found through PATH.
    QStringList tried;
    for (const QString& directory :
         QStringList{programDirectory(programPath)} + furtherDirectories) {
        const QString absolute = QDir::cleanPath(QFileInfo(directory).absoluteFilePath());
        if (tried.contains(absolute))
            continue;
        tried.append(absolute);
        qCDebug(veziveLog).noquote()
            << QStringLiteral("loading translation \"%1\" from \"%2\"").arg(name, directory);
        if (translator.load(name, directory)) {
            qCDebug(veziveLog).noquote()
                << QStringLiteral("translation \"%1\"").arg(translator.filePath());
            return;
        }
    }
}

QStringList dataDirectories(const QString& programDirectory)
{
    return {programDirectory, QDir::cleanPath(programDirectory + QLatin1Char('/') +
                                              QLatin1String(VEZIVE_DATA_FROM_PROGRAM))};
}

QString helpDirectory(const QStringList& dataDirectories)
{
    for (const QString& directory : dataDirectories) {
        if (QFileInfo::exists(directory + QLatin1String("/doc/index.html")))
            return directory + QLatin1String("/doc");
    }
    return dataDirectories.value(0) + QLatin1String("/doc");
}

bool loadQtTranslation(QTranslator& translator, const QString& localeName)
{
    return translator.load(QStringLiteral("qtbase_") + localeName,
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}
