#ifndef CONSOLE_H
#define CONSOLE_H

#include <cstdio>
#include <QString>

// Whether a standard stream is a terminal, where a status line can be redrawn in place.
bool isTerminal(std::FILE* stream);

// Lets a write to a closed pipe fail with an error instead of killing the process, so a writer
// can say why it stopped.
void ignoreBrokenPipes();

// A second write end of a FIFO, held to notice its reader closing it before a write to it fails.
class PipeWatch
{
public:
    PipeWatch() = default;
    ~PipeWatch();
    PipeWatch(const PipeWatch&) = delete;
    PipeWatch& operator=(const PipeWatch&) = delete;

    // Waits for a reader to open the FIFO, as a writer does; false with the system's reason.
    bool open(const QString& path, QString* error);
    // Whether the FIFO had a reader and has none now.
    bool readerGone() const;

private:
    int m_fd = -1;
};

#endif
