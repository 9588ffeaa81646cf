// The main window as the user drives it: panels, option checks, runs from a replay file and from
// the simulated tester on a pseudo-terminal, the port test, the log, help and the settings.

#include "capture/datagatherer.h"
#include "capture/messagehandler.h"
#include "filechoose.h"
#include "helpwidgetimpl.h"
#include "modalwatcher.h"
#include "panels.h"
#include "progressdialogimpl.h"
#include "receiversettings.h"
#include "support/framematch.h"
#include "support/ptyendpoint.h"
#include "support/testfiles.h"
#include "varodaridoro.h"
#include "writers/pcapreader.h"
#include "writers/stathandler.h"

#include <memory>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString Sim = QStringLiteral(VEZIVE_SIM);
constexpr int Generous = 120000;    // ms; only a last guard against a hang
constexpr int StreamBytes = 200002; // not a multiple of 4: the last unit is a short one

// The simulated tester on a pseudo-terminal, for as long as the object lives.
class SimulatedTester
{
public:
    explicit SimulatedTester(const QStringList& arguments)
    {
        m_process.start(Sim, arguments);
        if (!m_process.waitForStarted(Generous))
            return;
        while (!m_process.canReadLine() && m_process.state() == QProcess::Running)
            m_process.waitForReadyRead(Generous);
        m_terminal = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    }
    ~SimulatedTester()
    {
        if (m_process.state() == QProcess::Running) {
            m_process.terminate();
            if (!m_process.waitForFinished(Generous))
                m_process.kill();
        }
    }
    QString terminal() const { return m_terminal; }

private:
    QProcess m_process;
    QString m_terminal;
};

QStringList logLines(const VarodariDoro& window)
{
    QStringList lines;
    for (int i = 0; i < window.logBox->count(); ++i)
        lines.append(window.logBox->item(i)->text());
    return lines;
}

QString describe(const VarodariDoro& window)
{
    return logLines(window).join(QLatin1Char('\n'));
}

// Waits for the run's thread without handling events, so that no tick of the window's own
// timer comes between, then polls once: the tick that finds the run finished.
bool finishRun(VarodariDoro& window)
{
    if (!window.gatherer || !window.gatherer->wait(QDeadlineTimer(Generous)))
        return false;
    window.poll();
    return !window.gatherer && !window.isPolling();
}

void setMinLength(VarodariDoro& window, int traceType, const QString& text)
{
    QLineEdit* fields[] = {nullptr,
                           window.pcapPanel->minPacketLength,
                           window.toshibaPanel->minPacketLength,
                           window.i4bPanel->minPacketLength,
                           window.i7Panel->minPacketLength,
                           window.loopbackPanel->minPacketLength};
    if (fields[traceType])
        fields[traceType]->setText(text);
}

void selectTraceType(VarodariDoro& window, int traceType)
{
    window.dataType->setCurrentIndex(traceType);
    window.showFrame(traceType);
}

void selectSource(VarodariDoro& window, int source)
{
    window.source->setCurrentIndex(source);
    window.sourceChanged(source);
}

std::unique_ptr<QSettings> settingsStore()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, ReceiverSettings::scope(),
                                       ReceiverSettings::Organization,
                                       ReceiverSettings::Application);
}

QByteArray koi8r(const QString& text)
{
    QStringEncoder encoder("KOI8-R");
    return encoder.encode(text);
}

// The widget behind each stored option.
QMap<QString, QWidget*> optionWidgets(VarodariDoro& w)
{
    return {
        {"Port", w.portPanel->portName},
        {"File", w.filePanel->fileChoose->lineEdit()},
        {"rxTS", w.rxTimeslot},
        {"syncTS", w.syncTimeslot},
        {"sourceType", w.source},
        {"dataType", w.dataType},
        {"pcap/linkType", w.pcapPanel->linkType},
        {"pcap/fileName", w.pcapPanel->fileName->lineEdit()},
        {"pcap/minPacketLength", w.pcapPanel->minPacketLength},
        {"loopback/linkType", w.loopbackPanel->linkType},
        {"loopback/minPacketLength", w.loopbackPanel->minPacketLength},
        {"toshiba/fileName", w.toshibaPanel->fileName->lineEdit()},
        {"toshiba/minPacketLength", w.toshibaPanel->minPacketLength},
        {"i4b/fileName", w.i4bPanel->fileName->lineEdit()},
        {"i4b/minPacketLength", w.i4bPanel->minPacketLength},
        {"i7/fileName", w.i7Panel->fileName->lineEdit()},
        {"i7/minPacketLength", w.i7Panel->minPacketLength},
        {"raw/rxFileName", w.rawPanel->rxFileName->lineEdit()},
        {"raw/syncFileName", w.rawPanel->syncFileName->lineEdit()},
    };
}

void setOption(QWidget* widget, const QString& value)
{
    if (auto* field = qobject_cast<QLineEdit*>(widget))
        field->setText(value);
    else if (auto* spin = qobject_cast<QSpinBox*>(widget))
        spin->setValue(value.toInt());
    else if (auto* combo = qobject_cast<QComboBox*>(widget))
        combo->setCurrentIndex(value.toInt());
}

