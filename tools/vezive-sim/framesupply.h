#ifndef FRAMESUPPLY_H
#define FRAMESUPPLY_H

#include "capture/signallingtraffic.h"

#include <memory>
#include <QByteArray>
#include <QList>

// Where one channel's frames come from, and how many flags go between them.
class FrameSupply
{
public:
    virtual ~FrameSupply() = default;
    // The next frame; false once the supply is used up.
    virtual bool next(QByteArray& frame) = 0;
    // Flags between two frames, counting the one that closes the first.
    virtual int flagCount() = 0;
};

// The built-in scenario: realistic traffic without end.
class ScenarioSupply : public FrameSupply
{
public:
    explicit ScenarioSupply(std::unique_ptr<Traffic> traffic) : m_traffic(std::move(traffic)) {}
    bool next(QByteArray& frame) override
    {
        frame = m_traffic->nextFrame();
        return true;
    }
    int flagCount() override { return m_traffic->nextFlagCount(); }

private:
    std::unique_ptr<Traffic> m_traffic;
};

// Frames given by the user, each once; the gaps between them vary as the scenario's do.
class ListSupply : public FrameSupply
{
public:
    ListSupply(const QList<QByteArray>& frames, quint32 seed) : m_frames(frames), m_gaps(seed) {}
    bool next(QByteArray& frame) override
    {
        if (m_index >= m_frames.size())
            return false;
        frame = m_frames[m_index++];
        return true;
    }
    int flagCount() override { return m_gaps.nextFlagCount(); }

private:
    QList<QByteArray> m_frames; // shared with the loaded list, not copied
    qsizetype m_index = 0;
    SignallingTraffic m_gaps;
};

#endif
