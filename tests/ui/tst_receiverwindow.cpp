// The main window as the user drives it: panels, option checks, runs from a replay file and from
// the simulated tester on a pseudo-terminal, the port test, the log, help and the settings.

#include "acquisition/datagatherer.h"
#include "capture/messagehandler.h"
#include "capture/stathandler.h"
#include "device/stopsignals.h"
#include "filechoose.h"
#include "helpwidgetimpl.h"
#include "modalwatcher.h"
#include "panels.h"
#include "progressdialogimpl.h"
#include "receiversettings.h"
#include "support/framematch.h"
#include "support/ptyendpoint.h"
#include "support/simulatedtester.h"
#include "support/testchains.h"
#include "support/testfiles.h"
#include "varodaridoro.h"
#include "writers/pcapreader.h"

#include <algorithm>
#include <csignal>
#include <memory>
#include <QAbstractEventDispatcher>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>
#include <unistd.h>

namespace {

const QString Sim = QStringLiteral(VEZIVE_SIM);
constexpr int Generous = 120000;    // ms; only a last guard against a hang
constexpr int StreamBytes = 200002; // not a multiple of 4: the last unit is a short one

QStringList logLines(const VarodariDoro& window)
{
    QStringList lines;
    for (int i = 0; i < window.logBox->count(); ++i)
        lines.append(window.logBox->item(i)->text());
    return lines;
}

QByteArray describe(const VarodariDoro& window)
{
    return logLines(window).join('\n').toLocal8Bit();
}

// Waits for the run's thread without handling events, so that no tick of the window's own timer
// comes between, queues the late lines, then polls once: the tick that finds the run finished.
bool finishRun(VarodariDoro& window, const QStringList& late = {})
{
    if (!window.gatherer || !window.gatherer->wait(QDeadlineTimer(Generous)))
        return false;
    for (const QString& line : late)
        window.messageHandler->postMessage(line);
    window.poll();
    return !window.gatherer && !window.isPolling();
}

QLineEdit* minLengthField(VarodariDoro& w, int traceType)
{
    QLineEdit* fields[] = {nullptr,
                           w.pcapPanel->minPacketLength,
                           w.toshibaPanel->minPacketLength,
                           w.i4bPanel->minPacketLength,
                           w.i7Panel->minPacketLength,
                           w.loopbackPanel->minPacketLength,
                           w.pcapngPanel->minPacketLength};
    return fields[traceType];
}

// As the user picks an item.
void choose(QComboBox* combo, int index)
{
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

void replayInto(VarodariDoro& window, const QString& stream, int traceType)
{
    choose(window.source, 1);
    window.filePanel->fileChoose->lineEdit()->setText(stream);
    choose(window.dataType, traceType);
}

std::unique_ptr<QSettings> settingsStore()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, ReceiverSettings::scope(),
                                       ReceiverSettings::Organization,
                                       ReceiverSettings::Application);
}

// Each stored option with its widget, the value given and the one stored and restored; these
// differ from each other, so that keys mixed up show, but for the lengths that are stored as 0.
struct Option
{
    QString key;
    QWidget* widget;
    QString value;
    QString stored = value;
};

QList<Option> options(VarodariDoro& w)
{
    return {
        {"Port", w.portPanel->portName, "/dev/ttyS1"},
        {"File", w.filePanel->fileChoose->lineEdit(), "/data/day.stream"},
        {"rxTS", w.rxTimeslot, "1"},
        {"syncTS", w.syncTimeslot, "16"},
        {"sourceType", w.source, "1"},
        {"dataType", w.dataType, "3"},
        {"pcap/linkType", w.pcapPanel->linkType, "2"},
        {"pcap/fileName", w.pcapPanel->fileName->lineEdit(), "p.pcap"},
        {"pcap/minPacketLength", w.pcapPanel->minPacketLength, "abc", "0"},
        {"loopback/linkType", w.loopbackPanel->linkType, "1"},
        {"loopback/minPacketLength", w.loopbackPanel->minPacketLength, "14"},
        {"toshiba/fileName", w.toshibaPanel->fileName->lineEdit(), "t"},
        {"toshiba/minPacketLength", w.toshibaPanel->minPacketLength, "-5"},
        {"i4b/fileName", w.i4bPanel->fileName->lineEdit(), "i.i4b"},
        {"i4b/minPacketLength", w.i4bPanel->minPacketLength, "007", "7"},
        {"i7/fileName", w.i7Panel->fileName->lineEdit(), "i.i7"},
        {"i7/minPacketLength", w.i7Panel->minPacketLength, "", "0"},
        {"raw/rxFileName", w.rawPanel->rxFileName->lineEdit(), "rx"},
        {"raw/syncFileName", w.rawPanel->syncFileName->lineEdit(), "sync"},
        {"pcapng/linkType", w.pcapngPanel->linkType, "3"},
        {"pcapng/fileName", w.pcapngPanel->fileName->lineEdit(), "n.pcapng"},
        {"pcapng/minPacketLength", w.pcapngPanel->minPacketLength, "4"},
    };
}

