// The image writer: the laid-out items as raw bytes from address 0 to the end of the image. The
// file goes through the shared output writer, which puts a new image into place only when it is
// complete, so that the image's name holds either the older image or the whole new one at every
// moment, whatever stops the run.
#include "base/base.h"
#include "base/output_file.h"
#include "image/image.h"
#include "source/source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

std::string image_name;

static const uint8_t zero_buffer[1024] = {}; // the source of every zero fill

namespace {
// The image's way into the file: its bytes go through a fixed buffer, so the image itself is never
// held in memory.
struct t_image_output {
    t_output_file file;
    std::size_t used;  // bytes held in buffer
    int64_t written;   // bytes of the image passed to the file so far, holes included
    uint8_t buffer[std::size_t(1) << 16];
};
} // namespace
static t_image_output output;

static void flush_output() {
    output_put(output.file, output.buffer, output.used);
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
    if (output.file.seekable && count >= hole_min_bytes) {
        flush_output();
        output_skip(output.file, count);
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
    output_set_length(output.file, end_of_image);
}

// A failure to write one of the outputs, reported with its name and the system's reason.
static void fail_with(const t_output_file& file, const std::string& reason) {
    fault_detail = "\"" + file.name + "\": " + reason;
    fatal_stop("Could not write output file");
}

void write_image(const std::vector<t_companion_file>& companions) {
    std::vector<std::string> names = {image_name.empty() ? source_name + ".orb" : image_name};
    for (const t_companion_file& companion : companions)
        names.push_back(companion.name);
    // Nothing is written over a file the run has read, nor twice to one file.
    std::vector<std::string> inputs = files_read;
    if (source_name.empty())
        inputs.emplace_back("-");
    std::string reason;
    if (const int clash = output_clash(names, inputs, reason); clash >= 0) {
        fault_detail = "\"" + names[static_cast<std::size_t>(clash)] + "\": " + reason;
        fatal_check(false, "Could not write output file");
    }
    // Every output is opened before any is written: one that cannot be leaves the others untouched.
    std::vector<t_output_file> files(names.size());
    try {
        for (std::size_t k = 0; k < names.size(); ++k)
            if (!output_open(files[k], names[k]))
                fail_with(files[k], std::strerror(files[k].error));
        // Standard output, a device or a pipe is written in place; the echo goes first.
        if (files[0].direct)
            console_flush();
        output.file = files[0];
        output.used = 0;
        output.written = 0;
        write_items();
        files[0] = output.file;
        for (std::size_t k = 1; k < files.size(); ++k)
            output_put(files[k], companions[k - 1].text.data(), companions[k - 1].text.size());
    } catch (...) {
        for (t_output_file& file : files)
            output_abandon(file);
        throw;
    }
    if (!output_commit(files.data(), files.size())) {
        const auto failed = std::find_if(files.begin(), files.end(), [](const t_output_file& f) { return f.error != 0; });
        fail_with(failed != files.end() ? *failed : files[0], std::strerror(failed != files.end() ? failed->error : EIO));
    }
}
