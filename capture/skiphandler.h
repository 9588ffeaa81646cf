#ifndef SKIPHANDLER_H
#define SKIPHANDLER_H

#include "capture/chainhandler.h"

// Drops the rest of the tester's echo: exactly the given number of bytes, however the stream is
// cut into blocks.
class SkipHandler : public ChainHandler
{
public:
    explicit SkipHandler(unsigned count);
    void process(QByteArray& data, int len) override;

private:
    unsigned m_seen;
    unsigned m_toSkip;
    bool m_done;
};

#endif