// The property that holds an option's value.
const char* valueProperty(const QWidget* widget)
{
    return widget->inherits("QLineEdit")  ? "text"
           : widget->inherits("QSpinBox") ? "value"
                                          : "currentIndex";
}

} // namespace

class TestReceiverWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void defaults_data();
    void defaults();
    void panelSwitching_data();
    void panelSwitching();
    void validation_data();
    void validation();
    void replayRuns_data();
    void replayRuns();
    void portRunStopped();
    void runEndings_data();
    void runEndings();
    void requestAndHangUp();
    void keysAndHelp();
    void messageLog();
    void settingsRoundTrip();

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
    QVERIFY(settingsStore()->fileName().startsWith(m_dir.path()));

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

void TestReceiverWindow::defaults_data()
{
    QTest::addColumn<bool>("outOfRange");
    QTest::newRow("nothing stored") << false;
    QTest::newRow("stored values the widgets cannot take") << true;
}

// A new window: the form's own geometry, first items, empty fields. Stored values out of range
// leave the items alone or are bounded.
void TestReceiverWindow::defaults()
{
    QFETCH(bool, outOfRange);
    if (outOfRange) {
        const QMap<QString, int> values{{"sourceType", 2},    {"dataType", -1},
                                        {"pcap/linkType", 4}, {"loopback/linkType", 99},
                                        {"rxTS", 40},         {"syncTS", -3}};
        const auto store = settingsStore();
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            store->setValue("kzdata/Values/" + it.key(), it.value());
    }
    VarodariDoro window;
    QCOMPARE(window.objectName(), QString("sereaderWidget"));
    QCOMPARE(window.size(), QSize(601, 443).expandedTo(window.minimumSizeHint()));
    for (QComboBox* combo : {window.source, window.dataType, window.pcapPanel->linkType,
                             window.loopbackPanel->linkType, window.pcapngPanel->linkType})
        QCOMPARE(combo->currentIndex(), 0);
    QCOMPARE(window.rxTimeslot->value(), outOfRange ? 31 : 0);
    QCOMPARE(window.syncTimeslot->value(), 0);
    for (int type = 1; type <= 6; ++type)
        QCOMPARE(minLengthField(window, type)->text(), QString("0"));
    QVERIFY(window.portPanel->portName->text().isEmpty());
    QVERIFY(!window.portPanel->isHidden() && !window.rawPanel->isHidden());

    QCOMPARE(window.startButton->toolTip(), QString("Start receive data from device"));
    QCOMPARE(window.clearButton->toolTip(), QString("Clear info box"));
    // The file to replay is opened, every trace file is saved.
    QCOMPARE(window.filePanel->fileChoose->mode(), int(FileChoose::Open));
    for (FileChoose* field :
         {window.rawPanel->rxFileName, window.rawPanel->syncFileName, window.pcapPanel->fileName,
          window.toshibaPanel->fileName, window.i4bPanel->fileName, window.i7Panel->fileName,
          window.pcapngPanel->fileName})
        QCOMPARE(field->mode(), int(FileChoose::Save));
    for (QComboBox* combo : {window.pcapPanel->linkType, window.loopbackPanel->linkType,
                             window.pcapngPanel->linkType}) {
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items.append(combo->itemText(i));
        QCOMPARE(items, (QStringList{"ISDN", "NULL", "SS7/MTP2", "LAPD"}));
    }
    // The help window is one of its own that does not keep the program running.
    QVERIFY(!window.helpWindow->parent() && window.helpWindow->isHidden());
    QVERIFY(!window.helpWindow->testAttribute(Qt::WA_QuitOnClose));
    QVERIFY(!window.gatherer && !window.isPolling());
}

