// The JSON-RPC transport: "Content-Length: N" and other header lines, each ended by CR LF, an
// empty line, then N bytes of body.
#include "tools/orbls/transport.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

static bool is_digit(char c) { return c >= '0' && c <= '9'; }

static char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The value of a "Content-Length" line of the header (its name in any case), or -1 when the
// header has none, or none that is a number within max_body_bytes.
static long long content_length(std::string_view header) {
    static constexpr std::string_view name = "content-length:";
    long long length = -1;
    while (!header.empty()) {
        const std::size_t end = header.find("\r\n");
        const std::string_view line = header.substr(0, end);
        header.remove_prefix(end == std::string_view::npos ? header.size() : end + 2);
        if (line.size() < name.size())
            continue;
        bool named = true;
        for (std::size_t k = 0; k < name.size(); ++k)
            named = named && lower(line[k]) == name[k];
        if (!named)
            continue;
        std::size_t at = name.size();
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
            ++at;
        long long value = 0;
        const std::size_t first_digit = at;
        while (at < line.size() && is_digit(line[at]) && value <= static_cast<long long>(max_body_bytes))
            value = value * 10 + (line[at++] - '0');
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
            ++at;
        if (at == first_digit || at != line.size() || value > static_cast<long long>(max_body_bytes))
            return -1;
        length = value;
    }
    return length;
}

t_read take_message(std::string& pending, std::string& body) {
    // Blank lines between messages are passed over: a client's stray line end is no header.
    std::size_t start = 0;
    while (pending.compare(start, 2, "\r\n") == 0)
        start += 2;
    const std::size_t header_end = pending.find("\r\n\r\n", start);
    if (header_end == std::string::npos) {
        pending.erase(0, start);
        return t_read::timeout;
    }
    const std::string_view header = std::string_view(pending).substr(start, header_end - start);
    const long long length = content_length(header);
    const std::size_t body_start = header_end + 4;
    if (length < 0) {
        body.assign(header);
        pending.erase(0, body_start);
        return t_read::bad_header;
    }
    if (pending.size() - body_start < static_cast<std::size_t>(length)) {
        pending.erase(0, start);
        return t_read::timeout;
    }
    body.assign(pending, body_start, static_cast<std::size_t>(length));
    pending.erase(0, body_start + static_cast<std::size_t>(length));
    return t_read::message;
}

t_read read_message(t_transport& transport, int timeout_ms, std::string& body) {
    for (;;) {
        const t_read taken = take_message(transport.pending, body);
        if (taken != t_read::timeout)
            return taken;
        if (transport.at_end)
            return t_read::end;
        pollfd wanted{transport.fd, POLLIN, 0};
        const int ready = ::poll(&wanted, 1, timeout_ms);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0)
            return t_read::timeout;
        char chunk[1 << 16];
        const ssize_t got = ready < 0 ? -1 : ::read(transport.fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            transport.at_end = true;
            continue;
        }
        transport.pending.append(chunk, static_cast<std::size_t>(got));
        // Once bytes have come, a message still partial ends the call: the caller's deadlines are
        // looked at before it waits again.
        timeout_ms = 0;
    }
}

std::string frame_message(std::string_view body) {
    std::string text = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    text += body;
    return text;
}

bool write_message(int fd, std::string_view body) {
    const std::string text = frame_message(body);
    std::string_view left = text;
    while (!left.empty()) {
        const ssize_t wrote = ::write(fd, left.data(), left.size());
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        left.remove_prefix(static_cast<std::size_t>(wrote));
    }
    return true;
}
