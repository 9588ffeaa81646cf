#include "varodaridoro.h"

#include "capture/datagatherer.h"
#include "capture/messagehandler.h"
#include "filechoose.h"
#include "helpwidgetimpl.h"
#include "panels.h"
#include "progressdialogimpl.h"
#include "writers/stathandler.h"

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

// A min. packet length as the run takes it: an unsigned decimal number, cut to 16 bits.
bool readMinPacketLength(const QString& text, unsigned short* length)
{
    bool ok = false;
    const qulonglong value = text.toULong(&ok, 10);
    if (length)
        *length = ok ? static_cast<unsigned short>(value & 0xFFFF) : 0;
    return ok;
}

} // namespace

VarodariDoro::VarodariDoro(QWidget* parent, const char* name, Qt::WindowFlags f)
    : sereaderWidget(parent, name, f), portPanel(nullptr), filePanel(nullptr), rawPanel(nullptr),
      pcapPanel(nullptr), toshibaPanel(nullptr), i4bPanel(nullptr), i7Panel(nullptr),
      loopbackPanel(nullptr), helpWindow(nullptr), dataLayout(nullptr), sourceLayout(nullptr),
      gatherer(nullptr), messageHandler(nullptr), statHandler(nullptr), progressDialog(nullptr),
      m_pollTimer(0)
{
    linkTypes.insert(QStringLiteral("NULL"), 0);
    linkTypes.insert(QStringLiteral("SS7/MTP2"), 140);
    linkTypes.insert(QStringLiteral("ISDN"), 147);

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

    portPanel = new PortWidget(sourceFrame);
    portPanel->hide();
    filePanel = new FileWidget(sourceFrame);
    filePanel->fileChoose->setMode(FileChoose::Open);
    filePanel->hide();

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

    const QStringList names = linkTypes.keys();
    pcapPanel->linkType->addItems(names);
    loopbackPanel->linkType->addItems(names);

    loadSettings();

    // Setting the combo boxes from the settings does not emit activated().
    showFrame(dataType->currentIndex());
    sourceChanged(source->currentIndex());
}

VarodariDoro::~VarodariDoro()
{
    saveSettings();
    if (gatherer) {
        gatherer->cancel();
        gatherer->wait();
        delete gatherer;
        gatherer = nullptr;
    }
    delete helpWindow;
}

QWidget* VarodariDoro::tracePanel(int traceType) const
{
    switch (traceType) {
    case DataGatherer::Raw:
        return rawPanel;
    case DataGatherer::Pcap:
        return pcapPanel;
    case DataGatherer::Toshiba:
        return toshibaPanel;
    case DataGatherer::I4b:
        return i4bPanel;
    case DataGatherer::I7:
        return i7Panel;
    case DataGatherer::Loopback:
        return loopbackPanel;
    default:
        return nullptr;
    }
}

QLineEdit* VarodariDoro::minPacketLengthField(int traceType) const
{
    switch (traceType) {
    case DataGatherer::Pcap:
        return pcapPanel->minPacketLength;
    case DataGatherer::Toshiba:
        return toshibaPanel->minPacketLength;
    case DataGatherer::I4b:
        return i4bPanel->minPacketLength;
    case DataGatherer::I7:
        return i7Panel->minPacketLength;
    case DataGatherer::Loopback:
        return loopbackPanel->minPacketLength;
    default:
        return nullptr;
    }
}