void TestReceiverWindow::panelSwitching_data()
{
    QTest::addColumn<bool>("trace"); // the trace type list, or else the source list
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("panel"); // the class of the one panel shown; empty: none

    const QStringList traces{"RawImpl", "PcapImpl",     "Toshiba", "I4b",
                             "I7",      "LoopbackImpl", "PcapImpl"};
    for (int i = 0; i < traces.size(); ++i)
        QTest::addRow("trace %d", i) << true << i << traces.at(i);
    QTest::newRow("trace beyond the list") << true << 7 << "";
    QTest::newRow("port") << false << 0 << "PortWidget";
    QTest::newRow("file") << false << 1 << "FileWidget";
}

// Exactly one panel shows, alone in its frame's margin-free layout, whichever showed before.
void TestReceiverWindow::panelSwitching()
{
    QFETCH(bool, trace);
    QFETCH(int, index);
    QFETCH(QString, panel);

    VarodariDoro window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QComboBox* combo = trace ? window.dataType : window.source;
    QFrame* frame = trace ? window.dataFrame : window.sourceFrame;
    const QList<QWidget*> candidates =
        trace ? window.panels : QList<QWidget*>{window.portPanel, window.filePanel};
    for (int before : {1, 0, 5}) {
        if (before < combo->count())
            choose(combo, before);
        trace ? window.showFrame(index) : window.sourceChanged(index);
        QStringList visible;
        for (QWidget* p : candidates) {
            if (p->isVisible())
                visible.append(p->metaObject()->className());
        }
        QCOMPARE(visible, panel.isEmpty() ? QStringList() : QStringList{panel});
        QCOMPARE(frame->layout(), trace ? window.dataLayout : window.sourceLayout);
        QCOMPARE(frame->layout()->count(), panel.isEmpty() ? 0 : 1);
        QCOMPARE(frame->layout()->contentsMargins(), QMargins());
    }
    if (panel.isEmpty())
        return;
    choose(combo, index == 0 ? 1 : 0);
    choose(combo, index);
    QWidget* shown = frame->layout()->itemAt(0)->widget();
    QCOMPARE(shown->metaObject()->className(), panel);
    QTRY_VERIFY(shown->height() > 0);
}

void TestReceiverWindow::validation_data()
{
    QTest::addColumn<int>("traceType");
    QTest::addColumn<QString>("rxFile");
    QTest::addColumn<QString>("syncFile");
    QTest::addColumn<QString>("minLength"); // the other panels' fields hold letters
    QTest::addColumn<QString>("input");     // the replay file; empty: an empty one
    QTest::addColumn<QString>("message");   // empty: the run starts
    QTest::addColumn<QString>("field");     // the field given the focus: rx, sync, min, input

    const auto row = [](const char* name, int traceType, const char* rx, const char* sync,
                        const char* minLength, const char* message, const char* field,
                        const char* input = "") {
        QTest::newRow(name) << traceType << QString(rx) << QString(sync) << QString(minLength)
                            << QString(input) << QString(message) << QString(field);
    };
    const char* wrong = "Wrong min. packet length";
    const char* range = "Min. packet length must be from 0 to 65535";
    row("raw, no names", 0, "", "", "", "RX file name isn't specified", "rx");
    row("raw, no Sync name", 0, "<dir>/r", "", "", "Sync file name isn't specified", "sync");
    row("raw, both names", 0, "<dir>/r", "<dir>/s", "", "", "");
    row("raw, one file by two names", 0, "<dir>/same", "<dir>/./same", "",
        "The Sync file and the RX file are the same file: <dir>/./same", "sync");
    row("pcap, letters", 1, "<dir>/p", "", "abc", wrong, "min");
    row("pcap, minus", 1, "<dir>/p", "", "-1", wrong, "min");
    row("pcap, empty", 1, "<dir>/p", "", "", wrong, "min");
    row("pcap, 70000", 1, "<dir>/p", "", "70000", range, "min");
    row("pcap, no file name", 1, "", "", "0", "File name isn't specified", "rx");
    row("toshiba, no file name", 2, "", "", "0", "File name isn't specified", "rx");
    row("i4b, no file name", 3, "", "", "0", "File name isn't specified", "rx");
    row("i7, no file name", 4, "", "", "0", "File name isn't specified", "rx");
    row("i7, trace file is the replay", 4, "<dir>/empty", "", "0",
        "The trace file and the input file are the same file: <dir>/empty", "rx");
    row("pcap, no replay file", 1, "<dir>/p", "", "0",
        "Replay file doesn't exist: <dir>/no such stream", "input", "<dir>/no such stream");
    row("toshiba, 0", 2, "<dir>/t", "", "0", "", "");
    row("i4b, 14", 3, "<dir>/i", "", "14", "", "");
    row("i7, 007", 4, "<dir>/i", "", "007", "", "");
    row("loopback, letters", 5, "", "", "12a", wrong, "min");
    row("loopback, largest", 5, "", "", "65535", "", "");
}

