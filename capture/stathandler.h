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

    // 64-bit counters: days of capture at full rate stay far from wrapping. Indices outside
    // 0..5 are ignored.
    void add(quint64 count, int index);
    void reset();
    // The empty string for index 0 (and any index outside 1..5), otherwise the plain decimal value.
    QString text(int index);
    quint64 value(int index);

private:
    QMutex m_lock;
    quint64 m_counters[CounterCount];
};

#endif
