// The image writer: the laid-out items as raw bytes from address 0 to the end of the image. A file
// is written under a new name beside the image and then renamed over it, so that the image's name
// holds either the older image or the whole new one at every moment, whatever stops the run.
#include "base/base.h"
#include "image/image.h"
#include "source/source.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::string image_name;

static const uint8_t zero_buffer[1024] = {}; // the source of every zero fill

namespace {
// The image's way into the file: its bytes go through a fixed buffer, so the image itself is never
// held in memory.
struct t_output {
    int fd;
    bool seekable;     // a new regular file: long runs of zeros are left as holes
    bool failed;       // a write failed; nothing more is written
    int error;         // the system's reason for the failure
    std::size_t used;  // bytes held in buffer
    int64_t written;   // bytes of the image passed to the file so far, holes included
    uint8_t buffer[std::size_t(1) << 16];
};
} // namespace
static t_output output;

static void fail_output() {
    if (!output.failed)
        output.error = errno;
    output.failed = true;
}

static void flush_output() {
    for (std::size_t done = 0; done < output.used && !output.failed;) {
        const ssize_t wrote = ::write(output.fd, output.buffer + done, output.used - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            fail_output();
        done += wrote > 0 ? static_cast<std::size_t>(wrote) : 0;
    }
    output.used = 0;
}

static void put_bytes(const uint8_t* bytes, std::size_t count) {
    output.written += static_cast<int64_t>(count);
    while (count > 0) {
        if (output.used == sizeof output.buffer)
            flush_output();
        const std::size_t part = std::min(count, sizeof output.buffer - output.used);
        std::memcpy(output.buffer + output.used, bytes, part);
        output.used += part;
        bytes += part;
        count -= part;
    }
}

// A run of zeros this long is not written into a new file but skipped, which leaves a hole that
// reads as zeros: a large #org or #zero costs neither time nor disk space.
static constexpr int32_t hole_min_bytes = 1 << 16;

static void put_zeros(int32_t count) {
    if (output.seekable && count >= hole_min_bytes) {
        flush_output();
        if (::lseek(output.fd, count, SEEK_CUR) < 0)
            fail_output();
        output.written += count;
        return;
    }
    for (; count > 0; count -= 1024)
        put_bytes(zero_buffer, static_cast<std::size_t>(count < 1024 ? count : 1024));
}

int32_t item_bytes(const t_item* item, uint8_t out[item_bytes_max]) {
    int32_t count = 0;
    int32_t value_bytes = 0;
    if (item->kind == kind_value) {
        value_bytes = 4;
    } else if (item->kind == kind_operand || item->kind == kind_memory) {
        // The word is stored with size code 10; the chosen size sets the code that is written:
        // 01 for 2 bytes, 10 for 4, 11 for 6.
        const auto word = static_cast<uint16_t>((item->data[0] | item->data[1] << 8) + (item->size - 4) / 2 * 0x4000);
        out[count++] = static_cast<uint8_t>(word);
        out[count++] = static_cast<uint8_t>(word >> 8);
        value_bytes = item->size - 2;
    }
    const auto value = static_cast<uint32_t>(item->parameter);
    for (int32_t k = 0; k < value_bytes; ++k)
        out[count++] = static_cast<uint8_t>(value >> (8 * k));
    return count;
}

t_item range_bytes(const t_item* first, const t_item* last, std::vector<uint8_t>& bytes) {
    t_item fill{};
    for (const t_item* item = first; item != nullptr; item = item->next) {
        uint8_t rendered[item_bytes_max];
        if (item->kind == kind_bytes)
            bytes.insert(bytes.end(), item->data, item->data + item->size);
        else if (item->kind == kind_value || item->kind == kind_operand || item->kind == kind_memory)
            bytes.insert(bytes.end(), rendered, rendered + item_bytes(item, rendered));
        else if (item->size > 0 && item->kind != kind_head && item->kind != kind_label)
            fill = *item;
        if (item == last)
            break;
    }
    return fill;
}

// Every item in order until the end of the image: reserved areas and gaps after the last byte of
// the image are never written.
static void write_items() {
    for (const t_item* item = &head_item; item != nullptr && output.written < end_of_image; item = item->next) {
        uint8_t bytes[item_bytes_max];
        switch (item->kind) {
        case kind_bytes:
            put_bytes(item->data, static_cast<std::size_t>(item->size));
            break;
        case kind_value:
        case kind_operand:
        case kind_memory:
            put_bytes(bytes, static_cast<std::size_t>(item_bytes(item, bytes)));
            break;
        case kind_reserve:
        case kind_zero:
        case kind_org:
        case kind_align:
            put_zeros(item->size);
            break;
        default:
            break; // the head item and labels add nothing
        }
    }
    flush_output();
    // A hole at the end of the image is part of it once the file has the image's length.
    if (output.seekable && !output.failed && ::ftruncate(output.fd, end_of_image) != 0)
        fail_output();
}

// The new file's name, for the signal handlers to remove it: a run stopped by Ctrl-C or kill leaves
// the older image and nothing else.
static char temporary_name[4096];

static void remove_temporary_and_stop(int signal) {
    ::unlink(temporary_name);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// A new file beside target, with the permissions a newly created image gets; -1 when none can be made.
static int create_temporary(const std::string& target) {
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = folder + "." + target.substr(slash + 1) + ".XXXXXX";
    if (name.size() >= sizeof temporary_name)
        return -1;
    std::memcpy(temporary_name, name.c_str(), name.size() + 1);
    const int fd = ::mkstemp(temporary_name);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (fd >= 0)
        ::fchmod(fd, 0666 & ~mask);
    return fd;
}

void write_image() {
    const std::string target = image_name.empty() ? source_name + ".orb" : image_name;
    // Standard output, a device or a pipe cannot be replaced, only written; the echo goes first. So
    // is a name under /dev or /proc (/dev/stdout names a descriptor even when it is a file).
    struct stat status {};
    const bool exists = ::stat(target.c_str(), &status) == 0;
    const bool direct = target == "-" || target.rfind("/dev/", 0) == 0 || target.rfind("/proc/", 0) == 0 ||
                        (exists && !S_ISREG(status.st_mode));
    // A read-only image is kept as it is.
    const bool replaced = !direct && (!exists || ::access(target.c_str(), W_OK) == 0);
    output.fd = -1;
    output.seekable = !direct;
    output.failed = false;
    output.used = 0;
    output.written = 0;
    void (*interrupted)(int) = SIG_DFL;
    void (*terminated)(int) = SIG_DFL;
    if (direct) {
        console_flush();
        output.fd = target == "-" ? 1 : ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    } else if (replaced) {
        interrupted = std::signal(SIGINT, remove_temporary_and_stop);
        terminated = std::signal(SIGTERM, remove_temporary_and_stop);
        output.fd = create_temporary(target);
    }
    if (output.fd < 0)
        fail_output();
    else
        write_items();
    if (output.fd > 1 && ::close(output.fd) != 0)
        fail_output();
    if (replaced) {
        if (!output.failed && ::rename(temporary_name, target.c_str()) != 0)
            fail_output();
        if (output.failed && output.fd >= 0)
            ::unlink(temporary_name);
        std::signal(SIGINT, interrupted);
        std::signal(SIGTERM, terminated);
    }
    if (output.failed)
        fault_detail = "\"" + target + "\": " + std::strerror(output.error);
    fatal_check(!output.failed, "Could not write output file");
}
