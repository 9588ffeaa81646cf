#include "writers/filesequence.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

FileSequence::FileSequence(const QString& outputName, bool numbered, int keepFiles)
    : m_outputName(outputName), m_numbered(numbered), m_keepFiles(keepFiles)
{}

QString FileSequence::numberedName(int number, quint32 seconds) const
{
    const QFileInfo info(m_outputName);
    const QString suffix = info.suffix();
    QString base = m_outputName;
    if (!suffix.isEmpty())
        base.chop(suffix.size() + 1);
    const QString time = QDateTime::fromSecsSinceEpoch(qint64(seconds), Qt::LocalTime)
                             .toString(QStringLiteral("yyyyMMddhhmmss"));
    QString name = base + QStringLiteral("_%1_").arg(number, 5, 10, QLatin1Char('0')) + time;
    if (!suffix.isEmpty())
        name += QLatin1Char('.') + suffix;
    return name;
}

QString FileSequence::next(quint32 seconds)
{
    ++m_started;
    if (!m_numbered && m_started == 1)
        return m_outputName;
    const QString name = numberedName(m_started, seconds);
    m_kept.append(name);
    return name;
}

QStringList FileSequence::prune()
{
    QStringList removed;
    while (m_keepFiles > 0 && m_kept.size() > m_keepFiles) {
        const QString oldest = m_kept.takeFirst();
        if (QFile::remove(oldest))
            removed.append(oldest);
    }
    return removed;
}
