// Keyword matching: the three scanning primitives every recogniser is built from.
#include "lex/lex.h"

// Characters that may follow a matched word when the boundary test applies.
static bool is_boundary(char c) {
    return c == ' ' || c == '#' || c == ',' || c == ':' || c == ';' || c == '[' || c == ']';
}

static bool ends_synonym(char c) { return c == '/' || c == '|'; }

void skip_blanks(std::string_view text, int32_t& pos) {
    const auto length = static_cast<int32_t>(text.size());
    while (pos <= length && text[static_cast<std::size_t>(pos - 1)] == ' ')
        ++pos;
}

int32_t match_keyword(std::string_view text, std::string_view list, int32_t& pos, bool no_boundary_check) {
    skip_blanks(text, pos);
    if (list.empty())
        return 0;
    const auto length = static_cast<int32_t>(text.size());
    const std::size_t list_length = list.size();
    int32_t number = 1;
    std::size_t li = 0;
    for (;;) {
        int32_t k = 0;
        bool equal = true;
        for (; li < list_length && !ends_synonym(list[li]); ++li, ++k) {
            if (pos + k > length)
                return 0; // the text ends inside this synonym: no later alternative is tried
            if (list[li] != text[static_cast<std::size_t>(pos + k - 1)]) {
                equal = false;
                break;
            }
        }
        if (equal && (pos + k > length || no_boundary_check ||
                      is_boundary(text[static_cast<std::size_t>(pos + k - 1)]))) {
            pos += k;
            skip_blanks(text, pos);
            return number;
        }
        while (li < list_length && !ends_synonym(list[li]))
            ++li;
        if (li >= list_length)
            return 0;
        if (list[li] != '|')
            ++number;
        if (++li >= list_length)
            return 0; // a separator at the very end adds no alternative
    }
}

bool expect_char(std::string_view text, char ch, int32_t& pos) {
    skip_blanks(text, pos);
    if (pos <= static_cast<int32_t>(text.size()) && text[static_cast<std::size_t>(pos - 1)] == ch) {
        ++pos;
        skip_blanks(text, pos);
        return true;
    }
    return false;
}
