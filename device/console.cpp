#include "device/console.h"

#include <csignal>
#include <unistd.h>

bool isTerminal(std::FILE* stream)
{
    return ::isatty(::fileno(stream)) == 1;
}

void ignoreBrokenPipes()
{
    std::signal(SIGPIPE, SIG_IGN);
}
