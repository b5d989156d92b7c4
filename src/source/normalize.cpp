// Line normalisation: one canonical spacing for every line before anything matches it.
#include "driver/driver.h"
#include "source/source.h"

namespace {
enum t_char_class : unsigned char { separator, word, punctuation, quote };

// ORDER: the four classes of a source byte; every byte not listed is a separator.
constexpr auto make_classes() {
    struct {
        unsigned char of[256];
    } table{};
    for (int c = '0'; c <= '9'; ++c) table.of[c] = word;
    for (int c = 'A'; c <= 'Z'; ++c) table.of[c] = word;
    for (int c = 'a'; c <= 'z'; ++c) table.of[c] = word;
    table.of['#'] = table.of['.'] = table.of['@'] = table.of['_'] = word;
    for (unsigned char c : {'+', ',', '-', ':', ';', '=', '[', ']'}) table.of[c] = punctuation;
    table.of['"'] = table.of['\''] = quote;
    return table;
}
constexpr auto char_classes = make_classes();
} // namespace

void normalize_line(std::string& line) {
    static std::string result; // reused: a line costs no allocation once the longest has been seen
    result.clear();
    result.reserve(line.size() + line.size() / 2 + 1);
    bool after_separator = true;
    const std::size_t length = line.size();
    for (std::size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        switch (char_classes.of[c]) {
        case word:
            result += static_cast<char>(c);
            after_separator = false;
            break;
        case punctuation:
            if (!after_separator)
                result += ' ';
            result += static_cast<char>(c);
            after_separator = true;
            break;
        case quote: {
            std::size_t close = line.find(static_cast<char>(c), i + 1);
            fatal_check(close != std::string::npos, "String exceeds line");
            result.append(line, i, close - i + 1); // a string leaves after_separator as it was
            i = close;
            break;
        }
        default:
            if (!after_separator)
                result += ' ';
            after_separator = true;
            break;
        }
    }
    line.swap(result);
}
