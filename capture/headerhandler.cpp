#include "capture/headerhandler.h"

#include <algorithm>
#include <cstring>
#include <QObject>

HeaderHandler::HeaderHandler() : m_collecting(true), m_valid(true), m_header{}, m_collected(0) {}

void HeaderHandler::process(QByteArray& data, int len)
{
    if (len < 0)
        return;
    int taken = 0;
    if (m_collecting) {
        taken = int(std::min<unsigned>(unsigned(len), HeaderLength - m_collected));
        std::memcpy(m_header + m_collected, data.constData(), size_t(taken));
        m_collected += unsigned(taken);
        if (m_collected == HeaderLength) {
            m_collecting = false;
            m_header[HeaderLength] = '\0';
            m_valid = std::memcmp(m_header, "ATU", HeaderLength) == 0;
            if (!m_valid) {
                postError(QObject::tr("Error reading ATU header. Invalid data. Halting."));
                return;
            }
            if (len > taken)
                passCopy(data, taken, len - taken);
            return;
        }
    }
    if (m_valid)
        passCopy(data, taken, len - taken);
}
