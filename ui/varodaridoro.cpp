#include "varodaridoro.h"

#include "acquisition/datagatherer.h"
#include "acquisition/tracetypes.h"
#include "capture/messagehandler.h"
#include "capture/stathandler.h"
#include "device/porttest.h"
#include "device/serialports.h"
#include "filechoose.h"
#include "helpwidgetimpl.h"
#include "panels.h"
#include "progressdialogimpl.h"
#include "startup.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QShortcut>
#include <QTimerEvent>
#include <QUrl>
#include <QVBoxLayout>

namespace {

enum SourceIndex
{
    PortIndex = 0,
    FileIndex = 1
};

QString textOf(const FileChoose* field)
{
    return field ? field->lineEdit()->text() : QString();
}

} // namespace

VarodariDoro::VarodariDoro(QWidget* parent, const char* name, Qt::WindowFlags f)
    : sereaderWidget(parent, name, f), portPanel(nullptr), filePanel(nullptr), rawPanel(nullptr),
      pcapPanel(nullptr), toshibaPanel(nullptr), i4bPanel(nullptr), i7Panel(nullptr),
      loopbackPanel(nullptr), pcapngPanel(nullptr), helpWindow(nullptr), dataLayout(nullptr),
      sourceLayout(nullptr), gatherer(nullptr), messageHandler(nullptr), statHandler(nullptr),
      progressDialog(nullptr), m_pollTimer(0), m_portTest(nullptr), m_quitAfterRun(false)
{
    // Every row is one line of text: the view then finds the newest row without measuring all
    // of them, which would make each new line cost as much as the whole log.
    logBox->setUniformItemSizes(true);

    startButton->setToolTip(tr("Start receive data from device"));
    clearButton->setToolTip(tr("Clear info box"));

    helpWindow = new helpwidgetImpl();
    // Closing the main window ends the program even while the help window is open.
    helpWindow->setAttribute(Qt::WA_QuitOnClose, false);

    const auto addPanel = [this](QWidget* panel) {
        panel->hide();
        panels.append(panel);
    };
    addPanel(loopbackPanel = new LoopbackImpl(dataFrame));
    addPanel(rawPanel = new RawImpl(dataFrame));
    addPanel(pcapPanel = new PcapImpl(dataFrame));
    addPanel(toshibaPanel = new Toshiba(dataFrame));
    addPanel(i4bPanel = new I4b(dataFrame));
    addPanel(i7Panel = new I7(dataFrame));
    addPanel(pcapngPanel = new PcapImpl(dataFrame));
    m_traceFields = {
        {rawPanel, rawPanel->rxFileName, rawPanel->syncFileName, nullptr, nullptr},
        {pcapPanel, pcapPanel->fileName, nullptr, pcapPanel->linkType, pcapPanel->minPacketLength},
        {toshibaPanel, toshibaPanel->fileName, nullptr, nullptr, toshibaPanel->minPacketLength},
        {i4bPanel, i4bPanel->fileName, nullptr, nullptr, i4bPanel->minPacketLength},
        {i7Panel, i7Panel->fileName, nullptr, nullptr, i7Panel->minPacketLength},
        {loopbackPanel, nullptr, nullptr, loopbackPanel->linkType, loopbackPanel->minPacketLength},
        {pcapngPanel, pcapngPanel->fileName, nullptr, pcapngPanel->linkType,
         pcapngPanel->minPacketLength},
    };
    Q_ASSERT(m_traceFields.size() == TraceTypes::Count);
    for (const TraceType& type : traceTypes()) {
        const TraceFields& fields = m_traceFields[type.index];
        const QString extension = QLatin1String(type.extension);
        const QString filter =
            dataType->itemText(type.index) + QLatin1String(" (*.") + extension + QLatin1Char(')');
        for (FileChoose* field : {fields.file, fields.syncFile}) {
            if (field)
                field->setFileType(filter, extension);
        }
    }

    portPanel = new PortWidget(sourceFrame);
    portPanel->hide();
    filePanel = new FileWidget(sourceFrame);
    filePanel->fileChoose->setMode(FileChoose::Open);
    filePanel->hide();
    portPanel->portList->addItems(serialPorts());
    orderTabs();

    m_portTest = new PortTest(this, this);
    connect(m_portTest, &PortTest::finished, this, [this] {
        startButton->setEnabled(!gatherer);
        portPanel->testButton->setEnabled(true);
    });

    connect(dataType, &QComboBox::activated, this, &VarodariDoro::showFrame);
    connect(portPanel->testButton, &QPushButton::clicked, this,
            qOverload<>(&VarodariDoro::testClicked));
    connect(startButton, &QPushButton::clicked, this, &VarodariDoro::startClicked);
    connect(clearButton, &QPushButton::clicked, this, &VarodariDoro::clearClicked);
    connect(source, &QComboBox::activated, this, &VarodariDoro::sourceChanged);

    auto* helpKey = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(helpKey, &QShortcut::activated, this, &VarodariDoro::showHelp);

    messageHandler = new MessageHandler(this);
    progressDialog = new ProgressDialogImpl(this);
    progressDialog->hide();
    connect(progressDialog->stopButton, &QPushButton::clicked, this, &VarodariDoro::stop);
    statHandler = new StatHandler(this);

    for (const TraceFields& fields : std::as_const(m_traceFields)) {
        if (fields.linkType)
            fields.linkType->addItems(linkTypeNames());
    }

    loadSettings();

    // Setting the combo boxes from the settings does not emit activated().
    showFrame(dataType->currentIndex());
    sourceChanged(source->currentIndex());
}

