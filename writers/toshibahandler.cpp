#include "writers/toshibahandler.h"

#include <QDateTime>

const char ToshibaHandler::FileHeader[] = "T O S H I B A\n";

namespace {

const char Ruler[] = "OFFSET 0001-0203-xxxx-xxxx-xxxx-xxxx-xxxx-xxxx xxxxxxxxxxxxxxxx LEN=";
const char UpperHex[] = "0123456789ABCDEF";
const char LowerHex[] = "0123456789abcdef";

void appendTwoDigits(QByteArray& out, int value)
{
    out.append(char('0' + value / 10 % 10));
    out.append(char('0' + value % 10));
}

} // namespace

ToshibaHandler::ToshibaHandler(HdlcHandler* timeReference, const QString& fileName,
                               unsigned short minPacketLength)
    : TraceWriter(timeReference, fileName, QByteArray(FileHeader), minPacketLength, true),
      m_cachedSecond(0)
{}

void ToshibaHandler::process(QByteArray& data, int len)
{
    // The first frame creates the file and its header, even one too short to be written.
    if (!openFile())
        return;
    const int frameLength = len - 1;
    // Records are numbered from 1 in every file: the file they go to is settled first.
    if (tooShort(frameLength) || frameLength <= 0 || !m_file.makeRoom(0))
        return;

    m_file.write(record(m_file.fileRecords() + 1, localTime(), data.at(0), data.constData() + 1,
                        frameLength));
}

QTime ToshibaHandler::localTime()
{
    const ChannelClock stamp = clock();
    if (!m_cachedTime.isValid() || stamp.seconds != m_cachedSecond) {
        m_cachedSecond = stamp.seconds;
        m_cachedTime = QDateTime::fromSecsSinceEpoch(qint64(stamp.seconds), Qt::LocalTime).time();
    }
    return m_cachedTime.addMSecs(int(stamp.microseconds / 1000));
}

QByteArray ToshibaHandler::record(quint64 number, const QTime& time, int tag, const char* frame,
                                  int length)
{
    QByteArray out;
    out.reserve(100 + length * 3 + length / 16 * 8);
    out += "[No.";
    out += QByteArray::number(number);
    out += "] ";
    appendTwoDigits(out, time.hour());
    out += ':';
    appendTwoDigits(out, time.minute());
    out += ':';
    appendTwoDigits(out, time.second());
    out += '.';
    appendTwoDigits(out, time.msec() / 10);
    out += tag == 0 ? " D Rx\n" : " D Tx\n";
    out += Ruler;
    out += QByteArray::number(length);
    out += '\n';

    for (int i = 0; i < length; ++i) {
        if (i % 16 == 0) {
            for (int shift = 12; shift >= 0; shift -= 4)
                out += UpperHex[(i >> shift) & 0xF];
            out += " :";
        }
        if (i % 2 == 0)
            out += ' ';
        const auto byte = static_cast<unsigned char>(frame[i]);
        out += LowerHex[byte >> 4];
        out += LowerHex[byte & 0xF];
        if (i % 16 == 15)
            out += '\n';
    }
    // Readers take the dump four digits at a time: a lone final byte gets two blanks after it
    // so that it is not read as 00.
    if (length % 2 != 0)
        out += "  ";
    if (length % 16 != 0)
        out += '\n';
    out += '\n';
    return out;
}