// A failed check shows a warning box titled "Error", logs the same text, puts the focus on the
// field and starts nothing. A passed one starts the run (here from an empty file, which ends it
// at once): the options out of reach, the dialog centred and showing the cleared counters, the
// queue emptied, a poll each second; at the end the counters and the reason are logged.
void TestReceiverWindow::validation()
{
    QFETCH(int, traceType);
    QFETCH(QString, rxFile);
    QFETCH(QString, syncFile);
    QFETCH(QString, minLength);
    QFETCH(QString, input);
    QFETCH(QString, message);
    QFETCH(QString, field);

    VarodariDoro window;
    window.move(100, 50);
    window.resize(700, 500);
    for (QString* text : {&rxFile, &syncFile, &message, &input})
        text->replace("<dir>", m_dir.path());
    QFile(m_dir.filePath("same")).open(QIODevice::WriteOnly);
    QFile(m_dir.filePath("empty")).open(QIODevice::WriteOnly);
    replayInto(window, input.isEmpty() ? m_dir.filePath("empty") : input, traceType);
    const QList<FileChoose*> fileFields{window.rawPanel->rxFileName, window.pcapPanel->fileName,
                                        window.toshibaPanel->fileName, window.i4bPanel->fileName,
                                        window.i7Panel->fileName};
    if (traceType < fileFields.size())
        fileFields[traceType]->lineEdit()->setText(rxFile);
    window.rawPanel->syncFileName->lineEdit()->setText(syncFile);
    for (int type = 1; type <= 5; ++type)
        minLengthField(window, type)->setText(type == traceType ? minLength : "abc");
    ProgressDialogImpl* dialog = window.progressDialog;
    for (int i = 1; i <= 5; ++i)
        dialog->setText(StatHandler::StatType(i), "99");
    window.statHandler->add(12, StatHandler::Packets);
    window.messageHandler->postMessage("left over from an earlier run");

    MessageBoxCloser boxes;
    window.startClicked();
    if (!message.isEmpty()) {
        QCOMPARE(boxes.titles, QStringList{"Error"});
        QCOMPARE(boxes.texts, QStringList{message});
        QCOMPARE(logLines(window), QStringList{"Error: " + message});
        QVERIFY(!window.gatherer && !window.isPolling() && dialog->isHidden());
        const QMap<QString, QWidget*> fields{
            {"rx", traceType < 5 ? fileFields[traceType]->lineEdit() : nullptr},
            {"sync", window.rawPanel->syncFileName->lineEdit()},
            {"min", minLengthField(window, traceType)},
            {"input", window.filePanel->fileChoose->lineEdit()}};
        QCOMPARE(window.focusWidget(), fields.value(field));
        return;
    }
    QVERIFY(boxes.titles.isEmpty());
    QVERIFY(window.gatherer);
    QVERIFY(dialog->isVisible() && !window.startButton->isEnabled());
    QCOMPARE(dialog->pos(),
             QPoint(100 + (700 - dialog->width()) / 2, 50 + (500 - dialog->height()) / 2));
    for (int i = 1; i <= 5; ++i)
        QCOMPARE(dialog->values[i]->text(), QString("0"));
    const auto timers = QAbstractEventDispatcher::instance()->registeredTimers(&window);
    QVERIFY(std::any_of(timers.cbegin(), timers.cend(),
                        [](const auto& timer) { return timer.interval == 1000; }));

    QVERIFY(finishRun(window));
    QVERIFY(dialog->isHidden() && window.startButton->isEnabled());
    const QStringList log = logLines(window);
    QCOMPARE(log.mid(log.size() - 2),
             (QStringList{"Packets: 0, Bytes: 0, Errored length: 0, Bad CRC: 0, Too large: 0",
                          "Run ended: end of file"}));
}

