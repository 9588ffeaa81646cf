#ifndef FILESEQUENCE_H
#define FILESEQUENCE_H

#include <QString>
#include <QStringList>
#include <QtGlobal>

// When a trace goes on in a new file and when the run stops, as dumpcap's -b and -a say. Sizes
// are bytes, times seconds of line time (the RX channel's clock); 0 means no limit.
struct FileLimits
{
    // Ring buffer: every file is numbered, a new one begins once the file has reached
    // switchBytes or has lasted switchSeconds, and only the newest keepFiles are kept.
    bool ringBuffer = false;
    qint64 switchBytes = 0;
    quint32 switchSeconds = 0;
    int keepFiles = 0;
    // Stop conditions.
    quint64 stopPackets = 0;
    quint32 stopSeconds = 0;
    qint64 stopBytes = 0; // the file has reached this size
    int stopFiles = 0;    // a further file would be needed

    bool any() const { return ringBuffer || stops(); }
    // A condition that may end the run (a file size also switches files in a ring buffer).
    bool stops() const { return stopPackets || stopSeconds || stopBytes || stopFiles; }
};

// The names of one run's trace files. Numbered files are named as dumpcap names them: the
// output name's base, the file's number in five digits and the local time it was started, then
// the output name's extension (trace_00001_20261207120000.pcap). Unnumbered, the first file is
// the output name itself and later ones are numbered from 2.
class FileSequence
{
public:
    FileSequence(const QString& outputName, bool numbered, int keepFiles);

    // The name of the next file, started at seconds since 1970; a numbered one is noted for
    // pruning.
    QString next(quint32 seconds);
    // Deletes the oldest numbered files beyond the number to keep; their names.
    QStringList prune();
    int started() const { return m_started; }

private:
    QString numberedName(int number, quint32 seconds) const;

    QString m_outputName;
    bool m_numbered;
    int m_keepFiles;
    int m_started = 0;
    QStringList m_kept; // numbered files still on the disk, oldest first
};

#endif
