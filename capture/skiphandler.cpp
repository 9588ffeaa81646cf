#include "capture/skiphandler.h"

SkipHandler::SkipHandler(unsigned count) : m_seen(0), m_toSkip(count), m_done(false) {}

void SkipHandler::process(QByteArray& data, int len)
{
    if (len < 0)
        return;
    if (m_done) {
        passCopy(data, 0, len);
        return;
    }
    m_seen += unsigned(len);
    if (m_seen < m_toSkip)
        return;
    const unsigned excess = m_seen - m_toSkip;
    m_done = true;
    passCopy(data, len - int(excess), int(excess));
}
