// Start-up: where the translation is looked for, under which name, and that the window's texts
// go through it in their own contexts; the Russian translation beside the program, in the
// window and in the engine's messages, and its source file against the program's sources.

#include "acquisition/datagatherer.h"
#include "acquisition/tracetypes.h"
#include "capture/messagehandler.h"
#include "capture/streamencoder.h"
#include "filechoose.h"
#include "helpwidgetimpl.h"
#include "modalwatcher.h"
#include "panels.h"
#include "progressdialogimpl.h"
#include "startup.h"
#include "support/testfiles.h"
#include "varodaridoro.h"

#include <functional>
#include <QAbstractButton>
#include <QLoggingCategory>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>
#include <QXmlStreamReader>

namespace {

constexpr int Generous = 120000; // ms; only a last guard against a hang

using Probe = std::function<QString(VarodariDoro&)>;
using Action = std::function<QStringList(VarodariDoro&, const QString& dir)>;

QString besideProgram(const QString& name)
{
    return QFileInfo(QStringLiteral(VEZIVE_RECEIVER)).absoluteDir().filePath(name);
}

// The Russian translation as the program finds it: kz.ru_RU falls back to kz.ru.qm beside it.
class RussianTranslation
{
public:
    RussianTranslation()
    {
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^loading translation \"kz\\.ru_RU\""));
        loadTranslation(m_translator, QStringLiteral(VEZIVE_RECEIVER), QStringLiteral("ru_RU"));
        m_installed = QCoreApplication::installTranslator(&m_translator);
    }
    ~RussianTranslation() { QCoreApplication::removeTranslator(&m_translator); }
    bool installed() const { return m_installed; }
    QString filePath() const { return m_translator.filePath(); }
    QString translate(const QString& context, const QString& source) const
    {
        return m_translator.translate(qPrintable(context), qPrintable(source));
    }

private:
    QTranslator m_translator;
    bool m_installed = false;
};

struct TsMessage
{
    QString context;
    QString source;
    QString translation;
    QString type; // "unfinished", "vanished", "obsolete" or empty
};

QList<TsMessage> readTs(const QString& path, QString* error)
{
    QList<TsMessage> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = path + ": " + file.errorString();
        return messages;
    }
    QXmlStreamReader xml(&file);
    QString context;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("message")) {
            messages.append({context, {}, {}, {}});
        } else if (xml.name() == QLatin1String("source") && !messages.isEmpty()) {
            messages.last().source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation") && !messages.isEmpty()) {
            messages.last().type = xml.attributes().value("type").toString();
            messages.last().translation = xml.readElementText();
        }
    }
    if (xml.hasError())
        *error = path + ": " + xml.errorString();
    return messages;
}

QSet<QString> keys(const QList<TsMessage>& messages)
{
    QSet<QString> result;
    for (const TsMessage& message : messages)
        result.insert(message.context + " | " + message.source);
    return result;
}

// What a translation must keep of its source for the code that shows it: the blanks around it
// (texts are joined to names), %1-style placeholders, the closing colon or stop, parenthesised
// parts (the file filter "(*)", the channel names) and whether it has an accelerator.
QStringList formProblems(const TsMessage& m)
{
    QStringList problems;
    const auto matches = [](const QString& text, const QRegularExpression& pattern) {
        QStringList found;
        for (auto it = pattern.globalMatch(text); it.hasNext();)
            found.append(it.next().captured());
        found.sort();
        return found;
    };
    static const QRegularExpression leading("^\\s*"), trailing("\\s*$");
    static const QRegularExpression placeholder("%L?\\d+|%n");
    static const QRegularExpression parenthesised("\\([^)]*\\)");
    static const QRegularExpression accelerator("&(?!&)");
    if (m.translation.isEmpty())
        problems.append("empty");
    if (!m.type.isEmpty())
        problems.append(m.type);
    if (matches(m.source, leading) != matches(m.translation, leading) ||
        matches(m.source, trailing) != matches(m.translation, trailing))
        problems.append("blanks around it differ");
    if (matches(m.source, placeholder) != matches(m.translation, placeholder))
        problems.append("placeholders differ");
    const QString source = m.source.trimmed(), translation = m.translation.trimmed();
    for (const QChar stop : {QChar(':'), QChar('.'), QChar('!'), QChar('?')}) {
        if (source.endsWith(stop) != translation.endsWith(stop))
            problems.append(QString("closing '%1' differs").arg(stop));
    }
    for (const QString& part : matches(m.source, parenthesised)) {
        if (!m.translation.contains(part))
            problems.append(part + " missing");
    }
    if (matches(m.source, accelerator).size() != matches(m.translation, accelerator).size())
        problems.append("accelerator differs");
    return problems;
}

