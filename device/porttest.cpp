#include "device/porttest.h"

PortTest::PortTest(PortTestOwner* owner, QObject* parent) : QObject(parent), m_owner(owner)
{
    m_limit.setSingleShot(true);
    connect(&m_limit, &QTimer::timeout, this, &PortTest::cancel);
}

PortTest::~PortTest() = default; // the thread's destructor cancels and waits

bool PortTest::start(const QString& portName, bool showSuccess, int timeLimitMs)
{
    if (m_thread)
        return false;
    m_showSuccess = showSuccess;
    m_thread = std::make_unique<PortTestThread>(m_owner);
    m_thread->setPortName(portName);
    // Queued: the thread emits it on its own thread, the result belongs to the owner's.
    connect(m_thread.get(), &QThread::finished, this, &PortTest::conclude, Qt::QueuedConnection);
    m_limit.start(timeLimitMs);
    m_thread->start();
    return true;
}

void PortTest::cancel()
{
    if (m_thread)
        m_thread->cancel();
}

void PortTest::conclude()
{
    if (!m_thread)
        return;
    const bool inTime = m_limit.isActive();
    m_limit.stop();
    m_thread->wait();
    const std::unique_ptr<PortTestThread> thread = std::move(m_thread);
    emit finished(thread->conclude(inTime, m_showSuccess));
}
