// What the fuzz targets share: the invariant trap and whole-file writes.
#pragma once
#include <cstddef>
#include <fcntl.h>
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
