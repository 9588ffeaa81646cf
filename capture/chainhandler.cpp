#include "capture/chainhandler.h"

#include "capture/messagehandler.h"
#include "capture/stathandler.h"

ChainHandler::ChainHandler()
    : m_next(nullptr), m_byteTotal(0), m_messageHandler(nullptr), m_statHandler(nullptr)
{}

ChainHandler::~ChainHandler() = default;

void ChainHandler::postMessage(const QString& text)
{
    if (m_messageHandler)
        m_messageHandler->postMessage(text);
}

void ChainHandler::postError(const QString& text)
{
    if (m_messageHandler)
        m_messageHandler->postError(text);
}

void ChainHandler::addStat(quint64 count, int index)
{
    if (m_statHandler)
        m_statHandler->add(count, index);
}

void ChainHandler::passCopy(const QByteArray& data, int from, int len)
{
    if (!m_next)
        return;
    QByteArray out(data.constData() + from, len);
    m_next->process(out, len);
}
