#ifndef STATHANDLER_H
#define STATHANDLER_H

#include <QMutex>
#include <QObject>
#include <QString>

// The run's shared tally: chain elements add on the acquisition thread, the window reads once a
// second on its own thread.
class StatHandler : public QObject
{
    Q_OBJECT
public:
    enum StatType
    {
        Packets = 1,
        Bytes = 2,
        ErroredLength = 3,
        BadCrc = 4,
        TooLarge = 5
    };
    static constexpr int CounterCount = 6;

    explicit StatHandler(QObject* parent = nullptr, const char* name = nullptr);

    // Counters wrap modulo 2^32. Indices outside 0..5 are ignored.
    void add(unsigned count, int index);
    void reset();
    // The empty string for index 0 (and any index outside 1..5), otherwise the plain decimal value.
    QString text(int index);
    quint32 value(int index);

private:
    QMutex m_lock;
    quint32 m_counters[CounterCount];
};

#endif
