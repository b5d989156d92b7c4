// Line normalisation: one canonical spacing for every line before anything matches it.
#include "driver/driver.h"
#include "source/source.h"

#include <cstring>
#include <vector>

namespace {
// A line end (carriage return, line feed, character 26) only ever stands in a line still in the
// read buffer, where it ends the line; elsewhere it is a separator.
enum t_char_class : unsigned char { separator, word, punctuation, quote, line_end };

// ORDER: the classes of a source byte; every byte not listed is a separator.
constexpr auto char_classes = [] {
    struct {
        unsigned char of[256];
    } table{};
    for (unsigned c = '0'; c <= '9'; ++c) table.of[c] = word;
    for (unsigned c = 'A'; c <= 'Z'; ++c) table.of[c] = word;
    for (unsigned c = 'a'; c <= 'z'; ++c) table.of[c] = word;
    for (char c : {'#', '.', '@', '_'}) table.of[static_cast<unsigned char>(c)] = word;
    for (char c : {'+', ',', '-', ':', ';', '=', '[', ']'}) table.of[static_cast<unsigned char>(c)] = punctuation;
    for (char c : {'"', '\''}) table.of[static_cast<unsigned char>(c)] = quote;
    for (char c : {'\n', '\r', '\x1a'}) table.of[static_cast<unsigned char>(c)] = line_end;
    return table;
}();

// Every byte becomes at most two (a blank and a punctuation character), so a result is built in
// a buffer of twice the length, reused: a line costs no allocation once the longest has been seen.
std::vector<char> normalized;

[[gnu::noinline]] void grow_normalized(std::size_t length) { normalized.resize(2 * length + 1); }

inline char* normalized_room(std::size_t length) {
    if (normalized.size() < 2 * length + 1) [[unlikely]]
        grow_normalized(length);
    return normalized.data();
}
} // namespace

// Words are copied a run at a time; a blank goes before a punctuation character or a separator
// only just after a word.
const char* normalize_buffered(const char* in, const char* end, std::string_view& line) {
    char* const start = normalized_room(static_cast<std::size_t>(end - in));
    char* out = start;
    bool after_word = false;
    for (;;) {
        char c = *in;
        switch (char_classes.of[static_cast<unsigned char>(c)]) {
        case word:
            do {
                *out++ = c;
                c = *++in;
            } while (char_classes.of[static_cast<unsigned char>(c)] == word);
            after_word = true;
            break;
        case punctuation:
            if (after_word)
                *out++ = ' ';
            *out++ = c;
            ++in;
            after_word = false;
            break;
        case separator:
            if (after_word)
                *out++ = ' ';
            ++in;
            after_word = false;
            break;
        case quote: {
            const char* close = in + 1;
            while (*close != c && *close != '\n' && *close != '\r' && *close != 26)
                ++close;
            if (*close != c)
                return nullptr; // unclosed here, or closed beyond the buffer: the whole line decides
            std::memcpy(out, in, static_cast<std::size_t>(close - in + 1)); // a string leaves after_word as it was
            out += close - in + 1;
            in = close + 1;
            break;
        }
        default:
            if (in == end)
                return nullptr;
            line = std::string_view(start, static_cast<std::size_t>(out - start));
            return in;
        }
    }
}

// The same rules byte by byte; from[k], when wanted, is the offset in text of the byte that gave
// the k-th byte of the result.
static std::string_view normalize_noting(std::string_view text, std::vector<int32_t>* from) {
    char* const start = normalized_room(text.size());
    char* out = start;
    bool after_separator = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const char* const before = out;
        switch (char_classes.of[static_cast<unsigned char>(c)]) {
        case word:
            *out++ = c;
            after_separator = false;
            break;
        case punctuation:
            if (!after_separator)
                *out++ = ' ';
            *out++ = c;
            after_separator = true;
            break;
        case quote: {
            std::size_t close = text.find(c, i + 1);
            if (from == nullptr) {
                fault_position = static_cast<int32_t>(i) + 1;
                fatal_check(close != std::string_view::npos, "String exceeds line");
            } else if (close == std::string_view::npos) {
                close = text.size() - 1; // only mapping: the rest of the line stands for the string
            }
            std::memcpy(out, text.data() + i, close - i + 1); // a string leaves after_separator as it was
            for (std::size_t k = i; k <= close && from != nullptr; ++k)
                from->push_back(static_cast<int32_t>(k));
            out += close - i + 1;
            i = close;
            continue;
        }
        default:
            if (!after_separator)
                *out++ = ' ';
            after_separator = true;
            break;
        }
        for (const char* k = before; k < out && from != nullptr; ++k)
            from->push_back(static_cast<int32_t>(i));
    }
    return {start, static_cast<std::size_t>(out - start)};
}

std::string_view normalize_text(std::string_view text) { return normalize_noting(text, nullptr); }

t_span written_span(std::string_view text, int32_t pos) {
    std::vector<int32_t> from;
    const std::string_view line = normalize_noting(text, &from);
    const auto length = static_cast<int32_t>(line.size());
    if (pos < 1) { // the whole line: its first word
        pos = 1;
        while (pos <= length && line[static_cast<std::size_t>(pos - 1)] == ' ')
            ++pos;
    }
    if (pos > length)
        return {static_cast<int32_t>(text.size()), 1};
    // The word at pos: a run of word characters, a string, or one punctuation character.
    int32_t last = pos; // the position of its last byte
    const char c = line[static_cast<std::size_t>(pos - 1)];
    if (char_classes.of[static_cast<unsigned char>(c)] == word) {
        while (last < length && char_classes.of[static_cast<unsigned char>(line[static_cast<std::size_t>(last)])] == word)
            ++last;
    } else if (c == '"' || c == '\'') {
        const std::size_t close = line.find(c, static_cast<std::size_t>(pos));
        last = close == std::string_view::npos ? length : static_cast<int32_t>(close) + 1;
    }
    const int32_t first_offset = from[static_cast<std::size_t>(pos - 1)];
    const int32_t last_offset = from[static_cast<std::size_t>(last - 1)];
    return {first_offset, last_offset - first_offset + 1};
}