QString optionText(const QWidget* widget)
{
    if (auto* field = qobject_cast<const QLineEdit*>(widget))
        return field->text();
    if (auto* spin = qobject_cast<const QSpinBox*>(widget))
        return QString::number(spin->value());
    if (auto* combo = qobject_cast<const QComboBox*>(widget))
        return QString::number(combo->currentIndex());
    return QString();
}

} // namespace

class TestReceiverWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void construction();
    void showFrame_data();
    void showFrame();
    void sourceChanged_data();
    void sourceChanged();
    void validation_data();
    void validation();
    void startSequence();
    void replayRuns_data();
    void replayRuns();
    void everyMessageAtTheEnd();
    void portRunStopped();
    void chainErrorStopsRun();
    void requestAndHangUp();
    void portTest_data();
    void portTest();
    void accelerators();
    void help();
    void messageLog();
    void settingsRoundTrip();
    void minPacketLengthSettings_data();
    void minPacketLengthSettings();
    void settingsOutOfRange();
    void settingsWrittenOnlyAtTheEnd();

private:
    QTemporaryDir m_dir;
    QString m_stream;
    ChannelFrames m_sent;
};

void TestReceiverWindow::initTestCase()
{
    // Settings never reach the user's own store.
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath("settings"));

    m_stream = m_dir.filePath("day.stream");
    const QString sentPath = m_dir.filePath("day.sent");
    QProcess writer;
    writer.start(Sim, {"--write-stream", m_stream, "--bytes", QString::number(StreamBytes),
                       "--bad-fcs", "7", "--sent", sentPath});
    QVERIFY(writer.waitForFinished(Generous));
    QCOMPARE(writer.exitCode(), 0);
    m_sent = ChannelFrames::fromSentLog(sentPath);
    QVERIFY(m_sent.total() > 100);
}

void TestReceiverWindow::init()
{
    auto store = settingsStore();
    store->clear();
    store->sync();
    QCOMPARE(store->status(), QSettings::NoError);
}

void TestReceiverWindow::construction()
{
    VarodariDoro window;
    QCOMPARE(window.objectName(), QString("sereaderWidget"));
    // No settings yet: the form's own geometry, the first items, empty fields.
    QCOMPARE(window.size(), QSize(601, 443).expandedTo(window.minimumSizeHint()));
    QCOMPARE(window.source->currentIndex(), 0);
    QCOMPARE(window.dataType->currentIndex(), 0);
    QCOMPARE(window.pcapPanel->minPacketLength->text(), QString("0"));
    QCOMPARE(window.loopbackPanel->minPacketLength->text(), QString("0"));
    QVERIFY(window.portPanel->portName->text().isEmpty());

    QCOMPARE(window.startButton->toolTip(), QString("Start receive data from device"));
    QCOMPARE(window.clearButton->toolTip(), QString("Clear info box"));

    // The trace panels in the order they were made, each in the frame that shows them.
    const QStringList classes{"LoopbackImpl", "RawImpl", "PcapImpl", "Toshiba", "I4b", "I7"};
    QCOMPARE(window.panels.size(), classes.size());
    for (int i = 0; i < classes.size(); ++i) {
        QCOMPARE(QString(window.panels.at(i)->metaObject()->className()), classes.at(i));
        QCOMPARE(window.panels.at(i)->parentWidget(), window.dataFrame);
    }
    QCOMPARE(window.portPanel->parentWidget(), window.sourceFrame);
    QCOMPARE(window.filePanel->parentWidget(), window.sourceFrame);

    // The file to replay is opened, every trace file is saved.
    QCOMPARE(window.filePanel->fileChoose->mode(), int(FileChoose::Open));
    for (FileChoose* field :
         {window.rawPanel->rxFileName, window.rawPanel->syncFileName, window.pcapPanel->fileName,
          window.toshibaPanel->fileName, window.i4bPanel->fileName, window.i7Panel->fileName})
        QCOMPARE(field->mode(), int(FileChoose::Save));

    const QStringList linkNames{"ISDN", "NULL", "SS7/MTP2"};
    for (QComboBox* combo : {window.pcapPanel->linkType, window.loopbackPanel->linkType}) {
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items.append(combo->itemText(i));
        QCOMPARE(items, linkNames);
        QCOMPARE(combo->currentIndex(), 0);
    }
    QCOMPARE(window.linkTypes.value("ISDN"), 147);
    QCOMPARE(window.linkTypes.value("NULL"), 0);
    QCOMPARE(window.linkTypes.value("SS7/MTP2"), 140);

    QVERIFY(!window.helpWindow->parent());
    QVERIFY(!window.helpWindow->isVisible());
    QVERIFY(!window.helpWindow->testAttribute(Qt::WA_QuitOnClose));
    QCOMPARE(window.progressDialog->parent(), &window);
    QVERIFY(window.progressDialog->isHidden());
    QCOMPARE(window.messageHandler->parent(), &window);
    QCOMPARE(window.statHandler->parent(), &window);
    QVERIFY(!window.gatherer);
    QVERIFY(!window.isPolling());
}

