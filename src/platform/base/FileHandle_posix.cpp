// SPDX-License-Identifier: MIT
#include "FileHandle.h"

#include <cerrno>

bool WriteFully(int Fd, const char* Data, std::size_t Size) {
    while (Size > 0) {
        const ssize_t n = ::write(Fd, Data, Size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        Data += n;
        Size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool ReadFully(int Fd, const std::function<bool(const char* Data, std::size_t Size)>& Sink) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(Fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (!Sink(buffer, static_cast<std::size_t>(n)))
            return false;
    }
}
