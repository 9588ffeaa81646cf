#ifndef RAWHANDLER_H
#define RAWHANDLER_H

#include "capture/chainhandler.h"

class OutputFile;

// Appends every byte it is given to a file, counts it and passes the same bytes on. After a
// failed write it reports once and stops writing and passing on, so the file and the counts
// never claim more than reached the disk.
class RawHandler : public ChainHandler
{
public:
    RawHandler(OutputFile* file, const QString& label);
    ~RawHandler() override;
    void process(QByteArray& data, int len) override;

private:
    OutputFile* m_file; // not owned
    QString m_label;
    bool m_failed;
};

#endif
