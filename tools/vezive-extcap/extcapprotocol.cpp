#include "extcapprotocol.h"

#include "acquisition/tracetypes.h"

#include <QCommandLineParser>

const char Extcap::InterfaceName[] = "vezive-v1";
const char Extcap::DefaultLinkType[] = "SS7/MTP2";

namespace {

enum ArgNumber
{
    PortArg,
    RxArg,
    SyncArg,
    LinkTypeArg,
    MinLengthArg
};

// The options as Wireshark calls them; the extcap-* ones are Wireshark's own.
struct ExtcapCommandLine
{
    QCommandLineParser parser;
    const QCommandLineOption help{{"h", "help"}, "Show this help."};
    const QCommandLineOption programVersion{"version", "Show the program's version."};
    const QCommandLineOption interfaces{"extcap-interfaces", "List the interface."};
    const QCommandLineOption version{"extcap-version", "Wireshark's version (ignored).", "V"};
    const QCommandLineOption interface {
        "extcap-interface", "The interface: vezive-v1.", "NAME"
    };
    const QCommandLineOption dlts{"extcap-dlts", "Give the interface's link type."};
    const QCommandLineOption config{"extcap-config", "List the capture options."};
    const QCommandLineOption capture{"capture", "Capture into --fifo."};
    const QCommandLineOption fifo{"fifo", "Where the pcapng stream goes.", "PATH"};
    const QCommandLineOption filter{"extcap-capture-filter", "Not supported; must be empty.",
                                    "FILTER"};
    const QCommandLineOption debug{"debug", "Ignored."};
    const QCommandLineOption debugFile{"debug-file", "Ignored.", "PATH"};
    const QCommandLineOption port{"port", "Serial port of the tester.", "DEVICE"};
    const QCommandLineOption rx{"rx", "The RX timeslot, 0 to 31 (default 1).", "N"};
    const QCommandLineOption sync{"sync", "The Sync timeslot, 0 to 31 (default 16).", "N"};
    const QCommandLineOption linkType{"link-type",
                                      "Link type: " + linkTypeNames().join(QLatin1Char('|')) +
                                          " (default " + Extcap::DefaultLinkType + ").",
                                      "NAME"};
    const QCommandLineOption minLength{"min-length", "Shorter frames are not written (default 0).",
                                       "N"};

    ExtcapCommandLine()
    {
        parser.setApplicationDescription(
            "Wireshark's capture interface to the Vezive-V1: Wireshark runs it from its extcap "
            "folder.");
        parser.addOptions({help, programVersion, interfaces, version, interface, dlts, config,
                           capture, fifo, filter, debug, debugFile, port, rx, sync, linkType,
                           minLength});
    }
};

#ifdef VEZIVE_EXTCAP_EDITSELECTOR
const char PortType[] = "editselector";
#else
const char PortType[] = "selector";
#endif

QString linkTypeDisplay(const QString& name)
{
    return name + QStringLiteral(" (%1)").arg(linkTypeNumber(name));
}

} // namespace

