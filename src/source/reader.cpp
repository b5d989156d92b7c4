// The source reader: files read line by line through a bounded include stack.
#include "driver/driver.h"
#include "image/image.h"
#include "lex/lex.h"
#include "source/source.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// The reader's state lies on cache lines of its own, apart from the item list and the symbols
// that the encoding thread writes while the reader reads ahead.
alignas(64) t_source include_stack[max_nesting + 1];
bool listing_enabled = false;
t_line_record* line_records = nullptr;
static t_line_record* last_record = nullptr;
alignas(64) int32_t nesting_depth = 1;

static const t_keywords include_keywords = compile_keywords("#include");

static constexpr std::size_t read_chunk = std::size_t(1) << 16;
// One byte more than a chunk, for the line feed that stands after the bytes held.
alignas(64) static char level_buffers[max_nesting + 1][read_chunk + 1];

// Lines are addressed by 32-bit positions; a longer line could not be scanned.
static constexpr std::size_t max_line_length = 0x7FFFFF00;

static void close_source(t_source& source) {
    if (source.fd > 0)
        ::close(source.fd);
    source.fd = -1;
}

void reset_sources() {
    for (t_source& source : include_stack) {
        close_source(source);
        source.file_name.clear();
        source.line_number = 0;
        source.buffer_pos = source.buffer_len = 0;
        source.at_end = true;
    }
    nesting_depth = 1;
    line_records = last_record = nullptr;
}

// Keeps the line just handled and the items it appended, for a listing.
static void record_line(const t_source& source, t_item* before) {
    auto* record = run_new<t_line_record>();
    record->file_name = run_copy(source.file_name);
    record->line_number = source.line_number;
    record->text = run_copy(current_line);
    if (before != tail) {
        record->first = before->next;
        record->last = tail;
    }
    if (last_record == nullptr)
        line_records = record;
    else
        last_record->next = record;
    last_record = record;
}

// Reads the next chunk of the file; false at its end.
static bool refill(t_source& source) {
    if (source.at_end)
        return false;
    for (;;) {
        ssize_t got = ::read(source.fd, source.buffer, read_chunk);
        if (got < 0 && errno == EINTR)
            continue;
        fatal_check(got >= 0, "Could not read file");
        source.buffer_pos = 0;
        source.buffer_len = static_cast<std::size_t>(got);
        source.buffer[source.buffer_len] = '\n'; // stops a scan at the end of the bytes held
        source.at_end = got == 0;
        return got > 0;
    }
}

// End test: skips blank space (codes up to 32, but not 26); true when the file has ended, either
// physically or at a character 26.
static bool source_ended(t_source& source) {
    for (;;) {
        if (source.buffer_pos == source.buffer_len && !refill(source))
            return true;
        unsigned char c = static_cast<unsigned char>(source.buffer[source.buffer_pos]);
        if (c == 26)
            return true;
        if (c > 32)
            return false;
        ++source.buffer_pos;
    }
}

struct t_byte_set {
    bool of[256];
};

// Carriage return, line feed and character 26 end a line.
static constexpr t_byte_set ends_line = [] {
    t_byte_set set{};
    set.of[13] = set.of[10] = set.of[26] = true;
    return set;
}();

// Past the end of a line held whole in the buffer: a carriage return with the line feed after
// it, or one of them alone; a character 26 stays to end the file.
static const char* skip_line_end(const char* p) {
    if (*p != 26) {
        ++p;
        if (p[-1] == '\r' && *p == '\n')
            ++p;
    }
    return p;
}

// Reads and normalises a line held whole in the buffer; false, with nothing consumed, when the line
// runs past the bytes held or needs the slower path for its verdict.
static bool read_buffered_line(t_source& source) {
    const char* start = source.buffer + source.buffer_pos;
    const char* end = source.buffer + source.buffer_len;
    const char* p = normalize_buffered(start, end, current_line);
    if (p == nullptr || (*p == '\r' && p + 1 == end)) // the line feed may be in the next chunk
        return false;
    source.buffer_pos = static_cast<std::size_t>(skip_line_end(p) - source.buffer);
    return true;
}

