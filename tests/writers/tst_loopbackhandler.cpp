#include "capture/messagehandler.h"
#include "device/networkadapters.h"
#include "support/testchains.h"
#include "support/testfiles.h"
#include "support/testnamespace.h"
#include "writers/loopbackhandler.h"
#include "writers/stathandler.h"

#include <memory>
#include <pcap/pcap.h>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <thread>

namespace {

using Adapters = QList<NetworkAdapter>;

NetworkAdapter adapter(const char* name, const char* hexAddress)
{
    return {QByteArray(name), QByteArray::fromHex(hexAddress)};
}

// Carries the loopback address, but no such interface exists: the open itself fails.
const char* const AbsentAdapter = "kzabsent0";
const QString Found = QStringLiteral("Loopback adapter found!");
const QString NotFound = QStringLiteral("E:Loopback adapter not found!");
const QString NotWritten = QStringLiteral("E:Unable to update registry!");
const QString SendFailed = QStringLiteral("E:Error while sending packet!");

// Ethernet frames of an experimental ethertype that nothing in the kernel answers; shorter
// ones are cut from the same bytes. Every frame differs from every other one.
const QByteArray Ethertype = QByteArray::fromHex("88b5");

QByteArray frame(int length, int seed)
{
    QByteArray bytes = QByteArray::fromHex("ffffffffffff02004c4f4f50") + Ethertype;
    bytes[5] = char(seed);
    while (bytes.size() < length)
        bytes.append(char(seed * 31 + int(bytes.size()) * 7 + 1));
    return bytes.left(length);
}

// The packet as a deframer delivers it: the channel tag, then the frame.
QByteArray tagged(int tag, const QByteArray& frame)
{
    return QByteArray(1, char(tag)) + frame;
}

// Feeds the frames of the given lengths, channels alternating.
void feed(ChainHandler& element, const QList<int>& lengths)
{
    for (int i = 0; i < lengths.size(); ++i) {
        QByteArray data = tagged(i % 2, frame(lengths[i], i));
        element.process(data, int(data.size()));
    }
}

// Points the user-scope settings, for this process, at a directory of the test's own.
void useSettingsDirectory(const QString& path)
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, path);
}

QString storeFile(const QString& directory)
{
    return directory + QLatin1Char('/') + QLatin1String(LoopbackHandler::SettingsOrganisation) +
           QLatin1Char('/') + QLatin1String(LoopbackHandler::SettingsApplication) +
           QStringLiteral(".conf");
}

// The store as a driver finds it after a run with the adapter and link type.
QByteArray storeText(const QByteArray& adapter, int linkType)
{
    return "[WinPcap]\nAdapterName=\\\\Device\\\\NPF_" + adapter +
           "\nLinkType=" + QByteArray::number(linkType) + '\n';
}

// A capture handle of the test's own; every failure is kept as text.
class Capture
{
public:
    ~Capture()
    {
        if (m_handle)
            pcap_close(m_handle);
    }

    bool open(const char* device, const char* filter)
    {
        char errorText[PCAP_ERRBUF_SIZE] = {};
        m_handle = pcap_create(device, errorText);
        if (!m_handle)
            return fail(errorText);
        // Immediate mode hands every frame over as it comes instead of by the block.
        if (pcap_set_snaplen(m_handle, 65535) != 0 || pcap_set_promisc(m_handle, 1) != 0 ||
            pcap_set_immediate_mode(m_handle, 1) != 0 || pcap_set_timeout(m_handle, 100) != 0 ||
            pcap_activate(m_handle) < 0)
            return fail(pcap_geterr(m_handle));
        if (!filter)
            return true;
        bpf_program program{};
        if (pcap_compile(m_handle, &program, filter, 1, PCAP_NETMASK_UNKNOWN) != 0)
            return fail(pcap_geterr(m_handle));
        const bool set = pcap_setfilter(m_handle, &program) == 0;
        pcap_freecode(&program);
        return set || fail(pcap_geterr(m_handle));
    }

    bool send(const QByteArray& bytes)
    {
        return pcap_sendpacket(m_handle, reinterpret_cast<const u_char*>(bytes.constData()),
                               int(bytes.size())) == 0 ||
               fail(pcap_geterr(m_handle));
    }

    // The frames that come in until one equals last (which is not kept); false when the
    // deadline passes first.
    bool receiveUntil(const QByteArray& last, QList<QByteArray>& frames)
    {
        const QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired()) {
            pcap_pkthdr* header = nullptr;
            const u_char* bytes = nullptr;
            const int got = pcap_next_ex(m_handle, &header, &bytes);
            if (got < 0)
                return fail(pcap_geterr(m_handle));
            if (got == 0)
                continue;
            const QByteArray received(reinterpret_cast<const char*>(bytes), int(header->caplen));
            if (received == last)
                return true;
            frames.append(received);
        }
        return fail("the last frame never arrived");
    }

    QString error;

