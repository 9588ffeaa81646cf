#ifndef SIMULATEDTESTER_H
#define SIMULATEDTESTER_H

#include <QProcess>
#include <QString>
#include <QStringList>

// The simulated tester running on a pseudo-terminal of its own for as long as the object lives;
// terminal() is empty when it did not start.
class SimulatedTester
{
public:
    SimulatedTester(const QString& program, const QStringList& arguments);
    ~SimulatedTester();
    QString terminal() const { return m_terminal; }

private:
    QProcess m_process;
    QString m_terminal;
};

#endif
