// The manual as the help window gets it: the pages copied beside the desktop program, decoded as
// KOI8-R, laid out by Qt's rich-text engine, and every link followed inside the help directory.

#include <QDir>
#include <QFile>
#include <QMap>
#include <QQueue>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QUrl>

namespace {

struct Page
{
    QByteArray bytes;
    QString html;
    bool decodeError = false;
    QStringList hrefs;
    QSet<QString> anchors;
    QString text; // what the browser shows, white space collapsed
};

bool isRussianLetter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x0410 && u <= 0x044F) || u == 0x0401 || u == 0x0451;
}

// Links and anchor names as QTextDocument sees them: markup it ignores does not count.
void collectAnchors(const QTextDocument& document, Page& page)
{
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (!format.isAnchor())
                continue;
            if (!format.anchorHref().isEmpty() && !page.hrefs.contains(format.anchorHref()))
                page.hrefs << format.anchorHref();
            for (const QString& name : format.anchorNames())
                page.anchors.insert(name);
        }
    }
}

} // namespace

class tst_Manual : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void copiedPages_data();
    void copiedPages();
    void encoding_data();
    void encoding();
    void links_data();
    void links();
    void everyPageReachable();
    void topics_data();
    void topics();

private:
    void addPageRows();

    QDir m_sourceDir{QStringLiteral(VEZIVE_DOC_SOURCE_DIR)};
    QDir m_copyDir{QStringLiteral(VEZIVE_DOC_DIR)};
    QStringList m_names; // the manual's pages: the source directory's .html files
    QMap<QString, Page> m_pages;
    QString m_wholeText;
};

void tst_Manual::initTestCase()
{
    // Debian's Qt knows KOI8-R only through ICU; without it the help window shows garbage.
    QVERIFY(QStringDecoder("KOI8-R").isValid());

    m_names = m_sourceDir.entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
    QVERIFY2(m_names.contains(QStringLiteral("index.html")), "the start page is missing");
    QVERIFY2(m_names.size() >= 5, "the manual has hardly any pages");

    for (const QString& name : std::as_const(m_names)) {
        Page page;
        QFile file(m_copyDir.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            page.bytes = file.readAll();
        QStringDecoder decoder("KOI8-R");
        page.html = decoder(page.bytes);
        page.decodeError = decoder.hasError();

        QTextDocument document;
        document.setHtml(page.html);
        collectAnchors(document, page);
        page.text = document.toPlainText().simplified();
        m_wholeText += page.text + QLatin1Char(' ');
        m_pages.insert(name, page);
    }
}

void tst_Manual::addPageRows()
{
    QTest::addColumn<QString>("name");
    for (const QString& name : std::as_const(m_names))
        QTest::newRow(qPrintable(name)) << name;
}

void tst_Manual::copiedPages_data()
{
    addPageRows();
}

// A page edited after the last build would show its old text; a page left out, nothing.
void tst_Manual::copiedPages()
{
    QFETCH(QString, name);
    QFile source(m_sourceDir.filePath(name));
    QVERIFY(source.open(QIODevice::ReadOnly));
    QVERIFY2(m_copyDir.exists(name), "not copied into the help directory");
    QVERIFY2(m_pages.value(name).bytes == source.readAll(), "the copy is stale");
}

void tst_Manual::encoding_data()
{
    addPageRows();
}

void tst_Manual::encoding()
{
    QFETCH(QString, name);
    const Page page = m_pages.value(name);
    QVERIFY(!page.bytes.isEmpty());
    QVERIFY(!page.decodeError);

    static const QRegularExpression meta(
        QStringLiteral(R"(<meta\s+http-equiv="Content-Type"\s+content="text/html;\s*)"
                       R"(charset=KOI8-R"\s*/?>)"),
        QRegularExpression::CaseInsensitiveOption);
    QVERIFY2(meta.match(page.html).hasMatch(), "no KOI8-R charset declaration");

    // Every byte decodes in KOI8-R, so a page saved as UTF-8 or with a stray symbol shows up
    // only as characters that are not Russian letters: box drawing, no-break space, ...
    for (int i = 0; i < page.html.size(); ++i) {
        const QChar c = page.html.at(i);
        const bool ok = c.unicode() < 0x80 ? (c >= QLatin1Char(' ') || c == QLatin1Char('\n') ||
                                              c == QLatin1Char('\r') || c == QLatin1Char('\t'))
                                           : isRussianLetter(c);
        if (!ok)
            QFAIL(qPrintable(QStringLiteral("character U+%1 at offset %2 (use an entity)")
                                 .arg(c.unicode(), 4, 16, QLatin1Char('0'))
                                 .arg(i)));
    }

    // An entity the rich-text engine does not know is shown as typed.
    static const QRegularExpression entity(QStringLiteral("&#?[A-Za-z0-9]+;"));
    const QRegularExpressionMatch unknown = entity.match(page.text);
    QVERIFY2(!unknown.hasMatch(), qPrintable(unknown.captured() + QStringLiteral(" shown raw")));

    int letters = 0;
    for (QChar c : page.text)
        letters += isRussianLetter(c) ? 1 : 0;
    QVERIFY2(letters >= 100, "hardly any Russian text");
    // A page in another Cyrillic code page decodes to letters too, but not to this word.
    QVERIFY2(page.text.contains(QStringLiteral("Содержание")), "no way back to the contents");
}