void TestReceiverWindow::showFrame_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("panel"); // empty: none

    QTest::newRow("Raw") << 0 << "RawImpl";
    QTest::newRow("PCAP") << 1 << "PcapImpl";
    QTest::newRow("Toshiba") << 2 << "Toshiba";
    QTest::newRow("I4B") << 3 << "I4b";
    QTest::newRow("I7") << 4 << "I7";
    QTest::newRow("Loopback") << 5 << "LoopbackImpl";
    QTest::newRow("beyond the list") << 6 << "";
    QTest::newRow("nothing chosen") << -1 << "";
}

// Exactly one panel shows, in the frame's layout, whichever panel showed before.
void TestReceiverWindow::showFrame()
{
    QFETCH(int, index);
    QFETCH(QString, panel);

    VarodariDoro window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    for (int before : {5, 0, 2}) {
        window.showFrame(before);
        window.showFrame(index);
        QStringList visible;
        for (QWidget* p : std::as_const(window.panels)) {
            if (p->isVisible())
                visible.append(p->metaObject()->className());
        }
        QCOMPARE(visible, panel.isEmpty() ? QStringList() : QStringList{panel});
        QCOMPARE(window.dataFrame->layout(), window.dataLayout);
        QCOMPARE(window.dataLayout->count(), panel.isEmpty() ? 0 : 1);
        QCOMPARE(window.dataLayout->contentsMargins(), QMargins());
    }
    // The list's own choice leads to the same.
    if (index >= 0 && index < window.dataType->count()) {
        window.showFrame(index == 0 ? 1 : 0);
        window.dataType->setCurrentIndex(index);
        emit window.dataType->activated(index);
        QCOMPARE(window.dataLayout->itemAt(0)->widget()->metaObject()->className(), panel);
        QTRY_VERIFY(window.dataLayout->itemAt(0)->widget()->height() > 0);
    }
}

void TestReceiverWindow::sourceChanged_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("port");
    QTest::addColumn<bool>("file");

    QTest::newRow("Port") << 0 << true << false;
    QTest::newRow("File") << 1 << false << true;
    QTest::newRow("beyond the list") << 2 << false << false;
}

void TestReceiverWindow::sourceChanged()
{
    QFETCH(int, index);
    QFETCH(bool, port);
    QFETCH(bool, file);

    VarodariDoro window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.sourceChanged(0);
    window.sourceChanged(1);
    window.sourceChanged(index);
    QCOMPARE(window.sourceFrame->layout(), window.sourceLayout);
    QCOMPARE(window.sourceLayout->contentsMargins(), QMargins());
    if (index > 1) {
        // Nothing is hidden or added for a source that does not exist.
        QCOMPARE(window.sourceLayout->count(), 0);
        return;
    }
    QCOMPARE(window.portPanel->isVisible(), port);
    QCOMPARE(window.filePanel->isVisible(), file);
    QCOMPARE(window.sourceLayout->count(), 1);
    QCOMPARE(window.sourceLayout->itemAt(0)->widget(),
             port ? static_cast<QWidget*>(window.portPanel) : window.filePanel);
    emit window.source->activated(1 - index);
    QCOMPARE(window.portPanel->isVisible(), !port);
}

void TestReceiverWindow::validation_data()
{
    QTest::addColumn<int>("traceType");
    QTest::addColumn<QString>("rxFile");
    QTest::addColumn<QString>("syncFile");
    QTest::addColumn<QString>("minLength");
    QTest::addColumn<QString>("message"); // empty: the run starts

    const QString noRx = "RX file name isn't specified";
    const QString noSync = "Sync file name isn't specified";
    const QString wrong = "Wrong min. packet length";
    QTest::newRow("raw, no names") << 0 << ""
                                   << ""
                                   << "" << noRx;
    QTest::newRow("raw, no RX name") << 0 << ""
                                     << "s"
                                     << "" << noRx;
    QTest::newRow("raw, no Sync name") << 0 << "r"
                                       << ""
                                       << "" << noSync;
    QTest::newRow("raw, both names") << 0 << "r"
                                     << "s"
                                     << "abc"
                                     << "";
    QTest::newRow("pcap, letters") << 1 << ""
                                   << ""
                                   << "abc" << wrong;
    QTest::newRow("pcap, minus") << 1 << ""
                                 << ""
                                 << "-1" << wrong;
    QTest::newRow("pcap, empty") << 1 << ""
                                 << ""
                                 << "" << wrong;
    QTest::newRow("pcap, 70000, no file name") << 1 << ""
                                               << ""
                                               << "70000"
                                               << "";
    QTest::newRow("toshiba, letters") << 2 << ""
                                      << ""
                                      << "x1" << wrong;
    QTest::newRow("toshiba, 0") << 2 << ""
                                << ""
                                << "0"
                                << "";
    QTest::newRow("i4b, minus") << 3 << ""
                                << ""
                                << "-5" << wrong;
    QTest::newRow("i4b, 14") << 3 << ""
                             << ""
                             << "14"
                             << "";
    QTest::newRow("i7, empty") << 4 << ""
                               << ""
                               << "" << wrong;
    QTest::newRow("i7, 007") << 4 << ""
                             << ""
                             << "007"
                             << "";
    QTest::newRow("loopback, letters") << 5 << ""
                                       << ""
                                       << "12a" << wrong;
    QTest::newRow("loopback, long number, no file") << 5 << ""
                                                    << ""
                                                    << "1234567"
                                                    << "";
}

