// Line normalisation: one canonical spacing for every line before anything matches it.
#include "driver/driver.h"
#include "source/source.h"

#include <cstring>
#include <vector>

namespace {
enum t_char_class : unsigned char { separator, word, punctuation, quote };

// ORDER: the four classes of a source byte; every byte not listed is a separator.
constexpr auto make_classes() {
    struct {
        unsigned char of[256];
    } table{};
    for (unsigned c = '0'; c <= '9'; ++c) table.of[c] = word;
    for (unsigned c = 'A'; c <= 'Z'; ++c) table.of[c] = word;
    for (unsigned c = 'a'; c <= 'z'; ++c) table.of[c] = word;
    for (char c : {'#', '.', '@', '_'}) table.of[static_cast<unsigned char>(c)] = word;
    for (char c : {'+', ',', '-', ':', ';', '=', '[', ']'}) table.of[static_cast<unsigned char>(c)] = punctuation;
    for (char c : {'"', '\''}) table.of[static_cast<unsigned char>(c)] = quote;
    return table;
}
constexpr auto char_classes = make_classes();

// What a byte of a line still in the read buffer does to the output, where carriage return, line
// feed and character 26 end the line: bit 0, a blank goes before it if a word came just before;
// bit 1, it is copied; bit 2, it is a word character; bit 3, it stops the plain copying (a quote
// or the end of the line).
enum : unsigned char { blank_after_word = 1, copied = 2, in_word = 4, stops = 8 };

constexpr auto make_buffer_actions() {
    struct {
        unsigned char of[256];
    } table{};
    for (unsigned c = 0; c < 256; ++c) {
        switch (char_classes.of[c]) {
        case word:
            table.of[c] = copied | in_word;
            break;
        case punctuation:
            table.of[c] = blank_after_word | copied;
            break;
        case quote:
            table.of[c] = stops;
            break;
        default:
            table.of[c] = blank_after_word;
            break;
        }
    }
    for (unsigned c : {10u, 13u, 26u})
        table.of[c] = stops;
    return table;
}
constexpr auto buffer_actions = make_buffer_actions();

// Every byte becomes at most two (a blank and a punctuation character), so a result is built in
// a buffer of twice the length, reused: a line costs no allocation once the longest has been seen.
std::vector<char> normalized;

char* normalized_room(std::size_t length) {
    if (normalized.size() < 2 * length + 1)
        normalized.resize(2 * length + 1);
    return normalized.data();
}
} // namespace

// Each byte is handled the same way, without a branch on its class: a blank is written and kept
// only after a word, the byte is written and kept only if it is copied.
const char* normalize_into(const char* in, const char* end, char* out, std::size_t& length) {
    char* const start = out;
    unsigned after_word = 0;
    for (;;) {
        const char c = *in;
        const unsigned action = buffer_actions.of[static_cast<unsigned char>(c)];
        if ((action & stops) == 0) [[likely]] {
            *out = ' ';
            out += after_word & action;
            *out = c;
            out += (action >> 1) & 1;
            after_word = (action >> 2) & 1;
            ++in;
            continue;
        }
        if (c == '"' || c == '\'') {
            const char* close = in + 1;
            while (*close != c && *close != '\n' && *close != '\r' && *close != 26)
                ++close;
            if (*close != c)
                return nullptr; // unclosed here, or closed beyond the buffer: the whole line decides
            std::memcpy(out, in, static_cast<std::size_t>(close - in + 1)); // a string leaves after_word as it was
            out += close - in + 1;
            in = close + 1;
            continue;
        }
        if (in == end)
            return nullptr;
        length = static_cast<std::size_t>(out - start);
        return in;
    }
}

const char* normalize_buffered(const char* in, const char* end, std::string& line) {
    char* const start = normalized_room(static_cast<std::size_t>(end - in));
    std::size_t length = 0;
    const char* line_end = normalize_into(in, end, start, length);
    if (line_end != nullptr)
        line.assign(start, length);
    return line_end;
}

void normalize_line(std::string& line) {
    const std::size_t length = line.size();
    char* const start = normalized_room(length);
    const char* in = line.data();
    char* out = start;
    bool after_separator = true;
    for (std::size_t i = 0; i < length; ++i) {
        const char c = in[i];
        switch (char_classes.of[static_cast<unsigned char>(c)]) {
        case word:
            // Words come in runs: copy the whole run at once.
            *out++ = c;
            while (i + 1 < length && char_classes.of[static_cast<unsigned char>(in[i + 1])] == word)
                *out++ = in[++i];
            after_separator = false;
            break;
        case punctuation:
            if (!after_separator)
                *out++ = ' ';
            *out++ = c;
            after_separator = true;
            break;
        case quote: {
            const std::size_t close = line.find(c, i + 1);
            fatal_check(close != std::string::npos, "String exceeds line");
            std::memcpy(out, in + i, close - i + 1); // a string leaves after_separator as it was
            out += close - i + 1;
            i = close;
            break;
        }
        default:
            if (!after_separator)
                *out++ = ' ';
            after_separator = true;
            break;
        }
    }
    line.assign(start, static_cast<std::size_t>(out - start));
}
