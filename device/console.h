#ifndef CONSOLE_H
#define CONSOLE_H

#include <cstdio>

// Whether a standard stream is a terminal, where a status line can be redrawn in place.
bool isTerminal(std::FILE* stream);

// Lets a write to a closed pipe fail with an error instead of killing the process, so a writer
// can say why it stopped.
void ignoreBrokenPipes();

#endif
