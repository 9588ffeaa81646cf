#ifndef TRACEREADERS_H
#define TRACEREADERS_H

#include "capture/hdlchandler.h"
#include "framematch.h"

#include <QByteArray>
#include <QList>
#include <QString>

// One record as its trace file tells it.
struct TraceRecord
{
    int channel = -1; // 0 RX, 1 Sync; -1 in PCAP, which has no channel
    QString stamp;    // "seconds.microseconds"; in the snoop its local time, "HH:MM:SS.CC"
    QByteArray frame;
};

// Reads a whole trace file of a trace type (TraceTypes::Index) that has records (PCAP, Toshiba,
// I4B, I7), taking nothing but the layout its writer gives (PCAP with linkType) and saying where
// the file departs from it, so that a file that reads is told entirely by its records. No public
// reader knows I7; for PCAP the product's PcapReader reads the records.
bool readTrace(int traceType, const QByteArray& bytes, QList<TraceRecord>* records, QString* error,
               quint16 linkType = 0);

// Empty when bytes, read as readTrace() does, holds exactly the packets (channel tag, then
// frame) in order, each stamped with its clock (the snoop with the local time of day);
// otherwise the first difference.
QString traceMismatch(int traceType, const QByteArray& bytes, const QList<QByteArray>& packets,
                      const QList<ChannelClock>& stamps, quint16 linkType = 0);

// The frames of a trace file by channel: an I7 file as readTrace() reads it, the others as
// tshark does (which puts a PCAP file's frames, that have no channel, under Sync). Sets error
// when the file cannot be read.
ChannelFrames readTraceFrames(const QString& trace, const QString& path, QString* error);

#endif
