// The image writer: the laid-out items as raw bytes from address 0 to the end of the image.
#include "driver/driver.h"
#include "image/image.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

static const uint8_t zero_buffer[1024] = {}; // the source of every zero fill

// Writes go through one fixed buffer; the image itself is never held in memory.
static uint8_t write_buffer[1 << 16];
static std::size_t write_used = 0;
static int output_fd = -1;
static bool write_failed = false;

static void flush_output() {
    std::size_t done = 0;
    while (done < write_used && !write_failed) {
        ssize_t wrote = ::write(output_fd, write_buffer + done, write_used - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            write_failed = true;
        else
            done += static_cast<std::size_t>(wrote);
    }
    write_used = 0;
}

static void put_bytes(const uint8_t* bytes, std::size_t count) {
    while (count > 0 && !write_failed) {
        std::size_t room = sizeof write_buffer - write_used;
        std::size_t part = count < room ? count : room;
        std::memcpy(write_buffer + write_used, bytes, part);
        write_used += part;
        bytes += part;
        count -= part;
        if (write_used == sizeof write_buffer)
            flush_output();
    }
}

static void put_zeros(int32_t count) {
    while (count > 1024) {
        put_bytes(zero_buffer, 1024);
        count -= 1024;
    }
    if (count > 0)
        put_bytes(zero_buffer, static_cast<std::size_t>(count));
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

void write_image() {
    const std::string output_name = source_name + ".orb";
    output_fd = ::open(output_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    fatal_check(output_fd >= 0, "Could not write output file");
    write_used = 0;
    write_failed = false;
    int64_t count = 0;
    for (const t_item* item = &head_item; item != nullptr; item = item->next) {
        switch (item->kind) {
        case kind_bytes:
            put_bytes(item->data, static_cast<std::size_t>(item->size));
            break;
        case kind_value:
        case kind_operand:
        case kind_memory: {
            uint8_t bytes[item_bytes_max];
            put_bytes(bytes, static_cast<std::size_t>(item_bytes(item, bytes)));
            break;
        }
        case kind_reserve:
        case kind_zero:
        case kind_org:
        case kind_align:
            put_zeros(item->size);
            break;
        default:
            break; // the head item and labels add nothing
        }
        count += item->size;
        if (count >= end_of_image)
            break;
    }
    flush_output();
    // A failed write or close must not pass for success: the partial file is removed.
    bool closed = ::close(output_fd) == 0;
    output_fd = -1;
    if (write_failed || !closed)
        ::unlink(output_name.c_str());
    fatal_check(!write_failed && closed, "Could not write output file");
}
