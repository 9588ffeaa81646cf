#ifndef HEADERHANDLER_H
#define HEADERHANDLER_H

#include "capture/chainhandler.h"

// Checks that the tester's answer begins with "ATU", the start of its echo of the request.
// A bad header is reported once and everything after it is dropped.
class HeaderHandler : public ChainHandler
{
public:
    HeaderHandler();
    void process(QByteArray& data, int len) override;

private:
    static constexpr unsigned HeaderLength = 3;

    bool m_collecting;
    bool m_valid;
    char m_header[HeaderLength + 1];
    unsigned m_collected;
};

#endif