QStringList logLines(const VarodariDoro& window)
{
    QStringList lines;
    for (int i = 0; i < window.logBox->count(); ++i)
        lines.append(window.logBox->item(i)->text());
    return lines;
}

// Starts a run and lets it end: waits for the thread without handling events, then polls once.
QStringList runToEnd(VarodariDoro& window)
{
    window.startClicked();
    if (!window.gatherer || !window.gatherer->wait(QDeadlineTimer(Generous)))
        return {"the run did not end"};
    window.poll();
    return logLines(window);
}

void selectSourceFile(VarodariDoro& window, const QString& path)
{
    window.source->setCurrentIndex(1);
    window.sourceChanged(1);
    window.filePanel->fileChoose->lineEdit()->setText(path);
}

void selectTraceType(VarodariDoro& window, int traceType)
{
    window.dataType->setCurrentIndex(traceType);
    window.showFrame(traceType);
}

// A replay file: three 10-octet frames on the RX timeslot, idle flags on the Sync one.
QString writeReplay(const QString& dir)
{
    ChannelEncoder rx, sync;
    rx.addFlags(4);
    for (char c : {'a', 'b', 'c'})
        rx.addFrame(QByteArray(10, c));
    rx.addFlags(4);
    sync.addFlags(40);
    const QString path = dir + "/replay.stream";
    return writeFile(path, StreamFormat::captureData(rx, sync)) ? path : QString();
}

} // namespace

Q_DECLARE_METATYPE(Probe)
Q_DECLARE_METATYPE(Action)

class TestReceiverStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void programDirectory_data();
    void programDirectory();
    void translationSearch_data();
    void translationSearch();
    void translatedWindow();
    void russianWindow_data();
    void russianWindow();
    void russianMessages_data();
    void russianMessages();
    void russianAccelerators();
    void translationFile();
    void translationCoversSources();
    void program();

private:
    QTemporaryDir m_settings;
};

void TestReceiverStartup::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
    // The start-up's debug line, which these tests expect, is off unless asked for.
    QLoggingCategory::setFilterRules("vezive.debug=true");
    QVERIFY(QFile::exists(QStringLiteral(TEST_TRANSLATION)));
}

void TestReceiverStartup::programDirectory_data()
{
    QTest::addColumn<QString>("programPath");
    QTest::addColumn<QString>("directory");

    QTest::newRow("Linux path") << "/opt/vezive/ui/vezive-receiver"
                                << "/opt/vezive/ui";
    QTest::newRow("relative") << "./vezive-receiver"
                              << ".";
    QTest::newRow("backslashes") << "D:\\tools\\rx"
                                 << "D:\\tools";
    QTest::newRow("mixed, last one counts") << "C:\\a/b\\rx"
                                            << "C:\\a/b";
    QTest::newRow("no separator: taken whole") << "rx"
                                               << "rx";
    QTest::newRow("at the root") << "/rx"
                                 << "";
}

void TestReceiverStartup::programDirectory()
{
    QFETCH(QString, programPath);
    QFETCH(QString, directory);
    QCOMPARE(::programDirectory(programPath), directory);
}

void TestReceiverStartup::translationSearch_data()
{
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QString>("loaded"); // empty: none

    QTest::newRow("full locale") << QStringList{"kz.ru_RU.qm", "kz.ru.qm"} << "kz.ru_RU.qm";
    QTest::newRow("full locale, no suffix") << QStringList{"kz.ru_RU", "kz.ru.qm"} << "kz.ru_RU";
    QTest::newRow("language only") << QStringList{"kz.ru.qm", "kz.qm"} << "kz.ru.qm";
    QTest::newRow("language, no suffix") << QStringList{"kz.ru", "kz.qm"} << "kz.ru";
    QTest::newRow("base name") << QStringList{"kz.qm", "kz.de.qm"} << "kz.qm";
    QTest::newRow("none") << QStringList{"kz.de.qm"} << "";
}

