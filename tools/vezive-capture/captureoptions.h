#ifndef CAPTUREOPTIONS_H
#define CAPTUREOPTIONS_H

#include <QString>
#include <QStringList>

// What the command line asks for, checked the way the window checks its fields.
struct CaptureOptions
{
    int sourceType = 0; // 0 port, 1 file
    QString portName;
    QString inputFileName;
    unsigned char rxTimeslot = 0;
    unsigned char syncTimeslot = 0;
    int traceType = -1;
    QString outputFileName; // "-" is standard output
    QString syncFileName;
    unsigned short linkType = 147;
    QString minPacketLengthText = QStringLiteral("0");
    unsigned short minPacketLength = 0;
    // Replays only: both channel clocks start here instead of at the wall clock.
    bool hasStartTime = false;
    quint32 startSeconds = 0;
    quint32 startMicroseconds = 0;
    bool portTestOnly = false;
    bool help = false;

    bool writesToStandardOutput() const { return outputFileName == QLatin1String("-"); }
};

// The outcome of reading the command line: usageError is set when the arguments themselves are
// wrong (unknown option, missing value, bad number); optionError carries the window's own check
// messages ("RX file name isn't specified", ...).
struct ParsedCommandLine
{
    CaptureOptions options;
    QString usageError;
    QString optionError;
};

ParsedCommandLine parseCaptureCommandLine(const QStringList& arguments);
QString captureUsage();

// The trace type names of the command line, in trace type order.
QStringList traceTypeNames();
// The link type table: "ISDN" 147, "NULL" 0, "SS7/MTP2" 140. -1 for an unknown name.
int linkTypeNumber(const QString& name);

#endif
