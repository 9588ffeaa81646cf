#include "captureoptions.h"

#include "acquisition/tracetypes.h"
#include "limitoptions.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace {

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

// Standard output under the names a shell user may give it; written to as it is, never reopened.
QString standardOutputAlias(const QString& name)
{
    static const QStringList aliases{QStringLiteral("/dev/stdout"), QStringLiteral("/dev/fd/1"),
                                     QStringLiteral("/proc/self/fd/1")};
    return aliases.contains(name) ? QStringLiteral("-") : name;
}

// Stream bytes per second of line time: one octet of each channel every 125 us, in two bytes.
constexpr qint64 StreamBytesPerSecond = 16000;

// The latest start that keeps every frame of the stream file within the traces' 32-bit seconds;
// 0xFFFFFFFF when the length cannot be known (a pipe).
quint32 latestStart(const QString& stream)
{
    const QFileInfo info(stream);
    if (!info.isFile())
        return 0xFFFFFFFFu;
    const qint64 seconds = info.size() / StreamBytesPerSecond + 1;
    return seconds >= 0xFFFFFFFFll ? 0 : quint32(0xFFFFFFFFll - seconds);
}

QString traceTypeList()
{
    QStringList names;
    for (const TraceType& type : traceTypes())
        names.append(QLatin1String(type.name));
    return names.join(QLatin1Char('|'));
}

// The options, their help lines and the synopsis, in one place for parsing and for --help.
struct CaptureCommandLine
{
    QCommandLineParser parser;
    const QCommandLineOption help{{"h", "help"}, "Show this help."};
    const QCommandLineOption version{"version", "Show the program's version."};
    const QCommandLineOption port{
        "port", "Serial port of the tester (its baud rate is set with stty).", "DEVICE"};
    const QCommandLineOption file{"file", "Replay a saved stream instead of reading the port.",
                                  "STREAM"};
    const QCommandLineOption rx{"rx", "The RX timeslot, 0 to 31 (default 0).", "N"};
    const QCommandLineOption sync{"sync", "The Sync timeslot, 0 to 31 (default 0).", "N"};
    const QCommandLineOption trace{"trace", "What to write: " + traceTypeList() + ".", "TYPE"};
    const QCommandLineOption out{
        "out", "The trace file (raw: the RX channel file); - is standard output.", "FILE"};
    const QCommandLineOption syncOut{"sync-out", "The Sync channel file (raw only).", "FILE"};
    const QCommandLineOption linkType{
        "link-type",
        "PCAP, pcapng and loopback link type: " + linkTypeNames().join(QLatin1Char('|')) +
            " (default " + DefaultLinkTypeName + ").",
        "NAME"};
    const QCommandLineOption minLength{"min-length", "Shorter frames are not written (default 0).",
                                       "N"};
    const QCommandLineOption startTime{
        "start-time",
        "Stamp a --file replay from T (seconds since 1970, up to six decimals) instead of the "
        "clock: same stream, same trace.",
        "T"};
    const QCommandLineOption test{"test", "Only check that the tester answers on --port."};
    const QCommandLineOption quiet{
        {"q", "quiet"},
        "No counters while the run lasts, only log lines and the totals at the end (for a "
        "service's journal)."};
    const QCommandLineOption ringBuffer{
        {"b", "ring-buffer"},
        "Numbered files as dumpcap: filesize:KB or duration:SEC begins the next, files:N keeps "
        "the newest N.",
        "KEY:VALUE"};
    const QCommandLineOption autostop{
        {"a", "autostop"},
        "Stop after duration:SEC of line time, packets:N, filesize:KB or files:N.",
        "KEY:VALUE"};

    CaptureCommandLine()
    {
        parser.setApplicationDescription(
            "\n  vezive-capture (--port DEVICE | --file STREAM) [--rx N] [--sync N]\n"
            "                 --trace " +
            traceTypeList() +
            "\n"
            "                 [--out FILE|-] [--sync-out FILE]\n"
            "                 [--link-type " +
            linkTypeNames().join(QLatin1Char('|')) +
            "] [--min-length N]\n"
            "                 [--start-time SECONDS[.MICROSECONDS]]\n"
            "                 [-b KEY:VALUE]... [-a KEY:VALUE]... [-q]\n"
            "  vezive-capture --port DEVICE --test\n"
            "\n"
            "Ctrl-C, SIGTERM and SIGHUP stop a run as the Stop button does: the trace is\n"
            "completed and the totals shown. Exit status: 0 when the run ended by itself or\n"
            "was stopped, 1 when an error ended it (a port that gave no byte at all is one),\n"
            "2 for a usage error.");
        parser.addOptions({help, version, port, file, rx, sync, trace, out, syncOut, linkType,
                           minLength, startTime, test, ringBuffer, autostop, quiet});
    }
};

} // namespace

QString captureUsage()
{
    QString text = CaptureCommandLine().parser.helpText();
    // The parser names the program by the path it was started with.
    text.replace(0, text.indexOf(QLatin1Char('\n')),
                 QStringLiteral("Usage: vezive-capture [options]"));
    return text;
}

