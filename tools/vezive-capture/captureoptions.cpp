#include "captureoptions.h"

#include <QCoreApplication>
#include <QMap>

namespace {

// The option checks speak as the window does, in its translation context.
QString trW(const char* text)
{
    return QCoreApplication::translate("VarodariDoro", text);
}

bool readTimeslot(const QString& text, unsigned char* timeslot)
{
    bool ok = false;
    const uint value = text.toUInt(&ok, 10);
    if (!ok || value > 31)
        return false;
    *timeslot = static_cast<unsigned char>(value);
    return true;
}

bool allDigits(const QString& text)
{
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

// SECONDS[.FRACTION]: whole seconds that fit the traces' 32-bit field, then a decimal fraction
// of one to six digits, so ".5" is half a second and ".000125" one octet of line time. Digits
// only: the number parser would also take signs and blanks.
bool readStartTime(const QString& text, quint32* seconds, quint32* microseconds)
{
    const qsizetype dot = text.indexOf(QLatin1Char('.'));
    const QString whole = dot < 0 ? text : text.left(dot);
    const QString fraction = dot < 0 ? QString() : text.mid(dot + 1);
    if (whole.isEmpty() || !allDigits(whole) || !allDigits(fraction))
        return false;
    if (dot >= 0 && (fraction.isEmpty() || fraction.size() > 6))
        return false;
    bool ok = false;
    const qulonglong value = whole.toULongLong(&ok, 10);
    if (!ok || value > 0xFFFFFFFFull)
        return false;
    *seconds = quint32(value);
    *microseconds = fraction.isEmpty() ? 0u : fraction.leftJustified(6, QLatin1Char('0')).toUInt();
    return true;
}

// Options that take a value, and the flags.
const QStringList& valueOptions()
{
    static const QStringList names{"--port",       "--file",      "--rx",       "--sync",
                                   "--trace",      "--out",       "--sync-out", "--link-type",
                                   "--min-length", "--start-time"};
    return names;
}

} // namespace

QStringList traceTypeNames()
{
    return {"raw", "pcap", "toshiba", "i4b", "i7", "loopback"};
}

int linkTypeNumber(const QString& name)
{
    static const QMap<QString, int> table{{"ISDN", 147}, {"NULL", 0}, {"SS7/MTP2", 140}};
    return table.value(name, -1);
}

QString captureUsage()
{
    return QStringLiteral(
        "Usage:\n"
        "  vezive-capture (--port DEVICE | --file STREAM) [--rx N] [--sync N]\n"
        "                 --trace raw|pcap|toshiba|i4b|i7|loopback\n"
        "                 [--out FILE|-] [--sync-out FILE]\n"
        "                 [--link-type ISDN|NULL|SS7/MTP2] [--min-length N]\n"
        "                 [--start-time SECONDS[.MICROSECONDS]]\n"
        "  vezive-capture --port DEVICE --test\n"
        "\n"
        "  --port DEVICE     serial port of the tester (its baud rate is set with stty)\n"
        "  --file STREAM     replay a saved stream instead of reading the port\n"
        "  --rx N, --sync N  the RX and Sync timeslots, 0 to 31 (default 0)\n"
        "  --trace TYPE      what to write\n"
        "  --out FILE        the trace file (raw: the RX channel file); - is standard output\n"
        "  --sync-out FILE   the Sync channel file (raw only)\n"
        "  --link-type NAME  PCAP and loopback link type (default ISDN)\n"
        "  --min-length N    shorter frames are not written (default 0)\n"
        "  --start-time T    stamp a --file replay from T (seconds since 1970, up to six\n"
        "                    decimals) instead of the clock: same stream, same trace\n"
        "  --test            only check that the tester answers on --port\n"
        "\n"
        "Ctrl-C stops a run as the Stop button does. Exit status: 0 when the run ended by\n"
        "itself or by Ctrl-C, 1 when an error ended it, 2 for a usage error.\n");
}

ParsedCommandLine parseCaptureCommandLine(const QStringList& arguments)
{
    ParsedCommandLine parsed;
    CaptureOptions& o = parsed.options;
    QMap<QString, QString> values;
    bool sawTest = false;

    for (int i = 1; i < arguments.size(); ++i) {
        QString name = arguments.at(i);
        QString value;
        bool hasInlineValue = false;
        const int equals = name.indexOf(QLatin1Char('='));
        if (name.startsWith(QLatin1String("--")) && equals > 0) {
            value = name.mid(equals + 1);
            name.truncate(equals);
            hasInlineValue = true;
        }
        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            o.help = true;
            return parsed;
        }
        if (name == QLatin1String("--test")) {
            sawTest = true;
            continue;
        }
        if (!valueOptions().contains(name)) {
            parsed.usageError = QStringLiteral("unknown option: %1").arg(arguments.at(i));
            return parsed;
        }
        if (!hasInlineValue) {
            if (i + 1 >= arguments.size()) {
                parsed.usageError = QStringLiteral("%1 needs a value").arg(name);
                return parsed;
            }
            value = arguments.at(++i);
        }
        if (values.contains(name)) {
            parsed.usageError = QStringLiteral("%1 given twice").arg(name);
            return parsed;
        }
        values.insert(name, value);
    }

