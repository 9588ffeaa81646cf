#ifndef MODALWATCHER_H
#define MODALWATCHER_H

#include <functional>
#include <QApplication>
#include <QBasicTimer>
#include <QMessageBox>
#include <QObject>
#include <QTimerEvent>
#include <QWidget>

// Answers the modal dialogs that the code under test opens in an event loop of its own (message
// boxes, file dialogs): while the watcher lives, the handler sees the active modal widget every
// few milliseconds and returns true once it has dealt with it.
class ModalWatcher : public QObject
{
public:
    using Handler = std::function<bool(QWidget*)>;

    explicit ModalWatcher(Handler handler) : m_handler(std::move(handler))
    {
        m_timer.start(5, this);
    }
    int handled() const { return m_handled; }

protected:
    void timerEvent(QTimerEvent* event) override
    {
        if (event->timerId() != m_timer.timerId())
            return;
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible() && m_handler(modal))
            ++m_handled;
    }

private:
    Handler m_handler;
    QBasicTimer m_timer;
    int m_handled = 0;
};

// Closes every message box, keeping its title and text.
struct MessageBoxCloser
{
    QStringList titles;
    QStringList texts;
    ModalWatcher watcher{[this](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box)
            return false;
        titles.append(box->windowTitle());
        texts.append(box->text());
        box->done(QMessageBox::Ok);
        return true;
    }};
};

#endif
