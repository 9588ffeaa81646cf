#ifndef PANELS_H
#define PANELS_H

#include "forms.h"

// The option panels of the trace types Raw, PCAP (and PCAPNG, which has the same options) and
// Loopback: their forms under class names of their own, built like the forms the main window
// owns directly.

class RawImpl : public RawFrame
{
    Q_OBJECT
public:
    explicit RawImpl(QWidget* parent = nullptr, const char* name = nullptr, Qt::WindowFlags f = {})
        : RawFrame(parent, name, f)
    {}
};

class PcapImpl : public PcapFrame
{
    Q_OBJECT
public:
    explicit PcapImpl(QWidget* parent = nullptr, const char* name = nullptr, Qt::WindowFlags f = {})
        : PcapFrame(parent, name, f)
    {}
};

class LoopbackImpl : public LoopbackFrame
{
    Q_OBJECT
public:
    explicit LoopbackImpl(QWidget* parent = nullptr, const char* name = nullptr,
                          Qt::WindowFlags f = {})
        : LoopbackFrame(parent, name, f)
    {}
};

#endif
