// vezive-sim: a simulated line tester on a pseudo-terminal, and a writer of replay streams.

#include "device/pseudoterminal.h"
#include "ptyserver.h"
#include "sentlog.h"
#include "simoptions.h"
#include "streamfilewriter.h"
#include "writers/pcapreader.h"

#include <csignal>
#include <cstdio>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void requestStop(int)
{
    stopRequested = 1;
}

void printError(const QString& text)
{
    std::fprintf(stderr, "vezive-sim: %s\n", text.toLocal8Bit().constData());
}

// Replaces an old link at path, never anything else.
bool makeLink(const QString& path, const QString& target, QString& error)
{
    const QFileInfo existing(path);
    if (existing.isSymLink()) {
        QFile::remove(path);
    } else if (existing.exists()) {
        error = QStringLiteral("%1: exists and is not a symbolic link").arg(path);
        return false;
    }
    QFile link(target);
    if (!link.link(path)) {
        error = QStringLiteral("%1: %2").arg(path, link.errorString());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    SimOptions options;
    QString error;
    if (!options.parse(app.arguments(), error)) {
        printError(error);
        std::fputs(SimOptions::usage().toLocal8Bit().constData(), stderr);
        return 2;
    }
    if (options.version) {
        std::puts("vezive-sim " VEZIVE_VERSION);
        return 0;
    }
    if (options.help) {
        std::fputs(SimOptions::usage().toLocal8Bit().constData(), stdout);
        return 0;
    }

    PcapReader rxFile;
    PcapReader syncFile;
    for (auto [path, frames] :
         {std::pair{options.rxFramesFile, &rxFile}, std::pair{options.syncFramesFile, &syncFile}}) {
        if (!path.isEmpty() && !frames->load(path)) {
            printError(frames->error());
            return 2;
        }
    }
    const QList<QByteArray> rxFileFrames = rxFile.frames();
    const QList<QByteArray> syncFileFrames = syncFile.frames();
    const QList<QByteArray>* rxFrames = options.rxFramesFile.isEmpty() ? nullptr : &rxFileFrames;
    const QList<QByteArray>* syncFrames =
        options.syncFramesFile.isEmpty() ? nullptr : &syncFileFrames;

    SentLog log;
    if (!options.sentFile.isEmpty() && !log.open(options.sentFile)) {
        printError(log.error());
        return 1;
    }
    SentLog* sent = log.isOpen() ? &log : nullptr;

    if (!options.writeStreamFile.isEmpty()) {
        StreamFileWriter writer;
        if (!writer.write(options, rxFrames, syncFrames, sent)) {
            printError(writer.error());
            return 1;
        }
        return 0;
    }

    PseudoTerminal terminal;
    if (!terminal.open()) {
        printError(
            QStringLiteral("cannot allocate a pseudo-terminal: %1").arg(terminal.errorString()));
        return 1;
    }
    if (!terminal.makeRaw()) {
        printError(QStringLiteral("cannot set up %1: %2")
                       .arg(terminal.terminalPath(), terminal.errorString()));
        return 1;
    }
    // A closed terminal ends the simulation cleanly too, the --link removed.
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signalNumber, requestStop);

    if (!options.linkPath.isEmpty() &&
        !makeLink(options.linkPath, terminal.terminalPath(), error)) {
        printError(error);
        return 1;
    }
    std::printf("%s\n", terminal.terminalPath().toLocal8Bit().constData());
    std::fflush(stdout);

    PtyServer server(terminal, options, rxFrames, syncFrames, sent);
    const int status = server.run(stopRequested);
    if (status != 0)
        printError(server.error());
    if (!options.linkPath.isEmpty())
        QFile::remove(options.linkPath);
    return status;
}