// The name is "kz." and the locale, looked for in the program's directory with the usual
// fall-backs; the debug output says what is loaded from where.
void TestReceiverStartup::translationSearch()
{
    QFETCH(QStringList, present);
    QFETCH(QString, loaded);

    QTemporaryDir dir;
    for (const QString& name : present)
        QVERIFY(QFile::copy(QStringLiteral(TEST_TRANSLATION), dir.filePath(name)));
    const QString program = dir.filePath("vezive-receiver");
    QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("loading translation \"kz.ru_RU\" "
                                                               "from \"%1\"")
                                                    .arg(dir.path())));
    QTranslator translator;
    loadTranslation(translator, program, "ru_RU");
    if (loaded.isEmpty()) {
        QVERIFY(translator.isEmpty());
        QVERIFY(translator.filePath().isEmpty());
    } else {
        QCOMPARE(QFileInfo(translator.filePath()).fileName(), loaded);
    }
}

// The texts of the window, its forms and its dialog are looked up in their own contexts; a
// window built without a translation speaks English.
void TestReceiverStartup::translatedWindow()
{
    {
        VarodariDoro english;
        QCOMPARE(english.windowTitle(), QString("Vezive-V1 data receiver"));
        QCOMPARE(english.source->itemText(1), QString("File"));
    }

    QTemporaryDir dir;
    QVERIFY(QFile::copy(QStringLiteral(TEST_TRANSLATION), dir.filePath("kz.de.qm")));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^loading translation"));
    QTranslator translator;
    loadTranslation(translator, dir.filePath("vezive-receiver"), "de_DE");
    QVERIFY(!translator.isEmpty());
    QVERIFY(QCoreApplication::installTranslator(&translator));
    const auto removeTranslator =
        qScopeGuard([&translator] { QCoreApplication::removeTranslator(&translator); });

    VarodariDoro window;
    QCOMPARE(window.windowTitle(), QString::fromUtf8("Vezive-V1 Datenempfänger"));
    QCOMPARE(window.source->itemText(1), QString("Datei"));
    QCOMPARE(window.startButton->toolTip(), QString::fromUtf8("Empfang vom Gerät starten"));
    QCOMPARE(window.pcapPanel->linkTypeLabel->text(), QString("Verbindungstyp:"));
    QCOMPARE(window.progressDialog->labels[StatHandler::Packets]->text(), QString("Pakete"));
    // Untranslated texts stay as they are.
    QCOMPARE(window.startButton->text(), QString("&Start"));
}

// With the locale ru_RU the window finds kz.ru.qm beside the program and shows every kind of
// text in Russian: form texts in their form's context, the window's own, the dialog's counter
// names. Technical names stay.
void TestReceiverStartup::russianWindow_data()
{
    QTest::addColumn<Probe>("probe");
    QTest::addColumn<QString>("expected");

    const auto row = [](const char* name, Probe probe, const char* expected) {
        QTest::newRow(name) << probe << QString::fromUtf8(expected);
    };
    row(
        "sereaderWidget: title", [](VarodariDoro& w) { return w.windowTitle(); },
        "Приёмник данных Vezive-V1");
    row(
        "sereaderWidget: trace type", [](VarodariDoro& w) { return w.dataType->itemText(5); },
        "Петлевой адаптер");
    row(
        "sereaderWidget: format name kept", [](VarodariDoro& w) { return w.dataType->itemText(1); },
        "PCAP");
    row(
        "sereaderWidget: button", [](VarodariDoro& w) { return w.startButton->text(); },
        "Пуск (&S)");
    row(
        "PortWidget", [](VarodariDoro& w) { return w.portPanel->testButton->text(); }, "Тест (&T)");
    row(
        "PcapFrame", [](VarodariDoro& w) { return w.pcapPanel->linkTypeLabel->text(); },
        "Тип канального уровня:");
    row(
        "ProgressDialog", [](VarodariDoro& w) { return w.progressDialog->windowTitle(); },
        "Ход приёма");
    row(
        "QObject: counter name",
        [](VarodariDoro& w) { return w.progressDialog->labels[StatHandler::BadCrc]->text(); },
        "Ошибка CRC");
    row(
        "helpWidget", [](VarodariDoro& w) { return w.helpWindow->windowTitle(); }, "Справка");
}

