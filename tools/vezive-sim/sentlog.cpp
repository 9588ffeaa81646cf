#include "sentlog.h"

bool SentLog::open(const QString& path)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        m_error = QStringLiteral("%1: %2").arg(path, m_file.errorString());
        return false;
    }
    return true;
}

bool SentLog::add(const char* channel, const QList<QByteArray>& frames)
{
    if (!m_file.isOpen() || frames.isEmpty())
        return true;
    QByteArray lines;
    for (const QByteArray& frame : frames)
        lines += QByteArray(channel) + ' ' + frame.toHex() + '\n';
    if (m_file.write(lines) != lines.size() || !m_file.flush()) {
        m_error = QStringLiteral("%1: %2").arg(m_file.fileName(), m_file.errorString());
        return false;
    }
    return true;
}
