#ifndef EVENT_H
#define EVENT_H

// Holds one operating-system waitable handle (a file descriptor here); -1 when there is none.
// The base does not release the handle: its owner decides.
class SyncObject
{
public:
    SyncObject() : m_handle(-1) {}
    virtual ~SyncObject();

    int handle() const { return m_handle; }

protected:
    int m_handle;

private:
    SyncObject(const SyncObject&) = delete;
    SyncObject& operator=(const SyncObject&) = delete;
};

// A manual-reset event: once set it stays signalled until reset(). Backed by an eventfd, which
// is readable while its counter is not zero, so poll() can wait for it beside a port. set() may
// be called from any thread.
class Event : public SyncObject
{
public:
    explicit Event(bool manualReset = true, bool initiallySignalled = false);
    ~Event() override;

    // 1 on success; 0 when there is no handle.
    int reset();
    // 1 on success; 0 when there is no handle.
    int set();
    bool isSignalled() const;

    // Waits until this event or other is signalled, at most timeoutMs (-1: no limit). which
    // receives 0 for this event, 1 for other. False on time-out, on failure or without a handle.
    bool waitEither(const Event& other, int& which, int timeoutMs = -1) const;
};

#endif