void TestReceiverStartup::russianWindow()
{
    QFETCH(Probe, probe);
    QFETCH(QString, expected);

    RussianTranslation russian;
    QVERIFY(russian.installed());
    QCOMPARE(QFileInfo(russian.filePath()).canonicalFilePath(),
             QFileInfo(besideProgram("kz.ru.qm")).canonicalFilePath());
    VarodariDoro window;
    QCOMPARE(probe(window), expected);
}

// The messages reach the log in Russian whichever thread and context they come from: the
// window's checks, the port test, the acquisition thread and the writers. The fixed texts
// stay English.
void TestReceiverStartup::russianMessages_data()
{
    QTest::addColumn<Action>("action");
    QTest::addColumn<QStringList>("expected");

    const auto row = [](const char* name, Action action, std::initializer_list<const char*> lines) {
        QStringList expected;
        for (const char* line : lines)
            expected.append(QString::fromUtf8(line));
        QTest::newRow(name) << action << expected;
    };
    row("option check: warning box and log",
        [](VarodariDoro& w, const QString&) {
            selectTraceType(w, TraceTypes::Raw);
            w.rawPanel->rxFileName->lineEdit()->clear();
            MessageBoxCloser boxes;
            w.startClicked();
            return boxes.titles + boxes.texts + logLines(w);
        },
        {"Ошибка", "Не указано имя файла RX", "Ошибка: Не указано имя файла RX"});
    row("port test without a port",
        [](VarodariDoro& w, const QString&) {
            w.portPanel->portName->clear();
            w.testClicked();
            (void)QTest::qWaitFor([&w] { return w.logBox->count() > 0; }, 5000);
            return logLines(w);
        },
        {"Не удаётся настроить порт : Порт не задан"});
    row("missing replay file",
        [](VarodariDoro& w, const QString& dir) {
            selectSourceFile(w, dir + "/missing.stream");
            selectTraceType(w, TraceTypes::Pcap);
            w.pcapPanel->fileName->lineEdit()->setText(dir + "/out.pcap");
            w.pcapPanel->minPacketLength->setText("0");
            MessageBoxCloser boxes;
            w.startClicked();
            return logLines(w).replaceInStrings(dir, "<dir>");
        },
        {"Ошибка: Файл для воспроизведения не существует: <dir>/missing.stream"});
    row("run into a PCAP file",
        [](VarodariDoro& w, const QString& dir) {
            selectSourceFile(w, writeReplay(dir));
            selectTraceType(w, TraceTypes::Pcap);
            w.pcapPanel->fileName->lineEdit()->setText(dir + "/out.pcap");
            w.pcapPanel->minPacketLength->setText("0");
            return runToEnd(w);
        },
        // Three records of a 16-byte header and 10 octets.
        {"End of file reached", "3 пак. записано", "78 байт записано",
         "Пакеты: 3, Байты: 78, Ошибка длины: 0, Ошибка CRC: 0, Превышение длины: 0",
         "Приём завершён: конец файла"});
    row("run cancelled before it began",
        [](VarodariDoro&, const QString& dir) {
            MessageHandler messages;
            DataGatherer gatherer;
            gatherer.setSourceType(RunSettings::FileSource);
            gatherer.setInputFileName(writeReplay(dir));
            gatherer.setTraceType(TraceTypes::Pcap);
            gatherer.setOutputFileName(dir + "/out.pcap");
            gatherer.setMessageHandler(&messages);
            gatherer.cancel();
            gatherer.start();
            QStringList lines;
            if (!gatherer.wait(QDeadlineTimer(Generous)))
                return QStringList{"the run did not end"};
            while (messages.hasMessages())
                lines.append(messages.takeMessage().text());
            return lines;
        },
        {"Отменено"});
}

void TestReceiverStartup::russianMessages()
{
    QFETCH(Action, action);
    QFETCH(QStringList, expected);

    QTemporaryDir dir;
    RussianTranslation russian;
    QVERIFY(russian.installed());
    VarodariDoro window;
    window.clearClicked();
    QCOMPARE(action(window, dir.path()), expected);
}

