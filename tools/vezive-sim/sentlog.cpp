#include "sentlog.h"

#include <QFileInfo>

bool SentLog::open(const QString& path)
{
    m_file.setFileName(path);
    // Appending seeks to the end, which a device or a FIFO does not have.
    const QFileInfo info(path);
    const bool appends = !info.exists() || info.isFile();
    if (!m_file.open(appends ? QIODevice::WriteOnly | QIODevice::Append : QIODevice::WriteOnly)) {
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
