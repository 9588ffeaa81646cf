#ifndef SIMOPTIONS_H
#define SIMOPTIONS_H

#include "capture/faultytraffic.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Everything the command line can set.
struct SimOptions
{
    static constexpr qint64 BytesPerSecond = 16000; // two stream bytes per 125 us
    static constexpr qint64 Unlimited = -1;

    QString linkPath;
    bool fast = false;
    quint32 seed = 1;
    QString rxFramesFile;
    QString syncFramesFile;
    enum TrafficKind
    {
        Ss7,
        Isdn
    };
    TrafficKind traffic = Ss7; // of the built-in scenario
    qint64 count = Unlimited;  // frames per channel
    FaultPlan faults;          // every Nth frame of each channel
    bool badEcho = false;
    qint64 silentAfter = Unlimited; // stream bytes
    qint64 hangupAfter = Unlimited;
    qint64 garbageAfter = Unlimited; // stream bytes, then random bytes
    bool atOnly = false;
    qint64 durationBytes = Unlimited;
    QString sentFile;
    QString writeStreamFile;
    qint64 streamFileBytes = Unlimited; // --bytes
    bool help = false;
    bool version = false;

    // The stream bytes after which the line goes silent (or hangs up), Unlimited if never.
    qint64 streamLimit() const;
    // Whether reaching streamLimit() hangs the line up rather than silencing it.
    bool hangsUpAtLimit() const;
    // --bytes, else --duration, else ten seconds.
    qint64 streamFileLength() const;

    // False with error set when the arguments (the program's name first) are not valid.
    bool parse(const QStringList& arguments, QString& error);
    static QString usage();
};

#endif
