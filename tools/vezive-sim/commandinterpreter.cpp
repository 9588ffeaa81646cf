#include "commandinterpreter.h"

namespace {

constexpr unsigned Timeslots = 32;

// Two decimal digits at line[at], as a timeslot number; false if they are not that.
bool timeslotAt(const QByteArray& line, int at, unsigned& value)
{
    const char tens = line[at];
    const char units = line[at + 1];
    if (tens < '0' || tens > '9' || units < '0' || units > '9')
        return false;
    value = unsigned(tens - '0') * 10 + unsigned(units - '0');
    return value < Timeslots;
}

} // namespace

QByteArray CommandInterpreter::identification(const QDate& today)
{
    const QList<QByteArray> lines = {
        "ATI",
        "Vezive-V1 E1 line tester",
        today.toString(Qt::ISODate).toLatin1(),
        "Model: Vezive-V1",
        "Firmware: 1.0 (simulated)",
        "Serial number: SIM-000001",
        "Timeslots: 0-31",
        "",
        "OK",
    };
    QByteArray text;
    for (const QByteArray& line : lines)
        text += line + "\r\n";
    return text;
}

bool CommandInterpreter::interpret(const QByteArray& line, Action& action) const
{
    if (line.isEmpty())
        return false;
    const QByteArray upper = line.toUpper();
    action.text.clear();
    if (upper == "AT") {
        action.kind = Action::Reply;
        action.text = attention();
        return true;
    }
    if (upper == "ATI") {
        action.kind = m_atOnly ? Action::Silence : Action::Reply;
        if (!m_atOnly)
            action.text = identification(QDate::currentDate());
        return true;
    }
    // "ATUxx yy"
    if (upper.size() == 8 && upper.startsWith("ATU") && upper[5] == ' ' &&
        timeslotAt(upper, 3, action.rxTimeslot) && timeslotAt(upper, 6, action.syncTimeslot)) {
        action.kind = Action::Stream;
        action.text = line + '\n';
        if (m_badEcho)
            action.text.replace(0, 3, "ATX");
        return true;
    }
    action.kind = Action::Reply;
    action.text = error();
    return true;
}

QList<CommandInterpreter::Action> CommandInterpreter::feed(const char* data, qint64 length)
{
    QList<Action> actions;
    for (qint64 i = 0; i < length; ++i) {
        const char c = data[i];
        if (c == Interrupt) {
            reset();
            actions.append(Action{Action::Stop, QByteArray()});
            continue;
        }
        if (c != '\n') {
            if (m_line.size() < MaxLineLength)
                m_line.append(c);
            else
                m_overflow = true;
            continue;
        }
        QByteArray line = m_line;
        const bool overflow = m_overflow;
        reset();
        if (line.endsWith('\r'))
            line.chop(1);
        Action action{Action::Reply, QByteArray()};
        if (overflow)
            action.text = error();
        else if (!interpret(line, action))
            continue;
        actions.append(action);
    }
    return actions;
}
