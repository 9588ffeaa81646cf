#ifndef CONSOLEREPORT_H
#define CONSOLEREPORT_H

#include "device/porttestthread.h"

#include <cstdio>
#include <QString>
#include <QtGlobal>

// Where a capture without a window shows what the window would: log lines as they arrive and
// the five counters. On a terminal the counters are one line redrawn in place; elsewhere (a
// pipe, a file) each refresh is a plain line. Without a stream it shows nothing.
class ConsoleReport : public PortTestOwner
{
public:
    static constexpr int CounterCount = 5;

    ConsoleReport(std::FILE* stream, bool terminal);

    // Quiet, the counters are shown only as the totals at the end.
    void setQuiet(bool quiet) { m_quiet = quiet; }
    void logMessage(const QString& line) override;
    void showCounters(const quint64 (&values)[CounterCount]);
    // One line per counter, "Packets: N" and so on.
    void showTotals(const quint64 (&values)[CounterCount]);

    static QString counterName(int index); // 0 "Packets" .. 4 "Too large"
    // Text in the locale's encoding, flushed at once.
    static void print(std::FILE* stream, const QString& text);

private:
    void put(const QString& text);
    void clearStatusLine();

    std::FILE* m_stream;
    bool m_terminal;
    bool m_quiet = false;
    QString m_statusLine; // the counters line on the terminal, if one is shown
};

#endif
