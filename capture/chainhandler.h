#ifndef CHAINHANDLER_H
#define CHAINHANDLER_H

#include <QByteArray>
#include <QString>

class MessageHandler;
class StatHandler;

// One element of the stream-processing chain. An element takes a block of bytes, does its work
// and hands its own output to the next element synchronously. Elements never own their next
// element, the message handler or the stat handler.
class ChainHandler
{
public:
    ChainHandler();
    virtual ~ChainHandler();

    // The caller owns data; only its first len bytes are used and only during the call.
    virtual void process(QByteArray& data, int len) = 0;

    void setNext(ChainHandler* next) { m_next = next; }
    void setMessageHandler(MessageHandler* handler) { m_messageHandler = handler; }
    void setStatHandler(StatHandler* handler) { m_statHandler = handler; }

    void postMessage(const QString& text);
    void postError(const QString& text);
    void addStat(quint64 count, int index);
    void countStat(int index) { addStat(1, index); }

protected:
    // Hands len bytes of data to the next element, if there is one.
    void passOn(QByteArray& data, int len)
    {
        if (m_next)
            m_next->process(data, len);
    }
    // Copies bytes [from, from + len) of data into a new array and hands it on.
    void passCopy(const QByteArray& data, int from, int len);

    ChainHandler* m_next;
    quint64 m_byteTotal;
    MessageHandler* m_messageHandler;
    StatHandler* m_statHandler;

private:
    ChainHandler(const ChainHandler&) = delete;
    ChainHandler& operator=(const ChainHandler&) = delete;
};

#endif
