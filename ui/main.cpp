// vezive-receiver: the desktop program of the capture tool.

#include "startup.h"
#include "varodaridoro.h"

#include <QApplication>
#include <QLocale>
#include <QTranslator>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTranslator translator;
    const QString programPath = argc > 0 ? QString::fromLocal8Bit(argv[0]) : QString();
    loadTranslation(translator, programPath, QLocale::system().name());
    // Before the window exists, so that its texts are translated as it is built.
    app.installTranslator(&translator);

    auto* window = new VarodariDoro;
    window->show();
    const int result = app.exec();
    // The window writes its settings as it goes.
    delete window;
    return result;
}
