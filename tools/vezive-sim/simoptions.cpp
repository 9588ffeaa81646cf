#include "simoptions.h"

#include "device/outputfile.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <QCommandLineParser>

qint64 SimOptions::streamLimit() const
{
    qint64 limit = Unlimited;
    for (qint64 candidate : {silentAfter, hangupAfter, durationBytes}) {
        if (candidate != Unlimited)
            limit = limit == Unlimited ? candidate : std::min(limit, candidate);
    }
    return limit;
}

bool SimOptions::hangsUpAtLimit() const
{
    return hangupAfter != Unlimited && hangupAfter == streamLimit();
}

qint64 SimOptions::streamFileLength() const
{
    if (streamFileBytes != Unlimited)
        return streamFileBytes;
    if (durationBytes != Unlimited)
        return durationBytes;
    return 10 * BytesPerSecond;
}

bool SimOptions::parse(const QStringList& arguments, QString& error)
{
    using Setter = std::function<bool(const QString&)>;
    // Plain decimal digits only: the number parser would also take a sign.
    auto number = [](auto& target, qint64 limit) {
        return Setter([&target, limit](const QString& v) {
            bool ok = false;
            const qlonglong n = v.toLongLong(&ok, 10);
            if (!ok || n < 0 || n > limit || v.startsWith(QLatin1Char('+')))
                return false;
            target = std::remove_reference_t<decltype(target)>(n);
            return true;
        });
    };
    const qint64 maxBytes = Q_INT64_C(1) << 48;
    const qint64 max32 = 0xFFFFFFFF;
    auto text = [](QString& target) {
        return Setter([&target](const QString& v) {
            target = v;
            return !v.isEmpty();
        });
    };
    const std::pair<const char*, Setter> withValue[] = {
        {"link", text(linkPath)},
        {"seed", number(seed, max32)},
        {"frames", text(rxFramesFile)},
        {"sync-frames", text(syncFramesFile)},
        {"traffic",
         [this](const QString& v) {
             if (v != QLatin1String("ss7") && v != QLatin1String("isdn"))
                 return false;
             traffic = v == QLatin1String("ss7") ? Ss7 : Isdn;
             return true;
         }},
        {"count", number(this->count, maxBytes)},
        {"bad-fcs", number(faults.badFcs, max32)},
        {"abort", number(faults.abort, max32)},
        {"idle-ones", number(faults.idleOnes, max32)},
        {"oversize", number(faults.oversize, max32)},
        {"extra-bits", number(faults.extraBits, max32)},
        {"silent-after", number(silentAfter, maxBytes)},
        {"hangup-after", number(hangupAfter, maxBytes)},
        {"garbage-after", number(garbageAfter, maxBytes)},
        {"duration",
         [this](const QString& v) {
             bool ok = false;
             const double seconds = v.toDouble(&ok);
             if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > 1e9)
                 return false;
             durationBytes = qint64(std::llround(seconds * double(BytesPerSecond)));
             return true;
         }},
        {"sent", text(sentFile)},
        {"write-stream", text(writeStreamFile)},
        {"bytes", number(streamFileBytes, maxBytes)},
    };
    const std::pair<const char*, bool*> switches[] = {{"fast", &fast},
                                                      {"bad-echo", &badEcho},
                                                      {"at-only", &atOnly},
                                                      {"help", &help},
                                                      {"version", &version}};

    QCommandLineParser parser;
    for (const auto& [name, set] : withValue)
        parser.addOption({QString::fromLatin1(name), QString(), QStringLiteral("value")});
    for (const auto& [name, flag] : switches)
        parser.addOption({QString::fromLatin1(name), QString()});
    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return false;
    }
    // Only options are taken. The parser reads a bare "--" as the end of the options, which is
    // no option either, unless it is an option's value.
    QStringList stray = parser.positionalArguments();
    qsizetype dashValues = 0;
    for (const auto& [name, set] : withValue)
        dashValues += parser.values(QString::fromLatin1(name)).count(QStringLiteral("--"));
    if (arguments.count(QStringLiteral("--")) > dashValues)
        stray.prepend(QStringLiteral("--"));
    if (!stray.isEmpty()) {
        error = QStringLiteral("unknown option: %1").arg(stray.first());
        return false;
    }
    // Every value given is checked; the last one counts.
    for (const auto& [name, set] : withValue) {
        for (const QString& value : parser.values(QString::fromLatin1(name))) {
            if (!set(value)) {
                error = QStringLiteral("bad value for --%1: \"%2\"").arg(name, value);
                return false;
            }
        }
    }
    for (const auto& [name, flag] : switches)
        *flag = parser.isSet(QString::fromLatin1(name));
    if (streamFileBytes != Unlimited && writeStreamFile.isEmpty()) {
        error = QStringLiteral("--bytes needs --write-stream");
        return false;
    }
    // The stream would be written over the log, or the log over the stream.
    if (isSameFile(writeStreamFile, sentFile)) {
        error = QStringLiteral("--write-stream and --sent name the same file: %1").arg(sentFile);
        return false;
    }
    return true;
}

