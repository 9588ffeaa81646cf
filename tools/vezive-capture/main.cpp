// vezive-capture: a capture run of the receiver without its window, for unattended and scripted
// captures. Same option checks, same messages and the same engine as the window.

#include "captureoptions.h"
#include "capturesession.h"
#include "consolereport.h"
#include "device/console.h"
#include "device/porttestthread.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTimer>

namespace {

volatile std::sig_atomic_t interruptRequested = 0;

void onInterrupt(int signalNumber)
{
    interruptRequested = 1;
    // A second signal ends the program at once.
    std::signal(signalNumber, SIG_DFL);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    // The engine's diagnostics are for developers; a user at the terminal sees the log lines.
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    const ParsedCommandLine parsed = parseCaptureCommandLine(app.arguments());
    if (parsed.options.help) {
        ConsoleReport::print(stdout, captureUsage());
        return 0;
    }
    if (parsed.options.version) {
        ConsoleReport::print(stdout, QStringLiteral("vezive-capture " VEZIVE_VERSION "\n"));
        return 0;
    }
    if (!parsed.usageError.isEmpty()) {
        ConsoleReport::print(stderr, QStringLiteral("vezive-capture: ") + parsed.usageError +
                                         QStringLiteral("\n\n") + captureUsage());
        return 2;
    }
    if (!parsed.optionError.isEmpty()) {
        ConsoleReport::print(stderr, QCoreApplication::translate("VarodariDoro", "Error") +
                                         QStringLiteral(": ") + parsed.optionError +
                                         QLatin1Char('\n'));
        return 2;
    }
    const CaptureOptions& options = parsed.options;

    // With the trace on standard output, everything meant for the user goes to standard error.
    std::FILE* reportStream = options.writesToStandardOutput() ? stderr : stdout;
    ConsoleReport report(reportStream, isTerminal(reportStream));
    report.setQuiet(options.quiet);

    if (options.portTestOnly)
        return PortTestThread::runTest(&report, options.run.portName, true) ? 0 : 1;

    ignoreBrokenPipes();
    // A closed terminal or ssh session ends a long capture as Ctrl-C does, trace complete.
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signalNumber, onInterrupt);

    CaptureSession session(options.run, &report);
    QObject::connect(&session, &CaptureSession::finished, &app, &QCoreApplication::exit);
    QTimer interruptWatch;
    QObject::connect(&interruptWatch, &QTimer::timeout, &session, [&session] {
        if (interruptRequested)
            session.stop();
    });
    interruptWatch.start(CaptureSession::MessagePollMs);
    session.start();
    return app.exec();
}
