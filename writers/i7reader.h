#ifndef I7READER_H
#define I7READER_H

#include <QByteArray>
#include <QList>
#include <QString>

struct I7Record
{
    int channel = 0;
    quint32 seconds = 0;
    quint32 microseconds = 0;
    QByteArray frame; // without the two closing bytes
};

// Reads an I7 trace as the I7 writer lays it out. No public reader knows the format, so this one
// checks every field and refuses anything else with a message naming the file and the field.
// A file whose header is still all zero (its writer never finished) is refused as such.
class I7Reader
{
public:
    bool load(const QString& path);
    bool parse(const QByteArray& bytes, const QString& name);

    const QList<I7Record>& records() const { return m_records; }
    QString error() const { return m_error; }

private:
    bool fail(const QString& name, const QString& field, const QString& problem);

    QList<I7Record> m_records;
    QString m_error;
};

#endif