// A failed check shows a warning box titled "Error", logs the same text and starts nothing; a
// passed one starts the run (here from a missing file, which ends it at once).
void TestReceiverWindow::validation()
{
    QFETCH(int, traceType);
    QFETCH(QString, rxFile);
    QFETCH(QString, syncFile);
    QFETCH(QString, minLength);
    QFETCH(QString, message);

    VarodariDoro window;
    selectSource(window, 1);
    window.filePanel->fileChoose->lineEdit()->setText(m_dir.filePath("no such stream"));
    selectTraceType(window, traceType);
    window.rawPanel->rxFileName->lineEdit()->setText(rxFile);
    window.rawPanel->syncFileName->lineEdit()->setText(syncFile);
    for (int type = 1; type <= 5; ++type)
        setMinLength(window, type, "abc");
    setMinLength(window, traceType, minLength);

    MessageBoxCloser boxes;
    window.startClicked();
    if (!message.isEmpty()) {
        QCOMPARE(boxes.titles, QStringList{"Error"});
        QCOMPARE(boxes.texts, QStringList{message});
        QCOMPARE(logLines(window), QStringList{"Error: " + message});
        QVERIFY(!window.gatherer);
        QVERIFY(!window.isPolling());
        QVERIFY(window.progressDialog->isHidden());
        return;
    }
    QCOMPARE(boxes.titles, QStringList());
    QVERIFY(window.gatherer);
    QVERIFY(window.isPolling());
    QVERIFY(window.progressDialog->isVisible());
    QVERIFY(window.progressDialog->isModal());
    QVERIFY(finishRun(window));
    QVERIFY(window.progressDialog->isHidden());
    // From a file: no port test afterwards.
    QCOMPARE(logLines(window), QStringList{"File doesn't exist"});
}

// Start: the dialog centred and cleared, the counters and the queue emptied; the first tick
// shows the counters.
void TestReceiverWindow::startSequence()
{
    VarodariDoro window;
    window.move(100, 50);
    window.resize(700, 500);
    selectSource(window, 1);
    window.filePanel->fileChoose->lineEdit()->setText(m_dir.filePath("no such stream"));
    selectTraceType(window, 1);

    for (int i = 1; i <= 5; ++i)
        window.progressDialog->setText(StatHandler::StatType(i), "99");
    window.statHandler->add(12, StatHandler::Packets);
    window.messageHandler->postMessage("left over from an earlier run");

    window.startClicked();
    ProgressDialogImpl* dialog = window.progressDialog;
    QCOMPARE(dialog->pos(),
             QPoint(100 + (700 - dialog->width()) / 2, 50 + (500 - dialog->height()) / 2));
    for (int i = 1; i <= 5; ++i)
        QVERIFY(dialog->values[i]->text().isEmpty());
    QCOMPARE(window.statHandler->text(StatHandler::Packets), QString("0"));
    QVERIFY(finishRun(window));
    for (int i = 1; i <= 5; ++i)
        QCOMPARE(dialog->values[i]->text(), QString("0"));
    QCOMPARE(logLines(window), QStringList{"File doesn't exist"});

    // Stop with no run does nothing.
    window.stop();
    window.poll();
    QCOMPARE(logLines(window), QStringList{"File doesn't exist"});
}

void TestReceiverWindow::replayRuns_data()
{
    QTest::addColumn<int>("traceType");
    QTest::addColumn<int>("linkIndex");
    QTest::addColumn<QString>("minLength");
    QTest::addColumn<int>("linkType"); // expected in the PCAP file
    QTest::addColumn<int>("minimum");  // the shortest frame expected to be written
    QTest::addColumn<bool>("byTimer"); // the window's own timer drives the run

    QTest::newRow("raw") << 0 << 0 << "" << 0 << 0 << false;
    QTest::newRow("raw, timer") << 0 << 0 << "" << 0 << 0 << true;
    QTest::newRow("pcap ISDN") << 1 << 0 << "0" << 147 << 0 << false;
    QTest::newRow("pcap NULL, timer") << 1 << 1 << "0" << 0 << 0 << true;
    QTest::newRow("pcap SS7/MTP2, min 12") << 1 << 2 << "12" << 140 << 12 << false;
    // Only the low 16 bits of the minimum reach the run.
    QTest::newRow("pcap, min 70000 is 4464") << 1 << 0 << "70000" << 147 << 4464 << false;
    QTest::newRow("pcap, min 65546 is 10") << 1 << 0 << "65546" << 147 << 10 << false;
}