VarodariDoro::~VarodariDoro()
{
    saveSettings();
    // Its result would be logged into a window that is going.
    delete m_portTest;
    if (gatherer) {
        gatherer->cancel();
        gatherer->wait();
        delete gatherer;
        gatherer = nullptr;
    }
    delete helpWindow;
}

// Tab goes through the fields as the window shows them, top to bottom; hidden panels are skipped.
void VarodariDoro::orderTabs()
{
    QList<QWidget*> order{source,
                          portPanel->portList,
                          portPanel->testButton,
                          filePanel->fileChoose->lineEdit(),
                          filePanel->fileChoose->button(),
                          rxTimeslot,
                          syncTimeslot,
                          dataType};
    for (const TraceFields& fields : std::as_const(m_traceFields)) {
        if (fields.linkType)
            order << fields.linkType;
        for (FileChoose* file : {fields.file, fields.syncFile}) {
            if (file)
                order << file->lineEdit() << file->button();
        }
        if (fields.minPacketLength)
            order << fields.minPacketLength;
    }
    order << startButton << clearButton << logBox;
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

const VarodariDoro::TraceFields* VarodariDoro::traceFields(int traceType) const
{
    return traceType >= 0 && traceType < m_traceFields.size() ? &m_traceFields[traceType] : nullptr;
}

void VarodariDoro::logMessage(const QString& msg)
{
    logBox->addItem(msg);
    if (logBox->count() > MaxLogLines)
        delete logBox->takeItem(0);
    QListWidgetItem* last = logBox->item(logBox->count() - 1);
    logBox->setCurrentItem(last);
    logBox->scrollToItem(last);
    logBox->viewport()->update();
}

void VarodariDoro::raiseError(const QString& title, const QString& msg)
{
    QString line = title;
    if (!title.isEmpty())
        line += QLatin1String(": ");
    logMessage(line + msg);
    QMessageBox::warning(this, title, msg);
}

void VarodariDoro::showHelp()
{
    const QString directory =
        helpDirectory(dataDirectories(QCoreApplication::applicationDirPath()));
    QStringList paths = helpWindow->textBrowser->searchPaths();
    if (!paths.contains(directory)) {
        paths.append(directory);
        helpWindow->textBrowser->setSearchPaths(paths);
    }
    helpWindow->textBrowser->setSource(QUrl(QStringLiteral("index.html")));
    helpWindow->show();
    helpWindow->raise();
}

void VarodariDoro::showFrame(int index)
{
    delete dataLayout;
    for (QWidget* panel : std::as_const(panels))
        panel->hide();
    dataLayout = new QVBoxLayout(dataFrame);
    dataLayout->setContentsMargins(0, 0, 0, 0);
    if (const TraceFields* fields = traceFields(index)) {
        fields->panel->show();
        dataLayout->addWidget(fields->panel);
    }
    // A layout put on a frame that is already laid out does not tell the window by itself.
    dataFrame->updateGeometry();
}

void VarodariDoro::sourceChanged(int index)
{
    delete sourceLayout;
    sourceLayout = new QVBoxLayout(sourceFrame);
    sourceLayout->setContentsMargins(0, 0, 0, 0);
    if (index == PortIndex) {
        filePanel->hide();
        portPanel->show();
        sourceLayout->addWidget(portPanel);
    } else if (index == FileIndex) {
        portPanel->hide();
        filePanel->show();
        sourceLayout->addWidget(filePanel);
    }
    sourceFrame->updateGeometry();
}

void VarodariDoro::testClicked()
{
    testClicked(true);
}

void VarodariDoro::testClicked(bool showSuccess)
{
    // The window stays live meanwhile; the test's lines and result reach the log, on this
    // thread and in order, when it has ended. A run would find the port held by the test.
    if (gatherer || !m_portTest->start(portPanel->portName->text(), showSuccess))
        return;
    startButton->setEnabled(false);
    portPanel->testButton->setEnabled(false);
}

bool VarodariDoro::validate()
{
    const TraceFields* fields = traceFields(dataType->currentIndex());
    if (!fields)
        return true;
    const RunSettings run = runSettings();
    OptionProblem problem = optionProblem(
        *traceType(dataType->currentIndex()), textOf(fields->file), textOf(fields->syncFile),
        fields->minPacketLength ? fields->minPacketLength->text() : QString());
    if (problem.isEmpty())
        problem = fileClash(run);
    if (problem.isEmpty())
        problem = inputProblem(run);
    if (problem.isEmpty())
        return true;
    raiseError(tr("Error"), problem.message);
    if (QWidget* field = fieldOf(problem))
        field->setFocus();
    return false;
}

QWidget* VarodariDoro::fieldOf(const OptionProblem& problem) const
{
    const TraceFields* fields = traceFields(dataType->currentIndex());
    switch (problem.field) {
    case OptionProblem::InputFile:
        return filePanel->fileChoose->lineEdit();
    case OptionProblem::OutputFile:
        return fields && fields->file ? fields->file->lineEdit() : nullptr;
    case OptionProblem::SyncFile:
        return fields && fields->syncFile ? fields->syncFile->lineEdit() : nullptr;
    case OptionProblem::MinPacketLength:
        return fields ? fields->minPacketLength : nullptr;
    case OptionProblem::NoField:
        break;
    }
    return nullptr;
}

RunSettings VarodariDoro::runSettings() const
{
    RunSettings settings;
    settings.portName = portPanel->portName->text();
    settings.inputFileName = filePanel->fileChoose->lineEdit()->text();
    settings.sourceType =
        source->currentIndex() == FileIndex ? RunSettings::FileSource : RunSettings::PortSource;
    settings.rxTimeslot = static_cast<unsigned char>(rxTimeslot->value());
    settings.syncTimeslot = static_cast<unsigned char>(syncTimeslot->value());
    const TraceFields* fields = traceFields(dataType->currentIndex());
    if (!fields)
        return settings;
    settings.traceType = dataType->currentIndex();
    settings.outputFileName = textOf(fields->file);
    settings.syncFileName = textOf(fields->syncFile);
    if (fields->linkType)
        settings.linkType = quint16(qMax(0, linkTypeNumber(fields->linkType->currentText())));
    if (fields->minPacketLength)
        readMinPacketLength(fields->minPacketLength->text(), &settings.minPacketLength);
    return settings;
}

void VarodariDoro::showProgress()
{
    progressDialog->reset();
    statHandler->reset();
    // The counters show from the start, not after the first tick.
    showCounters();
    progressDialog->move(pos().x() + (width() - progressDialog->width()) / 2,
                         pos().y() + (height() - progressDialog->height()) / 2);
    progressDialog->show();
}

// The options stay out of reach while a run lasts. The dialog is not modal: Qt would hold back
// the window's close requests, which must reach closeEvent().
void VarodariDoro::setOptionsEnabled(bool enabled)
{
    for (QWidget* widget : {static_cast<QWidget*>(source), static_cast<QWidget*>(sourceFrame),
                            static_cast<QWidget*>(GroupBox1), static_cast<QWidget*>(GroupBox3),
                            static_cast<QWidget*>(dataFrame), static_cast<QWidget*>(startButton)})
        widget->setEnabled(enabled);
}

void VarodariDoro::startClicked()
{
    if (gatherer || m_portTest->isRunning())
        return;
    if (!validate())
        return;
    setOptionsEnabled(false);
    showProgress();

    gatherer = new DataGatherer();
    gatherer->setSettings(runSettings());
    gatherer->setMessageHandler(messageHandler);
    gatherer->setStatHandler(statHandler);
    // Lines left over from an earlier run are not this run's.
    messageHandler->clear();
    m_runErrors.clear();
    gatherer->start(QThread::TimeCriticalPriority);
    m_pollTimer = startTimer(PollIntervalMs);
}

void VarodariDoro::clearClicked()
{
    logBox->clear();
}

void VarodariDoro::chainError(const QString& msg)
{
    raiseError(tr("Data gathering error"), msg);
}

void VarodariDoro::stop()
{
    if (gatherer)
        gatherer->cancel();
}

void VarodariDoro::shutDown()
{
    m_quitAfterRun = true;
    close();
}

void VarodariDoro::closeEvent(QCloseEvent* event)
{
    if (gatherer && !m_quitAfterRun) {
        const auto answer =
            QMessageBox::question(this, tr("Quit"), tr("A capture is running. Stop it and quit?"),
                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        // A signal may have asked to quit meanwhile.
        if (answer == QMessageBox::Yes)
            m_quitAfterRun = true;
    }
    if (gatherer) {
        // The run ends with its trace completed and its totals logged; endRun() closes again.
        if (m_quitAfterRun)
            stop();
        event->ignore();
        return;
    }
    m_portTest->cancel();
    helpWindow->close();
    event->accept();
}

void VarodariDoro::timerEvent(QTimerEvent* event)
{
    if (m_pollTimer != 0 && event->timerId() == m_pollTimer)
        poll();
    else
        sereaderWidget::timerEvent(event);
}

void VarodariDoro::poll()
{
    if (!gatherer)
        return;
    const bool ended = gatherer->isFinished();
    if (ended) {
        killTimer(m_pollTimer);
        m_pollTimer = 0;
        gatherer->wait();
    }
    showCounters();
    // Once the run has ended, what is queued is the last of it (the final message, the
    // writers' totals): all of it is shown now, as nothing polls the queue after this tick.
    takeMessages(ended);
    if (ended)
        endRun();
}

void VarodariDoro::showCounters()
{
    for (int i = StatHandler::Packets; i <= StatHandler::TooLarge; ++i)
        progressDialog->setText(StatHandler::StatType(i), statHandler->text(i));
}

// A few lines a tick keep the window responsive while the run goes on.
void VarodariDoro::takeMessages(bool all)
{
    int taken = 0;
    while (messageHandler->hasMessages() && (all || taken < MessagesPerTick)) {
        const Message message = messageHandler->takeMessage();
        ++taken;
        if (!message.formatter())
            continue;
        const QString text = message.formatter()->format(message.data(), message.length());
        logMessage(text);
        if (message.isError()) {
            m_runErrors.append(text);
            stop();
        }
    }
}

// Every line of the run is in the log before the counters, the reason the run ended and the
// port test that follows a run from the port.
void VarodariDoro::endRun()
{
    progressDialog->hide();
    setOptionsEnabled(true);
    QStringList counters;
    for (int i = StatHandler::Packets; i <= StatHandler::TooLarge; ++i)
        counters.append(progressDialog->names[i] + QLatin1String(": ") + statHandler->text(i));
    logMessage(counters.join(QLatin1String(", ")));
    reportEnding();
    if (m_quitAfterRun)
        close();
}

void VarodariDoro::reportEnding()
{
    const DataGatherer::Ending ending = gatherer->ending();
    const QString finalMessage = gatherer->endingMessage();
    delete gatherer;
    gatherer = nullptr;

    // An error from the chain stopped the run, which then says "Cancelled" as after Stop.
    QStringList chainErrors = m_runErrors;
    chainErrors.removeOne(finalMessage);
    QString error;
    if (!chainErrors.isEmpty())
        error = chainErrors.constFirst();
    else if (ending == DataGatherer::Ending::EndOfFile)
        logMessage(tr("Run ended: end of file"));
    else if (ending == DataGatherer::Ending::Stopped ||
             ending == DataGatherer::Ending::StopCondition)
        logMessage(tr("Run ended: stopped"));
    else if (ending == DataGatherer::Ending::LineSilent)
        logMessage(tr("Run ended: the tester fell silent"));
    else
        error = finalMessage;

    if (!m_quitAfterRun && source->currentIndex() != FileIndex)
        testClicked(false);
    if (error.isNull())
        return;
    if (m_quitAfterRun)
        logMessage(tr("Data gathering error") + QLatin1String(": ") + error);
    else
        chainError(error);
}