// In Russian too, each button's shortcut is the letter it underlines, and no two buttons of a
// window share one; Start and Test keep Alt+S and Alt+T, as the manual says.
void TestReceiverStartup::russianAccelerators()
{
    RussianTranslation russian;
    QVERIFY(russian.installed());
    VarodariDoro window;

    QList<QWidget*> windows{&window, window.progressDialog, window.helpWindow};
    for (QWidget* top : windows) {
        QMap<QKeySequence, QString> taken;
        for (QAbstractButton* button : top->findChildren<QAbstractButton*>()) {
            if (button->window() != top)
                continue;
            const QKeySequence mnemonic = QKeySequence::mnemonic(button->text());
            if (mnemonic.isEmpty())
                continue;
            QCOMPARE(button->shortcut(), mnemonic);
            QVERIFY2(!taken.contains(mnemonic),
                     qPrintable(button->text() + " and " + taken.value(mnemonic)));
            taken.insert(mnemonic, button->text());
        }
    }
    QCOMPARE(window.startButton->shortcut(), QKeySequence("Alt+S"));
    QCOMPARE(window.portPanel->testButton->shortcut(), QKeySequence("Alt+T"));
    QCOMPARE(window.progressDialog->stopButton->shortcut(),
             QKeySequence(QString::fromUtf8("Alt+С")));
}

// Every entry of the translation is finished and keeps what the code relies on; the compiled
// file beside the program holds each of them.
void TestReceiverStartup::translationFile()
{
    QString error;
    const QList<TsMessage> messages = readTs(QStringLiteral(RECEIVER_TS), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(messages.size() > 50);

    RussianTranslation russian;
    QVERIFY(russian.installed());
    QStringList problems;
    for (const TsMessage& message : messages) {
        QStringList found = formProblems(message);
        if (russian.translate(message.context, message.source) != message.translation)
            found.append("not so in kz.ru.qm");
        if (!found.isEmpty())
            problems.append(message.context + " \"" + message.source + "\": " + found.join(", "));
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
}

// The translation holds exactly the texts of the program's sources today: a text added without
// translating it, or one left over after its code went, shows up in a fresh lupdate run.
void TestReceiverStartup::translationCoversSources()
{
    QTemporaryDir dir;
    const QString refreshed = dir.filePath("kz.ru.ts");
    QProcess update;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LUPDATE", QStringLiteral(LUPDATE));
    update.setProcessEnvironment(environment);
    update.setProcessChannelMode(QProcess::MergedChannels);
    update.start(QStringLiteral(UPDATE_TRANSLATION), {refreshed});
    QVERIFY(update.waitForFinished(Generous));
    QVERIFY2(update.exitStatus() == QProcess::NormalExit && update.exitCode() == 0,
             update.readAll().constData());

    QString error;
    const QList<TsMessage> current = readTs(QStringLiteral(RECEIVER_TS), &error);
    const QList<TsMessage> fresh = readTs(refreshed, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const QSet<QString> currentKeys = keys(current), freshKeys = keys(fresh);
    QStringList untranslated = (freshKeys - currentKeys).values();
    QStringList leftOver = (currentKeys - freshKeys).values();
    untranslated.sort();
    leftOver.sort();
    QVERIFY2(untranslated.isEmpty(), qPrintable("not translated: " + untranslated.join('\n')));
    QVERIFY2(leftOver.isEmpty(), qPrintable("no longer in the sources: " + leftOver.join('\n')));
    for (const TsMessage& message : fresh)
        QVERIFY2(message.type.isEmpty(), qPrintable(message.source));
}

// The program itself comes up and, asked for its debug lines, names the translation it looks
// for beside itself.
void TestReceiverStartup::program()
{
    QTemporaryDir home;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home.path());
    environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
    environment.insert("LANG", "ru_RU.UTF-8");
    environment.remove("LC_ALL");
    environment.remove("LC_MESSAGES");
    environment.remove("LANGUAGE");
    environment.insert("QT_LOGGING_RULES", "vezive.debug=true");
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    const QString program = QStringLiteral(VEZIVE_RECEIVER);
    process.start(program, QStringList());
    QVERIFY(process.waitForStarted(Generous));
    const QByteArray expected = "loading translation \"kz.ru_RU\" from \"" +
                                QFile::encodeName(QFileInfo(program).absolutePath()) + "\"";
    QByteArray output;
    while (!output.contains(expected) && process.state() == QProcess::Running) {
        process.waitForReadyRead(Generous);
        output += process.readAll();
    }
    QVERIFY2(output.contains(expected), output.constData());
    QCOMPARE(process.state(), QProcess::Running);
    process.kill();
    QVERIFY(process.waitForFinished(Generous));
}

QTEST_MAIN(TestReceiverStartup)
#include "tst_receiverstartup.moc"
