#include "tracereaders.h"

#include "writers/littleendian.h"

#include <QRegularExpression>

bool readI4bTrace(const QByteArray& bytes, QList<I4bRecord>* records, QString* error)
{
    constexpr qsizetype HeaderSize = 32;
    records->clear();
    qsizetype at = 0;
    while (at < bytes.size()) {
        const QString where =
            QStringLiteral("record %1 at offset %2").arg(records->size() + 1).arg(at);
        if (bytes.size() - at < HeaderSize) {
            *error = where + QStringLiteral(": header cut short");
            return false;
        }
        const char* p = bytes.constData() + at;
        const quint32 length = readLe32(p);
        if (length < HeaderSize || length > quint64(bytes.size() - at)) {
            *error = where + QStringLiteral(": length %1").arg(length);
            return false;
        }
        I4bRecord record;
        record.unit = readLe32(p + 4);
        record.channelType = readLe32(p + 8);
        record.direction = readLe32(p + 12);
        record.truncated = readLe32(p + 16);
        record.frameCount = readLe32(p + 20);
        record.seconds = readLe32(p + 24);
        record.microseconds = readLe32(p + 28);
        record.frame = bytes.mid(at + HeaderSize, length - HeaderSize);
        records->append(record);
        at += length;
    }
    return true;
}

namespace {

const QByteArray SnoopHeader = "T O S H I B A";
const QByteArray Ruler = "OFFSET 0001-0203-xxxx-xxxx-xxxx-xxxx-xxxx-xxxx xxxxxxxxxxxxxxxx LEN=";

bool refuse(QString* error, int line, const QString& problem)
{
    *error = QStringLiteral("line %1: %2").arg(line + 1).arg(problem);
    return false;
}

bool isHex(const QByteArray& digits, bool upper)
{
    for (char c : digits) {
        const bool digit = c >= '0' && c <= '9';
        const bool letter = upper ? (c >= 'A' && c <= 'F') : (c >= 'a' && c <= 'f');
        if (!digit && !letter)
            return false;
    }
    return !digits.isEmpty();
}

// One hex line: "%04X :" then groups of four digits, a blank before each; only the frame's
// last group may hold two digits (an odd length), and blanks may follow it.
bool readDumpLine(const QByteArray& line, qsizetype offset, QByteArray* frame, QString* problem)
{
    if (line.size() < 8 || line.mid(4, 3) != " : " || !isHex(line.left(4), true) ||
        line.left(4).toUInt(nullptr, 16) != offset) {
        *problem = QStringLiteral("offset field, expected %1").arg(offset, 4, 16, QLatin1Char('0'));
        return false;
    }
    const QList<QByteArray> groups = line.mid(7).trimmed().split(' ');
    for (int i = 0; i < groups.size(); ++i) {
        const QByteArray& group = groups[i];
        const bool last = i == groups.size() - 1;
        if (!(group.size() == 4 || (last && group.size() == 2)) || !isHex(group, false)) {
            *problem = QStringLiteral("byte group '%1'").arg(QString::fromLatin1(group));
            return false;
        }
        frame->append(QByteArray::fromHex(group));
    }
    if (frame->size() - offset > 16) {
        *problem = QStringLiteral("more than sixteen bytes");
        return false;
    }
    return true;
}

} // namespace

bool readSnoopTrace(const QByteArray& bytes, QList<SnoopRecord>* records, QString* error)
{
    static const QRegularExpression header(QStringLiteral(
        "^\\[No\\.([1-9][0-9]*)\\] ([0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{2}) D (Rx|Tx)$"));
    records->clear();
    if (!bytes.endsWith('\n'))
        return refuse(error, 0, QStringLiteral("the file does not end with a line feed"));
    const QList<QByteArray> lines = bytes.chopped(1).split('\n');
    if (lines.first() != SnoopHeader)
        return refuse(error, 0, QStringLiteral("file header"));
    int i = 1;
    while (i < lines.size()) {
        const QRegularExpressionMatch match = header.match(QString::fromLatin1(lines[i]));
        if (!match.hasMatch())
            return refuse(error, i,
                          QStringLiteral("record header '%1'").arg(QString::fromLatin1(lines[i])));
        SnoopRecord record;
        record.number = match.captured(1).toUInt();
        record.time = match.captured(2).toLatin1();
        record.receive = match.captured(3) == QLatin1String("Rx");
        if (++i >= lines.size() || !lines[i].startsWith(Ruler))
            return refuse(error, i, QStringLiteral("ruler"));
        bool ok = false;
        const int length = lines[i].mid(Ruler.size()).toInt(&ok);
        if (!ok || length <= 0)
            return refuse(error, i, QStringLiteral("length in the ruler"));
        for (++i; i < lines.size() && !lines[i].isEmpty(); ++i) {
            // Every line but the record's last holds sixteen bytes.
            if (record.frame.size() % 16 != 0)
                return refuse(error, i, QStringLiteral("a line after a short one"));
            QString problem;
            if (!readDumpLine(lines[i], record.frame.size(), &record.frame, &problem))
                return refuse(error, i, problem);
        }
        if (i >= lines.size())
            return refuse(error, i, QStringLiteral("no empty line after the record"));
        if (record.frame.size() != length)
            return refuse(
                error, i,
                QStringLiteral("%1 bytes under LEN=%2").arg(record.frame.size()).arg(length));
        records->append(record);
        ++i;
    }
    return true;
}
