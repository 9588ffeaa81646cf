#include "framematch.h"

#include "testfiles.h"

#include <QSet>

ChannelFrames ChannelFrames::fromSentLog(const QString& path)
{
    ChannelFrames sent;
    for (const QByteArray& line : fileContents(path).split('\n')) {
        if (line.startsWith("rx "))
            sent.rx.append(QByteArray::fromHex(line.mid(3)));
        else if (line.startsWith("sync "))
            sent.sync.append(QByteArray::fromHex(line.mid(5)));
        else if (!line.isEmpty())
            sent.rx.append("unexpected line: " + line);
    }
    return sent;
}

bool isInterleaving(const QList<QByteArray>& merged, const QList<QByteArray>& a,
                    const QList<QByteArray>& b, bool prefixes)
{
    if (prefixes ? merged.size() > a.size() + b.size() : merged.size() != a.size() + b.size())
        return false;
    // The positions in a still possible after each merged frame (the position in b follows).
    QSet<qsizetype> reachable{0};
    for (qsizetype k = 0; k < merged.size(); ++k) {
        QSet<qsizetype> next;
        for (qsizetype i : std::as_const(reachable)) {
            const qsizetype j = k - i;
            if (i < a.size() && a[i] == merged[k])
                next.insert(i + 1);
            if (j < b.size() && b[j] == merged[k])
                next.insert(i);
        }
        if (next.isEmpty())
            return false;
        reachable.swap(next);
    }
    return true;
}