void TestReceiverWindow::replayRuns()
{
    QFETCH(int, traceType);
    QFETCH(int, linkIndex);
    QFETCH(QString, minLength);
    QFETCH(int, linkType);
    QFETCH(int, minimum);
    QFETCH(bool, byTimer);

    QTemporaryDir out;
    VarodariDoro window;
    selectSource(window, 1);
    window.filePanel->fileChoose->lineEdit()->setText(m_stream);
    selectTraceType(window, traceType);
    window.rawPanel->rxFileName->lineEdit()->setText(out.filePath("rx"));
    window.rawPanel->syncFileName->lineEdit()->setText(out.filePath("sync"));
    window.pcapPanel->fileName->lineEdit()->setText(out.filePath("trace.pcap"));
    window.pcapPanel->linkType->setCurrentIndex(linkIndex);
    window.pcapPanel->minPacketLength->setText(minLength);
    // The other panels' options do not reach the run.
    window.loopbackPanel->linkType->setCurrentIndex(2);
    window.toshibaPanel->fileName->lineEdit()->setText(out.filePath("other"));

    window.startClicked();
    QVERIFY(window.gatherer);
    if (byTimer) {
        QTRY_VERIFY_WITH_TIMEOUT(!window.gatherer, Generous);
        QVERIFY(!window.isPolling());
    } else {
        QVERIFY(finishRun(window));
    }
    QVERIFY(window.progressDialog->isHidden());
    const QStringList log = logLines(window);
    const auto shown = [&window](StatHandler::StatType type) {
        return window.progressDialog->values[type]->text();
    };
    QVERIFY(shown(StatHandler::BadCrc) != "0" || traceType == 0);
    QVERIFY(!QFile::exists(out.filePath("other")));

    if (traceType == 0) {
        const QByteArray stream = fileContents(m_stream);
        QByteArray rx, sync;
        for (int i = 0; i + 1 < stream.size(); i += 2) {
            const auto a = static_cast<unsigned char>(stream[i]);
            const auto b = static_cast<unsigned char>(stream[i + 1]);
            rx.append(char(((a & 0x0F) << 4) | (b & 0x0F)));
            sync.append(char((a & 0xF0) | (b >> 4)));
        }
        QCOMPARE(fileContents(out.filePath("rx")), rx);
        QCOMPARE(fileContents(out.filePath("sync")), sync);
        const QStringList expected{"End of file reached",
                                   QString("Rx: %1 bytes written").arg(rx.size()),
                                   QString("Sync: %1 bytes written").arg(sync.size())};
        QCOMPARE(log, expected);
        QCOMPARE(shown(StatHandler::Bytes), QString::number(StreamBytes));
        QCOMPARE(shown(StatHandler::Packets), QString("0"));
        return;
    }

    QList<QByteArray> rx, sync;
    for (const QByteArray& frame : std::as_const(m_sent.rx))
        if (frame.size() >= minimum)
            rx.append(frame);
    for (const QByteArray& frame : std::as_const(m_sent.sync))
        if (frame.size() >= minimum)
            sync.append(frame);
    const int expected = int(rx.size() + sync.size());
    PcapReader pcap;
    QVERIFY2(pcap.load(out.filePath("trace.pcap")), qPrintable(pcap.error()));
    QCOMPARE(int(pcap.linkType()), linkType);
    QCOMPARE(int(pcap.records().size()), expected);
    QVERIFY(isInterleaving(pcap.frames(), rx, sync));
    qint64 bytes = 0;
    for (const PcapRecord& record : pcap.records())
        bytes += record.data.size() + PcapReader::RecordHeaderSize;
    QCOMPARE(log, (QStringList{"End of file reached", QString("%1 packets written").arg(expected),
                               QString("%1 bytes written").arg(bytes)}));
    QCOMPARE(shown(StatHandler::Packets), QString::number(expected));
    QCOMPARE(shown(StatHandler::Bytes), QString::number(bytes));
}

// More than four lines waiting when the run has ended: the tick that finds it finished shows
// every one of them, in order, and nothing is left for a later run to drop.
void TestReceiverWindow::everyMessageAtTheEnd()
{
    QTemporaryDir out;
    VarodariDoro window;
    selectSource(window, 1);
    window.filePanel->fileChoose->lineEdit()->setText(m_stream);
    selectTraceType(window, 1);
    window.pcapPanel->fileName->lineEdit()->setText(out.filePath("trace.pcap"));

    window.startClicked();
    QVERIFY(window.gatherer->wait(QDeadlineTimer(Generous)));
    for (int i = 0; i < 6; ++i)
        window.messageHandler->postMessage(QString("late line %1").arg(i));
    window.poll();
    QVERIFY(!window.gatherer);
    const QStringList log = logLines(window);
    QCOMPARE(log.size(), 9);
    QCOMPARE(log.at(0), QString("End of file reached"));
    QVERIFY(log.at(1).endsWith(" packets written"));
    QVERIFY(log.at(2).endsWith(" bytes written"));
    for (int i = 0; i < 6; ++i)
        QCOMPARE(log.at(3 + i), QString("late line %1").arg(i));
    QVERIFY(!window.messageHandler->hasMessages());
}

