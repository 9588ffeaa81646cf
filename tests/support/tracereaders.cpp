#include "tracereaders.h"

#include "acquisition/tracetypes.h"
#include "testfiles.h"
#include "tsharkreader.h"
#include "writers/i4bhandler.h"
#include "writers/i7handler.h"
#include "writers/lapdheader.h"
#include "writers/littleendian.h"
#include "writers/pcapnghandler.h"
#include "writers/pcapreader.h"

#include <algorithm>
#include <ctime>
#include <QRegularExpression>

namespace {

bool refuse(QString* error, const QString& where, const QString& problem)
{
    *error = where + QStringLiteral(": ") + problem;
    return false;
}

QString recordAt(qsizetype number, qsizetype offset)
{
    return QStringLiteral("record %1 at offset %2").arg(number).arg(offset);
}

QString stampText(quint32 seconds, quint32 microseconds)
{
    return QStringLiteral("%1.%2").arg(seconds).arg(microseconds, 6, 10, QLatin1Char('0'));
}

// The LAPD pseudo-header, which alone tells the channel: sent to us (RX) or by us (Sync), we
// the user side. Takes it off the frame.
bool takeLapdHeader(QByteArray* data, int* channel)
{
    const QByteArray rest = QByteArray::fromHex("20fd000100000000000000000030");
    if (data->size() < LapdHeader::Size || data->mid(2, 14) != rest || data->at(0) != 0 ||
        (data->at(1) != 0 && data->at(1) != 4))
        return false;
    *channel = data->at(1) == 0 ? 0 : 1;
    data->remove(0, LapdHeader::Size);
    return true;
}

// The one global header the PCAP writer gives, then records whose lengths agree.
bool readPcap(const QByteArray& bytes, quint16 linkType, QList<TraceRecord>* records,
              QString* error)
{
    QByteArray header = QByteArray::fromHex("d4c3b2a1020004000000000000000000ffff0000");
    appendLe32(header, linkType);
    if (!bytes.startsWith(header))
        return refuse(error, QStringLiteral("file header"),
                      QString::fromLatin1(bytes.left(24).toHex()));
    PcapReader reader;
    if (!reader.parse(bytes, QStringLiteral("PCAP")))
        return refuse(error, QStringLiteral("reader"), reader.error());
    for (const PcapRecord& r : reader.records()) {
        if (r.originalLength != quint32(r.data.size()))
            return refuse(error, QStringLiteral("record %1").arg(records->size() + 1),
                          QStringLiteral("original length %1").arg(r.originalLength));
        TraceRecord record{-1, stampText(r.seconds, r.fraction), r.data};
        if (LapdHeader::usedBy(linkType) && !takeLapdHeader(&record.frame, &record.channel))
            return refuse(error, QStringLiteral("record %1").arg(records->size() + 1),
                          QStringLiteral("LAPD header ") + QString::fromLatin1(r.data.toHex()));
        records->append(record);
    }
    return true;
}

QByteArray pcapngOption(quint16 code, const QByteArray& value)
{
    QByteArray option;
    appendLe16(option, code);
    appendLe16(option, quint16(value.size()));
    return option + value + QByteArray((4 - value.size() % 4) % 4, '\0');
}

QByteArray pcapngBlock(quint32 type, const QByteArray& body)
{
    QByteArray block;
    appendLe32(block, type);
    appendLe32(block, quint32(body.size() + 12));
    block += body;
    appendLe32(block, quint32(body.size() + 12));
    return block;
}

// The section header (tester, system, program) and an interface per channel named after a
// timeslot, then enhanced packet blocks on them, each marked with its channel's direction.
bool readPcapng(const QByteArray& bytes, quint16 linkType, QList<TraceRecord>* records,
                QString* error)
{
    // The program is whichever wrote the file, with the project's version.
    QByteArray section = QByteArray::fromHex("4d3c2b1a01000000ffffffffffffffff") +
                         pcapngOption(2, "Vezive-V1") +
                         pcapngOption(3, PcapngHandler::operatingSystem().toUtf8());
    const qsizetype program = 8 + section.size();
    const QByteArray application =
        bytes.size() >= program + 4
            ? bytes.mid(program + 4, readLe16(bytes.constData() + program + 2))
            : QByteArray();
    static const QRegularExpression programName(QStringLiteral("^[a-z_-]+ " VEZIVE_VERSION "$"));
    if (!programName.match(QString::fromUtf8(application)).hasMatch())
        return refuse(error, QStringLiteral("section header"),
                      QStringLiteral("program ") + QString::fromUtf8(application));
    section += pcapngOption(4, application) + pcapngOption(0, {});
    QByteArray header = pcapngBlock(0x0A0D0D0A, section);
    qsizetype at = header.size();
    static const QRegularExpression name(QStringLiteral("^(rx|sync)-ts([0-9]|[12][0-9]|3[01])$"));
    for (int channel = 0; channel < 2; ++channel) {
        const qsizetype nameLength =
            at + 22 <= bytes.size() ? readLe16(bytes.constData() + at + 18) : 0;
        const QString ifName = QString::fromUtf8(bytes.mid(at + 20, nameLength));
        const QRegularExpressionMatch match = name.match(ifName);
        const int timeslot = match.captured(2).toInt();
        QByteArray body;
        appendLe16(body, linkType);
        body += QByteArray::fromHex("0000ffff0000");
        body += pcapngOption(2, ifName.toUtf8()) +
                pcapngOption(3, QStringLiteral("Vezive-V1 %1, timeslot %2")
                                    .arg(QLatin1String(channel == 0 ? "RX" : "Sync"))
                                    .arg(timeslot)
                                    .toUtf8()) +
                pcapngOption(9, QByteArray(1, 6)) + pcapngOption(0, {});
        const QByteArray block = pcapngBlock(1, body);
        if (!match.hasMatch() || (match.captured(1) == QLatin1String("rx")) != (channel == 0) ||
            bytes.mid(at, block.size()) != block)
            return refuse(error, QStringLiteral("interface block %1").arg(channel),
                          QString::fromLatin1(bytes.mid(at, 48).toHex()));
        header += block;
        at += block.size();
    }
    if (!bytes.startsWith(header))
        return refuse(error, QStringLiteral("section header"),
                      QString::fromLatin1(bytes.left(48).toHex()));
    // Each packet block as the fields read from it would make it: any other byte refuses it.
    while (at < bytes.size()) {
        const char* p = bytes.constData() + at;
        const bool whole = bytes.size() - at >= 28;
        const quint32 channel = whole ? readLe32(p + 8) : 2;
        const quint32 length = whole ? readLe32(p + 20) : 0;
        const quint64 stamp = whole ? (quint64(readLe32(p + 12)) << 32) | readLe32(p + 16) : 0;
        QByteArray body;
        appendLe32(body, channel);
        body += bytes.mid(at + 12, 8);
        appendLe32(body, length);
        appendLe32(body, length);
        body += bytes.mid(at + 28, length) + QByteArray((4 - length % 4) % 4, '\0');
        QByteArray flags;
        appendLe32(flags, channel == 0 ? 1 : 2);
        body += pcapngOption(2, flags) + pcapngOption(0, {});
        const QByteArray block = pcapngBlock(6, body);
        if (channel > 1 || bytes.mid(at, block.size()) != block)
            return refuse(error, recordAt(records->size() + 1, at),
                          QString::fromLatin1(bytes.mid(at, 28).toHex()));
        TraceRecord record{int(channel),
                           stampText(quint32(stamp / 1000000), quint32(stamp % 1000000)),
                           bytes.mid(at + 28, length)};
        int lapdChannel = -1;
        if (LapdHeader::usedBy(linkType) &&
            (!takeLapdHeader(&record.frame, &lapdChannel) || lapdChannel != record.channel))
            return refuse(error, recordAt(records->size() + 1, at), QStringLiteral("LAPD header"));
        records->append(record);
        at += block.size();
    }
    return true;
}

// Records of a 32-byte header of little-endian words (the record's whole length, unit 0, the D
// channel, the direction, 0 for not truncated, frame count 0, seconds, microseconds), then the
// frame.
bool readI4b(const QByteArray& bytes, QList<TraceRecord>* records, QString* error)
{
    constexpr qsizetype HeaderSize = I4bHandler::RecordHeaderSize;
    for (qsizetype at = 0; at < bytes.size();) {
        const char* p = bytes.constData() + at;
        if (bytes.size() - at < HeaderSize)
            return refuse(error, recordAt(records->size() + 1, at), QStringLiteral("cut short"));
        const quint32 length = readLe32(p);
        const quint32 direction = readLe32(p + 12);
        if (length < HeaderSize || length > quint64(bytes.size() - at) || readLe32(p + 4) != 0 ||
            readLe32(p + 8) != I4bHandler::DChannel ||
            (direction != I4bHandler::NetworkToUser && direction != I4bHandler::UserToNetwork) ||
            readLe32(p + 16) != 0 || readLe32(p + 20) != 0)
            return refuse(error, recordAt(records->size() + 1, at),
                          QString::fromLatin1(bytes.mid(at, 24).toHex()));
        records->append({direction == I4bHandler::NetworkToUser ? 0 : 1,
                         stampText(readLe32(p + 24), readLe32(p + 28)),
                         bytes.mid(at + HeaderSize, length - HeaderSize)});
        at += length;
    }
    return true;
}

// A 260-byte header (magic, zeros, the file's length, a constant, flags 0 1, zeros), then per
// frame a 12-byte header of little-endian fields (data length, channel, zero, seconds,
// microseconds), the frame and two zero bytes.
bool readI7(const QByteArray& bytes, QList<TraceRecord>* records, QString* error)
{
    const qsizetype size = bytes.size();
    QByteArray header = QByteArray("d7cb") + QByteArray(8, '\0');
    appendLe32(header, quint32(size));
    appendLe32(header, I7Handler::HeaderConstant);
    header += QByteArray("\0\1", 2) + QByteArray(I7Handler::FileHeaderSize - 22, '\0');
    if (!bytes.startsWith(header)) {
        const bool zero =
            size >= header.size() && bytes.first(header.size()).count('\0') == header.size();
        return refuse(error, QStringLiteral("file header"),
                      zero ? QStringLiteral("all zero: the writer never completed it")
                           : QString::fromLatin1(bytes.left(24).toHex()));
    }
    for (qsizetype offset = header.size(); offset < size;) {
        const char* at = bytes.constData() + offset;
        const qsizetype left = size - offset - I7Handler::RecordHeaderSize;
        const int dataLength = left < 0 ? 0 : readLe16(at);
        const char* frame = at + I7Handler::RecordHeaderSize;
        const int frameLength = dataLength - I7Handler::ClosingBytes;
        if (frameLength < 0 || dataLength > left || quint8(at[2]) > 1 || at[3] != 0 ||
            readLe32(at + 8) >= 1000000 || frame[frameLength] != 0 || frame[frameLength + 1] != 0)
            return refuse(error, recordAt(records->size() + 1, offset),
                          QString::fromLatin1(bytes.mid(offset, 12).toHex()));
        records->append(
            {at[2], stampText(readLe32(at + 4), readLe32(at + 8)), QByteArray(frame, frameLength)});
        offset += I7Handler::RecordHeaderSize + dataLength;
    }
    return true;
}

// One hex line: "%04X :", then a blank and four digits for every two bytes; a lone last byte
// has two digits and two blanks after them.
bool readDumpLine(const QByteArray& line, qsizetype offset, QByteArray* frame, QString* problem)
{
    const QByteArray head = QByteArray::number(offset, 16).toUpper().rightJustified(4, '0') + " :";
    if (!line.startsWith(head)) {
        *problem = QStringLiteral("offset field, expected %1").arg(QString::fromLatin1(head));
        return false;
    }
    for (qsizetype at = head.size(); at < line.size(); at += 5) {
        const bool lone = line.size() - at == 5 && line.endsWith("  ");
        const QByteArray group = line.mid(at + 1, lone ? 2 : 4);
        const bool hex = std::all_of(group.begin(), group.end(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
        });
        if (line[at] != ' ' || group.size() != (lone ? 2 : 4) || !hex) {
            *problem = QStringLiteral("byte group at column %1").arg(at + 1);
            return false;
        }
        frame->append(QByteArray::fromHex(group));
    }
    if (frame->size() == offset || frame->size() - offset > 16) {
        *problem = QStringLiteral("%1 bytes on a line").arg(frame->size() - offset);
        return false;
    }
    return true;
}

// "T O S H I B A", then per frame a header line numbered from 1, the ruler with the length,
// hex lines of sixteen bytes under their offsets (the last may hold fewer), and an empty line.
bool readSnoop(const QByteArray& bytes, QList<TraceRecord>* records, QString* error)
{
    static const QRegularExpression header(QStringLiteral(
        "^\\[No\\.([1-9][0-9]*)\\] ([0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{2}) D (Rx|Tx)$"));
    const QByteArray Ruler = "OFFSET 0001-0203-xxxx-xxxx-xxxx-xxxx-xxxx-xxxx xxxxxxxxxxxxxxxx LEN=";
    const auto line = [](int i) { return QStringLiteral("line %1").arg(i + 1); };
    if (!bytes.endsWith('\n'))
        return refuse(error, line(0), QStringLiteral("the file does not end with a line feed"));
    const QList<QByteArray> lines = bytes.chopped(1).split('\n');
    if (lines.first() != "T O S H I B A")
        return refuse(error, line(0), QStringLiteral("file header"));
    for (int i = 1; i < lines.size(); ++i) {
        const QRegularExpressionMatch match = header.match(QString::fromLatin1(lines[i]));
        if (!match.hasMatch() || match.captured(1) != QString::number(records->size() + 1))
            return refuse(error, line(i), QString::fromLatin1(lines[i]));
        TraceRecord record{match.captured(3) == QLatin1String("Rx") ? 0 : 1, match.captured(2),
                           QByteArray()};
        if (++i >= lines.size())
            return refuse(error, line(i), QStringLiteral("no ruler"));
        const QByteArray ruler = lines[i];
        for (++i; i < lines.size() && !lines[i].isEmpty(); ++i) {
            // Every line but the record's last holds sixteen bytes.
            if (record.frame.size() % 16 != 0)
                return refuse(error, line(i), QStringLiteral("a line after a short one"));
            QString problem;
            if (!readDumpLine(lines[i], record.frame.size(), &record.frame, &problem))
                return refuse(error, line(i), problem);
        }
        if (i >= lines.size())
            return refuse(error, line(i), QStringLiteral("no empty line after the record"));
        if (record.frame.isEmpty() || ruler != Ruler + QByteArray::number(record.frame.size()))
            return refuse(error, line(i),
                          QStringLiteral("%1 bytes under the ruler '%2'")
                              .arg(record.frame.size())
                              .arg(QString::fromLatin1(ruler)));
        records->append(record);
    }
    return true;
}

QString timeOfDay(const ChannelClock& stamp)
{
    const time_t seconds = time_t(stamp.seconds);
    tm local{};
    localtime_r(&seconds, &local);
    return QString::asprintf("%02d:%02d:%02d.%02d", local.tm_hour, local.tm_min, local.tm_sec,
                             int(stamp.microseconds / 10000));
}

QString describe(const TraceRecord& record)
{
    return QStringLiteral("channel %1 at %2, %3 bytes %4")
        .arg(record.channel)
        .arg(record.stamp)
        .arg(record.frame.size())
        .arg(QString::fromLatin1(record.frame.left(16).toHex()));
}

} // namespace

