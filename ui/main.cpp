// vezive-receiver: the desktop program of the capture tool.

#include "device/stopsignals.h"
#include "startup.h"
#include "varodaridoro.h"

#include <QApplication>
#include <QLocale>
#include <QTranslator>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTranslator translator;
    QTranslator qtTranslator;
    const QString programPath = argc > 0 ? QString::fromLocal8Bit(argv[0]) : QString();
    const QString locale = QLocale::system().name();
    loadTranslation(translator, programPath, locale);
    // Before the window exists, so that its texts are translated as it is built.
    app.installTranslator(&translator);
    if (loadQtTranslation(qtTranslator, locale))
        app.installTranslator(&qtTranslator);

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