private:
    bool fail(const char* text)
    {
        error = QString::fromLocal8Bit(text);
        return false;
    }

    pcap_t* m_handle = nullptr;
};

// What the part of a live run inside the namespace found.
struct LiveRun
{
    QString failure;
    Adapters adapters;
    QList<QByteArray> received;
};

void runInNamespace(const QString& name, unsigned short linkType, unsigned short minLength,
                    const QList<int>& lengths, MessageHandler* messages, StatHandler* stats,
                    LiveRun& result)
{
    // Only this thread enters the namespace; the handles it opens stay bound to it.
    if (!enterNetworkNamespace(name, &result.failure))
        return;
    bool listed = false;
    result.adapters = networkAdapters(&listed);
    if (!listed) {
        result.failure = QStringLiteral("the adapter list cannot be read");
        return;
    }
    // Frames shorter than a header are let through too: none must arrive.
    Capture peer;
    Capture marker;
    if (!peer.open("kzpeer", "len < 14 or ether proto 0x88b5") || !marker.open("kzloop", nullptr)) {
        result.failure = peer.error + marker.error;
        return;
    }
    {
        LoopbackHandler element(linkType, minLength);
        element.setMessageHandler(messages);
        element.setStatHandler(stats);
        feed(element, lengths);
    }
    // Sent behind the element's frames: whatever the element sent has arrived before it.
    const QByteArray last = frame(64, 0x5A);
    if (!marker.send(last) || !peer.receiveUntil(last, result.received))
        result.failure = marker.error + peer.error;
}

} // namespace

class TestLoopbackHandler : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void adapterSearch_data();
    void adapterSearch();
    void openSequence_data();
    void openSequence();
    void liveInjection_data();
    void liveInjection();

private:
    QTemporaryDir m_settingsRoot;
    int m_settingsCount = 0;
    std::unique_ptr<TestNamespace> m_namespace;

    // A fresh, empty settings directory for one case; the store's file lies beneath it.
    QString freshSettings()
    {
        const QString path = m_settingsRoot.filePath(QString::number(++m_settingsCount));
        useSettingsDirectory(path);
        return path;
    }
};

void TestLoopbackHandler::initTestCase()
{
    // Nothing here may reach the user's own configuration.
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_settingsRoot.isValid());
    freshSettings();
}

void TestLoopbackHandler::cleanupTestCase()
{
    m_namespace.reset();
}

void TestLoopbackHandler::adapterSearch_data()
{
    QTest::addColumn<Adapters>("adapters");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("empty list") << Adapters{} << QByteArray();
    QTest::newRow("address of 6 bytes")
        << Adapters{adapter("kzloop", "02004c4f4f50")} << QByteArray("kzloop");
    QTest::newRow("address of 8 bytes")
        << Adapters{adapter("{4F1C}", "02004c4f4f50a1b2")} << QByteArray("{4F1C}");
    QTest::newRow("address of 5 bytes") << Adapters{adapter("short", "02004c4f4f")} << QByteArray();
    QTest::newRow("first byte differs")
        << Adapters{adapter("eth0", "03004c4f4f50")} << QByteArray();
    QTest::newRow("last byte differs") << Adapters{adapter("eth0", "02004c4f4f51")} << QByteArray();
    QTest::newRow("lower-case letters")
        << Adapters{adapter("eth0", "02006c6f6f70")} << QByteArray();
    QTest::newRow("address not at the start")
        << Adapters{adapter("ib0", "0002004c4f4f50")} << QByteArray();
    QTest::newRow("no address") << Adapters{adapter("tun0", "")} << QByteArray();
    QTest::newRow("after others") << Adapters{adapter("lo", "000000000000"),
                                              adapter("eth0", "52540012fe01"),
                                              adapter("short", "02004c4f4f"),
                                              adapter("kzloop", "02004c4f4f50")}
                                  << QByteArray("kzloop");
    QTest::newRow("first of two matches")
        << Adapters{adapter("first", "02004c4f4f50"), adapter("second", "02004c4f4f50")}
        << QByteArray("first");
}

void TestLoopbackHandler::adapterSearch()
{
    QFETCH(Adapters, adapters);
    QFETCH(QByteArray, expected);

    QCOMPARE(LoopbackHandler::findAdapter(adapters), expected);
}

