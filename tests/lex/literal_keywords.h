// The literal keyword matcher: the list's text compared alternative by alternative, exactly as
// the matching rules read. The compiled tries behind match_keyword must answer as this does.
#pragma once
#include "lex/lex.h"

// Returns the number (from 1) of the first alternative of list that matches at pos, or 0.
// Alternatives are separated by "/", synonyms within one by "|". Blanks before the word are
// always skipped; on success pos moves past the word and the blanks after it. Unless
// no_boundary_check, the word must end the text or be followed by a boundary character.
inline int32_t match_keyword(std::string_view text, std::string_view list, int32_t& pos, bool no_boundary_check) {
    auto ends_synonym = [](char c) { return c == '/' || c == '|'; };
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
                      is_word_boundary(text[static_cast<std::size_t>(pos + k - 1)]))) {
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