QString SimOptions::usage()
{
    return QStringLiteral(
        "Usage: vezive-sim [options]\n"
        "A simulated E1 line tester on a pseudo-terminal. Prints the terminal's path as the\n"
        "first line, then answers 0x03, \"AT\", \"ATI\" and \"ATUxx yy\" (the timeslot\n"
        "request: its echo, then the interleaved RX/Sync stream) until SIGINT, SIGTERM or SIGHUP.\n"
        "\n"
        "  --link PATH           also make PATH a symbolic link to the terminal\n"
        "  --fast                stream as fast as the reader takes it (default: real time,\n"
        "                        16000 bytes per second)\n"
        "  --traffic KIND        the built-in traffic: ss7 (default; ISUP calls, RX from\n"
        "                        point code 1001 to 2002, Sync back) or isdn (Q.931 calls\n"
        "                        over LAPD; RX is the network side, Sync the user side)\n"
        "  --seed N              seed of the built-in traffic (default 1)\n"
        "  --frames FILE         RX frames from the records of a PCAP file\n"
        "  --sync-frames FILE    Sync frames from the records of a PCAP file\n"
        "  --count N             at most N frames per channel, then only flags\n"
        "Faults, each on every Nth frame of each channel (0: off):\n"
        "  --bad-fcs N           a wrong frame check sequence (\"Bad CRC\")\n"
        "  --abort N             the frame is aborted (dropped without a count)\n"
        "  --idle-ones N         a run of 40000 ones after the frame (\"Too large\")\n"
        "  --oversize N          the frame stretched past the receiver's buffer of 32768\n"
        "                        bits (\"Too large\")\n"
        "  --extra-bits N        1 to 7 zero bits before the closing flag (\"Errored length\")\n"
        "One-off faults:\n"
        "  --bad-echo            the echo begins \"ATX\" instead of \"ATU\"\n"
        "  --silent-after BYTES  send nothing after that many stream bytes, line stays open\n"
        "  --hangup-after BYTES  after that many stream bytes (once the receiver has read\n"
        "                        them), close the line and exit\n"
        "  --garbage-after BYTES after that many stream bytes, random bytes instead of the\n"
        "                        stream (from --seed); frames closed before are in --sent\n"
        "  --at-only             answer \"AT\" but not \"ATI\"\n"
        "  --duration SEC        stream SEC seconds of line time, then stay silent\n"
        "Output:\n"
        "  --sent FILE           append \"rx HEX\" / \"sync HEX\" for every frame the receiver\n"
        "                        must deliver, once the bytes that close it are written\n"
        "  --write-stream FILE   no terminal: write a replay stream file and exit\n"
        "  --bytes N             its length in stream bytes (default: --duration, else 10 s)\n"
        "  --version             the program's version\n"
        "  --help                this text\n");
}
