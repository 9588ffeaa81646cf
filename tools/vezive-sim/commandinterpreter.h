#ifndef COMMANDINTERPRETER_H
#define COMMANDINTERPRETER_H

#include <QByteArray>
#include <QDate>
#include <QList>

// The tester's command mode: collects received bytes into lines and says what each one asks
// for. 0x03 drops the line collected so far and stops a stream; a line ends with "\n", and a
// "\r" before it is ignored.
class CommandInterpreter
{
public:
    static constexpr char Interrupt = 0x03;
    static constexpr int MaxLineLength = 256;

    struct Action
    {
        enum Kind
        {
            Stop,    // 0x03: back to command mode
            Reply,   // a command other than a timeslot request: stop any stream, send text
            Silence, // a command deliberately left unanswered: stop any stream, send nothing
            Stream   // a timeslot request: stop any stream, send text (the echo), then stream
        };
        Kind kind;
        QByteArray text;
        unsigned rxTimeslot = 0;
        unsigned syncTimeslot = 0;
    };

    CommandInterpreter(bool badEcho, bool atOnly) : m_badEcho(badEcho), m_atOnly(atOnly) {}

    QList<Action> feed(const char* data, qint64 length);
    // Drops whatever was collected (the receiver went away).
    void reset()
    {
        m_line.clear();
        m_overflow = false;
    }

    // The answer to "ATI": nine lines, the third the date.
    static QByteArray identification(const QDate& today);
    static QByteArray attention() { return "AT\r\n\r\nOK\r\n"; }
    static QByteArray error() { return "ERROR\r\n"; }

private:
    // An empty line yields no action at all.
    bool interpret(const QByteArray& line, Action& action) const;

    bool m_badEcho;
    bool m_atOnly;
    QByteArray m_line;
    bool m_overflow = false;
};

#endif
