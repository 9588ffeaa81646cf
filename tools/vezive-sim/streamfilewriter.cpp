#include "streamfilewriter.h"

#include "capturestream.h"
#include "sentlog.h"

#include <algorithm>
#include <QFile>

bool StreamFileWriter::write(const SimOptions& options, const QList<QByteArray>* rxFrames,
                             const QList<QByteArray>* syncFrames, SentLog* log)
{
    // Silence and a hang-up both end a file; only the line's other limits can shorten it.
    qint64 length = options.streamFileLength();
    for (qint64 cut : {options.silentAfter, options.hangupAfter}) {
        if (cut != SimOptions::Unlimited)
            length = std::min(length, cut);
    }
    QFile file(options.writeStreamFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_error = QStringLiteral("%1: %2").arg(options.writeStreamFile, file.errorString());
        return false;
    }
    CaptureStream stream(options, rxFrames, syncFrames, log, length);
    for (;;) {
        const QByteArray block = stream.take(BlockBytes);
        if (block.isEmpty())
            break;
        if (file.write(block) != block.size()) {
            m_error = QStringLiteral("%1: %2").arg(options.writeStreamFile, file.errorString());
            return false;
        }
        if (!stream.confirm(block.size())) {
            m_error = log->error();
            return false;
        }
    }
    if (!file.flush()) {
        m_error = QStringLiteral("%1: %2").arg(options.writeStreamFile, file.errorString());
        return false;
    }
    file.close();
    return true;
}
