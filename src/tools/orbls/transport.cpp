// The JSON-RPC transport: "Content-Length: N" and other header lines, each ended by CR LF, an
// empty line, then N bytes of body.
#include "tools/orbls/transport.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <unistd.h>

static bool is_digit(char c) { return c >= '0' && c <= '9'; }

static char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

static constexpr std::string_view length_name = "content-length:";

// The value of a "Content-Length" line of the header (its name in any case): -1 when the header
// has none, -2 when its value is no number, -3 when it is above max_body_bytes.
static long long content_length(std::string_view header) {
    long long length = -1;
    while (!header.empty()) {
        const std::size_t end = header.find("\r\n");
        const std::string_view line = header.substr(0, end);
        header.remove_prefix(end == std::string_view::npos ? header.size() : end + 2);
        if (line.size() < length_name.size())
            continue;
        bool named = true;
        for (std::size_t k = 0; k < length_name.size(); ++k)
            named = named && lower(line[k]) == length_name[k];
        if (!named)
            continue;
        std::size_t at = length_name.size();
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
            ++at;
        long long value = 0;
        const std::size_t first_digit = at;
        while (at < line.size() && is_digit(line[at]) && value <= static_cast<long long>(max_body_bytes))
            value = value * 10 + (line[at++] - '0');
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
            ++at;
        if (value > static_cast<long long>(max_body_bytes))
            return -3;
        if (at == first_digit || at != line.size())
            return -2;
        length = value;
    }
    return length;
}

// Where a "Content-Length:" (in any case) begins in text at or after from; npos for none.
static std::size_t find_length_name(std::string_view text, std::size_t from) {
    for (std::size_t at = from; at + length_name.size() <= text.size(); ++at) {
        if (lower(text[at]) != 'c')
            continue;
        std::size_t k = 1;
        while (k < length_name.size() && lower(text[at + k]) == length_name[k])
            ++k;
        if (k == length_name.size())
            return at;
    }
    return std::string_view::npos;
}

// A frame that is refused: the reason is answered once, and bytes are dropped from the second
// byte of the header on until the next header.
static t_read refuse(t_transport& transport, std::string& body, std::string_view reason) {
    body.assign(reason);
    transport.skipping = true;
    transport.scanned = 1;
    return t_read::bad_frame;
}

// A buffer that once held a large message gives its memory back.
static void shrink_pending(std::string& pending) {
    if (pending.capacity() > (std::size_t(1) << 20) && pending.capacity() > 4 * pending.size())
        pending.shrink_to_fit();
}

t_read take_message(t_transport& transport, std::string& body) {
    std::string& pending = transport.pending;
    if (transport.skipping) {
        const std::size_t found = find_length_name(pending, transport.scanned);
        if (found == std::string::npos) {
            // Only the bytes that may begin a name split across reads are kept.
            const std::size_t keep = std::min(pending.size(), length_name.size() - 1);
            pending.erase(0, pending.size() - keep);
            shrink_pending(pending);
            transport.scanned = 0;
            return t_read::timeout;
        }
        pending.erase(0, found);
        transport.skipping = false;
        transport.scanned = 0;
    }
    // Blank lines between messages are passed over: a client's stray line end is no header.
    std::size_t start = 0;
    while (pending.compare(start, 2, "\r\n") == 0)
        start += 2;
    if (start > 0) {
        pending.erase(0, start);
        transport.scanned = 0;
    }
    const std::size_t header_end = pending.find("\r\n\r\n", transport.scanned < 3 ? 0 : transport.scanned - 3);
    if (header_end == std::string::npos || header_end > max_header_bytes) {
        if (pending.size() < max_header_bytes + 4) {
            transport.scanned = pending.size();
            return t_read::timeout;
        }
        return refuse(transport, body, "a message header is longer than " + std::to_string(max_header_bytes) + " bytes");
    }
    const long long length = content_length(std::string_view(pending).substr(0, header_end));
    if (length == -1)
        return refuse(transport, body, "a message header needs a Content-Length");
    if (length == -2)
        return refuse(transport, body, "a message header has a Content-Length that is no length");
    if (length < 0)
        return refuse(transport, body, "a message is longer than " + std::to_string(max_body_bytes) + " bytes");
    const std::size_t body_start = header_end + 4;
    if (pending.size() - body_start < static_cast<std::size_t>(length)) {
        transport.scanned = header_end;
        return t_read::timeout;
    }
    body.assign(pending, body_start, static_cast<std::size_t>(length));
    pending.erase(0, body_start + static_cast<std::size_t>(length));
    shrink_pending(pending);
    transport.scanned = 0;
    return t_read::message;
}

void skip_from_body(t_transport& transport, std::string_view body) {
    // The rest of the body is searched here; its last bytes, which may begin a name that goes on
    // in the bytes after the body, are put back before them.
    const std::size_t found = find_length_name(body, 1);
    const std::size_t tail = body.size() - std::min(body.size(), length_name.size() - 1);
    const std::size_t from = found != std::string_view::npos ? found : std::max<std::size_t>(tail, 1);
    if (from < body.size())
        transport.pending.insert(0, body.substr(from));
    transport.skipping = true;
    transport.scanned = 0;
}

t_read read_message(t_transport& transport, int timeout_ms, std::string& body) {
    for (;;) {
        const t_read taken = take_message(transport, body);
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
