#include "consolereport.h"

#include <QCoreApplication>
#include <QStringList>

ConsoleReport::ConsoleReport(std::FILE* stream, bool terminal)
    : m_stream(stream), m_terminal(terminal)
{}

QString ConsoleReport::counterName(int index)
{
    static const char* const names[CounterCount] = {"Packets", "Bytes", "Errored length", "Bad CRC",
                                                    "Too large"};
    if (index < 0 || index >= CounterCount)
        return QString();
    return QCoreApplication::translate("QObject", names[index]);
}

void ConsoleReport::print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

void ConsoleReport::put(const QString& text)
{
    if (m_stream)
        print(m_stream, text);
}

void ConsoleReport::clearStatusLine()
{
    if (m_terminal && !m_statusLine.isEmpty())
        put(QStringLiteral("\r\033[K"));
}

void ConsoleReport::logMessage(const QString& line)
{
    clearStatusLine();
    put(line + QLatin1Char('\n'));
    if (m_terminal && !m_statusLine.isEmpty())
        put(m_statusLine);
}

void ConsoleReport::showCounters(const quint64 (&values)[CounterCount])
{
    if (m_quiet)
        return;
    QStringList parts;
    for (int i = 0; i < CounterCount; ++i)
        parts << counterName(i) + QLatin1String(": ") + QString::number(values[i]);
    const QString line = parts.join(QLatin1String("  "));
    if (m_terminal) {
        m_statusLine = line;
        put(QLatin1Char('\r') + line + QLatin1String("\033[K"));
    } else {
        put(line + QLatin1Char('\n'));
    }
}

void ConsoleReport::showTotals(const quint64 (&values)[CounterCount])
{
    clearStatusLine();
    m_statusLine.clear();
    for (int i = 0; i < CounterCount; ++i)
        put(counterName(i) + QLatin1String(": ") + QString::number(values[i]) + QLatin1Char('\n'));
}
