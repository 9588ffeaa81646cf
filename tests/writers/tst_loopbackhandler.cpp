#include "capture/messagehandler.h"
#include "capture/stathandler.h"
#include "device/networkadapters.h"
#include "support/testchains.h"
#include "support/testfiles.h"
#include "support/testnamespace.h"
#include "writers/loopbackhandler.h"

#include <memory>
#include <pcap/pcap.h>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
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

// Ethernet frames of an experimental ethertype that nothing in the kernel answers, each one
// different; shorter ones are cut from the same bytes.
QByteArray frame(int length, int seed)
{
    QByteArray bytes = QByteArray::fromHex("ffffffffffff02004c4f4f5088b5");
    bytes[5] = char(seed);
    while (bytes.size() < length)
        bytes.append(char(seed * 31 + int(bytes.size()) * 7 + 1));
    return bytes.left(length);
}

// Hands over packets as a deframer does (channel tag, then the frame), channels alternating;
// a length of 0 is an empty call.
void feed(ChainHandler& element, const QList<int>& frameLengths)
{
    for (int i = 0; i < frameLengths.size(); ++i) {
        QByteArray data;
        if (frameLengths[i] > 0)
            data = char(i % 2) + frame(frameLengths[i], i);
        element.process(data, int(data.size()));
    }
}

QString useFreshSettings(const QString& directory)
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, directory);
    return directory + '/' + LoopbackHandler::SettingsOrganisation + '/' +
           LoopbackHandler::SettingsApplication + ".conf";
}

QByteArray storeText(const QByteArray& adapter, int linkType)
{
    return "[WinPcap]\nAdapterName=\\\\Device\\\\NPF_" + adapter +
           "\nLinkType=" + QByteArray::number(linkType) + '\n';
}

// A capture handle of the test's own, filtered to the test's frames and to any shorter than a
// header (none may come); a failure leaves its text in error.
struct Capture
{
    pcap_t* handle = nullptr;
    QString error;

    ~Capture()
    {
        if (handle)
            pcap_close(handle);
    }
    bool fail(const char* text)
    {
        error = QString::fromLocal8Bit(text);
        return false;
    }

    bool open(const char* device)
    {
        char errorText[PCAP_ERRBUF_SIZE] = {};
        handle = pcap_open_live(device, 65535, 1, 100, errorText);
        if (!handle)
            return fail(errorText);
        bpf_program program{};
        const bool set = pcap_compile(handle, &program, "len < 14 or ether proto 0x88b5", 1,
                                      PCAP_NETMASK_UNKNOWN) == 0 &&
                         pcap_setfilter(handle, &program) == 0;
        pcap_freecode(&program);
        return set || fail(pcap_geterr(handle));
    }

    bool send(const QByteArray& bytes)
    {
        const auto* data = reinterpret_cast<const u_char*>(bytes.constData());
        return pcap_sendpacket(handle, data, int(bytes.size())) == 0 || fail(pcap_geterr(handle));
    }

    // Collects the frames that come in before one equal to last.
    bool receiveUntil(const QByteArray& last, QList<QByteArray>& frames)
    {
        const QDeadlineTimer deadline(30000);
        pcap_pkthdr* header = nullptr;
        const u_char* bytes = nullptr;
        while (!deadline.hasExpired()) {
            const int got = pcap_next_ex(handle, &header, &bytes);
            if (got < 0)
                return fail(pcap_geterr(handle));
            if (got == 0)
                continue;
            const QByteArray frame(reinterpret_cast<const char*>(bytes), int(header->caplen));
            if (frame == last)
                return true;
            frames.append(frame);
        }
        return fail("the last frame never arrived");
    }
};

} // namespace

class TestLoopbackHandler : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
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

    QString freshStore()
    {
        return useFreshSettings(m_settingsRoot.filePath(QString::number(++m_settingsCount)));
    }
};

