// LD_PRELOAD shim for the responsiveness benchmark: every fsync and fdatasync of the program
// takes 500 ms longer, as on a slow USB stick or a network home folder.
#include <dlfcn.h>
#include <time.h>

namespace {
void Stall() {
    timespec delay{0, 500L * 1000 * 1000};
    while (nanosleep(&delay, &delay) != 0) {
    }
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
