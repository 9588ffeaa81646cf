#include "device/event.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

SyncObject::~SyncObject() = default;

// Every event is manual-reset: the eventfd stays readable until reset() drains its counter.
Event::Event(bool /*manualReset*/, bool initiallySignalled)
{
    m_handle = ::eventfd(initiallySignalled ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK);
}

Event::~Event()
{
    if (m_handle >= 0)
        ::close(m_handle);
    m_handle = -1;
}

int Event::reset()
{
    if (m_handle < 0)
        return 0;
    // One read returns and clears the whole counter; EAGAIN means it already was zero.
    std::uint64_t counter;
    for (;;) {
        if (::read(m_handle, &counter, sizeof counter) == ssize_t(sizeof counter))
            return 1;
        if (errno == EAGAIN)
            return 1;
        if (errno != EINTR)
            return 0;
    }
}

int Event::set()
{
    if (m_handle < 0)
        return 0;
    const std::uint64_t one = 1;
    for (;;) {
        if (::write(m_handle, &one, sizeof one) == ssize_t(sizeof one))
            return 1;
        // EAGAIN: the counter is at its limit, so the event is signalled anyway.
        if (errno == EAGAIN)
            return 1;
        if (errno != EINTR)
            return 0;
    }
}

bool Event::isSignalled() const
{
    if (m_handle < 0)
        return false;
    pollfd p{m_handle, POLLIN, 0};
    int rc;
    do {
        rc = ::poll(&p, 1, 0);
    } while (rc < 0 && errno == EINTR);
    return rc > 0 && (p.revents & POLLIN);
}

bool Event::waitEither(const Event& other, int& which, int timeoutMs) const
{
    if (m_handle < 0)
        return false;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    // A negative descriptor (an event without a handle) is skipped by poll().
    pollfd fds[2] = {{m_handle, POLLIN, 0}, {other.handle(), POLLIN, 0}};
    int wait = timeoutMs < 0 ? -1 : timeoutMs;
    for (;;) {
        const int rc = ::poll(fds, 2, wait);
        if (rc > 0) {
            // Like a wait for the first of several objects: the lower index wins a tie.
            if (fds[0].revents & POLLIN) {
                which = 0;
                return true;
            }
            if (fds[1].revents & POLLIN) {
                which = 1;
                return true;
            }
            return false;
        }
        if (rc == 0 || errno != EINTR)
            return false;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            wait = left.count() > 0 ? int(std::min<long long>(left.count(), INT_MAX)) : 0;
        }
    }
}