bool readTrace(int traceType, const QByteArray& bytes, QList<TraceRecord>* records, QString* error,
               quint16 linkType)
{
    records->clear();
    switch (traceType) {
    case TraceTypes::Pcap:
        return readPcap(bytes, linkType, records, error);
    case TraceTypes::Toshiba:
        return readSnoop(bytes, records, error);
    case TraceTypes::I4b:
        return readI4b(bytes, records, error);
    case TraceTypes::I7:
        return readI7(bytes, records, error);
    case TraceTypes::Pcapng:
        return readPcapng(bytes, linkType, records, error);
    }
    return refuse(error, QStringLiteral("trace type %1").arg(traceType),
                  QStringLiteral("has no records"));
}

QString traceMismatch(int traceType, const QByteArray& bytes, const QList<QByteArray>& packets,
                      const QList<ChannelClock>& stamps, quint16 linkType)
{
    QList<TraceRecord> records;
    QString error;
    if (!readTrace(traceType, bytes, &records, &error, linkType))
        return error;
    if (records.size() != packets.size())
        return QStringLiteral("%1 records, %2 packets").arg(records.size()).arg(packets.size());
    for (qsizetype i = 0; i < packets.size(); ++i) {
        const int tag = packets[i].at(0);
        const ChannelClock& stamp = stamps[i];
        const bool untold = traceType == TraceTypes::Pcap && !LapdHeader::usedBy(linkType);
        const TraceRecord wanted{untold                        ? -1
                                 : traceType == TraceTypes::I7 ? tag
                                                               : int(tag != 0),
                                 traceType == TraceTypes::Toshiba
                                     ? timeOfDay(stamp)
                                     : stampText(stamp.seconds, stamp.microseconds),
                                 packets[i].mid(1)};
        const TraceRecord& got = records[i];
        if (got.channel != wanted.channel || got.stamp != wanted.stamp || got.frame != wanted.frame)
            return QStringLiteral("record %1: %2, expected %3")
                .arg(i + 1)
                .arg(describe(got), describe(wanted));
    }
    return QString();
}

ChannelFrames readTraceFrames(const QString& trace, const QString& path, QString* error)
{
    ChannelFrames frames;
    if (trace == QLatin1String("i7")) {
        QList<TraceRecord> records;
        readTrace(TraceTypes::I7, fileContents(path), &records, error);
        for (const TraceRecord& record : records)
            (record.channel == 0 ? frames.rx : frames.sync).append(record.frame);
        return frames;
    }
    const TsharkRead read = readWithTshark(path);
    if (!read.ok)
        *error = read.error;
    for (const TsharkFrame& frame : read.frames)
        (frame.direction == 1 ? frames.rx : frames.sync).append(frame.bytes);
    return frames;
}
