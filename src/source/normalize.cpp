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
} // namespace

void normalize_line(std::string& line) {
    // Every byte becomes at most two (a blank and a punctuation character), so the result is
    // built in a buffer of twice the length, reused: a line costs no allocation once the
    // longest has been seen.
    static std::vector<char> buffer;
    const std::size_t length = line.size();
    if (buffer.size() < 2 * length + 1)
        buffer.resize(2 * length + 1);
    const char* in = line.data();
    char* const start = buffer.data();
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