ExtcapRequest Extcap::parse(const QStringList& arguments)
{
    ExtcapRequest request;
    ExtcapCommandLine line;
    QCommandLineParser& parser = line.parser;
    const auto fail = [&request](const QString& error) {
        request.error = error;
        return request;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(line.help))
        return request;
    if (parser.isSet(line.programVersion)) {
        request.kind = ExtcapRequest::Version;
        return request;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail("unexpected argument: " + parser.positionalArguments().constFirst());
    if (parser.isSet(line.interfaces)) {
        request.kind = ExtcapRequest::Interfaces;
        return request;
    }
    if (!parser.isSet(line.interface))
        return fail(QStringLiteral("--extcap-interface is missing"));
    if (parser.value(line.interface) != QLatin1String(InterfaceName))
        return fail("unknown interface: " + parser.value(line.interface));
    if (parser.isSet(line.dlts)) {
        request.kind = ExtcapRequest::Dlts;
        return request;
    }
    if (parser.isSet(line.config)) {
        request.kind = ExtcapRequest::Config;
        return request;
    }
    if (!parser.isSet(line.capture))
        return fail(
            QStringLiteral("nothing to do: no --capture, --extcap-dlts or --extcap-config"));
    if (!parser.value(line.filter).isEmpty())
        return fail(QStringLiteral("capture filters are not supported"));

    RunSettings& run = request.run;
    run.sourceType = RunSettings::PortSource;
    run.traceType = TraceTypes::Pcapng;
    run.portName = parser.value(line.port);
    run.outputFileName = parser.value(line.fifo);
    run.rxTimeslot = DefaultRxTimeslot;
    run.syncTimeslot = DefaultSyncTimeslot;
    if (run.outputFileName.isEmpty())
        return fail(QStringLiteral("--fifo is missing"));
    if (run.portName.isEmpty())
        return fail(QStringLiteral("no serial port chosen"));
    if (parser.isSet(line.rx) && !readTimeslot(parser.value(line.rx), &run.rxTimeslot))
        return fail(QStringLiteral("--rx must be a timeslot from 0 to 31"));
    if (parser.isSet(line.sync) && !readTimeslot(parser.value(line.sync), &run.syncTimeslot))
        return fail(QStringLiteral("--sync must be a timeslot from 0 to 31"));
    const QString linkName =
        parser.isSet(line.linkType) ? parser.value(line.linkType) : QString(DefaultLinkType);
    const int link = linkTypeNumber(linkName);
    if (link < 0)
        return fail("unknown link type: " + linkName);
    run.linkType = static_cast<unsigned short>(link);
    if (parser.isSet(line.minLength) &&
        !readMinPacketLength(parser.value(line.minLength), &run.minPacketLength))
        return fail(QStringLiteral("--min-length must be a number"));
    request.kind = ExtcapRequest::Capture;
    return request;
}

QString Extcap::interfaces()
{
    return QStringLiteral("extcap {version=%1}{help=%2}\n"
                          "interface {value=%3}{display=Vezive-V1 E1 line tester}\n")
        .arg(QLatin1String(VEZIVE_VERSION),
             QLatin1String("https://www.wireshark.org/docs/man-pages/extcap.html"),
             QLatin1String(InterfaceName));
}

QString Extcap::dlts()
{
    return QStringLiteral("dlt {number=%1}{name=%2}{display=%3}\n")
        .arg(linkTypeNumber(QLatin1String(DefaultLinkType)))
        .arg(QLatin1String(DefaultLinkType), linkTypeDisplay(QLatin1String(DefaultLinkType)));
}

QString Extcap::config(const QStringList& ports)
{
    QString text =
        QStringLiteral("arg {number=%1}{call=--port}{display=Serial port}{type=%2}"
                       "{required=true}{tooltip=The tester's port; set its baud rate with stty}\n")
            .arg(PortArg)
            .arg(QLatin1String(PortType));
    for (const QString& port : ports)
        text += QStringLiteral("value {arg=%1}{value=%2}{display=%2}\n").arg(PortArg).arg(port);
    text += QStringLiteral("arg {number=%1}{call=--rx}{display=RX timeslot}{type=unsigned}"
                           "{range=0,31}{default=%2}\n")
                .arg(RxArg)
                .arg(DefaultRxTimeslot);
    text += QStringLiteral("arg {number=%1}{call=--sync}{display=Sync timeslot}{type=unsigned}"
                           "{range=0,31}{default=%2}\n")
                .arg(SyncArg)
                .arg(DefaultSyncTimeslot);
    text += QStringLiteral("arg {number=%1}{call=--link-type}{display=Link type}{type=selector}\n")
                .arg(LinkTypeArg);
    for (const QString& name : linkTypeNames())
        text += QStringLiteral("value {arg=%1}{value=%2}{display=%3}{default=%4}\n")
                    .arg(LinkTypeArg)
                    .arg(name, linkTypeDisplay(name),
                         QLatin1String(name == QLatin1String(DefaultLinkType) ? "true" : "false"));
    text += QStringLiteral("arg {number=%1}{call=--min-length}{display=Minimum length}"
                           "{type=unsigned}{range=0,65535}{default=0}"
                           "{tooltip=Shorter frames are not written}\n")
                .arg(MinLengthArg);
    return text;
}

QString Extcap::usage()
{
    QString text = ExtcapCommandLine().parser.helpText();
    text.replace(0, text.indexOf(QLatin1Char('\n')),
                 QStringLiteral("Usage: vezive-extcap [options]"));
    return text;
}