// Reads the rest of the line into current_line. A line ends at a carriage return (with one line
// feed after it), at a line feed alone, or before a character 26, which also ends the file.
static void read_line(t_source& source) {
    current_line.clear();
    for (;;) {
        if (source.buffer_pos == source.buffer_len && !refill(source))
            return;
        const char* start = source.buffer + source.buffer_pos;
        const char* end = source.buffer + source.buffer_len;
        const char* p = start;
        while (p < end && !ends_line.of[static_cast<unsigned char>(*p)])
            ++p;
        fatal_check(current_line.size() + static_cast<std::size_t>(p - start) <= max_line_length,
                    "Line too long");
        current_line.append(start, static_cast<std::size_t>(p - start));
        source.buffer_pos += static_cast<std::size_t>(p - start);
        if (p == end)
            continue;
        if (*p == 26)
            return;
        ++source.buffer_pos;
        if (*p == '\r') {
            if (source.buffer_pos == source.buffer_len && !refill(source))
                return;
            if (source.buffer[source.buffer_pos] == '\n')
                ++source.buffer_pos;
        }
        return;
    }
}

static void read_include(int32_t pos);

// Reading ahead: the line is normalised straight into the batch handed to the encoding thread,
// and current_line is set only for an include line, which the reader follows itself, or for a
// line the read buffer does not hold whole.
static void hand_next_line(t_source& source) {
    const std::size_t held = source.buffer_len - source.buffer_pos;
    char* room = line_room(2 * held + 1);
    std::size_t length = 0;
    const char* p = normalize_into(source.buffer + source.buffer_pos, source.buffer + source.buffer_len, room, length);
    if (p != nullptr && !(*p == '\r' && p + 1 == source.buffer + source.buffer_len)) {
        source.buffer_pos = static_cast<std::size_t>(skip_line_end(p) - source.buffer);
    } else {
        read_line(source);
        normalize_line(current_line);
        length = current_line.size();
        room = line_room(length);
        std::memcpy(room, current_line.data(), length);
    }
    const std::string_view line(room, length);
    int32_t pos = 1;
    const bool include = match_keyword(line, include_keywords, pos, false) != 0;
    if (include)
        current_line.assign(line);
    hand_written_line(length, include);
    if (include)
        read_include(pos);
}

// Follows an include line: the name is the text in the first pair of quotes after the keyword.
static void read_include(int32_t pos) {
    const int32_t length = static_cast<int32_t>(current_line.size());
    while (pos <= length && current_line[static_cast<std::size_t>(pos - 1)] != '"' &&
           current_line[static_cast<std::size_t>(pos - 1)] != '\'')
        ++pos;
    fatal_check(pos <= length, "Bad include statement");
    std::size_t open = static_cast<std::size_t>(pos - 1);
    std::size_t close = current_line.find(current_line[open], open + 1);
    fatal_check(close != std::string::npos, "String exceeds line");
    std::string name = current_line.substr(open + 1, close - open - 1);
    ++nesting_depth;
    read_source(name);
    --nesting_depth;
}

static void open_source(t_source& source, const std::string& name) {
    source.buffer = level_buffers[nesting_depth];
    source.buffer_pos = source.buffer_len = 0;
    source.at_end = false;
    if (name.empty()) {
        source.fd = 0;
        return;
    }
    // A name with a NUL byte names no file: the system would read it only up to the NUL.
    fatal_check(name.find('\0') == std::string::npos, "Could not read file");
    source.fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    fatal_check(source.fd >= 0, "Could not read file");
    struct stat info;
    fatal_check(::fstat(source.fd, &info) == 0 && !S_ISDIR(info.st_mode), "Could not read file");
}

void read_source(const std::string& name) {
    current_line = "[no input]";
    fatal_check(nesting_depth <= max_nesting, "Too many nested includes");
    t_source& source = include_stack[nesting_depth];
    close_source(source);
    source.file_name = name;
    source.line_number = 1;
    if (reading_ahead) {
        // Only a regular file is read ahead: standard input, a pipe or a device is read no
        // sooner, and no further, than reading alone would read it.
        struct stat info;
        if (name.empty() || ::stat(name.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            drain_ahead();
        name_source_level(name);
    }
    open_source(source, name);
    while (!source_ended(source)) {
        if (reading_ahead) {
            hand_next_line(source); // echoed, and encoded unless an include, on the encoding thread
            ++include_stack[nesting_depth].line_number;
            continue;
        }
        if (!read_buffered_line(source)) {
            read_line(source);
            normalize_line(current_line);
        }
        int32_t pos = 1;
        const bool include = match_keyword(current_line, include_keywords, pos, false) != 0;
        if (echo_enabled)
            console_line(current_line);
        if (include) {
            if (listing_enabled)
                record_line(source, tail);
            read_include(pos);
        } else {
            t_item* before = tail;
            process_line();
            if (listing_enabled)
                record_line(source, before);
        }
        ++include_stack[nesting_depth].line_number;
    }
    close_source(source);
}
