#include "capture/unitfeeder.h"

#include "capture/chainhandler.h"

#include <algorithm>
#include <QByteArray>

void feedInUnits(ChainHandler* head, const char* data, int n)
{
    if (!head || n <= 0)
        return;
    constexpr int UnitSize = 4;
    for (int at = 0; at < n; at += UnitSize) {
        const int size = std::min(UnitSize, n - at);
        QByteArray unit(data + at, size);
        head->process(unit, size);
    }
}
