// vezive-extcap: the Vezive-V1 as a capture interface of Wireshark. Wireshark runs it from its
// extcap folder to list the interface, its link type and options, and to capture: the same
// engine as vezive-capture, writing pcapng into Wireshark's FIFO as the frames arrive.

#include "capturesession.h"
#include "consolereport.h"
#include "device/console.h"
#include "device/serialports.h"
#include "extcapprotocol.h"

#include <csignal>
#include <cstdio>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTimer>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onStop(int)
{
    stopRequested = 1;
}

int fail(const QString& error)
{
    ConsoleReport::print(stderr, QStringLiteral("vezive-extcap: ") + error + QLatin1Char('\n'));
    return 1;
}

// Standard error is where Wireshark shows why a capture failed, and anything there reads as a
// failure: the run's log lines are kept and shown only when an error ended it.
class KeptReport : public ConsoleReport
{
public:
    static constexpr int MaxLines = 50;

    KeptReport() : ConsoleReport(nullptr, false) {}
    void logMessage(const QString& line) override
    {
        m_lines.append(line);
        if (m_lines.size() > MaxLines)
            m_lines.removeFirst();
    }
    QString text() const { return m_lines.join(QLatin1Char('\n')) + QLatin1Char('\n'); }

private:
    QStringList m_lines;
};

int capture(QCoreApplication& app, const RunSettings& settings)
{
    // Opened before the signal handlers: until Wireshark reads the FIFO there is nothing to end
    // cleanly, and a stop simply ends the program.
    PipeWatch fifo;
    QString error;
    if (!fifo.open(settings.outputFileName, &error))
        return fail(error);
    ignoreBrokenPipes();
    std::signal(SIGTERM, onStop);
    std::signal(SIGINT, onStop);

    KeptReport report;
    CaptureSession session(settings, &report);
    bool readerLeft = false;
    QObject::connect(&session, &CaptureSession::finished, &app, &QCoreApplication::exit);
    QTimer watch;
    // Wireshark ends a capture by a signal, or by closing the FIFO: either is a Stop.
    QObject::connect(&watch, &QTimer::timeout, &session, [&] {
        readerLeft = readerLeft || fifo.readerGone();
        if (stopRequested || readerLeft)
            session.stop();
    });
    watch.start(CaptureSession::MessagePollMs);
    session.start();
    const int status = app.exec();
    // A write into the closed FIFO fails before the watch notices: still Wireshark's stop.
    if (readerLeft || fifo.readerGone() || (status == 0 && stopRequested))
        return 0;
    // Otherwise the run ended by itself, which Wireshark would take for a capture that goes on.
    ConsoleReport::print(stderr, report.text());
    if (status == 0)
        return fail(settings.portName + QStringLiteral(": the tester stopped sending"));
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    const ExtcapRequest request = Extcap::parse(app.arguments());
    if (!request.error.isEmpty())
        return fail(request.error);
    switch (request.kind) {
    case ExtcapRequest::Help:
        ConsoleReport::print(stdout, Extcap::usage());
        return 0;
    case ExtcapRequest::Version:
        ConsoleReport::print(stdout, QStringLiteral("vezive-extcap " VEZIVE_VERSION "\n"));
        return 0;
    case ExtcapRequest::Interfaces:
        ConsoleReport::print(stdout, Extcap::interfaces());
        return 0;
    case ExtcapRequest::Dlts:
        ConsoleReport::print(stdout, Extcap::dlts());
        return 0;
    case ExtcapRequest::Config:
        ConsoleReport::print(stdout, Extcap::config(serialPorts()));
        return 0;
    case ExtcapRequest::Capture:
        break;
    }
    return capture(app, request.run);
}
