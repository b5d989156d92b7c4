// Line normalisation: one canonical spacing for every line before anything matches it.
#include "base/base.h"
#include "base/words.h"
#include "source/source.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {
// A line end (carriage return, line feed, character 26) only ever stands in a line still in the
// read buffer, where it ends the line; elsewhere it is a separator. A dropped character is a
// separator that is no blank: a sign of arithmetic the language does not have, kept track of.
enum t_char_class : unsigned char { separator, word, punctuation, quote, line_end, dropped };

// ORDER: the classes of a source byte; every byte not listed is a separator.
constexpr auto char_classes = [] {
    struct {
        unsigned char of[256];
    } table{};
    for (int c = 0; c < 256; ++c)
        table.of[c] = is_word_character(static_cast<char>(c)) ? word : separator;
    for (char c : {'+', ',', '-', ':', ';', '=', '[', ']'}) table.of[static_cast<unsigned char>(c)] = punctuation;
    for (char c : {'"', '\''}) table.of[static_cast<unsigned char>(c)] = quote;
    for (char c : {'\n', '\r', '\x1a'}) table.of[static_cast<unsigned char>(c)] = line_end;
    for (char c : {'!', '$', '%', '&', '(', ')', '*', '/', '<', '>', '?', '\\', '^', '`', '{', '|', '}', '~'})
        table.of[static_cast<unsigned char>(c)] = dropped;
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

int32_t first_dropped = 0;

// Words are copied a run at a time; a blank goes before a punctuation character or a separator
// only just after a word.
const char* normalize_buffered(const char* in, const char* end, std::string_view& line) {
    char* const start = normalized_room(static_cast<std::size_t>(end - in));
    const char* const line_start = in;
    char* out = start;
    bool after_word = false;
    first_dropped = 0;
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
        case dropped:
            if (first_dropped == 0)
                first_dropped = static_cast<int32_t>(in - line_start) + 1;
            [[fallthrough]];
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

// The same rules byte by byte, for a line that is not in a read buffer.
std::string_view normalize_text(std::string_view text) {
    char* const start = normalized_room(text.size());
    char* out = start;
    bool after_separator = true;
    first_dropped = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
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
            const std::size_t close = text.find(c, i + 1);
            fault_position = static_cast<int32_t>(i) + 1;
            fatal_check(close != std::string_view::npos, "String exceeds line");
            std::memcpy(out, text.data() + i, close - i + 1); // a string leaves after_separator as it was
            out += close - i + 1;
            i = close;
            break;
        }
        default:
            if (char_classes.of[static_cast<unsigned char>(c)] == dropped && first_dropped == 0)
                first_dropped = static_cast<int32_t>(i) + 1;
            if (!after_separator)
                *out++ = ' ';
            after_separator = true;
            break;
        }
    }
    return {start, static_cast<std::size_t>(out - start)};
}

// Counts what normalisation would write up to position pos, without writing it: a blank it adds
// stands for the byte that made it. A word or a string is the same run of bytes in both forms.
t_span written_span(std::string_view text, int32_t pos) {
    std::size_t at = 0;
    int32_t written = 0;
    for (bool after_separator = true; at < text.size(); ++at) {
        const unsigned char cls = char_classes.of[static_cast<unsigned char>(text[at])];
        if (pos < 1 && (cls == word || cls == punctuation || cls == quote))
            break; // the whole line: its first word
        if (cls == quote) {
            const std::size_t close = std::min(text.find(text[at], at + 1), text.size() - 1);
            if (pos >= 1 && written + static_cast<int32_t>(close - at + 1) >= pos) {
                at += static_cast<std::size_t>(pos - written - 1);
                break;
            }
            written += static_cast<int32_t>(close - at + 1);
            at = close;
            continue;
        }
        written += (cls != word && !after_separator ? 1 : 0) + (cls == word || cls == punctuation ? 1 : 0);
        after_separator = cls != word;
        if (pos >= 1 && written >= pos)
            break;
    }
    if (at >= text.size())
        return {static_cast<int32_t>(text.size()), 1};
    std::size_t end = at + 1;
    if (char_classes.of[static_cast<unsigned char>(text[at])] == word)
        while (end < text.size() && char_classes.of[static_cast<unsigned char>(text[end])] == word)
            ++end;
    else if (char_classes.of[static_cast<unsigned char>(text[at])] == quote)
        end = std::min(text.find(text[at], at + 1), text.size() - 1) + 1;
    return {static_cast<int32_t>(at), static_cast<int32_t>(end - at)};
}

void release_line_buffers() {
    std::vector<char>().swap(normalized);
    for (t_source& source : include_stack)
        std::string().swap(source.long_line);
}