void TestReceiverWindow::replayRuns_data()
{
    QTest::addColumn<int>("traceType");
    QTest::addColumn<int>("linkIndex");
    QTest::addColumn<QString>("minLength");
    QTest::addColumn<int>("linkType"); // expected in the PCAP file
    QTest::addColumn<int>("minimum");  // the shortest frame expected to be written
    QTest::addColumn<bool>("byTimer"); // the window's own timer drives the run

    QTest::newRow("raw, timer") << 0 << 0 << "" << 0 << 0 << true;
    QTest::newRow("pcap ISDN") << 1 << 0 << "0" << 147 << 0 << false;
    QTest::newRow("pcap NULL, timer") << 1 << 1 << "0" << 0 << 0 << true;
    QTest::newRow("pcap SS7/MTP2, min 12") << 1 << 2 << "12" << 140 << 12 << false;
    QTest::newRow("pcap, min 65535") << 1 << 0 << "65535" << 147 << 65535 << false;
}

// Runs from the replay file. Where the test drives the ticks, more lines than a tick takes are
// queued after the run has ended: the tick that finds it finished shows every one, in order.
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
    replayInto(window, m_stream, traceType);
    window.rawPanel->rxFileName->lineEdit()->setText(out.filePath("rx"));
    window.rawPanel->syncFileName->lineEdit()->setText(out.filePath("sync"));
    window.pcapPanel->fileName->lineEdit()->setText(out.filePath("trace.pcap"));
    window.pcapPanel->linkType->setCurrentIndex(linkIndex);
    window.pcapPanel->minPacketLength->setText(minLength);
    // The other panels' options do not reach the run.
    window.loopbackPanel->linkType->setCurrentIndex(2);
    window.toshibaPanel->fileName->lineEdit()->setText(out.filePath("other"));

    QStringList late;
    MessageBoxCloser refused; // a refused start fails below instead of waiting on its box
    window.startClicked();
    QVERIFY(window.gatherer);
    if (byTimer) {
        QTRY_VERIFY_WITH_TIMEOUT(!window.gatherer, Generous);
        QVERIFY(!window.isPolling());
    } else {
        late = QStringList{"late 1", "late 2", "late 3", "late 4", "late 5", "late 6"};
        QVERIFY(finishRun(window, late));
    }
    QVERIFY(window.progressDialog->isHidden());
    QVERIFY(!window.messageHandler->hasMessages());
    QVERIFY(!QFile::exists(out.filePath("other")));
    const auto shown = [&window](StatHandler::StatType type) {
        return window.progressDialog->values[type]->text();
    };

    QStringList expected{"End of file reached"};
    if (traceType == 0) {
        const QByteArray stream = fileContents(m_stream);
        const auto [rx, sync] = channelOctets(stream);
        QCOMPARE(fileContents(out.filePath("rx")), rx);
        QCOMPARE(fileContents(out.filePath("sync")), sync);
        expected << QString("Rx: %1 bytes written").arg(rx.size())
                 << QString("Sync: %1 bytes written").arg(sync.size());
        QCOMPARE(shown(StatHandler::Bytes), QString::number(StreamBytes));
        QCOMPARE(shown(StatHandler::Packets), QString("0"));
    } else {
        const auto keep = [minimum](QList<QByteArray> frames) {
            frames.removeIf([minimum](const QByteArray& f) { return f.size() < minimum; });
            return frames;
        };
        const QList<QByteArray> rx = keep(m_sent.rx), sync = keep(m_sent.sync);
        PcapReader pcap;
        QVERIFY2(pcap.load(out.filePath("trace.pcap")), qPrintable(pcap.error()));
        QCOMPARE(int(pcap.linkType()), linkType);
        QVERIFY(isInterleaving(pcap.frames(), rx, sync));
        const qsizetype frames = pcap.records().size();
        QCOMPARE(frames, rx.size() + sync.size());
        qint64 bytes = 0;
        for (const PcapRecord& record : pcap.records())
            bytes += record.data.size() + PcapReader::RecordHeaderSize;
        expected << QString("%1 packets written").arg(frames)
                 << QString("%1 bytes written").arg(bytes);
        QCOMPARE(shown(StatHandler::Packets), QString::number(frames));
        QCOMPARE(shown(StatHandler::Bytes), QString::number(bytes));
        QVERIFY(shown(StatHandler::BadCrc) != "0");
    }
    const QStringList log = logLines(window);
    QCOMPARE(log.mid(0, log.size() - 2), expected + late);
    QCOMPARE(log.last(), QString("Run ended: end of file"));
}

