#ifndef PORTTEST_H
#define PORTTEST_H

#include "device/porttestthread.h"

#include <memory>
#include <QObject>
#include <QTimer>

// The port test for an owner whose thread must not block (a window that keeps repainting): the
// dialogue runs on its own thread, a timer ends it at the time limit, and the lines and the
// result reach the owner on the owner's thread once it has ended, as runTest() gives them.
class PortTest : public QObject
{
    Q_OBJECT
public:
    explicit PortTest(PortTestOwner* owner, QObject* parent = nullptr);
    ~PortTest() override;

    // False, starting nothing, while a test runs.
    bool start(const QString& portName, bool showSuccess,
               int timeLimitMs = PortTestThread::TimeLimitMs);
    bool isRunning() const { return m_thread != nullptr; }
    // Ends a running dialogue at once; its result still follows.
    void cancel();

signals:
    void finished(bool passed);

private:
    void conclude();

    PortTestOwner* m_owner; // not owned
    std::unique_ptr<PortTestThread> m_thread;
    QTimer m_limit;
    bool m_showSuccess = false;
};

#endif