// A run from the tester, stopped with the Stop button: four lines a tick while it runs, the
// dialog stays through close requests, then the totals and a silent port test.
void TestReceiverWindow::portRunStopped()
{
    QTemporaryDir out;
    const QString sentPath = out.filePath("sent.txt");
    SimulatedTester tester({"--sent", sentPath});
    QVERIFY(!tester.terminal().isEmpty());

    VarodariDoro window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    selectSource(window, 0);
    window.portPanel->portName->setText(tester.terminal());
    window.rxTimeslot->setValue(1);
    window.syncTimeslot->setValue(16);
    selectTraceType(window, 1);
    window.pcapPanel->fileName->lineEdit()->setText(out.filePath("live.pcap"));
    window.pcapPanel->linkType->setCurrentIndex(2);

    window.startClicked();
    QVERIFY(window.gatherer);
    QVERIFY(window.progressDialog->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(window.statHandler->value(StatHandler::Packets) > 0, Generous);
    QTRY_VERIFY_WITH_TIMEOUT(!window.progressDialog->values[StatHandler::Packets]->text().isEmpty(),
                             Generous);

    QVERIFY(!window.progressDialog->close());
    QVERIFY(window.progressDialog->isVisible());

    // While the run lasts, at most four lines a tick.
    const qsizetype before = logLines(window).size();
    for (int i = 0; i < 6; ++i)
        window.messageHandler->postMessage(QString("queued %1").arg(i));
    window.poll();
    QCOMPARE(logLines(window).size(), before + 4);
    QCOMPARE(logLines(window).last(), QString("queued 3"));
    window.poll();
    QCOMPARE(logLines(window).size(), before + 6);
    QVERIFY(window.gatherer);

    window.progressDialog->stopButton->click();
    QVERIFY(finishRun(window));
    QVERIFY(window.progressDialog->isHidden());

    const QStringList log = logLines(window);
    const qsizetype cancelled = log.indexOf("Cancelled");
    QVERIFY2(cancelled >= 0, qPrintable(describe(window)));
    PcapReader pcap;
    QVERIFY2(pcap.load(out.filePath("live.pcap")), qPrintable(pcap.error()));
    QCOMPARE(pcap.linkType(), 140u);
    const int written = int(pcap.records().size());
    QVERIFY(written > 0);
    QCOMPARE(log.value(cancelled + 1), QString("%1 packets written").arg(written));
    QVERIFY(log.value(cancelled + 2).endsWith(" bytes written"));
    QCOMPARE(window.progressDialog->values[StatHandler::Packets]->text(), QString::number(written));
    const ChannelFrames sent = ChannelFrames::fromSentLog(sentPath);
    QVERIFY(isInterleaving(pcap.frames(), sent.rx, sent.sync, true));

    // The port test after a run from the port: its lines, but no success line.
    QVERIFY2(log.contains("Device found!"), qPrintable(describe(window)));
    QVERIFY(!log.contains("Port test successful"));
    for (const QString& line : log)
        QVERIFY2(!line.startsWith("Cannot set"), qPrintable(line));
}

// An error from the chain (the tester's echo is wrong) is logged and stops the run; the window's
// own timer drives it all.
void TestReceiverWindow::chainErrorStopsRun()
{
    QTemporaryDir out;
    SimulatedTester tester({"--fast", "--bad-echo"});
    QVERIFY(!tester.terminal().isEmpty());
    VarodariDoro window;
    window.portPanel->portName->setText(tester.terminal());
    selectTraceType(window, 1);
    window.pcapPanel->fileName->lineEdit()->setText(out.filePath("x.pcap"));

    window.startClicked();
    QTRY_VERIFY_WITH_TIMEOUT(!window.gatherer, Generous);
    const QStringList log = logLines(window);
    const qsizetype error = log.indexOf("Error reading ATU header. Invalid data. Halting.");
    QVERIFY2(error >= 0, qPrintable(describe(window)));
    QVERIFY2(log.indexOf("Cancelled") > error, qPrintable(describe(window)));
    QVERIFY(window.progressDialog->isHidden());
    QVERIFY(!QFile::exists(out.filePath("x.pcap")));
}

// What reaches the tester is the request for the chosen timeslots; a line that goes away ends
// the run with the system's text, and the silent port test then says it cannot use the port.
void TestReceiverWindow::requestAndHangUp()
{
    PtyEndpoint line;
    QVERIFY2(line.open(), qPrintable(line.errorString()));
    VarodariDoro window;
    window.portPanel->portName->setText(line.terminalPath());
    window.rxTimeslot->setValue(1);
    window.syncTimeslot->setValue(16);
    selectTraceType(window, 5);
    window.loopbackPanel->minPacketLength->setText("14");

    window.startClicked();
    QCOMPARE(line.read(9), QByteArray("ATU01 16\n"));
    line.hangUp();
    QVERIFY(finishRun(window));
    const QStringList log = logLines(window);
    QVERIFY2(log.size() == 2, qPrintable(describe(window)));
    QVERIFY(log.at(0).startsWith("Cannot set " + line.terminalPath() + ": "));
    QCOMPARE(log.at(1), QString("Input/output error"));
}

void TestReceiverWindow::portTest_data()
{
    QTest::addColumn<bool>("tester");
    QTest::addColumn<QString>("port"); // with a tester: its terminal
    QTest::addColumn<QString>("failure");

    QTest::newRow("tester answers") << true << ""
                                    << "";
    QTest::newRow("no port name") << false << ""
                                  << "Cannot set : Port isn't set";
    QTest::newRow("no such port") << false << "/dev/nonexistent-tty"
                                  << "Cannot set /dev/nonexistent-tty: No such file or directory";
}

// The test's own lines come first, in order, then its result line.
void TestReceiverWindow::portTest()
{
    QFETCH(bool, tester);
    QFETCH(QString, port);
    QFETCH(QString, failure);

    std::unique_ptr<SimulatedTester> sim;
    if (tester) {
        sim = std::make_unique<SimulatedTester>(QStringList{});
        port = sim->terminal();
        QVERIFY(!port.isEmpty());
    }
    VarodariDoro window;
    window.portPanel->portName->setText(port);
    window.logMessage("before");
    window.portPanel->testButton->click();
    const QStringList log = logLines(window);
    if (!failure.isEmpty()) {
        QCOMPARE(log, (QStringList{"before", failure}));
        return;
    }
    QVERIFY2(log.size() == 8, qPrintable(describe(window)));
    QCOMPARE(log.at(1), QString("Device found!"));
    QCOMPARE(log.at(2), " Date: " + QDate::currentDate().toString(Qt::ISODate));
    QCOMPARE(log.at(3), QString(" Model: Vezive-V1"));
    for (int i = 4; i <= 6; ++i)
        QVERIFY(log.at(i).startsWith(' '));
    QCOMPARE(log.at(7), QString("Port test successful"));
}

// Alt+S starts, Alt+T tests the port, F1 opens the help. A button's accelerator clicks it after
// a short animation, hence the waits.
void TestReceiverWindow::accelerators()
{
    VarodariDoro window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    {
        MessageBoxCloser boxes;
        QTest::keyClick(&window, Qt::Key_S, Qt::AltModifier);
        QTRY_COMPARE(boxes.texts, QStringList{"RX file name isn't specified"});
    }
    // The message box had the focus.
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_T, Qt::AltModifier);
    QTRY_COMPARE(logLines(window), (QStringList{"Error: RX file name isn't specified",
                                                "Cannot set : Port isn't set"}));
    // No manual beside the test program here.
    QTest::ignoreMessage(QtWarningMsg, "QTextBrowser: No document for index.html");
    QTest::keyClick(&window, Qt::Key_F1);
    QVERIFY(window.helpWindow->isVisible());
}

