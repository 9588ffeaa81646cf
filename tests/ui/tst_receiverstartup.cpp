// Start-up: where the translation is looked for, under which name, and that the window's texts
// go through it in their own contexts.

#include "panels.h"
#include "progressdialogimpl.h"
#include "startup.h"
#include "varodaridoro.h"

#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

namespace {

constexpr int Generous = 120000; // ms; only a last guard against a hang

} // namespace

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
    void program();

private:
    QTemporaryDir m_settings;
};

void TestReceiverStartup::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
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

// The program itself comes up and names the translation it looks for beside itself.
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
    environment.remove("QT_LOGGING_RULES");
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
