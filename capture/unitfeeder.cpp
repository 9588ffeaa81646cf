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
    for (int at = 0; at < n; at += UnitSize) {
        const int size = std::min(UnitSize, n - at);
        std::memcpy(unit.data(), data + at, size_t(size));
        head->process(unit, size);
    }
}