// F1 shows the manual's start page from the doc directory beside the program, KOI8-R decoded,
// also when the window was left on another page.
void TestReceiverWindow::help()
{
    const QString docPath = QCoreApplication::applicationDirPath() + "/doc";
    QDir doc(docPath);
    doc.removeRecursively(); // left by an earlier run that crashed
    QVERIFY(doc.mkpath("."));
    const auto removeDoc = qScopeGuard([&doc] { doc.removeRecursively(); });
    const QString title = QString::fromUtf8("Руководство");
    QVERIFY(writeFile(doc.filePath("index.html"),
                      "<html><body><h1>" + koi8r(title) + "</h1></body></html>"));
    QVERIFY(writeFile(doc.filePath("setup.html"), "<p>" + koi8r("Настройка") + "</p>"));

    VarodariDoro window;
    window.showHelp();
    KoiTextBrowser* browser = window.helpWindow->textBrowser;
    QVERIFY(window.helpWindow->isVisible());
    QCOMPARE(browser->source(), QUrl("index.html"));
    QCOMPARE(browser->toPlainText().trimmed(), title);

    browser->setSource(QUrl("setup.html"));
    QCOMPARE(browser->toPlainText().trimmed(), QString::fromUtf8("Настройка"));
    window.helpWindow->close();
    window.showHelp();
    QVERIFY(window.helpWindow->isVisible());
    QCOMPARE(browser->source(), QUrl("index.html"));
    QCOMPARE(browser->toPlainText().trimmed(), title);
    QCOMPARE(browser->searchPaths(), QStringList{docPath});
}

void TestReceiverWindow::messageLog()
{
    VarodariDoro window;
    window.show();
    for (int i = 1; i <= VarodariDoro::MaxLogLines + 1; ++i)
        window.logMessage(QString("line %1").arg(i));
    QCOMPARE(window.logBox->count(), VarodariDoro::MaxLogLines);
    QCOMPARE(window.logBox->item(0)->text(), QString("line 2"));
    QCOMPARE(window.logBox->currentRow(), VarodariDoro::MaxLogLines - 1);
    QCOMPARE(window.logBox->currentItem()->text(), QString("line 10001"));
    window.clearButton->click();
    QCOMPARE(window.logBox->count(), 0);

    MessageBoxCloser boxes;
    window.raiseError("", "no title");
    window.raiseError("Title", "with title");
    window.chainError("from the chain");
    QCOMPARE(logLines(window), (QStringList{"no title", "Title: with title",
                                            "Data gathering error: from the chain"}));
    QCOMPARE(boxes.titles, (QStringList{"", "Title", "Data gathering error"}));
    QCOMPARE(boxes.texts, (QStringList{"no title", "with title", "from the chain"}));
}