void TestLoopbackHandler::openSequence_data()
{
    QTest::addColumn<Adapters>("adapters");
    QTest::addColumn<bool>("listReadable");
    // 0: a fresh directory; 1: its parent is a file; 2: a directory stands where the file goes.
    QTest::addColumn<int>("store");
    QTest::addColumn<QByteArray>("storeBefore");
    QTest::addColumn<int>("linkType");
    // Packet lengths handed to the element, tag byte included; 0 is an empty call.
    QTest::addColumn<QList<int>>("calls");
    QTest::addColumn<int>("searches");
    QTest::addColumn<QStringList>("messages");
    // The store's file afterwards; empty where none may exist.
    QTest::addColumn<QByteArray>("storeAfter");

    const Adapters usable{adapter("lo", "000000000000"), adapter(AbsentAdapter, "02004c4f4f50")};
    // The first packet is shorter than the minimum of 100, and still opens the adapter.
    const QList<int> three{2, 200, 300};
    const QStringList openFailed{Found, QStringLiteral("E:<open>")};

    QTest::newRow("no frame") << usable << true << 0 << QByteArray() << 140 << QList<int>{} << 0
                              << QStringList() << QByteArray();
    QTest::newRow("empty calls only") << usable << true << 0 << QByteArray() << 140
                                      << QList<int>{0, 0} << 0 << QStringList() << QByteArray();
    QTest::newRow("empty list") << Adapters{} << true << 0 << QByteArray() << 140 << three << 1
                                << QStringList{NotFound} << QByteArray();
    QTest::newRow("list cannot be read") << usable << false << 0 << QByteArray() << 140 << three
                                         << 1 << QStringList{NotFound} << QByteArray();
    QTest::newRow("no matching address")
        << Adapters{adapter("lo", "000000000000"), adapter("kzshort", "02004c4f4f")} << true << 0
        << QByteArray() << 140 << three << 1 << QStringList{NotFound} << QByteArray();
    QTest::newRow("store beneath a file") << usable << true << 1 << QByteArray() << 140 << three
                                          << 1 << QStringList{Found, NotWritten} << QByteArray();
    QTest::newRow("directory in the store's place")
        << usable << true << 2 << QByteArray() << 140 << three << 1
        << QStringList{Found, NotWritten} << QByteArray();
    QTest::newRow("SS7/MTP2 entries written, open fails")
        << usable << true << 0 << QByteArray() << 140 << three << 1 << openFailed
        << storeText(AbsentAdapter, 140);
    QTest::newRow("ISDN entries written, open fails")
        << usable << true << 0 << QByteArray() << 147 << three << 1 << openFailed
        << storeText(AbsentAdapter, 147);
    QTest::newRow("NULL entries written, first call empty")
        << usable << true << 0 << QByteArray() << 0 << QList<int>{0, 1, 2} << 1 << openFailed
        << storeText(AbsentAdapter, 0);
    QTest::newRow("earlier entries replaced, others kept")
        << usable << true << 0
        << QByteArray("[Other]\nKey=1\n\n[WinPcap]\nAdapterName=old\nLinkType=9\nMore=2\n") << 147
        << three << 1 << openFailed
        << QByteArray("[Other]\nKey=1\n\n[WinPcap]\nAdapterName=\\\\Device\\\\NPF_" +
                      QByteArray(AbsentAdapter) + "\nLinkType=147\nMore=2\n");
}

// Everything up to the opening of the adapter, over made-up adapter lists: each failure is
// reported once and stops the element for good, and nothing happens before a frame comes.
void TestLoopbackHandler::openSequence()
{
    QFETCH(Adapters, adapters);
    QFETCH(bool, listReadable);
    QFETCH(int, store);
    QFETCH(QByteArray, storeBefore);
    QFETCH(int, linkType);
    QFETCH(QList<int>, calls);
    QFETCH(int, searches);
    QFETCH(QStringList, messages);
    QFETCH(QByteArray, storeAfter);

    QString directory = freshSettings();
    if (store == 1) {
        directory = QStringLiteral("/dev/null/config");
        useSettingsDirectory(directory);
    }
    const QString file = storeFile(directory);
    if (store == 2)
        QVERIFY(QDir().mkpath(file));
    if (!storeBefore.isEmpty()) {
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        QVERIFY(writeFile(file, storeBefore));
    }
    // The library's own words for the adapter that is not there.
    char errorText[PCAP_ERRBUF_SIZE] = {};
    pcap_t* probe = pcap_open_live(AbsentAdapter, 300, 1, 1000, errorText);
    QVERIFY(!probe);
    messages.replaceInStrings(QStringLiteral("<open>"), QString::fromLocal8Bit(errorText));

    MessageHandler messageHandler;
    StatHandler stats;
    int searched = 0;
    LoopbackHandler element(quint16(linkType), 100, [&](Adapters& list) {
        ++searched;
        list = adapters;
        return listReadable;
    });
    element.setMessageHandler(&messageHandler);
    element.setStatHandler(&stats);
    for (int i = 0; i < calls.size(); ++i) {
        QByteArray data = calls[i] > 0 ? tagged(i % 2, frame(calls[i] - 1, i)) : QByteArray();
        element.process(data, calls[i]);
    }

    QCOMPARE(searched, searches);
    QCOMPARE(drainMessages(messageHandler), messages);
    for (int index = StatHandler::Packets; index <= StatHandler::TooLarge; ++index)
        QCOMPARE(stats.value(index), 0u);
    if (store == 0) {
        QCOMPARE(QFileInfo::exists(file), !storeAfter.isEmpty());
        QCOMPARE(fileContents(file), storeAfter);
    }
}

