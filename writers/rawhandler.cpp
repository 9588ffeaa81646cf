#include "writers/rawhandler.h"

#include "capture/stathandler.h"
#include "device/outputfile.h"

#include <QObject>

RawHandler::RawHandler(OutputFile* file, const QString& label)
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
    if (!m_file->writeAll(data.constData(), len)) {
        m_failed = true;
        postError(QObject::tr("Cannot write file ") + m_file->fileName() + QLatin1Char(':') +
                  m_file->errorString());
        return;
    }
    m_byteTotal += quint64(len);
    addStat(len, StatHandler::Bytes);
    passOn(data, len);
}