    const bool hasPort = values.contains("--port");
    const bool hasFile = values.contains("--file");
    if (hasPort == hasFile) {
        parsed.usageError = QStringLiteral("give either --port or --file");
        return parsed;
    }
    o.sourceType = hasFile ? 1 : 0;
    o.portName = values.value("--port");
    o.inputFileName = values.value("--file");

    if (values.contains("--start-time")) {
        if (!hasFile) {
            parsed.usageError = QStringLiteral("--start-time is for --file replays only");
            return parsed;
        }
        if (!readStartTime(values.value("--start-time"), &o.startSeconds, &o.startMicroseconds)) {
            parsed.usageError =
                QStringLiteral("--start-time must be SECONDS[.MICROSECONDS], seconds below "
                               "4294967296, at most six decimals");
            return parsed;
        }
        o.hasStartTime = true;
    }

    if (sawTest) {
        if (!hasPort) {
            parsed.usageError = QStringLiteral("--test needs --port");
            return parsed;
        }
        o.portTestOnly = true;
        return parsed;
    }

    if (values.contains("--rx") && !readTimeslot(values.value("--rx"), &o.rxTimeslot)) {
        parsed.usageError = QStringLiteral("--rx must be a timeslot from 0 to 31");
        return parsed;
    }
    if (values.contains("--sync") && !readTimeslot(values.value("--sync"), &o.syncTimeslot)) {
        parsed.usageError = QStringLiteral("--sync must be a timeslot from 0 to 31");
        return parsed;
    }
    if (!values.contains("--trace")) {
        parsed.usageError = QStringLiteral("--trace is missing");
        return parsed;
    }
    o.traceType = int(traceTypeNames().indexOf(values.value("--trace")));
    if (o.traceType < 0) {
        parsed.usageError = QStringLiteral("unknown trace type: %1").arg(values.value("--trace"));
        return parsed;
    }
    if (values.contains("--link-type")) {
        const int number = linkTypeNumber(values.value("--link-type"));
        if (number < 0) {
            parsed.usageError =
                QStringLiteral("unknown link type: %1").arg(values.value("--link-type"));
            return parsed;
        }
        o.linkType = static_cast<unsigned short>(number);
    }
    o.outputFileName = values.value("--out");
    o.syncFileName = values.value("--sync-out");
    if (values.contains("--min-length"))
        o.minPacketLengthText = values.value("--min-length");

    // The window's checks, with its messages.
    if (o.traceType == 0) {
        if (o.outputFileName.isEmpty()) {
            parsed.optionError = trW("RX file name isn't specified");
            return parsed;
        }
        if (o.syncFileName.isEmpty()) {
            parsed.optionError = trW("Sync file name isn't specified");
            return parsed;
        }
        if (o.writesToStandardOutput() || o.syncFileName == QLatin1String("-")) {
            parsed.usageError = QStringLiteral("raw channel files cannot go to standard output");
            return parsed;
        }
    } else {
        bool ok = false;
        const qulonglong length = o.minPacketLengthText.toULong(&ok, 10);
        if (!ok) {
            parsed.optionError = trW("Wrong min. packet length");
            return parsed;
        }
        o.minPacketLength = static_cast<unsigned short>(length & 0xFFFF);
    }
    return parsed;
}
