#include "capture/chainhandler.h"
#include "capture/messagehandler.h"

#include <cstring>
#include <QThread>
#include <QtTest>

namespace {

class ReversingFormatter : public MessageFormatter
{
public:
    QString format(const char* data, int len) override
    {
        QString text = QString::fromLatin1(data, len);
        std::reverse(text.begin(), text.end());
        return text;
    }
};

class Element : public ChainHandler
{
public:
    void process(QByteArray&, int) override {}
};

} // namespace

class TestMessageHandler : public QObject
{
    Q_OBJECT
private slots:
    void storesTextWithItsTerminator_data();
    void storesTextWithItsTerminator();
    void keepsOrderAndClears();
    void recordsAreDeepCopies();
    void elementsPostOnlyWithAHandler();
    void nothingLostBetweenThreads_data();
    void nothingLostBetweenThreads();
};

void TestMessageHandler::storesTextWithItsTerminator_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("error");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("log line") << "abc" << false << QByteArray("abc\0", 4);
    QTest::newRow("error") << "abc" << true << QByteArray("abc\0", 4);
    QTest::newRow("empty") << "" << false << QByteArray("\0", 1);
    QTest::newRow("file name with blanks")
        << "Cannot open file /tmp/a b:No such file or directory" << true
        << QByteArray("Cannot open file /tmp/a b:No such file or directory\0", 52);
}

void TestMessageHandler::storesTextWithItsTerminator()
{
    QFETCH(QString, text);
    QFETCH(bool, error);
    QFETCH(QByteArray, bytes);
    MessageHandler handler;
    if (error)
        handler.postError(text);
    else
        handler.postMessage(text);
    QVERIFY(handler.hasMessages());
    const Message message = handler.takeMessage();
    QCOMPARE(QByteArray(message.data(), message.length()), bytes);
    QCOMPARE(message.kind(), error ? 1 : 0);
    QCOMPARE(message.text(), text);
    QVERIFY(!handler.hasMessages());
}

void TestMessageHandler::keepsOrderAndClears()
{
    MessageHandler handler;
    ReversingFormatter reversing;
    handler.postMessage("first");
    handler.postData(nullptr, "ignored", 7); // no formatter: nothing is posted
    handler.postData(&reversing, "dnoces", 6);
    handler.postError("third");
    QCOMPARE(handler.takeMessage().text(), QString("first"));
    QCOMPARE(handler.takeMessage().text(), QString("second"));
    const Message third = handler.takeMessage();
    QCOMPARE(third.text(), QString("third"));
    QVERIFY(third.isError());
    QVERIFY(!handler.hasMessages());
    // Taking from an empty queue gives an empty record rather than failing.
    const Message none = handler.takeMessage();
    QVERIFY(!none.formatter());
    QCOMPARE(none.length(), 0);

    for (int i = 0; i < 5; ++i)
        handler.postMessage(QString::number(i));
    handler.clear();
    QVERIFY(!handler.hasMessages());
}

void TestMessageHandler::recordsAreDeepCopies()
{
    QByteArray bytes("text\0", 5);
    Message original(TextFormatter::instance(), bytes.constData(), 5, 0);
    bytes[0] = 'X';
    Message copy = original;
    Message assigned;
    assigned = copy;
    QVERIFY(copy.data() != original.data());
    QVERIFY(assigned.data() != copy.data());
    QCOMPARE(original.text(), QString("text"));
    QCOMPARE(assigned.text(), QString("text"));
}

void TestMessageHandler::elementsPostOnlyWithAHandler()
{
    Element element;
    element.postMessage("lost"); // no handler: silently nothing
    element.postError("lost");
    MessageHandler handler;
    element.setMessageHandler(&handler);
    element.postMessage("log");
    element.postError("error");
    QCOMPARE(handler.takeMessage().kind(), 0);
    QCOMPARE(handler.takeMessage().kind(), 1);
    QVERIFY(!handler.hasMessages());
}

void TestMessageHandler::nothingLostBetweenThreads_data()
{
    QTest::addColumn<bool>("reusedBuffer");
    QTest::newRow("texts and errors") << false;
    // The poster overwrites its bytes as soon as a post returns, as a chain element reuses its
    // buffer: a record that kept a pointer instead of a copy shows the overwritten bytes.
    QTest::newRow("bytes from a reused buffer") << true;
}

// One thread posts while another takes: every message arrives once, in order, with its own bytes.
void TestMessageHandler::nothingLostBetweenThreads()
{
    QFETCH(bool, reusedBuffer);
    constexpr int Count = 20000;
    const auto isError = [reusedBuffer](int i) { return !reusedBuffer && i % 7 == 0; };
    MessageHandler handler;
    QThread* producer = QThread::create([&] {
        char buffer[16];
        for (int i = 0; i < Count; ++i) {
            if (reusedBuffer) {
                const QByteArray number = QByteArray::number(i);
                std::memcpy(buffer, number.constData(), size_t(number.size()) + 1);
                handler.postData(TextFormatter::instance(), buffer, int(number.size()) + 1);
                std::memset(buffer, 'X', sizeof buffer);
            } else if (isError(i)) {
                handler.postError(QString::number(i));
            } else {
                handler.postMessage(QString::number(i));
            }
        }
    });
    producer->start();
    int expected = 0;
    bool inOrder = true;
    while (expected < Count && inOrder) {
        if (!handler.hasMessages()) {
            QThread::yieldCurrentThread();
            continue;
        }
        const Message message = handler.takeMessage();
        inOrder =
            message.text() == QString::number(expected) && message.isError() == isError(expected);
        ++expected;
    }
    QVERIFY(producer->wait(60000));
    delete producer;
    QVERIFY2(inOrder, qPrintable(QString("message %1 out of place").arg(expected - 1)));
    QCOMPARE(expected, Count);
    QVERIFY(!handler.hasMessages());
}

QTEST_GUILESS_MAIN(TestMessageHandler)
#include "tst_messagehandler.moc"
