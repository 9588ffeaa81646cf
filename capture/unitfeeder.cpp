#include "capture/unitfeeder.h"

#include "capture/chainhandler.h"

#include <algorithm>
#include <cstring>
#include <QByteArray>

void feedInUnits(ChainHandler* head, const char* data, int n)
{
    if (!head || n <= 0)
        return;
    constexpr int UnitSize = 4;
    // One array for every unit of the block: elements use a unit only during the call.
    QByteArray unit(UnitSize, Qt::Uninitialized);
    char* bytes = unit.data();
    int at = 0;
    for (; at + UnitSize <= n; at += UnitSize) {
        std::memcpy(bytes, data + at, UnitSize);
        head->process(unit, UnitSize);
    }
    if (at < n) {
        std::memcpy(bytes, data + at, size_t(n - at));
        head->process(unit, n - at);
    }
}
