// The console: one buffered standard output shared by the echo and the report.
#include "driver/driver.h"

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

void console_flush() {
    if (console_capture != nullptr)
        console_capture->append(out_buffer, out_used);
    else
        write_all(out_buffer, out_used);
    out_used = 0;
}

void console_write(std::string_view text) {
    if (text.empty())
        return;
    if (text.size() > sizeof out_buffer - out_used) {
        console_flush();
        if (text.size() >= sizeof out_buffer) { // long lines go straight through
            if (console_capture != nullptr)
                console_capture->append(text);
            else
                write_all(text.data(), text.size());
            return;
        }
    }
    std::memcpy(out_buffer + out_used, text.data(), text.size());
    out_used += text.size();
}

void console_line(std::string_view text) {
    console_write(text);
    if (out_used == sizeof out_buffer)
        console_flush();
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
