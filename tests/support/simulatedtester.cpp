#include "simulatedtester.h"

namespace {
constexpr int Generous = 120000; // ms; only a last guard against a hang
}

SimulatedTester::SimulatedTester(const QString& program, const QStringList& arguments)
{
    m_process.start(program, arguments);
    if (!m_process.waitForStarted(Generous))
        return;
    // Its first line names the terminal it offers.
    while (!m_process.canReadLine() && m_process.state() == QProcess::Running)
        m_process.waitForReadyRead(Generous);
    m_terminal = QString::fromLocal8Bit(m_process.readLine()).trimmed();
}

SimulatedTester::~SimulatedTester()
{
    if (m_process.state() == QProcess::Running) {
        m_process.terminate();
        if (!m_process.waitForFinished(Generous))
            m_process.kill();
    }
}
