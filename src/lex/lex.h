// Lexical matching and expressions: keyword lists at a position, numbers, and sums of terms.
// Positions are 1-based; length + 1 means the end of the text.
#pragma once
#include <cstdint>
#include <string_view>

#include "base/base.h"

struct t_rb_data;

// Advances pos over spaces (code 32) only.
inline void skip_blanks(std::string_view text, int32_t& pos) {
    const auto length = static_cast<int32_t>(text.size());
    int32_t at = pos; // a local: the text's bytes could alias pos, which would be stored every step
    while (at <= length && text[static_cast<std::size_t>(at - 1)] == ' ')
        ++at;
    pos = at;
}

// Characters that may follow a matched word when the boundary test applies.
inline bool is_word_boundary(char c) {
    return c == ' ' || c == '#' || c == ',' || c == ':' || c == ';' || c == '[' || c == ']';
}

// A keyword list compiled once into a trie, for matching in time proportional to the word:
// match_keyword on it answers exactly as the list's words, tried one by one, would. Children are
// looked up in a table with one row per node and one column per character the list uses (column
// 0, for every other character, holds no child).
struct t_keyword_answer {
    int16_t number; // the alternative matched; 0 for none
    int16_t length; // the length of the word matched
};
struct t_keywords {
    const int16_t* children;         // children[n * columns + column_of[c]]: node n's child by c; -1 for none
    const uint8_t* column_of;        // the column of each character
    int32_t columns;
    const t_keyword_answer* answers; // stop_kinds per node: the answer of a walk that stops there
};
// What stops a walk at a node: the text ended, or the next character leads nowhere and is a
// boundary or not; "free" when boundaries do not count.
enum : int32_t { stop_ended, stop_boundary, stop_other, stop_ended_free, stop_other_free, stop_kinds };

inline int32_t keyword_child(const t_keywords& keywords, int32_t node, char c) {
    return keywords.children[node * keywords.columns + keywords.column_of[static_cast<unsigned char>(c)]];
}

// Compiles list; the lists of the assembler itself live as long as the process.
t_keywords compile_keywords(std::string_view list);
void release_keywords(t_keywords& keywords);
// False when no match of keywords can begin at the character c: the match fails at once.
bool keyword_may_begin(const t_keywords& keywords, char c);

// Skips blanks, then walks the trie from pos as far as the word goes and reads the answer
// tabulated for where, and why, it stopped. On a match pos moves past the word and the blanks after it.
inline int32_t match_keyword(std::string_view text, const t_keywords& keywords, int32_t& pos, bool no_boundary_check) {
    skip_blanks(text, pos);
    fault_position = pos;
    const auto length = static_cast<int32_t>(text.size());
    int32_t node = 0;
    int32_t stop = no_boundary_check ? stop_ended_free : stop_ended;
    for (int32_t at = pos; at <= length; ++at) {
        const char c = text[static_cast<std::size_t>(at - 1)];
        const int32_t child = keyword_child(keywords, node, c);
        if (child < 0) {
            stop = no_boundary_check ? stop_other_free : is_word_boundary(c) ? stop_boundary : stop_other;
            break;
        }
        node = child;
    }
    const t_keyword_answer found = keywords.answers[node * stop_kinds + stop];
    if (found.number != 0) {
        pos += found.length;
        skip_blanks(text, pos);
    }
    return found.number;
}

// Skips blanks; if ch stands at pos, moves past it and the blanks after it and returns true.
inline bool expect_char(std::string_view text, char ch, int32_t& pos) {
    skip_blanks(text, pos);
    fault_position = pos;
    if (pos <= static_cast<int32_t>(text.size()) && text[static_cast<std::size_t>(pos - 1)] == ch) {
        ++pos;
        skip_blanks(text, pos);
        return true;
    }
    return false;
}

// The kinds of term. ORDER: the numbers are part of the design.
enum : int16_t { term_number = 1, term_constant = 2, term_label = 3 };

// One term of a deferred sum.
struct t_term {
    t_term* next;       // the following term; nil at the end
    int16_t kind;       // one of the term kinds
    int16_t sign;       // constants and labels: +1 or -1; numbers: +1
    int32_t number;     // a number: the value with its sign applied
    t_rb_data* symbol;  // constants and labels: the record inside the symbol's tree node
};

// Wrapping signed 32-bit arithmetic, done on unsigned types.
inline int32_t wrap_add(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t wrap_mul(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// Reads the term list of the expression at pos, up to a "," or "]" (not consumed) or the end.
// Every name is looked up, and entered if new, in the symbol table.
t_term* parse_terms(std::string_view text, int32_t& pos);

// Evaluates the expression at pos at once: numbers and defined constants only. pos is left as
// parse_terms leaves it.
int32_t parse_immediate(std::string_view text, int32_t& pos);
