// Linked into every program of a ThreadSanitizer build only.
//
// Qt is not built with ThreadSanitizer, so the synchronisation inside QThread (a futex-based
// mutex) is invisible to it: a thread's last writes and the owner's reads after wait() or
// isFinished() look unordered whenever the thread had already ended, and every such pair would
// be reported as a race in the project's own code. These definitions take the place of Qt's
// for the calls the project makes, forward to Qt's own, and tell ThreadSanitizer about the
// ordering Qt guarantees: everything a thread did happens before its end is seen.
//
// QProcess starts its child with a vfork-like clone that shares the parent's memory until exec.
// ThreadSanitizer's clone interceptor treats that child as a fork of a multi-threaded process and
// switches it to ignoring everything, but in shared memory that is the parent's own thread: from
// then on the parent's thread would pass unchecked, and it dies at its next new thread. Such a
// clone goes to the C library directly here; the child only execs.

#include <QDeadlineTimer>
#include <QThread>
#include <QVariant>

#include <cstdarg>
#include <dlfcn.h>
#include <sanitizer/tsan_interface.h>
#include <sched.h>
#include <sys/types.h>

namespace {

// Qt's definition of a symbol this file replaces.
void* qtSymbol(const char* name)
{
    void* symbol = dlvsym(RTLD_NEXT, name, "Qt_6");
    if (!symbol)
        symbol = dlsym(RTLD_NEXT, name);
    if (!symbol)
        qFatal("ThreadSanitizer support: %s not found in Qt", name);
    return symbol;
}

using StartFunction = void (*)(QThread*, QThread::Priority);
using WaitFunction = bool (*)(QThread*, QDeadlineTimer);
using IsFinishedFunction = bool (*)(const QThread*);

bool qtWait(QThread* thread, QDeadlineTimer deadline)
{
    static const auto wait = WaitFunction(qtSymbol("_ZN7QThread4waitE14QDeadlineTimer"));
    return wait(thread, deadline);
}

using CloneFunction = int (*)(int (*)(void*), void*, int, void*, ...);

CloneFunction libcClone()
{
    static const auto clone = [] {
        void* libc = dlopen("libc.so.6", RTLD_NOW | RTLD_NOLOAD);
        void* symbol = libc ? dlsym(libc, "clone") : nullptr;
        if (!symbol)
            qFatal("ThreadSanitizer support: clone not found in the C library");
        return CloneFunction(symbol);
    }();
    return clone;
}

const char* const ReleaseConnected = "_vezive_tsanReleaseOnFinish";

} // namespace

void QThread::start(Priority priority)
{
    static const auto start = StartFunction(qtSymbol("_ZN7QThread5startENS_8PriorityE"));
    // finished() is emitted on the thread itself once run() has returned.
    if (!property(ReleaseConnected).toBool()) {
        setProperty(ReleaseConnected, true);
        connect(
            this, &QThread::finished, this, [this] { __tsan_release(this); }, Qt::DirectConnection);
    }
    start(this, priority);
}

bool QThread::wait(QDeadlineTimer deadline)
{
    const bool ended = qtWait(this, deadline);
    if (ended)
        __tsan_acquire(this);
    return ended;
}

bool QThread::isFinished() const
{
    static const auto isFinished = IsFinishedFunction(qtSymbol("_ZNK7QThread10isFinishedEv"));
    if (!isFinished(this))
        return false;
    // Qt says finished as soon as the thread enters its finishing steps, before finished() is
    // emitted; waiting for the short rest makes the release made there visible here.
    auto* thread = const_cast<QThread*>(this);
    qtWait(thread, QDeadlineTimer(QDeadlineTimer::Forever));
    __tsan_acquire(thread);
    return true;
}

extern "C" int clone(int (*function)(void*), void* stack, int flags, void* argument, ...)
{
    // The optional arguments, read as the C library's own clone reads them.
    va_list rest;
    va_start(rest, argument);
    auto* parentTid = va_arg(rest, pid_t*);
    void* tls = va_arg(rest, void*);
    auto* childTid = va_arg(rest, pid_t*);
    va_end(rest);
    if ((flags & CLONE_VM) && (flags & CLONE_VFORK))
        return libcClone()(function, stack, flags, argument, parentTid, tls, childTid);
    static const auto intercepted = CloneFunction(dlsym(RTLD_NEXT, "clone"));
    return intercepted(function, stack, flags, argument, parentTid, tls, childTid);
}
