#ifndef FUZZENVIRONMENT_H
#define FUZZENVIRONMENT_H

#include <QString>

// What every target sets up once per process: local time is UTC (so snoop times can be checked
// from the stamps), the engine's debug chatter is dropped, files go to a temporary directory of
// the process's own (under $VEZIVE_FUZZ_TMP, else /dev/shm, else the system's temporary
// directory), and settings stores live there too, so nothing outside it is touched.
namespace FuzzEnvironment {
void setUp();
// A path in the process's temporary directory.
QString path(const QString& name);
// Removes the directory; a normal exit does so by itself, a failed check calls it first.
void tearDown();
} // namespace FuzzEnvironment

#endif
