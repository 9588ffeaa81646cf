#ifndef TRACEREADERS_H
#define TRACEREADERS_H

#include <QByteArray>
#include <QList>
#include <QString>

// Readers for the two trace formats the project has no reader of its own for. Each refuses
// anything but the layout its format prescribes and says where.

struct I4bRecord
{
    quint32 unit = 0;
    quint32 channelType = 0;
    quint32 direction = 0;
    quint32 truncated = 0;
    quint32 frameCount = 0;
    quint32 seconds = 0;
    quint32 microseconds = 0;
    QByteArray frame;
};

// A plain sequence of records: a 32-byte header of little-endian words whose first is the
// record's whole length, then the frame.
bool readI4bTrace(const QByteArray& bytes, QList<I4bRecord>* records, QString* error);

struct SnoopRecord
{
    quint32 number = 0;
    QByteArray time; // "HH:MM:SS.CC"
    bool receive = false;
    QByteArray frame;
};

// The router's snoop text: "T O S H I B A", then per frame a numbered header line, the ruler
// with the length, hex lines of up to sixteen bytes under their offsets, and an empty line.
bool readSnoopTrace(const QByteArray& bytes, QList<SnoopRecord>* records, QString* error);

#endif
