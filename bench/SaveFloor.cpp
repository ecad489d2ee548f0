// SPDX-License-Identifier: MIT
// The floor of a durable save once a second: nothing but the save itself.
//
//     save_floor <bytes file> <folder>
//
// Reads the bytes once, then every second on the second (an absolute timer, as a one-second
// program timer would fire) writes them to a fresh temporary file in <folder> (O_EXCL), fsyncs
// and closes it and renames it over <folder>/tasks.db, until SIGTERM. Whatever a tracking
// program spends beyond this is its own cost; bench/startup.py measures both side by side.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {
volatile std::sig_atomic_t Stop = 0;

void OnTerm(int) {
    Stop = 1;
}

std::vector<char> ReadAll(const char* Path) {
    std::vector<char> bytes;
    FILE* file = std::fopen(Path, "rb");
    if (!file)
        return bytes;
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(file);
    return bytes;
}

bool Save(const std::string& Temporary, const std::string& Target, const std::vector<char>& Bytes) {
    const int fd = open(Temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool written = write(fd, Bytes.data(), Bytes.size()) == static_cast<ssize_t>(Bytes.size());
    const bool synced = fsync(fd) == 0;
    const bool closed = close(fd) == 0;
    return written && synced && closed && rename(Temporary.c_str(), Target.c_str()) == 0;
}
} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: save_floor <bytes file> <folder>\n");
        return 2;
    }
    const std::vector<char> bytes = ReadAll(argv[1]);
    const std::string folder = argv[2];
    const std::string target = folder + "/tasks.db";
    const std::string temporary = folder + "/tasks.db.tmp";
    std::signal(SIGTERM, OnTerm);
    std::signal(SIGINT, OnTerm);
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    while (!Stop) {
        ++next.tv_sec;
        if (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) == EINTR)
            continue;
        if (!Save(temporary, target, bytes)) {
            std::perror(temporary.c_str());
            return 1;
        }
    }
    return 0;
}
