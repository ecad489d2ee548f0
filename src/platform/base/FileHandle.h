// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <functional>
#include <unistd.h>
#include <utility>

// Owns a POSIX file descriptor and closes it on every path.
class TFileHandle final {
public:
    explicit TFileHandle(int Fd) : FFd(Fd) {}
    ~TFileHandle() {
        if (FFd >= 0)
            ::close(FFd);
    }
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    int Get() const { return FFd; }
    int Release() { return std::exchange(FFd, -1); }
    // Closes now; false when the system reports an error (a delayed write error among them).
    bool Close() { return ::close(Release()) == 0; }

private:
    int FFd;
};

// Writes all of Data; false on any failure, short writes included (errno tells why).
bool WriteFully(int Fd, const char* Data, std::size_t Size);

// Reads Fd to its end, handing each block read to Sink. False when a read fails (errno tells
// why) or Sink returns false.
bool ReadFully(int Fd, const std::function<bool(const char* Data, std::size_t Size)>& Sink);