// A run from the tester, stopped with the Stop button: four lines a tick while it runs, then the
// totals and a silent port test. The Test button then logs the test's lines on the window's
// thread, in order, before the result line.
void TestReceiverWindow::portRunStopped()
{
    QTemporaryDir out;
    const QString sentPath = out.filePath("sent.txt");
    SimulatedTester tester(Sim, {"--sent", sentPath});
    QVERIFY(!tester.terminal().isEmpty());

    VarodariDoro window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.portPanel->portName->setText(tester.terminal());
    window.rxTimeslot->setValue(1);
    window.syncTimeslot->setValue(16);
    choose(window.dataType, 1);
    window.pcapPanel->fileName->lineEdit()->setText(out.filePath("live.pcap"));
    window.pcapPanel->linkType->setCurrentIndex(2);

    window.startClicked();
    QVERIFY(window.progressDialog->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(window.statHandler->value(StatHandler::Packets) > 0, Generous);

    const qsizetype before = logLines(window).size();
    for (int i = 0; i < 6; ++i)
        window.messageHandler->postMessage(QString("queued %1").arg(i));
    window.poll();
    QCOMPARE(logLines(window).mid(before),
             (QStringList{"queued 0", "queued 1", "queued 2", "queued 3"}));
    window.poll();
    QCOMPARE(logLines(window).size(), before + 6);
    QVERIFY(window.gatherer);

    window.progressDialog->stopButton->click();
    QVERIFY(finishRun(window));
    QVERIFY(window.progressDialog->isHidden());

    // The port test follows every line of the run, and the window stays live meanwhile.
    QVERIFY(!window.portPanel->testButton->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(window.portPanel->testButton->isEnabled(), 5000);
    const QStringList log = logLines(window);
    const qsizetype cancelled = log.indexOf("Cancelled");
    QVERIFY2(cancelled >= 0, describe(window));
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
    QVERIFY2(log.indexOf("Device found!") > log.indexOf("Run ended: stopped"), describe(window));
    QVERIFY(!log.contains("Port test successful"));
    QVERIFY(!log.join('\n').contains("Cannot set"));
    window.portPanel->testButton->click();
    QTRY_VERIFY_WITH_TIMEOUT(logLines(window).size() == log.size() + 7, 5000);
    const QStringList test = logLines(window).mid(log.size());
    QCOMPARE(test.mid(0, 3),
             (QStringList{"Device found!", " Date: " + QDate::currentDate().toString(Qt::ISODate),
                          " Model: Vezive-V1"}));
    QCOMPARE(test.last(), QString("Port test successful"));
}

void TestReceiverWindow::runEndings_data()
{
    QTest::addColumn<QStringList>("simulator"); // empty: a replay of the stream file
    QTest::addColumn<QString>("ending");        // none, stop, close or signal
    QTest::addColumn<QString>("reason");        // the run's last log line

    const QString stopped = "Run ended: stopped";
    QTest::newRow("end of file") << QStringList() << "none"
                                 << "Run ended: end of file";
    QTest::newRow("Stop") << QStringList() << "stop" << stopped; // the tester in real time
    QTest::newRow("silent line") << QStringList{"--fast", "--silent-after", "20000"} << "none"
                                 << "Run ended: the tester fell silent";
    QTest::newRow("error") << QStringList{"--fast", "--bad-echo"} << "none"
                           << "Data gathering error: Error reading ATU header. Invalid data. "
                              "Halting.";
    QTest::newRow("close during the run") << QStringList() << "close" << stopped;
    QTest::newRow("SIGTERM") << QStringList() << "signal" << stopped;
}

// However a run ends, its trace is complete and the log ends with the counters as the dialog
// shows them and the reason; an error is shown in a box too. Closing the window during a run
// asks first; a termination signal does not. Both stop the run, then close the window.
void TestReceiverWindow::runEndings()
{
    QFETCH(QStringList, simulator);
    QFETCH(QString, ending);
    QFETCH(QString, reason);

    QTemporaryDir out;
    std::unique_ptr<SimulatedTester> tester;
    VarodariDoro window;
    window.show();
    if (ending == "none" && simulator.isEmpty()) {
        replayInto(window, m_stream, 1);
    } else {
        tester = std::make_unique<SimulatedTester>(Sim, simulator);
        QVERIFY(!tester->terminal().isEmpty());
        window.portPanel->portName->setText(tester->terminal());
        choose(window.dataType, 1);
    }
    window.pcapPanel->fileName->lineEdit()->setText(out.filePath("t.pcap"));
    StopSignals stopSignals;
    connect(&stopSignals, &StopSignals::received, &window, &VarodariDoro::shutDown);
    QStringList errors; // the question to quit is answered yes
    ModalWatcher boxes([&errors](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box && box->button(QMessageBox::Yes))
            box->button(QMessageBox::Yes)->click();
        else if (box)
            errors << box->text(), box->done(QMessageBox::Ok);
        return box != nullptr;
    });

    window.startClicked();
    QVERIFY(window.gatherer);
    if (ending != "none")
        QTRY_VERIFY_WITH_TIMEOUT(window.statHandler->value(StatHandler::Packets) > 0, 10000);
    if (ending == "stop")
        window.progressDialog->stopButton->click();
    else if (ending == "close")
        window.close();
    else if (ending == "signal")
        QCOMPARE(::kill(::getpid(), SIGTERM), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!window.gatherer, 10000);

    const QStringList log = logLines(window);
    const qsizetype end = log.indexOf(reason);
    QVERIFY2(end > 0, describe(window));
    QStringList counters;
    for (int i = 1; i <= 5; ++i)
        counters << window.progressDialog->names[i] + ": " +
                        window.progressDialog->values[i]->text();
    QCOMPARE(log.at(end - 1), counters.join(", "));
    QCOMPARE(errors.isEmpty(), !reason.startsWith("Data"));
    QCOMPARE(window.isVisible(), ending != "close" && ending != "signal");
    PcapReader pcap;
    if (log.join('\n').contains("packets written")) {
        QVERIFY2(pcap.load(out.filePath("t.pcap")), qPrintable(pcap.error()));
        QCOMPARE(window.progressDialog->values[1]->text(), QString::number(pcap.records().size()));
    }
}

// What reaches the tester is the request for the chosen timeslots; a line that goes away ends
// the run with the system's text, and the port test that follows says it cannot use the port.
void TestReceiverWindow::requestAndHangUp()
{
    PtyEndpoint line;
    QVERIFY2(line.open(), qPrintable(line.errorString()));
    VarodariDoro window;
    window.portPanel->portName->setText(line.terminalPath());
    window.rxTimeslot->setValue(1);
    window.syncTimeslot->setValue(16);
    choose(window.dataType, 5);
    window.loopbackPanel->minPacketLength->setText("14");

    window.startClicked();
    QCOMPARE(line.read(9), QByteArray("ATU01 16\n"));
    line.hangUp();
    MessageBoxCloser boxes;
    QVERIFY(finishRun(window));
    QTRY_VERIFY_WITH_TIMEOUT(logLines(window).size() == 4, 5000);
    const QStringList log = logLines(window);
    QCOMPARE(log.at(0), QString("Input/output error"));
    QCOMPARE(log.at(2), QString("Data gathering error: Input/output error"));
    QVERIFY(log.at(3).startsWith("Cannot set " + line.terminalPath() + ": "));
}

// Alt+S starts, Alt+T tests the port, F1 shows the manual's start page from the doc directory
// beside the program, also when the help was left on another page. Pages are KOI8-R whatever
// they claim, also with an upper-case extension; Back and Home lead to the start page, Close hides
// the window. A button's accelerator clicks it after a short animation, hence the waits.
void TestReceiverWindow::keysAndHelp()
{
    const QString docPath = QCoreApplication::applicationDirPath() + "/doc";
    QDir doc(docPath);
    doc.removeRecursively(); // left by an earlier run that crashed
    QVERIFY(doc.mkpath("."));
    const auto removeDoc = qScopeGuard([&doc] { doc.removeRecursively(); });
    const QString title = QString::fromUtf8("Руководство");
    const QByteArray koi8r = QStringEncoder("KOI8-R").encode(title);
    QVERIFY(writeFile(doc.filePath("index.html"),
                      "<html><head><meta charset=\"utf-8\"></head><body>" + koi8r + "</body>"));
    QVERIFY(writeFile(doc.filePath("SECOND.HTML"), "<p>" + koi8r + "2</p>"));
    QVERIFY(writeFile(doc.filePath("third.html"), "<p>third</p>"));

    VarodariDoro window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    {
        MessageBoxCloser boxes;
        QTest::keyClick(&window, Qt::Key_S, Qt::AltModifier);
        QTRY_COMPARE(boxes.texts, QStringList{"RX file name isn't specified"});
    }
    // The message box, later the help window, had the focus.
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    // Tab goes down the window as it is laid out.
    window.source->setFocus();
    QList<QWidget*> tabbed;
    for (int i = 0; i < 9; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        tabbed << QApplication::focusWidget();
    }
    RawImpl* raw = window.rawPanel;
    QCOMPARE(tabbed, (QList<QWidget*>{window.portPanel->portList, window.portPanel->testButton,
                                      window.rxTimeslot, window.syncTimeslot, window.dataType,
                                      raw->rxFileName->lineEdit(), raw->rxFileName->button(),
                                      raw->syncFileName->lineEdit(), raw->syncFileName->button()}));
    QTest::keyClick(&window, Qt::Key_T, Qt::AltModifier);
    QTRY_COMPARE(logLines(window), (QStringList{"Error: RX file name isn't specified",
                                                "Cannot set : Port isn't set"}));

    helpwidgetImpl* help = window.helpWindow;
    KoiTextBrowser* browser = help->textBrowser;
    QCOMPARE(help->backButton->palette().color(QPalette::Active, QPalette::ButtonText),
             QColor(Qt::black));
    for (QPushButton* button : {help->backButton, help->homeButton, help->closeButton}) {
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_F1);
        QVERIFY(help->isVisible());
        QCOMPARE(browser->searchPaths(), QStringList{docPath});
        QCOMPARE(browser->source(), QUrl("index.html"));
        QCOMPARE(browser->toPlainText().trimmed(), title);
        browser->setSource(QUrl("SECOND.HTML"));
        QCOMPARE(browser->toPlainText().trimmed(), title + "2");
        browser->setSource(QUrl("third.html"));
        button->click();
        if (button == help->closeButton)
            QVERIFY(help->isHidden());
        else
            QCOMPARE(browser->source(), QUrl("index.html"));
        help->hide();
    }
}

