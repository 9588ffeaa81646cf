#include "simoptions.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>

namespace {

bool parseCount(const QString& text, qint64 limit, qint64& value)
{
    bool ok = false;
    const qlonglong n = text.toLongLong(&ok, 10);
    if (!ok || n < 0 || n > limit || text.startsWith(QLatin1Char('+')))
        return false;
    value = n;
    return true;
}

} // namespace

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
    const qint64 maxBytes = Q_INT64_C(1) << 48;
    auto number = [maxBytes](qint64& target) {
        return Setter(
            [&target, maxBytes](const QString& v) { return parseCount(v, maxBytes, target); });
    };
    auto every = [](quint32& target) {
        return Setter([&target](const QString& v) {
            qint64 n = 0;
            if (!parseCount(v, 0xFFFFFFFFll, n))
                return false;
            target = quint32(n);
            return true;
        });
    };
    auto text = [](QString& target) {
        return Setter([&target](const QString& v) {
            target = v;
            return !v.isEmpty();
        });
    };
    const std::map<QString, Setter> withValue = {
        {"--link", text(linkPath)},
        {"--seed", every(seed)},
        {"--frames", text(rxFramesFile)},
        {"--sync-frames", text(syncFramesFile)},
        {"--count", number(this->count)},
        {"--bad-fcs", every(faults.badFcs)},
        {"--abort", every(faults.abort)},
        {"--idle-ones", every(faults.idleOnes)},
        {"--oversize", every(faults.oversize)},
        {"--extra-bits", every(faults.extraBits)},
        {"--silent-after", number(silentAfter)},
        {"--hangup-after", number(hangupAfter)},
        {"--garbage-after", number(garbageAfter)},
        {"--duration",
         [this](const QString& v) {
             bool ok = false;
             const double seconds = v.toDouble(&ok);
             if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > 1e9)
                 return false;
             durationBytes = qint64(std::llround(seconds * double(BytesPerSecond)));
             return true;
         }},
        {"--sent", text(sentFile)},
        {"--write-stream", text(writeStreamFile)},
        {"--bytes", number(streamFileBytes)},
    };
    const std::map<QString, bool*> switches = {
        {"--fast", &fast},
        {"--bad-echo", &badEcho},
        {"--at-only", &atOnly},
        {"--help", &help},
    };

    for (int i = 0; i < arguments.size(); ++i) {
        QString name = arguments[i];
        QString value;
        bool inlineValue = false;
        const int equals = name.indexOf(QLatin1Char('='));
        if (name.startsWith(QLatin1String("--")) && equals > 0) {
            value = name.mid(equals + 1);
            name = name.left(equals);
            inlineValue = true;
        }
        if (const auto s = switches.find(name); s != switches.end() && !inlineValue) {
            *s->second = true;
            continue;
        }
        const auto v = withValue.find(name);
        if (v == withValue.end()) {
            error = QStringLiteral("unknown option: %1").arg(arguments[i]);
            return false;
        }
        if (!inlineValue) {
            if (i + 1 >= arguments.size()) {
                error = QStringLiteral("%1 needs a value").arg(name);
                return false;
            }
            value = arguments[++i];
        }
        if (!v->second(value)) {
            error = QStringLiteral("bad value for %1: \"%2\"").arg(name, value);
            return false;
        }
    }
    if (streamFileBytes != Unlimited && writeStreamFile.isEmpty()) {
        error = QStringLiteral("--bytes needs --write-stream");
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
        "request: its echo, then the interleaved RX/Sync stream) until SIGINT or SIGTERM.\n"
        "\n"
        "  --link PATH           also make PATH a symbolic link to the terminal\n"
        "  --fast                stream as fast as the reader takes it (default: real time,\n"
        "                        16000 bytes per second)\n"
        "  --seed N              seed of the built-in signalling traffic (default 1)\n"
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
        "  --help                this text\n");
}