void TestLoopbackHandler::liveInjection_data()
{
    QTest::addColumn<int>("linkType");
    QTest::addColumn<int>("minLength");
    // Frame lengths, channel tag not counted; the channels alternate.
    QTest::addColumn<QList<int>>("lengths");
    // Indices of the frames that must arrive.
    QTest::addColumn<QList<int>>("sent");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("minimum 0: a 13-byte frame fails and ends sending")
        << 147 << 0 << QList<int>{14, 15, 60, 300, 1500, 13, 20} << QList<int>{0, 1, 2, 3, 4}
        << QStringList{Found, SendFailed};
    QTest::newRow("minimum 14 keeps 13-byte frames back")
        << 140 << 14 << QList<int>{13, 14, 15, 13, 60, 300, 1500, 20}
        << QList<int>{1, 2, 4, 5, 6, 7} << QStringList{Found};
    QTest::newRow("first frame fails")
        << 0 << 0 << QList<int>{13, 14, 60} << QList<int>{} << QStringList{Found, SendFailed};
    QTest::newRow("minimum above every frame")
        << 140 << 1501 << QList<int>{14, 1500} << QList<int>{} << QStringList{Found};
}

// The element inside a namespace of the test's own, sending out of a real veth adapter; the
// far end of the pair must see every frame sent, byte for byte, and nothing else.
void TestLoopbackHandler::liveInjection()
{
    QFETCH(int, linkType);
    QFETCH(int, minLength);
    QFETCH(QList<int>, lengths);
    QFETCH(QList<int>, sent);
    QFETCH(QStringList, messages);

    // The owner of /proc/self is the effective user.
    if (QFileInfo(QStringLiteral("/proc/self")).ownerId() != 0)
        QSKIP("needs root: making a network namespace and sending frames need privileges");
    const QString ip = findTool(QStringLiteral("ip"));
    if (ip.isEmpty())
        QSKIP("the ip tool is missing; scripts/setup installs iproute2");
    if (!m_namespace) {
        auto made = std::make_unique<TestNamespace>(ip);
        const QString failure = made->create();
        m_namespace = std::move(made);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }

    const QString directory = freshSettings();
    MessageHandler messageHandler;
    StatHandler stats;
    LiveRun result;
    std::thread inside(runInNamespace, m_namespace->name(), quint16(linkType), quint16(minLength),
                       lengths, &messageHandler, &stats, std::ref(result));
    inside.join();
    QVERIFY2(result.failure.isEmpty(), qPrintable(result.failure));

    // The system's list, as the element saw it.
    const NetworkAdapter* loop = nullptr;
    for (const NetworkAdapter& listed : std::as_const(result.adapters)) {
        if (listed.name == "kzloop")
            loop = &listed;
    }
    QVERIFY(loop);
    QCOMPARE(loop->hardwareAddress.toHex(), QByteArray("02004c4f4f50"));
    QCOMPARE(LoopbackHandler::findAdapter(result.adapters), QByteArray("kzloop"));

    QCOMPARE(drainMessages(messageHandler), messages);
    QList<QByteArray> expected;
    quint32 bytes = 0;
    for (int i : sent) {
        expected.append(frame(lengths[i], i));
        bytes += quint32(lengths[i]) + 160;
    }
    QCOMPARE(stats.value(StatHandler::Packets), quint32(sent.size()));
    QCOMPARE(stats.value(StatHandler::Bytes), bytes);
    QCOMPARE(result.received.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(result.received[i].toHex(' '), expected[i].toHex(' '));
    QCOMPARE(fileContents(storeFile(directory)), storeText("kzloop", linkType));
}

QTEST_GUILESS_MAIN(TestLoopbackHandler)
#include "tst_loopbackhandler.moc"
