// What the fuzz targets share: the invariant trap and whole-file writes.
#pragma once
#include <cstddef>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

// A violated invariant stops the fuzzer here, with the input that caused it.
inline void must_hold(bool condition) {
    if (!condition)
        __builtin_trap();
}

// Writes size bytes to the file name, replacing it; any failure is a violated invariant.
inline void write_whole(const char* name, const void* bytes, std::size_t size) {
    int fd = ::open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    must_hold(fd >= 0);
    const char* p = static_cast<const char*>(bytes);
    while (size > 0) {
        ssize_t done = ::write(fd, p, size);
        must_hold(done > 0);
        p += done;
        size -= static_cast<std::size_t>(done);
    }
    must_hold(::close(fd) == 0);
}

// Undefined behaviour halts the fuzzer like a crash (the fuzz build recovers from no report), with
// the stack of the fault. Each fuzz target is its own program and includes this header once.
extern "C" const char* __ubsan_default_options() { return "halt_on_error=1:print_stacktrace=1"; }

// Standard input reads nothing (an include of "" and the wait after a report end at once), and
// files written may not grow beyond file_limit bytes, so a runaway image fails its write.
inline void limit_process(rlim_t file_limit) {
    int null_fd = ::open("/dev/null", O_RDONLY);
    must_hold(null_fd >= 0 && ::dup2(null_fd, 0) == 0);
    ::close(null_fd);
    struct rlimit limit{};
    must_hold(::getrlimit(RLIMIT_FSIZE, &limit) == 0);
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > file_limit)
        limit.rlim_cur = file_limit;
    must_hold(::setrlimit(RLIMIT_FSIZE, &limit) == 0);
}
