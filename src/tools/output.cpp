// The output of orbdis and orblist, written in blocks and checked at every write.
#include "tools/output.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Text is held until about this much is pending; a longer text goes straight through.
static constexpr std::size_t block_bytes = 1 << 16;

bool open_output(t_output& output, const std::string& name) {
    output.name = name;
    output.pending.clear();
    output.error = 0;
    output.fd = name == "-" ? 1 : ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (output.fd < 0)
        output.error = errno;
    return output.fd >= 0;
}

// Passes text to the system; after a failure nothing more is written.
static void write_through(t_output& output, std::string_view text) {
    while (output.error == 0 && !text.empty()) {
        const ssize_t wrote = ::write(output.fd, text.data(), text.size());
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            output.error = wrote < 0 ? errno : EIO;
        else
            text.remove_prefix(static_cast<std::size_t>(wrote));
    }
}

void output_write(t_output& output, std::string_view text) {
    if (output.pending.size() + text.size() < block_bytes) {
        output.pending.append(text);
        return;
    }
    write_through(output, output.pending);
    output.pending.clear();
    write_through(output, text);
}

void output_line(t_output& output, std::string_view text) {
    output_write(output, text);
    output_write(output, "\n");
}

bool close_output(t_output& output) {
    write_through(output, output.pending);
    output.pending.clear();
    if (output.fd > 1) {
        struct stat info;
        const bool regular = ::fstat(output.fd, &info) == 0 && S_ISREG(info.st_mode);
        if (::close(output.fd) != 0 && output.error == 0)
            output.error = errno;
        if (output.error != 0 && regular)
            ::unlink(output.name.c_str());
    }
    output.fd = -1;
    return output.error == 0;
}

std::string output_failure(const t_output& output, std::string_view program) {
    const std::string what = output.name == "-" ? "standard output" : "\"" + output.name + "\"";
    return std::string(program) + ": error: cannot write " + what + ": " + std::strerror(output.error) + "\n";
}
