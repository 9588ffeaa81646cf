#ifndef SENTLOG_H
#define SENTLOG_H

#include <QFile>
#include <QList>
#include <QString>

// The list of frames the receiver must deliver: one line "rx <hex>" or "sync <hex>" per frame,
// appended and flushed as the frames reach the line.
class SentLog
{
public:
    // False with error() set when the file cannot be opened for appending.
    bool open(const QString& path);
    bool isOpen() const { return m_file.isOpen(); }
    // Appends the lines and flushes them; false with error() set when writing fails.
    bool add(const char* channel, const QList<QByteArray>& frames);
    QString error() const { return m_error; }

private:
    QFile m_file;
    QString m_error;
};

#endif
