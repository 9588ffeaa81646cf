#include "writers/rawhandler.h"

#include "capture/stathandler.h"
#include "writers/tracefile.h"

#include <QFile>
#include <QObject>

namespace {

// The file may be buffered: a flush cut short by a filling disk sets no error either, so flush
// again while bytes still leave the buffer, until the system refuses and says why.
bool writeAndFlush(QFile* file, const char* data, int len)
{
    if (!writeAll(*file, data, len))
        return false;
    qint64 pending = file->bytesToWrite();
    while (!file->flush()) {
        const qint64 left = file->bytesToWrite();
        if (left == 0 || left >= pending)
            return false;
        pending = left;
    }
    return true;
}

} // namespace

RawHandler::RawHandler(QFile* file, const QString& label)
    : m_file(file), m_label(label), m_failed(false)
{}

RawHandler::~RawHandler()
{
    postMessage(m_label + QLatin1String(": ") + QString::number(m_byteTotal) + QLatin1Char(' ') +
                QObject::tr("bytes written"));
}

void RawHandler::process(QByteArray& data, int len)
{
    if (!m_file || m_failed || len <= 0)
        return;
    if (!writeAndFlush(m_file, data.constData(), len)) {
        m_failed = true;
        postError(QObject::tr("Cannot write file ") + m_file->fileName() + QLatin1Char(':') +
                  m_file->errorString());
        return;
    }
    m_byteTotal += unsigned(len);
    addStat(len, StatHandler::Bytes);
    passOn(data, len);
}
