#ifndef MESSAGEHANDLER_H
#define MESSAGEHANDLER_H

#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>

// Turns a message's bytes into display text. Formatters are static objects that outlive every
// message, so there is deliberately no virtual destructor.
class MessageFormatter
{
public:
    virtual QString format(const char* data, int len) = 0;

protected:
    ~MessageFormatter() = default;
};

// Bytes up to the first NUL, in the local 8-bit encoding.
class TextFormatter : public MessageFormatter
{
public:
    QString format(const char* data, int len) override;
    static TextFormatter* instance();
};

// A queued log line or error with its own deep copy of the bytes.
class Message
{
public:
    enum Kind
    {
        LogLine = 0,
        Error = 1
    };

    Message();
    Message(MessageFormatter* formatter, const char* data, int length, int kind);
    Message(const Message& other);
    Message(Message&& other) noexcept;
    Message& operator=(const Message& other);
    Message& operator=(Message&& other) noexcept;
    ~Message();

    MessageFormatter* formatter() const { return m_formatter; }
    const char* data() const { return m_data; }
    int length() const { return m_length; }
    int kind() const { return m_kind; }
    bool isError() const { return m_kind != LogLine; }
    // The display text, or a null string for an empty record.
    QString text() const;

private:
    void assign(MessageFormatter* formatter, const char* data, int length, int kind);

    MessageFormatter* m_formatter;
    char* m_data;
    int m_length;
    int m_kind;
};

// Carries log lines and errors from the acquisition thread to the window, which polls it.
class MessageHandler : public QObject
{
    Q_OBJECT
public:
    explicit MessageHandler(QObject* parent = nullptr, const char* name = nullptr);

    void postMessage(const QString& text);
    void postError(const QString& text);
    void postData(MessageFormatter* formatter, const char* data, int len);

    bool hasMessages();
    // Only after hasMessages() returned true; otherwise an empty record comes back.
    Message takeMessage();
    void clear();

private:
    void post(Message&& message);

    QMutex m_lock;
    QList<Message> m_messages;
};

#endif
