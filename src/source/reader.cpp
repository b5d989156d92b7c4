// The source reader: files read line by line through a bounded include stack.
#include "base/base.h"
#include "source/source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

std::string_view current_line;
t_line_state line_state = line_in_file;
std::string source_name;
bool echo_enabled = true;
t_source include_stack[max_nesting + 1];
int32_t nesting_depth = 1;
std::vector<std::string> include_dirs;
std::string include_base;
std::vector<std::string> files_read;
const std::map<std::string, std::string, std::less<>>* source_texts = nullptr;
bool only_regular_files = false;
bool source_unreadable = false;
static constexpr std::size_t read_chunk = std::size_t(1) << 16;
// One byte more than a chunk, for the line feed that stands after the bytes held.
static char level_buffers[max_nesting + 1][read_chunk + 1];

// Lines are addressed by 32-bit positions; a longer line could not be scanned.
static constexpr std::size_t max_line_length = 0x7FFFFF00;

static void close_source(t_source& source) {
    if (source.fd > 0)
        ::close(source.fd);
    source.fd = -1;
    source.memory = nullptr;
}

void reset_sources() {
    for (t_source& source : include_stack)
        close_source(source);
    nesting_depth = 1;
    source_unreadable = false;
}

// A failed read of the named file ends the run with the system's reason.
static void check_read(bool ok, const std::string& name, const char* reason) {
    if (!ok)
        fault_detail = "\"" + name + "\": " + reason;
    fatal_check(ok, "Could not read file");
}

// Reads the next chunk of the file; false at its end.
static bool refill(t_source& source) {
    if (source.at_end)
        return false;
    ssize_t got = 0;
    if (source.memory != nullptr) {
        got = static_cast<ssize_t>(std::min(read_chunk, source.memory->size() - source.memory_pos));
        std::memcpy(source.buffer, source.memory->data() + source.memory_pos, static_cast<std::size_t>(got));
        source.memory_pos += static_cast<std::size_t>(got);
    } else {
        do
            got = ::read(source.fd, source.buffer, read_chunk);
        while (got < 0 && errno == EINTR);
        source_unreadable = got < 0;
        check_read(got >= 0, source.path, std::strerror(errno));
    }
    source.buffer_pos = 0;
    source.buffer_len = static_cast<std::size_t>(got);
    source.buffer[source.buffer_len] = '\n'; // stops a scan at the end of the bytes held
    source.at_end = got == 0;
    return got > 0;
}

// End test: skips blank space (codes up to 32, but not 26), counting the line ends it passes;
// true when the file has ended, either physically or at a character 26.
static bool source_ended(t_source& source) {
    for (;;) {
        if (source.buffer_pos == source.buffer_len && !refill(source))
            return true;
        // The line feed after the buffer's bytes stops this scan.
        const char* p = source.buffer + source.buffer_pos;
        while (*p == ' ' || *p == '\t')
            ++p;
        if (p != source.buffer + source.buffer_pos) {
            source.blanks += static_cast<int32_t>(p - (source.buffer + source.buffer_pos));
            source.buffer_pos = static_cast<std::size_t>(p - source.buffer);
            source.after_cr = false;
        }
        if (source.buffer_pos == source.buffer_len)
            continue;
        const auto c = static_cast<unsigned char>(*p);
        if (c > 32)
            return false;
        if (c == 26)
            return true;
        if (c == '\r' || (c == '\n' && !source.after_cr)) {
            ++source.next_physical;
            source.blanks = 0;
        } else if (c != '\n') {
            ++source.blanks;
        }
        source.after_cr = c == '\r';
        ++source.buffer_pos;
    }
}

// Past the end of a line: a carriage return with the line feed after it, or one of them alone; a
// character 26 stays to end the file.
static void pass_line_end(t_source& source) {
    const char end = source.buffer[source.buffer_pos];
    if (end == 26)
        return;
    ++source.buffer_pos;
    ++source.next_physical;
    if (end == '\r' && !(source.buffer_pos == source.buffer_len && !refill(source)) &&
        source.buffer[source.buffer_pos] == '\n')
        ++source.buffer_pos;
}