void TestLoopbackHandler::initTestCase()
{
    // Nothing here may reach the user's own configuration.
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_settingsRoot.isValid());
    freshStore();
}

void TestLoopbackHandler::adapterSearch_data()
{
    QTest::addColumn<Adapters>("adapters");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("empty list") << Adapters{} << QByteArray();
    QTest::newRow("address of 8 bytes")
        << Adapters{adapter("{4F1C}", "02004c4f4f50a1b2")} << QByteArray("{4F1C}");
    QTest::newRow("address of 5 bytes") << Adapters{adapter("short", "02004c4f4f")} << QByteArray();
    QTest::newRow("last byte differs") << Adapters{adapter("eth0", "02004c4f4f51")} << QByteArray();
    QTest::newRow("address not at the start")
        << Adapters{adapter("ib0", "0002004c4f4f50")} << QByteArray();
    QTest::newRow("first of two, after others")
        << Adapters{adapter("lo", "000000000000"), adapter("short", "02004c4f4f"),
                    adapter("first", "02004c4f4f50"), adapter("second", "02004c4f4f50")}
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
    QTest::addColumn<int>("store"); // 0 fresh, 1 beneath a file, 2 a directory in its place
    QTest::addColumn<QByteArray>("storeBefore");
    QTest::addColumn<int>("linkType");
    QTest::addColumn<QList<int>>("lengths"); // frame lengths; 0 is an empty call
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QByteArray>("storeAfter"); // empty: no file may exist

    const Adapters usable{adapter("lo", "000000000000"), adapter(AbsentAdapter, "02004c4f4f50")};
    // The first frame is below the minimum of 100 and still opens the adapter.
    const QList<int> three{1, 199, 299};
    const QStringList openFailed{Found, QStringLiteral("E:<open>")};
    const auto row = [](const char* name, const Adapters& adapters, bool readable, int store,
                        const QByteArray& before, int linkType, const QList<int>& lengths,
                        const QStringList& messages, const QByteArray& after) {
        QTest::newRow(name) << adapters << readable << store << before << linkType << lengths
                            << messages << after;
    };
    row("no frame, empty calls only", usable, true, 0, {}, 140, {0, 0}, {}, {});
    row("list cannot be read", usable, false, 0, {}, 140, three, {NotFound}, {});
    row("no matching address", {adapter("kzshort", "02004c4f4f")}, true, 0, {}, 140, three,
        {NotFound}, {});
    row("store beneath a file", usable, true, 1, {}, 140, three, {Found, NotWritten}, {});
    row("directory in the store's place", usable, true, 2, {}, 140, three, {Found, NotWritten}, {});
    row("ISDN entries replace earlier ones", usable, true, 0,
        "[Other]\nKey=1\n\n[WinPcap]\nAdapterName=old\nLinkType=9\nMore=2\n", 147, three,
        openFailed,
        "[Other]\nKey=1\n\n[WinPcap]\nAdapterName=\\\\Device\\\\NPF_" + QByteArray(AbsentAdapter) +
            "\nLinkType=147\nMore=2\n");
    row("NULL entries, first call empty", usable, true, 0, {}, 0, {0, 1, 2}, openFailed,
        storeText(AbsentAdapter, 0));
}

