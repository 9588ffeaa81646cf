#include "capture/stathandler.h"

#include <QMutexLocker>

StatHandler::StatHandler(QObject* parent, const char* name) : QObject(parent), m_counters{}
{
    if (name)
        setObjectName(QString::fromLatin1(name));
}

void StatHandler::add(quint64 count, int index)
{
    if (index < 0 || index >= CounterCount)
        return;
    QMutexLocker locker(&m_lock);
    m_counters[index] += count;
}

void StatHandler::reset()
{
    // Called between runs only, but the lock costs nothing and keeps a late writer harmless.
    QMutexLocker locker(&m_lock);
    for (quint64& counter : m_counters)
        counter = 0;
}

QString StatHandler::text(int index)
{
    if (index < 1 || index >= CounterCount)
        return QString();
    return QString::number(value(index));
}

quint64 StatHandler::value(int index)
{
    if (index < 0 || index >= CounterCount)
        return 0;
    QMutexLocker locker(&m_lock);
    return m_counters[index];
}
