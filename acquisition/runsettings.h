#ifndef RUNSETTINGS_H
#define RUNSETTINGS_H

#include "writers/filesequence.h"

#include <QString>
#include <QtGlobal>

// Everything one capture run is asked to do. The window and vezive-capture each fill one and
// hand it to the acquisition thread; a trace type reads only the fields it uses.
struct RunSettings
{
    enum SourceType
    {
        PortSource = 0,
        FileSource = 1
    };

    int sourceType = PortSource;
    QString portName;
    QString inputFileName;
    unsigned char rxTimeslot = 0;
    unsigned char syncTimeslot = 0;
    int traceType = -1;
    QString outputFileName;
    QString syncFileName; // Raw only
    unsigned short linkType = 0;
    unsigned short minPacketLength = 0;
    // Both channel clocks start here instead of at the wall clock of the first octet, so a
    // replay of the same stream gives the same trace.
    bool hasStartTime = false;
    quint32 startSeconds = 0;
    quint32 startMicroseconds = 0;
    // The deframers de-stuff by shifts even where the bit extract instruction is fast (tests and
    // the benchmark measure that way too).
    bool deframerShifts = false;
    // Ring buffer and stop conditions of a trace file; none by default.
    FileLimits fileLimits;
};

// A timeslot from 0 to 31 in decimal; false for anything else.
bool readTimeslot(const QString& text, unsigned char* timeslot);

constexpr qulonglong MaxMinPacketLength = 0xFFFF;

// A min. packet length as a run takes it: an unsigned decimal number up to 65535. False for
// text that is no such number, and for a larger one, which would otherwise wrap (outOfRange
// then says so).
bool readMinPacketLength(const QString& text, unsigned short* length, bool* outOfRange = nullptr);

struct TraceType;

// Why a run cannot start, and the option field to put right; empty when it can.
struct OptionProblem
{
    enum Field
    {
        NoField,
        InputFile,
        OutputFile, // Raw: the RX file
        SyncFile,
        MinPacketLength
    };
    Field field = NoField;
    QString message;
    bool isEmpty() const { return message.isEmpty(); }
};

// The checks of the options a user types, with the window's messages. Raw needs both file
// names, the other file types one, and every type that has one a min. packet length from 0 to
// 65535.
OptionProblem optionProblem(const TraceType& type, const QString& fileName,
                            const QString& syncFileName, const QString& minPacketLengthText);

// A replay that has no file to read.
OptionProblem inputProblem(const RunSettings& run);

// The first pair of the run's input file or port, trace file and Sync file that are one file on
// the disk (by device and inode, so links and other spellings are caught). Checked before
// anything is opened: writing would destroy the other.
OptionProblem fileClash(const RunSettings& run);

#endif