// Everything up to the opening of the adapter: each failure is reported once and stops the
// element for good; nothing is searched before a frame comes.
void TestLoopbackHandler::openSequence()
{
    QFETCH(Adapters, adapters);
    QFETCH(bool, listReadable);
    QFETCH(int, store);
    QFETCH(QByteArray, storeBefore);
    QFETCH(int, linkType);
    QFETCH(QList<int>, lengths);
    QFETCH(QStringList, messages);
    QFETCH(QByteArray, storeAfter);

    const QString file = store == 1 ? useFreshSettings("/dev/null/config") : freshStore();
    if (store == 2)
        QVERIFY(QDir().mkpath(file));
    if (!storeBefore.isEmpty()) {
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        QVERIFY(writeFile(file, storeBefore));
    }
    // The library's own words for the adapter that is not there.
    char errorText[PCAP_ERRBUF_SIZE] = {};
    QVERIFY(!pcap_open_live(AbsentAdapter, 300, 1, 1000, errorText));
    messages.replaceInStrings("<open>", QString::fromLocal8Bit(errorText));

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
    feed(element, lengths);

    QCOMPARE(searched, messages.isEmpty() ? 0 : 1);
    QCOMPARE(drainMessages(messageHandler), messages);
    for (int index = StatHandler::Packets; index <= StatHandler::TooLarge; ++index)
        QCOMPARE(stats.value(index), 0u);
    if (store == 0)
        QCOMPARE(fileContents(file), storeAfter);
    if (store == 0 && storeAfter.isEmpty())
        QVERIFY(!QFileInfo::exists(file));
}

void TestLoopbackHandler::liveInjection_data()
{
    QTest::addColumn<int>("linkType");
    QTest::addColumn<int>("minLength");
    QTest::addColumn<QList<int>>("lengths"); // channels alternate
    QTest::addColumn<QList<int>>("sent");    // indices of the frames that must arrive
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("minimum 0: a 13-byte frame fails and ends sending")
        << 147 << 0 << QList<int>{14, 15, 60, 300, 1500, 13, 20} << QList<int>{0, 1, 2, 3, 4}
        << QStringList{Found, SendFailed};
    QTest::newRow("minimum 14 keeps 13-byte frames back")
        << 140 << 14 << QList<int>{13, 14, 15, 13, 60, 300, 1500, 20}
        << QList<int>{1, 2, 4, 5, 6, 7} << QStringList{Found};
}

// The element inside a namespace of the test's own, sending out of a real veth adapter: the far
// end sees every frame sent, byte for byte, and nothing else.
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
        m_namespace = std::make_unique<TestNamespace>(ip);
        // Some containers and chroots cannot make one; the live rows cannot run there.
        const QString failure = m_namespace->create();
        if (!failure.isEmpty()) {
            m_namespace.reset();
            QSKIP(qPrintable("cannot make a network namespace here: " + failure));
        }
    }

    const QString file = freshStore();
    MessageHandler messageHandler;
    StatHandler stats;
    LoopbackHandler element{quint16(linkType), quint16(minLength)};
    element.setMessageHandler(&messageHandler);
    element.setStatHandler(&stats);
    QString failure;
    Adapters adapters;
    QList<QByteArray> received;
    // Only this thread enters the namespace; the handles opened there stay bound to it.
    std::thread([&] {
        if (!enterNetworkNamespace(m_namespace->name(), &failure))
            return;
        bool listed = false;
        adapters = networkAdapters(&listed);
        Capture peer;
        Capture marker;
        if (!listed || !peer.open("kzpeer") || !marker.open("kzloop")) {
            failure = "adapter list or capture: " + peer.error + marker.error;
            return;
        }
        feed(element, lengths);
        // Sent after the element's frames: once it has arrived, so have they.
        const QByteArray last = frame(64, 0x5A);
        if (!marker.send(last) || !peer.receiveUntil(last, received))
            failure = marker.error + peer.error;
    }).join();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(LoopbackHandler::findAdapter(adapters), QByteArray("kzloop"));
    QCOMPARE(drainMessages(messageHandler), messages);

    QList<QByteArray> expected;
    quint32 bytes = 0;
    for (int i : sent) {
        expected.append(frame(lengths[i], i));
        bytes += quint32(lengths[i]) + 160;
    }
    QCOMPARE(received, expected);
    QCOMPARE(stats.value(StatHandler::Packets), quint32(sent.size()));
    QCOMPARE(stats.value(StatHandler::Bytes), bytes);
    QCOMPARE(fileContents(file), storeText("kzloop", linkType));
}

QTEST_GUILESS_MAIN(TestLoopbackHandler)
#include "tst_loopbackhandler.moc"
