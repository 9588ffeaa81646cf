// vezive-receiver: the desktop program of the capture tool.

#include "capture/debuglog.h"
#include "device/stopsignals.h"
#include "startup.h"
#include "varodaridoro.h"

#include <cstdio>
#include <cstring>
#include <QApplication>
#include <QLocale>
#include <QTranslator>

int main(int argc, char** argv)
{
    // Answered before the application object exists, which would need a display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("vezive-receiver " VEZIVE_VERSION);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::puts("Usage: vezive-receiver [Qt options]\n"
                  "The window of the Vezive-V1 E1 line tester's receiver; F1 shows its manual.\n"
                  "  --version  show the program's version\n"
                  "  --help     show this text");
        return 0;
    }
    QApplication app(argc, argv);
    QTranslator translator;
    QTranslator qtTranslator;
    const QString programPath = argc > 0 ? QString::fromLocal8Bit(argv[0]) : QString();
    const QString locale = QLocale::system().name();
    const QStringList dataDirs = dataDirectories(QCoreApplication::applicationDirPath());
    loadTranslation(translator, programPath, locale, dataDirs);
    // Before the window exists, so that its texts are translated as it is built.
    app.installTranslator(&translator);
    if (loadQtTranslation(qtTranslator, locale))
        app.installTranslator(&qtTranslator);
    qCDebug(veziveLog).noquote() << QStringLiteral("manual in \"%1\"").arg(helpDirectory(dataDirs));

    auto* window = new VarodariDoro;
    // A logout, a closed terminal or Ctrl-C ends a run as Stop does, then the program.
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::received, window, &VarodariDoro::shutDown);
    window->show();
    const int result = app.exec();
    // The window writes its settings as it goes.
    delete window;
    return result;
}