// Reads the line that begins at the buffer position into current_line, normalised. A line ends at a
// carriage return (with one line feed after it), at a line feed alone, or before a character 26,
// which also ends the file.
static void read_line(t_source& source) {
    source.physical_line = source.next_physical;
    source.indent = source.blanks;
    source.blanks = 0;
    source.after_cr = false;
    const char* start = source.buffer + source.buffer_pos;
    const char* end = source.buffer + source.buffer_len;
    const bool indent_held = source.buffer_pos >= static_cast<std::size_t>(source.indent);
    std::string_view line;
    const char* p = indent_held ? normalize_buffered(start, end, line) : nullptr;
    if (p != nullptr && !(*p == '\r' && p + 1 == end)) { // whole in the buffer, its line feed too
        source.written = {start - source.indent, static_cast<std::size_t>(p - start + source.indent)};
        source.buffer_pos = static_cast<std::size_t>(p - source.buffer);
        current_line = line;
        line_state = line_in_file;
        pass_line_end(source);
        return;
    }
    // Across chunks, or a quote the buffer does not close: the line is gathered as written first.
    std::string& text = source.long_line;
    text.assign(indent_held ? std::string_view(start - source.indent, static_cast<std::size_t>(source.indent))
                            : std::string(static_cast<std::size_t>(source.indent), ' '));
    for (;;) {
        if (source.buffer_pos == source.buffer_len && !refill(source))
            break;
        start = source.buffer + source.buffer_pos;
        p = start;
        while (*p != '\r' && *p != '\n' && *p != 26)
            ++p;
        source_unreadable = text.size() + static_cast<std::size_t>(p - start) > max_line_length;
        fatal_check(!source_unreadable, "Line too long");
        text.append(start, static_cast<std::size_t>(p - start));
        source.buffer_pos = static_cast<std::size_t>(p - source.buffer);
        if (source.buffer_pos < source.buffer_len) {
            pass_line_end(source);
            break;
        }
    }
    source.written = text;
    current_line = std::string_view(text).substr(static_cast<std::size_t>(source.indent));
    line_state = line_in_file;
    current_line = normalize_text(current_line); // reported as written if a quote does not close
}

// Opens path for the level; the system's reason when it cannot be read as a source, else nil.
static const char* open_path(t_source& source, const std::string& path) {
    if (source_texts != nullptr) {
        const auto text = source_texts->find(std::filesystem::absolute(path).lexically_normal().string());
        if (text != source_texts->end()) {
            source.memory = &text->second;
            return nullptr;
        }
    }
    // Opening a pipe waits for its writer; where only files are read, it must not.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (only_regular_files ? O_NONBLOCK : 0));
    if (fd < 0)
        return std::strerror(errno);
    // A device never ends (/dev/zero) or waits for a console; only files, pipes and standard
    // input are read.
    struct stat info;
    const char* reason = ::fstat(fd, &info) != 0 ? std::strerror(errno)
                         : S_ISDIR(info.st_mode) ? std::strerror(EISDIR)
                         : S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) ? "Is a device"
                         : only_regular_files && !S_ISREG(info.st_mode)   ? "Not a regular file"
                                                                           : nullptr;
    if (reason != nullptr)
        ::close(fd);
    else
        source.fd = fd;
    return reason;
}

// A name as opened: a relative one under include_base, when it is set.
static std::string based(const std::string& name) {
    return include_base.empty() || name[0] == '/' ? name : include_base + "/" + name;
}

// Opens the named file at the current depth; its lines are read next.
static void open_level(const std::string& name) {
    current_line = no_input_text;
    line_state = line_opening_file;
    t_source& source = include_stack[nesting_depth];
    close_source(source);
    source.file_name = source.path = name;
    source.line_number = source.physical_line = source.next_physical = 1;
    source.written = {};
    source.indent = source.blanks = 0;
    source.started = source.after_cr = false;
    source.buffer = level_buffers[nesting_depth];
    source.buffer_pos = source.buffer_len = source.memory_pos = 0;
    source.at_end = false;
    if (name.empty()) {
        source.path = "<stdin>";
        check_read(!only_regular_files, source.path, "Not a regular file");
        source.fd = 0;
        return;
    }
    // A name with a NUL byte names no file: the system would read it only up to the NUL.
    check_read(name.find('\0') == std::string::npos, name, std::strerror(ENOENT));
    source.path = based(name);
    const char* reason = open_path(source, source.path);
    for (std::size_t dir = 0; reason != nullptr && name[0] != '/' && dir < include_dirs.size(); ++dir) {
        source.path = based(include_dirs[dir]) + "/" + name;
        if (open_path(source, source.path) == nullptr)
            reason = nullptr;
    }
    if (reason != nullptr)
        source.path = based(name);
    check_read(reason == nullptr, name, reason);
    files_read.push_back(source.path);
}

