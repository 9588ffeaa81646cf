#include "capture/rawhandler.h"

#include "writers/stathandler.h"

#include <QFile>
#include <QObject>

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
    if (m_file->write(data.constData(), len) != len || !m_file->flush()) {
        m_failed = true;
        postError(QObject::tr("Cannot write file ") + m_file->fileName() + QLatin1Char(':') +
                  m_file->errorString());
        return;
    }
    m_byteTotal += unsigned(len);
    addStat(len, StatHandler::Bytes);
    passOn(data, len);
}
