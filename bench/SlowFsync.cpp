// SPDX-License-Identifier: MIT
// LD_PRELOAD shim that makes every fsync and fdatasync of the program slow: 500 ms longer, as
// on a slow USB stick or a network home folder (the responsiveness benchmark), or, with
// SLOW_FSYNC_HOLD naming a file, stalled for as long as that file exists, as on a network
// home folder that stops answering (the stalled-disk test).
#include <dlfcn.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

namespace {
void Sleep(long Ms) {
    timespec delay{Ms / 1000, (Ms % 1000) * 1000L * 1000};
    while (nanosleep(&delay, &delay) != 0) {
    }
}

void Stall() {
    static const char* const hold = getenv("SLOW_FSYNC_HOLD");
    if (!hold) {
        Sleep(500);
        return;
    }
    while (access(hold, F_OK) == 0)
        Sleep(20);
}

using TSync = int (*)(int);

TSync Next(const char* Name) {
    return reinterpret_cast<TSync>(dlsym(RTLD_NEXT, Name));
}
} // namespace

extern "C" int fsync(int Fd) {
    static const TSync real = Next("fsync");
    Stall();
    return real(Fd);
}

extern "C" int fdatasync(int Fd) {
    static const TSync real = Next("fdatasync");
    Stall();
    return real(Fd);
}
