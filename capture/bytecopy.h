#ifndef BYTECOPY_H
#define BYTECOPY_H

#include <QtGlobal>

#include <cstddef>
#include <cstring>

// Copies a frame's bytes. Most frames are a few dozen bytes: two overlapping moves of a fixed
// size, which the compiler does in place, cost less than a call into the library for each.
inline void copyFrameBytes(char* to, const char* from, size_t len)
{
    const auto overlapping = [&](auto word) {
        constexpr size_t Size = sizeof(word);
        std::memcpy(&word, from, Size);
        decltype(word) last;
        std::memcpy(&last, from + len - Size, Size);
        std::memcpy(to, &word, Size);
        std::memcpy(to + len - Size, &last, Size);
    };
    struct Sixteen
    {
        char bytes[16];
    };
    if (len > 32)
        std::memcpy(to, from, len);
    else if (len >= 16)
        overlapping(Sixteen{});
    else if (len >= 8)
        overlapping(quint64{});
    else if (len >= 4)
        overlapping(quint32{});
    else
        for (size_t i = 0; i < len; ++i)
            to[i] = from[i];
}

#endif