void open_main_source(const std::string& name) {
    nesting_depth = 1;
    open_level(name);
}

void open_include(int32_t pos) {
    const std::string_view line = current_line;
    const auto length = static_cast<int32_t>(line.size());
    while (pos <= length && line[static_cast<std::size_t>(pos - 1)] != '"' && line[static_cast<std::size_t>(pos - 1)] != '\'')
        ++pos;
    fatal_check(pos <= length, "Bad include statement");
    fault_position = pos;
    const std::size_t close = line.find(line[static_cast<std::size_t>(pos - 1)], static_cast<std::size_t>(pos));
    fatal_check(close != std::string_view::npos, "String exceeds line");
    const std::string name(line.substr(static_cast<std::size_t>(pos), close - static_cast<std::size_t>(pos)));
    current_line = no_input_text; // the include line stays at fault
    source_unreadable = nesting_depth >= max_nesting; // a file that includes itself twice would be read without end
    fatal_check(!source_unreadable, "Too many nested includes");
    ++nesting_depth;
    open_level(name);
}

bool next_line() {
    for (;;) {
        t_source& source = include_stack[nesting_depth];
        if (source_ended(source)) {
            close_source(source);
            if (nesting_depth == 1) {
                if (source.started)
                    ++source.line_number; // one past the last line read: what reports after the source name
                return false;
            }
            --nesting_depth;
            continue;
        }
        if (source.started)
            ++source.line_number;
        source.started = true;
        fault_position = 0;
        read_line(source);
        if (echo_enabled)
            console_line(current_line);
        return true;
    }
}

void hand_line(std::string_view file, int32_t number, std::string_view text) {
    t_source& source = include_stack[1];
    source.file_name = source.path = file;
    source.line_number = source.physical_line = number;
    source.long_line = text;
    source.written = source.long_line;
    source.indent = 0;
    fault_position = 0;
    current_line = source.written;
    line_state = line_in_file;
    current_line = normalize_text(current_line);
}

// Where the line in hand is, with the word at position.
static t_place place_at(int32_t position) {
    t_place place;
    // Before a file's first line the line at fault is the #include line that named it; after the
    // source, no line is.
    const int32_t level = line_state == line_opening_file ? nesting_depth - 1 : nesting_depth;
    if (line_state == line_after_source) {
        place.file = include_stack[1].path;
        return place;
    }
    if (level < 1)
        return place;
    const t_source& source = include_stack[level];
    place.file = source.path;
    place.line = source.physical_line;
    place.text = source.written;
    const std::string_view text = source.written.substr(static_cast<std::size_t>(source.indent));
    // A line that failed to normalise is still the line as written.
    const t_span span = current_line.data() == text.data() ? t_span{position > 0 ? position - 1 : 0, 1}
                                                           : written_span(text, position);
    place.column = source.indent + span.offset + 1;
    place.length = span.length;
    for (int32_t k = level - 1; k >= 1; --k)
        place.included_from.emplace_back(include_stack[k].path, include_stack[k].physical_line);
    return place;
}

t_place current_place() { return place_at(fault_position); }

// The classic report names the file at the current depth and its line in hand; the place, which
// only the other forms print, is the word at fault.
t_diagnostic diagnostic_here(bool warning, std::string message, int32_t position) {
    const t_source& source = include_stack[nesting_depth];
    t_diagnostic diagnostic{warning, std::move(message), {}, source.file_name, source.line_number, std::string(current_line), {}, {}, {}};
    if (!classic_report) {
        diagnostic.place = place_at(position);
        diagnostic.detail = fault_detail;
    }
    return diagnostic;
}

void warn(t_warning warning, std::string_view message) {
    if ((warnings_off >> warning & 1) != 0)
        return;
    t_diagnostic diagnostic = diagnostic_here(true, std::string(message), fault_position);
    if (!classic_report && fault_place != nullptr)
        diagnostic.place = *fault_place;
    diagnostic.warning_name = warning_names[warning];
    diagnostics.push_back(std::move(diagnostic));
}