// At most 10,000 lines, the newest current; errors go to a warning box and the log.
void TestReceiverWindow::messageLog()
{
    VarodariDoro window;
    window.show();
    for (int i = 1; i <= VarodariDoro::MaxLogLines + 1; ++i)
        window.logMessage(QString("line %1").arg(i));
    QCOMPARE(window.logBox->count(), 10000);
    QCOMPARE(window.logBox->item(0)->text(), QString("line 2"));
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

// Every option and the geometry survive a restart, each under its own key, a min. packet length
// as a number; nothing is written before the window goes.
void TestReceiverWindow::settingsRoundTrip()
{
    {
        VarodariDoro window;
        window.move(40, 30);
        window.resize(720, 510);
        for (const Option& option : options(window))
            option.widget->setProperty(valueProperty(option.widget), option.value);
        window.clearClicked();
        QVERIFY(settingsStore()->allKeys().isEmpty());
    }
    VarodariDoro window;
    const auto store = settingsStore();
    const QList<Option> restored = options(window);
    QCOMPARE(store->allKeys().size(), restored.size() + 4);
    const QMap<QString, int> geometry{{"X", 40}, {"Y", 30}, {"Width", 720}, {"Height", 510}};
    for (auto it = geometry.cbegin(); it != geometry.cend(); ++it)
        QCOMPARE(store->value("kzdata/Geometry/" + it.key()).toInt(), it.value());
    for (const Option& option : restored) {
        QCOMPARE(store->value("kzdata/Values/" + option.key).toString(), option.stored);
        QCOMPARE(option.widget->property(valueProperty(option.widget)).toString(), option.stored);
    }
    QCOMPARE(window.pos(), QPoint(40, 30));
    QCOMPARE(window.size(), QSize(720, 510));
    // The restored choices show their panels.
    QVERIFY(!window.filePanel->isHidden() && window.portPanel->isHidden());
    QVERIFY(!window.i4bPanel->isHidden() && window.rawPanel->isHidden());
}

QTEST_MAIN(TestReceiverWindow)
#include "tst_receiverwindow.moc"
