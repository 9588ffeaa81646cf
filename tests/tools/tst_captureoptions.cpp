#include "captureoptions.h"

#include <QtTest>

class TestCaptureOptions : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
};

void TestCaptureOptions::parse_data()
{
    QTest::addColumn<QString>("arguments");
    // "usage", "option: <message>" or a summary of what was understood.
    QTest::addColumn<QString>("expected");

    const auto row = [](const char* name, const char* arguments, const char* expected) {
        QTest::newRow(name) << QString(arguments) << QString(expected);
    };
    row("pcap from a port", "--port /dev/ttyS0 --rx 1 --sync 16 --trace pcap --out a.pcap",
        "src=0 port=/dev/ttyS0 rx=1 sync=16 trace=1 out=a.pcap link=147 min=0");
    row("values after =", "--file s --trace=i7 --out=x --min-length=20",
        "src=1 file=s rx=0 sync=0 trace=4 out=x link=147 min=20");
    row("link type names", "--file s --trace pcap --out x --link-type SS7/MTP2",
        "src=1 file=s rx=0 sync=0 trace=1 out=x link=140 min=0");
    row("link type NULL", "--file s --trace loopback --link-type NULL",
        "src=1 file=s rx=0 sync=0 trace=5 out= link=0 min=0");
    row("pcapng, LAPD", "--port p --rx 2 --trace pcapng --out x --link-type LAPD",
        "src=0 port=p rx=2 sync=0 trace=6 out=x link=177 min=0");
    row("min length largest", "--file s --trace pcap --out x --min-length 65535",
        "src=1 file=s rx=0 sync=0 trace=1 out=x link=147 min=65535");
    row("standard output", "--file s --trace pcap --out -",
        "src=1 file=s rx=0 sync=0 trace=1 out=- link=147 min=0");
    row("raw", "--file s --trace raw --out r --sync-out q",
        "src=1 file=s rx=0 sync=0 trace=0 out=r sync-out=q link=147 min=0");
    row("standard output by its path", "--file s --trace toshiba --out /dev/fd/1",
        "src=1 file=s rx=0 sync=0 trace=2 out=- link=147 min=0");
    row("port test", "--port /dev/ttyS1 --test", "test port=/dev/ttyS1");
    row("start time whole seconds", "--file s --trace pcap --out x --start-time 1700000000",
        "src=1 file=s rx=0 sync=0 trace=1 out=x link=147 min=0 start=1700000000.000000");
    row("start time fraction is decimal", "--file s --trace i4b --out x --start-time=12.5",
        "src=1 file=s rx=0 sync=0 trace=3 out=x link=147 min=0 start=12.500000");
    row("start time one octet", "--file s --trace i7 --out x --start-time 0.000125",
        "src=1 file=s rx=0 sync=0 trace=4 out=x link=147 min=0 start=0.000125");
    row("start time largest", "--file s --trace toshiba --out x --start-time 4294967295.999999",
        "src=1 file=s rx=0 sync=0 trace=2 out=x link=147 min=0 start=4294967295.999999");

    row("raw without RX file", "--file s --trace raw --sync-out q",
        "option: RX file name isn't specified");
    row("raw without Sync file", "--file s --trace raw --out r",
        "option: Sync file name isn't specified");
    row("min length letters", "--file s --trace pcap --out x --min-length abc",
        "option: Wrong min. packet length");
    row("min length negative", "--file s --trace i4b --out x --min-length -5",
        "option: Wrong min. packet length");

    row("no source", "--trace pcap --out x", "usage");
    row("both sources", "--port p --file s --trace pcap", "usage");
    row("no trace", "--file s", "usage");
    row("unknown trace", "--file s --trace snoop", "usage");
    row("unknown link type", "--file s --trace pcap --link-type lapd", "usage");
    row("timeslot 32", "--file s --trace pcap --rx 32", "usage");
    row("missing value", "--file s --trace", "usage");
    row("unknown option", "--file s --trace pcap --speed 9600", "usage");
    row("stray argument", "--file s --trace pcap --out x y", "usage");
    row("given twice", "--file s --file t --trace pcap", "usage");
    row("test without port", "--file s --test", "usage");
    row("raw to standard output", "--file s --trace raw --out - --sync-out q", "usage");
    row("start time past 32 bits", "--file s --trace pcap --start-time 4294967296", "usage");
    row("start time seven decimals", "--file s --trace pcap --start-time 1.0000001", "usage");
    row("start time without seconds", "--file s --trace pcap --start-time .5", "usage");
    row("start time negative", "--file s --trace pcap --start-time -1", "usage");
    row("start time two dots", "--file s --trace pcap --start-time 1.2.3", "usage");
    row("start time of a port run", "--port p --trace pcap --out x --start-time 1", "usage");
    row("min length past 16 bits", "--file s --trace pcap --out x --min-length 70000", "usage");
    row("option the type does not use", "--file s --trace pcap --out x --sync-out q", "usage");
    row("link type of a snoop trace", "--file s --trace toshiba --out x --link-type NULL", "usage");
    row("min length of raw", "--file s --trace raw --out r --sync-out q --min-length 1", "usage");
    row("i7 to standard output", "--file s --trace i7 --out -", "usage");
    row("pcap without a file", "--file s --trace pcap", "option: File name isn't specified");
    row("ring buffer", "--file s --trace i7 --out x -b filesize:9 -b files:5 --autostop packets:7",
        "src=1 file=s rx=0 sync=0 trace=4 out=x link=147 min=0 b=9000,0,5 a=7,0,0,0");
    row("-a filesize switches",
        "--file s --trace i4b --out x --ring-buffer duration:60 -a filesize:2",
        "src=1 file=s rx=0 sync=0 trace=3 out=x link=147 min=0 b=2000,60,0 a=0,0,0,0");
    row("-b files alone", "--file s --trace pcap --out x -b files:3", "usage");
    row("-a files without -b", "--file s --trace pcap --out x -a files:3", "usage");
    row("-b to standard output", "--file s --trace pcap --out - -b filesize:1", "usage");
    row("-b of raw", "--file s --trace raw --out r --sync-out q -b filesize:1", "usage");
    row("-a zero packets", "--file s --trace pcap --out x -a packets:0", "usage");
    row("-a fraction of a second", "--file s --trace pcap --out x -a duration:1.5", "usage");
    row("-b key twice", "--file s --trace pcap --out x -b filesize:1 -b filesize:2", "usage");
}

