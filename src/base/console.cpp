// The console: one buffered standard output shared by the echo and the report.
#include "base/base.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

static char out_buffer[1 << 16];
static std::size_t out_used = 0;

static void write_all(const char* bytes, std::size_t count) {
    while (count > 0) {
        ssize_t done = ::write(1, bytes, count);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return; // a closed or failing console loses the echo, never the image
        bytes += done;
        count -= static_cast<std::size_t>(done);
    }
}

std::string* console_capture = nullptr;

// Writes text through, or keeps it where a caller captures the console.
static void put_out(const char* text, std::size_t count) {
    if (console_capture != nullptr)
        console_capture->append(text, count);
    else
        write_all(text, count);
}

void console_flush() {
    put_out(out_buffer, out_used);
    out_used = 0;
}

void console_write(std::string_view text) {
    if (text.size() > sizeof out_buffer - out_used)
        console_flush();
    if (text.size() >= sizeof out_buffer) // long lines go straight through
        return put_out(text.data(), text.size());
    if (!text.empty())
        std::memcpy(out_buffer + out_used, text.data(), text.size());
    out_used += text.size();
}

void console_line(std::string_view text) {
    if (text.size() < sizeof out_buffer - out_used) { // the common case: room for the line and its end
        if (!text.empty())
            std::memcpy(out_buffer + out_used, text.data(), text.size());
        out_used += text.size();
    } else {
        console_write(text);
        if (out_used == sizeof out_buffer)
            console_flush();
    }
    out_buffer[out_used++] = '\n';
}

void console_wait_enter() {
    char c;
    for (;;) {
        ssize_t got = ::read(0, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || c == '\n')
            return;
    }
}
