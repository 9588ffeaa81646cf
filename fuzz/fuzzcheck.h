#ifndef FUZZCHECK_H
#define FUZZCHECK_H

#include <QString>

// Reports a broken expectation with what was found and aborts, so that the fuzzer keeps the
// input as a crash and a replay stops at the first fault.
[[noreturn]] void fuzzFailure(const char* condition, const QString& detail, const char* file,
                              int line);

// detail is only built when the condition fails.
#define FUZZ_REQUIRE(condition, detail)                                                            \
    do {                                                                                           \
        if (!(condition))                                                                          \
            fuzzFailure(#condition, (detail), __FILE__, __LINE__);                                 \
    } while (false)

// Short hex of a byte array for failure details.
QString hexSample(const QByteArray& bytes);

#endif
