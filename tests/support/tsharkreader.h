#ifndef TSHARKREADER_H
#define TSHARKREADER_H

#include <QByteArray>
#include <QList>
#include <QString>

// One frame as Wireshark's reader sees it.
struct TsharkFrame
{
    int length = -1;
    int capturedLength = -1;
    int direction = -1; // frame.p2p_dir: 0 sent, 1 received, -1 none
    QString epochTime;  // seconds.fraction as tshark prints it
    QString interface;  // pcapng: the interface's "name: description", its packet flags' direction
    int flagsDirection = -1;
    QByteArray bytes;
};

struct TsharkRead
{
    bool ok = false;
    QString error; // why the file could not be read
    QString encapsulation;
    QList<TsharkFrame> frames;
};

// Reads a trace file with tshark (JSON output, raw bytes included).
TsharkRead readWithTshark(const QString& path);

// A fraction of a second as microseconds, whatever number of digits the reader prints; -1 if
// it is not a whole number of microseconds.
qint64 microsecondsOf(const QString& fraction);

#endif