ParsedCommandLine parseCaptureCommandLine(const QStringList& arguments)
{
    ParsedCommandLine parsed;
    CaptureOptions& o = parsed.options;
    RunSettings& run = o.run;
    CaptureCommandLine line;
    QCommandLineParser& parser = line.parser;
    const auto fail = [&parsed](const QString& error) {
        parsed.usageError = error;
        return parsed;
    };

    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(line.help)) {
        o.help = true;
        return parsed;
    }
    if (parser.isSet(line.version)) {
        o.version = true;
        return parsed;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail("unexpected argument: " + parser.positionalArguments().constFirst());
    for (const QString& name : parser.optionNames()) {
        const bool repeats =
            QStringList{"test", "b", "ring-buffer", "a", "autostop"}.contains(name);
        if (parser.optionNames().count(name) > 1 && !repeats)
            return fail("--" + name + " given twice");
    }

    const bool hasPort = parser.isSet(line.port);
    const bool hasFile = parser.isSet(line.file);
    if (hasPort == hasFile)
        return fail("give either --port or --file");
    run.sourceType = hasFile ? RunSettings::FileSource : RunSettings::PortSource;
    run.portName = parser.value(line.port);
    run.inputFileName = parser.value(line.file);

    if (parser.isSet(line.startTime)) {
        if (!hasFile)
            return fail("--start-time is for --file replays only");
        if (!readStartTime(parser.value(line.startTime), &run.startSeconds, &run.startMicroseconds))
            return fail("--start-time must be SECONDS[.MICROSECONDS], seconds below "
                        "4294967296, at most six decimals");
        // A later start would wrap the last frames' seconds round to 1970.
        const quint32 latest = latestStart(run.inputFileName);
        if (run.startSeconds > latest)
            return fail(QStringLiteral("--start-time must be from 0 to %1 for this stream: its "
                                       "frames must end before 2106-02-07, where the traces' "
                                       "seconds end")
                            .arg(latest));
        run.hasStartTime = true;
    }

    o.quiet = parser.isSet(line.quiet);
    if (parser.isSet(line.test)) {
        if (!hasPort)
            return fail("--test needs --port");
        o.portTestOnly = true;
        return parsed;
    }

    if (parser.isSet(line.rx) && !readTimeslot(parser.value(line.rx), &run.rxTimeslot))
        return fail("--rx must be a timeslot from 0 to 31");
    if (parser.isSet(line.sync) && !readTimeslot(parser.value(line.sync), &run.syncTimeslot))
        return fail("--sync must be a timeslot from 0 to 31");
    if (!parser.isSet(line.trace))
        return fail("--trace is missing");
    const TraceType* type = traceTypeNamed(parser.value(line.trace));
    if (!type)
        return fail("unknown trace type: " + parser.value(line.trace));
    run.traceType = type->index;
    // An option the trace type does not use would be ignored without a word.
    const std::pair<const QCommandLineOption&, bool> used[] = {
        {line.out, type->writesFile},
        {line.syncOut, type->writesSyncFile},
        {line.linkType, type->usesLinkType},
        {line.minLength, type->usesMinLength}};
    for (const auto& [option, applies] : used) {
        if (!applies && parser.isSet(option))
            return fail("--" + option.names().constFirst() + " does not apply to --trace " +
                        QLatin1String(type->name));
    }
    const QString linkName =
        parser.isSet(line.linkType) ? parser.value(line.linkType) : DefaultLinkTypeName;
    const int link = linkTypeNumber(linkName);
    if (link < 0)
        return fail("unknown link type: " + linkName);
    run.linkType = static_cast<unsigned short>(link);
    run.outputFileName = standardOutputAlias(parser.value(line.out));
    run.syncFileName = standardOutputAlias(parser.value(line.syncOut));
    const QString minLengthText =
        parser.isSet(line.minLength) ? parser.value(line.minLength) : QStringLiteral("0");
    bool outOfRange = false;
    if (type->usesMinLength &&
        !readMinPacketLength(minLengthText, &run.minPacketLength, &outOfRange) && outOfRange)
        return fail(
            QStringLiteral("--min-length must be a number from 0 to %1").arg(MaxMinPacketLength));
    if (type->writesSyncFile &&
        (o.writesToStandardOutput() || run.syncFileName == QLatin1String("-")))
        return fail("raw channel files cannot go to standard output");
    if (type->seeksBack && o.writesToStandardOutput())
        return fail(QStringLiteral("%1 traces cannot go to standard output: the file header is "
                                   "completed at the end")
                        .arg(QLatin1String(type->name)));

    const QStringList ring = parser.values(line.ringBuffer), stops = parser.values(line.autostop);
    if (!ring.isEmpty() || !stops.isEmpty()) {
        // Raw writes octets, not frames; loopback writes no file.
        if (!type->buildWriter || !type->writesFile)
            return fail(QStringLiteral("-b and -a do not apply to --trace %1")
                            .arg(QLatin1String(type->name)));
        if (!ring.isEmpty() && o.writesToStandardOutput())
            return fail(QStringLiteral("-b writes numbered files: not with --out -"));
        const QString error = readFileLimits(ring, stops, &run.fileLimits);
        if (!error.isEmpty())
            return fail(error);
    }

    parsed.optionError =
        optionProblem(*type, run.outputFileName, run.syncFileName, minLengthText).message;
    if (parsed.optionError.isEmpty())
        parsed.optionError = fileClash(run).message;
    return parsed;
}
