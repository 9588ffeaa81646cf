#ifndef TESTNAMESPACE_H
#define TESTNAMESPACE_H

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

struct Command
{
    bool ok;
    QString output;
    // The command line and its output, for a failure report.
    QString report;
};

// stdout and stderr together; a command that does not end within a minute counts as failed.
inline Command runCommand(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(60000);
    if (!finished)
        process.kill();
    const QString output = QString::fromLocal8Bit(process.readAll()).trimmed();
    return {finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
            output,
            program + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')) + QStringLiteral(": ") +
                output};
}

inline QString findTool(const QString& name)
{
    QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(name,
                                              {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                                               QStringLiteral("/usr/bin"), QStringLiteral("/bin")});
    return path;
}

inline const QString NamespacePrefix = QStringLiteral("vezive-loop-");

// A network namespace of this test with the veth pair kzloop/kzpeer, kzloop carrying the
// loopback address; deleted with the object, whatever the test found.
class TestNamespace
{
public:
    explicit TestNamespace(const QString& ip)
        : m_ip(ip),
          m_name(NamespacePrefix + QString::number(QCoreApplication::applicationPid()) +
                 QLatin1Char('-') + QString::number(QRandomGenerator::global()->generate(), 16))
    {}
    ~TestNamespace()
    {
        if (m_created)
            runCommand(m_ip, {QStringLiteral("netns"), QStringLiteral("delete"), m_name});
    }

    QString name() const { return m_name; }

    // Empty on success, otherwise the command that failed with its output.
    QString create()
    {
        removeAbandoned();
        const Command added =
            runCommand(m_ip, {QStringLiteral("netns"), QStringLiteral("add"), m_name});
        if (!added.ok)
            return added.report;
        m_created = true;
        const QStringList inside{QStringLiteral("-n"), m_name, QStringLiteral("link")};
        QList<QStringList> steps{
            inside + QStringList{QStringLiteral("add"), QStringLiteral("kzloop"),
                                 QStringLiteral("type"), QStringLiteral("veth"),
                                 QStringLiteral("peer"), QStringLiteral("name"),
                                 QStringLiteral("kzpeer")},
            inside + QStringList{QStringLiteral("set"), QStringLiteral("kzloop"),
                                 QStringLiteral("address"), QStringLiteral("02:00:4c:4f:4f:50")}};
        // Before the links come up, or the capture sees router solicitations.
        if (QFileInfo::exists(QStringLiteral("/proc/sys/net/ipv6"))) {
            const QString sysctl = findTool(QStringLiteral("sysctl"));
            if (sysctl.isEmpty())
                return QStringLiteral("sysctl is missing; scripts/setup installs it");
            for (const QString& link : {QStringLiteral("kzloop"), QStringLiteral("kzpeer")})
                steps.append({QStringLiteral("netns"), QStringLiteral("exec"), m_name, sysctl,
                              QStringLiteral("-w"),
                              QStringLiteral("net.ipv6.conf.%1.disable_ipv6=1").arg(link)});
        }
        for (const QString& link : {QStringLiteral("kzloop"), QStringLiteral("kzpeer")})
            steps.append(inside + QStringList{QStringLiteral("set"), link, QStringLiteral("up")});
        for (const QStringList& step : steps) {
            const Command done = runCommand(m_ip, step);
            if (!done.ok)
                return done.report;
        }
        return QString();
    }

private:
    // Namespaces left by runs of this test that were killed before they could clean up.
    void removeAbandoned()
    {
        const Command list = runCommand(m_ip, {QStringLiteral("netns"), QStringLiteral("list")});
        for (const QString& line : list.output.split(QLatin1Char('\n'))) {
            const QString name = line.section(QLatin1Char(' '), 0, 0);
            if (!name.startsWith(NamespacePrefix))
                continue;
            const QString pid = name.mid(NamespacePrefix.size()).section(QLatin1Char('-'), 0, 0);
            if (!QFileInfo::exists(QStringLiteral("/proc/") + pid))
                runCommand(m_ip, {QStringLiteral("netns"), QStringLiteral("delete"), name});
        }
    }

    QString m_ip;
    QString m_name;
    bool m_created = false;
};

#endif
