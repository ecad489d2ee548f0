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
