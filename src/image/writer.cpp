// The image writer: the laid-out items as raw bytes from address 0 to the end of the image.
#include "driver/driver.h"
#include "image/image.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

static const uint8_t zero_buffer[1024] = {}; // the source of every zero fill

// One stream of the image into the file: its bytes go through a fixed buffer to consecutive
// offsets, so the image itself is never held in memory.
struct t_output_stream {
    int fd;
    off_t offset;     // the file offset of the buffer's first byte
    uint8_t* buffer;  // stream_buffer_bytes bytes
    std::size_t used; // bytes held in the buffer
    bool failed;      // a write failed; nothing more is written
    bool holes;       // long runs of zeros may be left as holes (a regular file)
    off_t stale_end;  // the length of the older file this image is written over
};

bool punch_stale_holes = true;

static constexpr std::size_t stream_buffer_bytes = std::size_t(1) << 16;
// An item of at most this many bytes is copied without a call while the buffer has room for it.
static constexpr int32_t small_item_bytes = 16;

static void flush_output(t_output_stream& out) {
    std::size_t done = 0;
    while (done < out.used && !out.failed) {
        ssize_t wrote = ::pwrite(out.fd, out.buffer + done, out.used - done, out.offset + static_cast<off_t>(done));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            out.failed = true;
        else
            done += static_cast<std::size_t>(wrote);
    }
    out.offset += static_cast<off_t>(out.used);
    out.used = 0;
}

static void put_bytes(t_output_stream& out, const uint8_t* bytes, std::size_t count) {
    while (count > 0 && !out.failed) {
        std::size_t room = stream_buffer_bytes - out.used;
        std::size_t part = count < room ? count : room;
        std::memcpy(out.buffer + out.used, bytes, part);
        out.used += part;
        bytes += part;
        count -= part;
        if (out.used == stream_buffer_bytes)
            flush_output(out);
    }
}

// A run of zeros this long is not written but left as a hole in the file, which reads as zeros:
// a large #org or #zero costs neither time nor disk space.
static constexpr int32_t hole_min_bytes = 1 << 16;

// Below the older file's length its bytes must go: the run is punched out of the file, or, where
// the file system cannot do that, written as zeros.
static void put_zeros(t_output_stream& out, int32_t count) {
    if (out.holes && count >= hole_min_bytes) {
        flush_output(out);
        const off_t stale = out.stale_end - out.offset;
        if (stale <= 0 || (punch_stale_holes && ::fallocate(out.fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE,
                                                            out.offset, stale < count ? stale : count) == 0)) {
            out.offset += count;
            return;
        }
    }
    while (count > 1024) {
        put_bytes(out, zero_buffer, 1024);
        count -= 1024;
    }
    if (count > 0)
        put_bytes(out, zero_buffer, static_cast<std::size_t>(count));
}

int32_t item_bytes(const t_item* item, uint8_t out[item_bytes_max]) {
    int32_t count = 0;
    int32_t value_bytes = 0;
    if (item->kind == kind_value) {
        value_bytes = 4;
    } else if (item->kind == kind_operand || item->kind == kind_memory) {
        // The word is stored with size code 10; the chosen size sets the code that is written.
        uint16_t word = static_cast<uint16_t>(item->data[0] | item->data[1] << 8);
        if (item->size == 2)
            word = static_cast<uint16_t>(word - 0x4000);
        else if (item->size == 6)
            word = static_cast<uint16_t>(word + 0x4000);
        out[count++] = static_cast<uint8_t>(word);
        out[count++] = static_cast<uint8_t>(word >> 8);
        value_bytes = item->size - 2;
    }
    const auto value = static_cast<uint32_t>(item->parameter);
    for (int32_t k = 0; k < value_bytes; ++k)
        out[count++] = static_cast<uint8_t>(value >> (8 * k));
    return count;
}

// Writes the items from first up to (not including) last, which start at the stream's offset,
// until the end of the image.
static void write_items(t_output_stream& out, const t_item* first, const t_item* last) {
    int64_t count = out.offset;
    if (count >= end_of_image)
        return;
    for (const t_item* item = first; item != last; item = item->next) {
        // Most items are a few bytes: while the buffer has room they are rendered straight into it.
        const bool room = stream_buffer_bytes - out.used >= static_cast<std::size_t>(small_item_bytes);
        switch (item->kind) {
        case kind_bytes:
            if (item->size == 0) {
                break; // an empty string owns no bytes to copy from
            } else if (room && item->size <= small_item_bytes) {
                std::memcpy(out.buffer + out.used, item->data, static_cast<std::size_t>(item->size));
                out.used += static_cast<std::size_t>(item->size);
            } else {
                put_bytes(out, item->data, static_cast<std::size_t>(item->size));
            }
            break;
        case kind_value:
        case kind_operand:
        case kind_memory: {
            if (room) {
                out.used += static_cast<std::size_t>(item_bytes(item, out.buffer + out.used));
                break;
            }
            uint8_t bytes[item_bytes_max];
            put_bytes(out, bytes, static_cast<std::size_t>(item_bytes(item, bytes)));
            break;
        }
        case kind_reserve:
        case kind_zero:
        case kind_org:
        case kind_align:
            put_zeros(out, item->size);
            break;
        default:
            break; // the head item and labels add nothing
        }
        count += item->size;
        if (count >= end_of_image)
            break;
    }
    flush_output(out);
}

// Long lists are written in two halves at once: an item's address is its offset in the image,
// so the second half starts at the address of the middle item, on a second thread.
// An older file of the same name is written over in place and then cut to the image's length:
// emptying it on opening made the file system free every block of it only to allocate them again.
// (Only a regular file has a length to cut; nothing else is emptied on opening either.)
void write_image() {
    const std::string output_name = source_name + ".orb";
    const int fd = ::open(output_name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    fatal_check(fd >= 0, "Could not write output file");
    struct stat file_status {};
    const bool regular = ::fstat(fd, &file_status) == 0 && S_ISREG(file_status.st_mode);
    const off_t stale_end = regular ? file_status.st_size : 0;
    static uint8_t first_buffer[stream_buffer_bytes];
    t_output_stream first{fd, 0, first_buffer, 0, false, regular, stale_end};
    const t_item* middle = list_length >= parallel_check_min_items ? layout_middle_item() : nullptr;
    std::vector<uint8_t> second_buffer(middle != nullptr ? stream_buffer_bytes : 0);
    t_output_stream second{fd, middle != nullptr ? middle->address : 0, second_buffer.data(), 0, false, regular, stale_end};
    std::thread second_half;
    if (middle != nullptr) {
        try {
            second_half = std::thread([&second, middle] { write_items(second, middle, nullptr); });
        } catch (const std::system_error&) {
            middle = nullptr; // without a second thread the whole image is written here
        }
    }
    write_items(first, &head_item, middle);
    if (second_half.joinable()) {
        second_half.join();
        first.failed = first.failed || second.failed;
    }
    // The length cuts off what is left of an older, longer file, and makes a hole at the end of
    // the image part of it.
    if (regular && !first.failed && ::ftruncate(fd, end_of_image) != 0)
        first.failed = true;
    // A failed write or close must not pass for success: the partial file is removed.
    bool closed = ::close(fd) == 0;
    if (first.failed || !closed)
        ::unlink(output_name.c_str());
    fatal_check(!first.failed && closed, "Could not write output file");
}