unsigned short VarodariDoro::linkTypeNumber(const QString& name) const
{
    return linkTypes.value(name, 0);
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
    const QString directory = QCoreApplication::applicationDirPath() + QLatin1String("/doc");
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
    if (QWidget* panel = tracePanel(index)) {
        panel->show();
        dataLayout->addWidget(panel);
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
    // The test's own lines reach the log here, on this thread, in order and before the result.
    PortTestThread::runTest(this, portPanel->portName->text(), showSuccess);
}

bool VarodariDoro::validate()
{
    const int traceType = dataType->currentIndex();
    if (traceType == DataGatherer::Raw) {
        if (rawPanel->rxFileName->lineEdit()->text().isEmpty()) {
            raiseError(tr("Error"), tr("RX file name isn't specified"));
            return false;
        }
        if (rawPanel->syncFileName->lineEdit()->text().isEmpty()) {
            raiseError(tr("Error"), tr("Sync file name isn't specified"));
            return false;
        }
        return true;
    }
    const QLineEdit* length = minPacketLengthField(traceType);
    if (length && !readMinPacketLength(length->text(), nullptr)) {
        raiseError(tr("Error"), tr("Wrong min. packet length"));
        return false;
    }
    return true;
}

void VarodariDoro::showProgress()
{
    progressDialog->setModal(true);
    progressDialog->reset();
    statHandler->reset();
    progressDialog->move(pos().x() + (width() - progressDialog->width()) / 2,
                         pos().y() + (height() - progressDialog->height()) / 2);
    progressDialog->show();
}

void VarodariDoro::startClicked()
{
    // The modal progress dialog keeps Start out of reach during a run; this keeps it so.
    if (gatherer)
        return;
    if (!validate())
        return;
    showProgress();

    gatherer = new DataGatherer();
    gatherer->setPortName(portPanel->portName->text());
    gatherer->setInputFileName(filePanel->fileChoose->lineEdit()->text());
    gatherer->setSourceType(source->currentIndex() == FileIndex ? DataGatherer::FileSource
                                                                : DataGatherer::PortSource);
    const int traceType = dataType->currentIndex();
    gatherer->setTraceType(tracePanel(traceType) ? traceType : -1);
    gatherer->setRxTimeslot(static_cast<unsigned char>(rxTimeslot->value()));
    gatherer->setSyncTimeslot(static_cast<unsigned char>(syncTimeslot->value()));

    unsigned short minLength = 0;
    if (const QLineEdit* length = minPacketLengthField(traceType))
        readMinPacketLength(length->text(), &minLength);
    switch (traceType) {
    case DataGatherer::Raw:
        gatherer->setOutputFileName(rawPanel->rxFileName->lineEdit()->text());
        gatherer->setSyncFileName(rawPanel->syncFileName->lineEdit()->text());
        break;
    case DataGatherer::Pcap:
        gatherer->setOutputFileName(pcapPanel->fileName->lineEdit()->text());
        gatherer->setLinkType(linkTypeNumber(pcapPanel->linkType->currentText()));
        gatherer->setMinPacketLength(minLength);
        break;
    case DataGatherer::Toshiba:
        gatherer->setOutputFileName(toshibaPanel->fileName->lineEdit()->text());
        gatherer->setMinPacketLength(minLength);
        break;
    case DataGatherer::I4b:
        gatherer->setOutputFileName(i4bPanel->fileName->lineEdit()->text());
        gatherer->setMinPacketLength(minLength);
        break;
    case DataGatherer::I7:
        gatherer->setOutputFileName(i7Panel->fileName->lineEdit()->text());
        gatherer->setMinPacketLength(minLength);
        break;
    case DataGatherer::Loopback:
        gatherer->setLinkType(linkTypeNumber(loopbackPanel->linkType->currentText()));
        gatherer->setMinPacketLength(minLength);
        break;
    default:
        break;
    }
    gatherer->setMessageHandler(messageHandler);
    gatherer->setStatHandler(statHandler);
    // Lines left over from an earlier run are not this run's.
    messageHandler->clear();
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
        delete gatherer;
        gatherer = nullptr;
        progressDialog->hide();
        if (source->currentIndex() != FileIndex)
            testClicked(false);
    }

    for (int i = StatHandler::Packets; i <= StatHandler::TooLarge; ++i)
        progressDialog->setText(StatHandler::StatType(i), statHandler->text(i));

    // A few lines a tick keep the window responsive while the run goes on. Once it has ended,
    // what is queued is the last of it (the final message, the writers' totals): all of it is
    // shown now, as nothing polls the queue after this tick.
    int taken = 0;
    while (messageHandler->hasMessages() && (ended || taken < MessagesPerTick)) {
        const Message message = messageHandler->takeMessage();
        ++taken;
        if (!message.formatter())
            continue;
        logMessage(message.formatter()->format(message.data(), message.length()));
        if (message.isError())
            stop();
    }
}
