#include "limitoptions.h"

#include <algorithm>
#include <QHash>

namespace {

constexpr qulonglong MaxKilobytes = 1000000000ull; // a terabyte
constexpr qulonglong MaxSeconds = 0xFFFFFFFFull;
constexpr qulonglong MaxFiles = 99999; // five digits in the names
constexpr qulonglong MaxPackets = 0x7FFFFFFFFFFFFFFFull;

// A whole number from 1 to max in plain digits (the number parser would take signs and blanks).
bool readCount(const QString& text, qulonglong max, qulonglong* value)
{
    if (text.isEmpty() || text.size() > 19)
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    *value = text.toULongLong();
    return *value >= 1 && *value <= max;
}

struct Criterion
{
    const char* key;
    qulonglong max;
    const char* unit;
};

const Criterion RingCriteria[] = {
    {"filesize", MaxKilobytes, "kB"}, {"duration", MaxSeconds, "seconds"}, {"files", MaxFiles, ""}};
const Criterion StopCriteria[] = {{"duration", MaxSeconds, "seconds"},
                                  {"packets", MaxPackets, ""},
                                  {"filesize", MaxKilobytes, "kB"},
                                  {"files", MaxFiles, ""}};

// Each criterion KEY:VALUE of one option into values by key; the usage error, if any.
template <size_t N>
QString readCriteria(const char* option, const QStringList& given, const Criterion (&criteria)[N],
                     QHash<QString, qulonglong>* values)
{
    QStringList keys;
    for (const Criterion& c : criteria)
        keys.append(QLatin1String(c.key));
    for (const QString& text : given) {
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        const QString key = text.left(colon);
        const Criterion* criterion = nullptr;
        for (const Criterion& c : criteria)
            criterion = key == QLatin1String(c.key) ? &c : criterion;
        if (colon < 0 || !criterion)
            return QStringLiteral("%1 takes KEY:VALUE, KEY one of %2: not %3")
                .arg(QLatin1String(option), keys.join(QLatin1String(", ")), text);
        if (values->contains(key))
            return QStringLiteral("%1 %2 given twice").arg(QLatin1String(option), key);
        qulonglong value = 0;
        if (!readCount(text.mid(colon + 1), criterion->max, &value))
            return QStringLiteral("%1 %2 must be a whole number from 1 to %3 %4")
                .arg(QLatin1String(option), key)
                .arg(criterion->max)
                .arg(QLatin1String(criterion->unit))
                .trimmed();
        values->insert(key, value);
    }
    return QString();
}

} // namespace

QString readFileLimits(const QStringList& ringBuffer, const QStringList& autostop,
                       FileLimits* limits)
{
    QHash<QString, qulonglong> ring, stop;
    QString error = readCriteria("-b", ringBuffer, RingCriteria, &ring);
    if (error.isEmpty())
        error = readCriteria("-a", autostop, StopCriteria, &stop);
    if (!error.isEmpty())
        return error;
    FileLimits l;
    l.ringBuffer = !ringBuffer.isEmpty();
    l.switchBytes = qint64(ring.value(QStringLiteral("filesize")) * 1000);
    l.switchSeconds = quint32(ring.value(QStringLiteral("duration")));
    l.keepFiles = int(ring.value(QStringLiteral("files")));
    l.stopPackets = stop.value(QStringLiteral("packets"));
    l.stopSeconds = quint32(stop.value(QStringLiteral("duration")));
    l.stopBytes = qint64(stop.value(QStringLiteral("filesize")) * 1000);
    l.stopFiles = int(stop.value(QStringLiteral("files")));
    // As dumpcap: with a ring buffer, a file that reaches -a filesize is followed by the next.
    if (l.ringBuffer && l.stopBytes) {
        l.switchBytes = l.switchBytes ? std::min(l.switchBytes, l.stopBytes) : l.stopBytes;
        l.stopBytes = 0;
    }
    const bool switches = l.switchBytes || l.switchSeconds;
    if (l.ringBuffer && !switches)
        return QStringLiteral("-b needs filesize or duration: when to begin the next file");
    if (l.stopFiles && !switches)
        return QStringLiteral("-a files needs -b filesize or -b duration");
    *limits = l;
    return QString();
}