void TestCaptureOptions::parse()
{
    QFETCH(QString, arguments);
    QFETCH(QString, expected);

    QStringList argv{"vezive-capture"};
    argv += arguments.split(QLatin1Char(' '));
    const ParsedCommandLine parsed = parseCaptureCommandLine(argv);
    QString got;
    const RunSettings& o = parsed.options.run;
    if (!parsed.usageError.isEmpty())
        got = "usage";
    else if (!parsed.optionError.isEmpty())
        got = "option: " + parsed.optionError;
    else if (parsed.options.portTestOnly)
        got = "test port=" + o.portName;
    else {
        got = QString("src=%1 ").arg(o.sourceType);
        got += o.sourceType == 0 ? "port=" + o.portName : "file=" + o.inputFileName;
        got += QString(" rx=%1 sync=%2 trace=%3 out=%4")
                   .arg(o.rxTimeslot)
                   .arg(o.syncTimeslot)
                   .arg(o.traceType)
                   .arg(o.outputFileName);
        if (!o.syncFileName.isEmpty())
            got += " sync-out=" + o.syncFileName;
        got += QString(" link=%1 min=%2").arg(o.linkType).arg(o.minPacketLength);
        if (o.hasStartTime)
            got += QString(" start=%1.%2")
                       .arg(o.startSeconds)
                       .arg(o.startMicroseconds, 6, 10, QLatin1Char('0'));
        const FileLimits& l = o.fileLimits;
        if (l.any())
            got += QString(" b=%1,%2,%3 a=%4,%5,%6,%7")
                       .arg(l.switchBytes)
                       .arg(l.switchSeconds)
                       .arg(l.keepFiles)
                       .arg(l.stopPackets)
                       .arg(l.stopSeconds)
                       .arg(l.stopBytes)
                       .arg(l.stopFiles);
    }
    QCOMPARE(got, expected);
}

QTEST_GUILESS_MAIN(TestCaptureOptions)
#include "tst_captureoptions.moc"