void tst_Manual::links_data()
{
    addPageRows();
}

void tst_Manual::links()
{
    QFETCH(QString, name);
    const Page page = m_pages.value(name);
    bool linksHome = name == QLatin1String("index.html");
    for (const QString& href : page.hrefs) {
        const QUrl url(href);
        QVERIFY2(url.isRelative() && !url.path().contains(QLatin1Char('/')),
                 qPrintable(href + QStringLiteral(": not a page of the help directory")));
        const QString target = url.path().isEmpty() ? name : url.path();
        QVERIFY2(m_names.contains(target), qPrintable(href + QStringLiteral(": no such page")));
        QVERIFY2(m_copyDir.exists(target), qPrintable(href + QStringLiteral(": not copied")));
        if (url.hasFragment())
            QVERIFY2(m_pages.value(target).anchors.contains(url.fragment()),
                     qPrintable(href + QStringLiteral(": no such anchor")));
        linksHome = linksHome || target == QLatin1String("index.html");
    }
    QVERIFY2(linksHome, "no link back to index.html");
}

void tst_Manual::everyPageReachable()
{
    QSet<QString> seen{QStringLiteral("index.html")};
    QQueue<QString> queue;
    queue.enqueue(QStringLiteral("index.html"));
    while (!queue.isEmpty()) {
        const QString name = queue.dequeue();
        for (const QString& href : m_pages.value(name).hrefs) {
            const QString target = QUrl(href).path();
            if (!target.isEmpty() && m_pages.contains(target) && !seen.contains(target)) {
                seen.insert(target);
                queue.enqueue(target);
            }
        }
    }
    QStringList unreachable;
    for (const QString& name : std::as_const(m_names))
        if (!seen.contains(name))
            unreachable << name;
    QVERIFY2(unreachable.isEmpty(), qPrintable(unreachable.join(QLatin1String(", "))));
}

void tst_Manual::topics_data()
{
    QTest::addColumn<QString>("text");
    const char* const topics[] = {
        // connecting the tester
        "/dev/ttyS0", "/dev/ttyUSB0", "stty -F /dev/ttyUSB0", "dialout",
        // trace types and their readers
        "Raw", "PCAP", "Toshiba Compact ISDN Router snoop", "I4B ISDN", "I7", "Loopback",
        "Wireshark", "tshark", "tcpdump", "147", "140", "User 0 (DLT=147)", "lapd", "d7cb",
        // loopback adapter on Linux
        "ip link add kzloop type veth peer name kzpeer", "02:00:4c:4f:4f:50", "disable_ipv6",
        "CAP_NET_RAW", "WinPcap", "AdapterName", "LinkType",
        // live view
        "mkfifo", "wireshark -k -i", "--out - | wireshark -k -i -",
        // tools
        "vezive-capture", "vezive-sim", "--write-stream", "--test", "--traffic isdn",
        // window texts
        "Timeslots", "Trace type", "Message log",
        "Link type:", "Min. packet length:", "File name (RX):", "File name (Sync):", "Progress",
        // counters
        "Packets", "Bytes", "Errored length", "Bad CRC", "Too large",
        // messages
        "Error reading ATU header. Invalid data. Halting.", "Loopback adapter not found!",
        "Loopback adapter found!", "Unable to update registry!", "Error while sending packet!",
        "Cannot open file", "Cannot write file", "Cannot read file", "Reading timeout",
        "Writing timeout", "Port isn't set", "Port isn't initialized", "File doesn't exist",
        "Cannot open input file", "End of file reached", "Cancelled", "Input/output error",
        "Wrong min. packet length", "RX file name isn't specified",
        "Sync file name isn't specified", "Device found!", "Port test successful",
        "packets written", "bytes written"};
    for (const char* topic : topics)
        QTest::newRow(topic) << QString::fromUtf8(topic);
}

void tst_Manual::topics()
{
    QFETCH(QString, text);
    QVERIFY(m_wholeText.contains(text));
}

QTEST_MAIN(tst_Manual)
#include "tst_manual.moc"
