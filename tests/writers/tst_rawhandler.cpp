#include "capture/messagehandler.h"
#include "capture/splithandler.h"
#include "capture/stathandler.h"
#include "capture/streamencoder.h"
#include "device/outputfile.h"
#include "support/filesizelimit.h"
#include "support/packetsink.h"
#include "support/testchains.h"
#include "support/testfiles.h"
#include "writers/rawhandler.h"

#include <cerrno>
#include <memory>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

class TestRawHandler : public QObject
{
    Q_OBJECT

private slots:
    void splitChannels_data();
    void splitChannels();
    void onlyGivenLength_data();
    void onlyGivenLength();
    void fullDisk_data();
    void fullDisk();
};

void TestRawHandler::splitChannels_data()
{
    QTest::addColumn<int>("octets");
    QTest::addColumn<QList<int>>("cuts");

    QTest::newRow("one pair") << 1 << QList<int>{2};
    QTest::newRow("single bytes") << 300 << QList<int>{1};
    QTest::newRow("units of four") << 1000 << QList<int>{4};
    QTest::newRow("uneven blocks") << 1000 << QList<int>{3, 1, 7, 0, 251};
    QTest::newRow("one block") << 5000 << QList<int>{10000};
}

// Capture data of 2n bytes split into the two channels, each written to its own file.
void TestRawHandler::splitChannels()
{
    QFETCH(int, octets);
    QFETCH(QList<int>, cuts);

    QRandomGenerator random{quint32(octets)};
    const QByteArray rxOctets = randomBytes(random, octets);
    const QByteArray syncOctets = randomBytes(random, octets);
    const QByteArray capture = StreamFormat::interleave(rxOctets, syncOctets);
    QCOMPARE(capture.size(), 2 * octets);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    OutputFile rxFile(dir.filePath(QStringLiteral("rx.raw")));
    OutputFile syncFile(dir.filePath(QStringLiteral("sync.raw")));
    QVERIFY(rxFile.open());
    QVERIFY(syncFile.open());

    MessageHandler messages;
    StatHandler stats;
    SplitHandler split;
    PacketSink rxSink;
    PacketSink syncSink;
    auto rxRaw = std::make_unique<RawHandler>(&rxFile, QStringLiteral("Rx"));
    auto syncRaw = std::make_unique<RawHandler>(&syncFile, QStringLiteral("Sync"));
    split.setNext(rxRaw.get());
    split.setSecondNext(syncRaw.get());
    rxRaw->setNext(&rxSink);
    syncRaw->setNext(&syncSink);
    for (RawHandler* raw : {rxRaw.get(), syncRaw.get()}) {
        raw->setMessageHandler(&messages);
        raw->setStatHandler(&stats);
    }

    feedInBlocks(&split, capture, cuts);

    // Read while the files are still open: every block must have been flushed.
    QCOMPARE(fileContents(rxFile.fileName()), rxOctets);
    QCOMPARE(fileContents(syncFile.fileName()), syncOctets);
    QCOMPARE(rxSink.joined(), rxOctets);
    QCOMPARE(syncSink.joined(), syncOctets);
    QCOMPARE(qint64(stats.value(StatHandler::Bytes)),
             QFileInfo(rxFile.fileName()).size() + QFileInfo(syncFile.fileName()).size());

    rxRaw.reset();
    syncRaw.reset();
    QCOMPARE(drainMessages(messages),
             QStringList({QStringLiteral("Rx: %1 bytes written").arg(octets),
                          QStringLiteral("Sync: %1 bytes written").arg(octets)}));
}

void TestRawHandler::onlyGivenLength_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<int>("len");

    QTest::newRow("zero length") << QByteArray("abc") << 0;
    QTest::newRow("zero length, empty") << QByteArray() << 0;
    QTest::newRow("first bytes of a longer array") << QByteArray("0123456789") << 4;
}

// A block whose array holds more than len bytes, or a call with nothing in it, after some data.
void TestRawHandler::onlyGivenLength()
{
    QFETCH(QByteArray, block);
    QFETCH(int, len);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    OutputFile file(dir.filePath(QStringLiteral("raw")));
    QVERIFY(file.open());
    MessageHandler messages;
    StatHandler stats;
    PacketSink sink;
    {
        RawHandler raw(&file, QStringLiteral("Rx"));
        raw.setNext(&sink);
        raw.setMessageHandler(&messages);
        raw.setStatHandler(&stats);
        QByteArray first("head");
        raw.process(first, 4);
        raw.process(block, len);
    }
    const QByteArray expected = QByteArray("head") + block.left(len);
    QCOMPARE(fileContents(file.fileName()), expected);
    QCOMPARE(sink.joined(), expected);
    QCOMPARE(stats.value(StatHandler::Bytes), quint64(expected.size()));
    QCOMPARE(drainMessages(messages),
             QStringList{QStringLiteral("Rx: %1 bytes written").arg(expected.size())});
}

void TestRawHandler::fullDisk_data()
{
    QTest::addColumn<QString>("name");
    // Largest file size the system allows, or -1 for no limit.
    QTest::addColumn<qint64>("sizeLimit");
    QTest::addColumn<int>("blockSize");
    QTest::addColumn<int>("writeError");
    QTest::addColumn<int>("bytesWritten");

    const QString full = QStringLiteral("/dev/full");
    const QString file = QStringLiteral("<tmp>/raw");
    QTest::newRow("full disk") << full << qint64(-1) << 100 << ENOSPC << 0;
    QTest::newRow("fills within a block") << file << qint64(150) << 100 << EFBIG << 100;
    QTest::newRow("fills at a block boundary") << file << qint64(200) << 100 << EFBIG << 200;
    QTest::newRow("fills within a large block") << file << qint64(60000) << 40000 << EFBIG << 40000;
}

void TestRawHandler::fullDisk()
{
    QFETCH(QString, name);
    QFETCH(qint64, sizeLimit);
    QFETCH(int, blockSize);
    QFETCH(int, writeError);
    QFETCH(int, bytesWritten);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    name.replace(QLatin1String("<tmp>"), dir.path());
    if (name == QLatin1String("/dev/full") && !QFileInfo::exists(name))
        QSKIP("this system has no /dev/full");
    OutputFile file(name);
    QVERIFY(file.open());

    QList<QByteArray> blocks;
    for (int i = 0; i < 3; ++i)
        blocks.append(QByteArray(blockSize, char('a' + i)));
    MessageHandler messages;
    StatHandler stats;
    PacketSink sink;
    {
        const FileSizeLimit limit(sizeLimit);
        RawHandler raw(&file, QStringLiteral("Rx"));
        raw.setNext(&sink);
        raw.setMessageHandler(&messages);
        raw.setStatHandler(&stats);
        for (QByteArray block : blocks)
            raw.process(block, int(block.size()));
    }

    // Only blocks that reached the file go on and count.
    QCOMPARE(sink.joined(), blocks.mid(0, bytesWritten / blockSize).join());
    QCOMPARE(stats.value(StatHandler::Bytes), quint64(bytesWritten));
    QCOMPARE(drainMessages(messages),
             QStringList({QStringLiteral("E:Cannot write file ") + name + QLatin1Char(':') +
                              qt_error_string(writeError),
                          QStringLiteral("Rx: %1 bytes written").arg(bytesWritten)}));
}

QTEST_GUILESS_MAIN(TestRawHandler)
#include "tst_rawhandler.moc"
