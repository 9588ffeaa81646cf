#ifndef CAPTUREOPTIONS_H
#define CAPTUREOPTIONS_H

#include "acquisition/runsettings.h"

#include <QString>
#include <QStringList>

// What the command line asks for, checked the way the window checks its fields.
struct CaptureOptions
{
    RunSettings run;
    bool portTestOnly = false;
    bool quiet = false; // no counters until the totals
    bool help = false;
    bool version = false;

    // "-" as the trace file is standard output.
    bool writesToStandardOutput() const { return run.outputFileName == QLatin1String("-"); }
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

#endif
