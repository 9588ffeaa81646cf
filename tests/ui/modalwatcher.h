#ifndef MODALWATCHER_H
#define MODALWATCHER_H

#include <functional>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

// Answers the modal dialogs that the code under test opens in an event loop of its own: while
// the watcher lives, the handler sees the active modal widget every few milliseconds and
// returns true once it has dealt with it.
class ModalWatcher
{
public:
    explicit ModalWatcher(const std::function<bool(QWidget*)>& handler)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this, handler] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal && modal->isVisible() && handler(modal))
                ++m_handled;
        });
        m_timer.start(5);
    }
    int handled() const { return m_handled; }

private:
    QTimer m_timer;
    int m_handled = 0;
};

// Closes every message box, keeping its title and text.
struct MessageBoxCloser
{
    QStringList titles;
    QStringList texts;
    ModalWatcher watcher{[this](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box) {
            titles.append(box->windowTitle());
            texts.append(box->text());
            box->done(QMessageBox::Ok);
        }
        return box != nullptr;
    }};
};

#endif
