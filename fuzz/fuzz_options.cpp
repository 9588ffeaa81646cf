// vezive-capture's command line: the input split at NUL bytes gives the arguments after the
// program name. Whatever they are, the outcome must be one of help, a usage error, an option
// error or options the run can use; usable options must say the same when written back as a
// command line and read again.

#include "captureoptions.h"
#include "fuzzcheck.h"
#include "fuzzenvironment.h"

#include <cstddef>
#include <cstdint>

namespace {

// Every field, joined without arg(): the values are the input's and may hold "%1".
QString describe(const ParsedCommandLine& parsed)
{
    const CaptureOptions& o = parsed.options;
    const QStringList fields{QStringLiteral("usage[") + parsed.usageError + QLatin1Char(']'),
                             QStringLiteral("option[") + parsed.optionError + QLatin1Char(']'),
                             QStringLiteral("help=") + QString::number(o.help),
                             QStringLiteral("test=") + QString::number(o.portTestOnly),
                             QStringLiteral("src=") + QString::number(o.sourceType),
                             QStringLiteral("port=") + o.portName,
                             QStringLiteral("file=") + o.inputFileName,
                             QStringLiteral("rx=") + QString::number(o.rxTimeslot),
                             QStringLiteral("sync=") + QString::number(o.syncTimeslot),
                             QStringLiteral("trace=") + QString::number(o.traceType),
                             QStringLiteral("out=") + o.outputFileName,
                             QStringLiteral("sync-out=") + o.syncFileName,
                             QStringLiteral("link=") + QString::number(o.linkType),
                             QStringLiteral("min=") + o.minPacketLengthText + QLatin1Char('/') +
                                 QString::number(o.minPacketLength)};
    return fields.join(QLatin1Char(' '));
}

QString linkTypeName(unsigned short number)
{
    for (const char* name : {"ISDN", "NULL", "SS7/MTP2"}) {
        if (linkTypeNumber(QLatin1String(name)) == number)
            return QLatin1String(name);
    }
    return QString();
}

// The options as a command line, every value attached with '=' so that none can be taken for
// an option.
QStringList commandLine(const CaptureOptions& o)
{
    QStringList arguments{QStringLiteral("vezive-capture")};
    arguments << (o.sourceType == 0 ? QStringLiteral("--port=") + o.portName
                                    : QStringLiteral("--file=") + o.inputFileName)
              << QStringLiteral("--rx=%1").arg(o.rxTimeslot)
              << QStringLiteral("--sync=%1").arg(o.syncTimeslot)
              << QStringLiteral("--trace=") + traceTypeNames().value(o.traceType)
              << QStringLiteral("--out=") + o.outputFileName
              << QStringLiteral("--sync-out=") + o.syncFileName
              << QStringLiteral("--link-type=") + linkTypeName(o.linkType)
              << QStringLiteral("--min-length=") + o.minPacketLengthText;
    if (o.hasStartTime)
        arguments << QStringLiteral("--start-time=%1.%2")
                         .arg(o.startSeconds)
                         .arg(o.startMicroseconds, 6, 10, QLatin1Char('0'));
    return arguments;
}

void checkUsable(const ParsedCommandLine& parsed)
{
    const CaptureOptions& o = parsed.options;
    const QString state = describe(parsed);
    FUZZ_REQUIRE(o.sourceType == 0 || o.sourceType == 1, state);
    FUZZ_REQUIRE(!o.hasStartTime || (o.sourceType == 1 && o.startMicroseconds < 1000000), state);
    if (o.portTestOnly) {
        FUZZ_REQUIRE(o.sourceType == 0, state);
        return;
    }
    FUZZ_REQUIRE(o.traceType >= 0 && o.traceType < traceTypeNames().size(), state);
    FUZZ_REQUIRE(o.rxTimeslot <= 31 && o.syncTimeslot <= 31, state);
    FUZZ_REQUIRE(!linkTypeName(o.linkType).isEmpty(), state);
    if (!parsed.optionError.isEmpty())
        return;
    if (o.traceType == 0) {
        FUZZ_REQUIRE(!o.outputFileName.isEmpty() && !o.syncFileName.isEmpty() &&
                         !o.writesToStandardOutput() && o.syncFileName != QLatin1String("-"),
                     state);
    } else {
        bool ok = false;
        const qulonglong length = o.minPacketLengthText.toULong(&ok, 10);
        FUZZ_REQUIRE(ok && o.minPacketLength == (length & 0xFFFF), state);
    }

    const ParsedCommandLine again = parseCaptureCommandLine(commandLine(o));
    FUZZ_REQUIRE(describe(again) == state,
                 state + QStringLiteral("\n  read back as\n  ") + describe(again));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzEnvironment::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QStringList arguments{QStringLiteral("vezive-capture")};
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (!bytes.isEmpty()) {
        for (const QByteArray& argument : bytes.split('\0'))
            arguments.append(QString::fromLocal8Bit(argument));
    }
    const ParsedCommandLine parsed = parseCaptureCommandLine(arguments);
    if (parsed.options.help)
        return 0;
    if (!parsed.usageError.isEmpty()) {
        FUZZ_REQUIRE(parsed.optionError.isEmpty(), describe(parsed));
        return 0;
    }
    checkUsable(parsed);
    return 0;
}
