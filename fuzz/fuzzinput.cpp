#include "fuzzinput.h"

#include <algorithm>

Cuts Cuts::read(ByteReader& in, int maxCount, int maxSize, int fallback)
{
    Cuts cuts;
    cuts.fallback = fallback;
    const int count = in.u8() % (maxCount + 1);
    for (int i = 0; i < count; ++i)
        cuts.sizes.append(in.le16() % (maxSize + 1));
    return cuts;
}

void Cuts::write(QByteArray& out) const
{
    out.append(char(sizes.size()));
    for (int size : sizes)
        putLe16(out, quint16(size));
}

QList<int> Cuts::blocks(qsizetype n) const
{
    QList<int> cycle = sizes;
    if (std::all_of(cycle.cbegin(), cycle.cend(), [](int size) { return size == 0; }))
        cycle = {fallback};
    QList<int> out;
    qsizetype at = 0;
    for (qsizetype i = 0; at < n; ++i) {
        const int size = int(std::min<qsizetype>(cycle[i % cycle.size()], n - at));
        out.append(size);
        at += size;
    }
    return out;
}