// Every option survives a restart under its key, each panel keeping its own.
void TestReceiverWindow::settingsRoundTrip()
{
    // Distinct values, so that two keys mixed up show.
    const QMap<QString, QString> values{
        {"Port", "/dev/ttyS1"},
        {"File", "/data/day.stream"},
        {"rxTS", "1"},
        {"syncTS", "16"},
        {"sourceType", "1"},
        {"dataType", "3"},
        {"pcap/linkType", "2"},
        {"pcap/fileName", "p.pcap"},
        {"pcap/minPacketLength", "11"},
        {"loopback/linkType", "1"},
        {"loopback/minPacketLength", "14"},
        {"toshiba/fileName", "t"},
        {"toshiba/minPacketLength", "2"},
        {"i4b/fileName", "i.i4b"},
        {"i4b/minPacketLength", "3"},
        {"i7/fileName", "i.i7"},
        {"i7/minPacketLength", "4"},
        {"raw/rxFileName", "rx"},
        {"raw/syncFileName", "sync"},
    };
    {
        VarodariDoro window;
        window.move(40, 30);
        window.resize(720, 510);
        const auto widgets = optionWidgets(window);
        QCOMPARE(widgets.keys(), values.keys());
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            setOption(widgets.value(it.key()), it.value());
    }

    const auto store = settingsStore();
    QCOMPARE(store->allKeys().size(), values.size() + 4);
    QCOMPARE(store->value("kzdata/Geometry/X").toInt(), 40);
    QCOMPARE(store->value("kzdata/Geometry/Y").toInt(), 30);
    QCOMPARE(store->value("kzdata/Geometry/Width").toInt(), 720);
    QCOMPARE(store->value("kzdata/Geometry/Height").toInt(), 510);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        QCOMPARE(store->value("kzdata/Values/" + it.key()).toString(), it.value());

    VarodariDoro window;
    QCOMPARE(window.pos(), QPoint(40, 30));
    QCOMPARE(window.size(), QSize(720, 510));
    const auto widgets = optionWidgets(window);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        QCOMPARE(optionText(widgets.value(it.key())), it.value());
    // The restored choices show their panels.
    QVERIFY(!window.filePanel->isHidden() && window.portPanel->isHidden());
    QVERIFY(!window.i4bPanel->isHidden() && window.rawPanel->isHidden());
}

void TestReceiverWindow::minPacketLengthSettings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("restored");

    QTest::newRow("letters") << "abc" << 0 << "0";
    QTest::newRow("negative") << "-5" << -5 << "-5";
    QTest::newRow("leading zeros") << "007" << 7 << "7";
    QTest::newRow("empty") << "" << 0 << "0";
    QTest::newRow("beyond 16 bits") << "70000" << 70000 << "70000";
}

void TestReceiverWindow::minPacketLengthSettings()
{
    QFETCH(QString, text);
    QFETCH(int, stored);
    QFETCH(QString, restored);

    const QStringList groups{"pcap", "toshiba", "i4b", "i7", "loopback"};
    {
        VarodariDoro window;
        for (int type = 1; type <= 5; ++type)
            setMinLength(window, type, text);
    }
    {
        const auto store = settingsStore();
        for (const QString& group : groups) {
            const QVariant value = store->value("kzdata/Values/" + group + "/minPacketLength");
            QCOMPARE(value.toString(), QString::number(stored));
        }
    }
    VarodariDoro window;
    for (QLineEdit* field :
         {window.pcapPanel->minPacketLength, window.toshibaPanel->minPacketLength,
          window.i4bPanel->minPacketLength, window.i7Panel->minPacketLength,
          window.loopbackPanel->minPacketLength})
        QCOMPARE(field->text(), restored);
}

// Stored values that the widgets cannot take leave the item as it was or are bounded.
void TestReceiverWindow::settingsOutOfRange()
{
    {
        const auto store = settingsStore();
        store->setValue("kzdata/Values/sourceType", 5);
        store->setValue("kzdata/Values/dataType", -1);
        store->setValue("kzdata/Values/pcap/linkType", 3);
        store->setValue("kzdata/Values/loopback/linkType", 99);
        store->setValue("kzdata/Values/rxTS", 40);
        store->setValue("kzdata/Values/syncTS", -3);
    }
    VarodariDoro window;
    QCOMPARE(window.source->currentIndex(), 0);
    QCOMPARE(window.dataType->currentIndex(), 0);
    QCOMPARE(window.pcapPanel->linkType->currentIndex(), 0);
    QCOMPARE(window.loopbackPanel->linkType->currentIndex(), 0);
    QCOMPARE(window.rxTimeslot->value(), 31);
    QCOMPARE(window.syncTimeslot->value(), 0);
    QVERIFY(!window.rawPanel->isHidden());
    QVERIFY(!window.portPanel->isHidden());
}

void TestReceiverWindow::settingsWrittenOnlyAtTheEnd()
{
    auto window = std::make_unique<VarodariDoro>();
    window->portPanel->portName->setText("/dev/ttyUSB0");
    window->clearClicked();
    window->showFrame(2);
    QVERIFY(settingsStore()->allKeys().isEmpty());
    window.reset();
    QCOMPARE(settingsStore()->value("kzdata/Values/Port").toString(), QString("/dev/ttyUSB0"));
}

QTEST_MAIN(TestReceiverWindow)
#include "tst_receiverwindow.moc"
