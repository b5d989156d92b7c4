// Line normalisation: one canonical spacing for every line before anything matches it.
#include "driver/driver.h"
#include "source/source.h"

#include <cstring>
#include <vector>

namespace {
enum t_char_class : unsigned char { separator, word, punctuation, quote, line_end };

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

// The same classes for a line still in the read buffer, where carriage return, line feed and
// character 26 end it.
constexpr auto make_buffer_classes() {
    auto table = make_classes();
    for (unsigned c : {10u, 13u, 26u}) table.of[c] = line_end;
    return table;
}
constexpr auto buffer_classes = make_buffer_classes();

// Every byte becomes at most two (a blank and a punctuation character), so a result is built in
// a buffer of twice the length, reused: a line costs no allocation once the longest has been seen.
std::vector<char> normalized;

char* normalized_room(std::size_t length) {
    if (normalized.size() < 2 * length + 1)
        normalized.resize(2 * length + 1);
    return normalized.data();
}
} // namespace

const char* normalize_buffered(const char* in, const char* end, std::string& line) {
    char* const start = normalized_room(static_cast<std::size_t>(end - in));
    char* out = start;
    bool after_separator = true;
    for (;;) {
        const char c = *in;
        switch (buffer_classes.of[static_cast<unsigned char>(c)]) {
        case word:
            do
                *out++ = *in++;
            while (buffer_classes.of[static_cast<unsigned char>(*in)] == word);
            after_separator = false;
            break;
        case punctuation:
            if (!after_separator)
                *out++ = ' ';
            *out++ = c;
            ++in;
            after_separator = true;
            break;
        case quote: {
            const char* close = in + 1;
            while (*close != c && buffer_classes.of[static_cast<unsigned char>(*close)] != line_end)
                ++close;
            if (*close != c)
                return nullptr; // unclosed here, or closed beyond the buffer: the whole line decides
            std::memcpy(out, in, static_cast<std::size_t>(close - in + 1)); // a string leaves after_separator as it was
            out += close - in + 1;
            in = close + 1;
            break;
        }
        case line_end:
            if (in == end)
                return nullptr;
            line.assign(start, static_cast<std::size_t>(out - start));
            return in;
        default:
            if (!after_separator)
                *out++ = ' ';
            after_separator = true;
            ++in;
            break;
        }
    }
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
