#include "capture/messagehandler.h"

#include <cstring>
#include <QMutexLocker>
#include <utility>

QString TextFormatter::format(const char* data, int len)
{
    if (!data || len <= 0)
        return QString();
    // Up to the first NUL, but never past the record's own bytes.
    const char* end = static_cast<const char*>(std::memchr(data, '\0', size_t(len)));
    return QString::fromLocal8Bit(data, end ? int(end - data) : len);
}

TextFormatter* TextFormatter::instance()
{
    static TextFormatter formatter;
    return &formatter;
}

Message::Message() : m_formatter(nullptr), m_data(nullptr), m_length(0), m_kind(0) {}

Message::Message(MessageFormatter* formatter, const char* data, int length, int kind)
    : m_formatter(nullptr), m_data(nullptr), m_length(0), m_kind(0)
{
    assign(formatter, data, length, kind);
}

Message::Message(const Message& other)
    : m_formatter(nullptr), m_data(nullptr), m_length(0), m_kind(0)
{
    assign(other.m_formatter, other.m_data, other.m_length, other.m_kind);
}

Message::Message(Message&& other) noexcept
    : m_formatter(other.m_formatter), m_data(other.m_data), m_length(other.m_length),
      m_kind(other.m_kind)
{
    other.m_data = nullptr;
    other.m_length = 0;
}

Message& Message::operator=(Message&& other) noexcept
{
    if (this != &other) {
        delete[] m_data;
        m_formatter = other.m_formatter;
        m_data = other.m_data;
        m_length = other.m_length;
        m_kind = other.m_kind;
        other.m_data = nullptr;
        other.m_length = 0;
    }
    return *this;
}

Message& Message::operator=(const Message& other)
{
    if (this != &other) {
        delete[] m_data;
        m_data = nullptr;
        assign(other.m_formatter, other.m_data, other.m_length, other.m_kind);
    }
    return *this;
}

Message::~Message()
{
    delete[] m_data;
}

void Message::assign(MessageFormatter* formatter, const char* data, int length, int kind)
{
    m_formatter = formatter;
    m_kind = kind;
    m_length = (data && length > 0) ? length : 0;
    if (m_length > 0) {
        m_data = new char[size_t(m_length)];
        std::memcpy(m_data, data, size_t(m_length));
    }
}

QString Message::text() const
{
    return m_formatter ? m_formatter->format(m_data, m_length) : QString();
}

MessageHandler::MessageHandler(QObject* parent, const char* name) : QObject(parent)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
}

void MessageHandler::postMessage(const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    // constData() is NUL-terminated, so size() + 1 takes the terminator along.
    postData(TextFormatter::instance(), bytes.constData(), int(bytes.size()) + 1);
}

void MessageHandler::postError(const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    post(Message(TextFormatter::instance(), bytes.constData(), int(bytes.size()) + 1,
                 Message::Error));
}

void MessageHandler::postData(MessageFormatter* formatter, const char* data, int len)
{
    if (!formatter)
        return;
    post(Message(formatter, data, len, Message::LogLine));
}

void MessageHandler::post(Message&& message)
{
    // The bytes were copied when the record was built; under the lock it is only moved.
    QMutexLocker locker(&m_lock);
    m_messages.append(std::move(message));
}

bool MessageHandler::hasMessages()
{
    QMutexLocker locker(&m_lock);
    return !m_messages.isEmpty();
}

Message MessageHandler::takeMessage()
{
    QMutexLocker locker(&m_lock);
    if (m_messages.isEmpty())
        return Message();
    return m_messages.takeFirst();
}

void MessageHandler::clear()
{
    QMutexLocker locker(&m_lock);
    m_messages.clear();
}
