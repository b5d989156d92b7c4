// Lexical matching and expressions: keyword lists at a position, numbers, and sums of terms.
// Positions are 1-based; length + 1 means the end of the text.
#pragma once
#include <cstdint>
#include <string_view>

#include "driver/driver.h"

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

// A keyword list compiled once into a trie, for matching in time proportional to the word.
// match_keyword on it returns exactly what it returns on the list's text.
struct t_keyword_node {
    int32_t first_child;   // index of the first child node; -1 for none
    int32_t next_sibling;  // index of the next child of the same parent; -1 for none
    int32_t end_synonym;   // smallest index of a synonym ending here; no_synonym for none
    int32_t end_number;    // alternative number of that synonym
    int32_t below_synonym; // smallest index of a synonym ending strictly below this node
    char ch;               // the character that leads to this node
};

// What a walk that stops at a node returns: the number (0 for none) and the length matched.
struct t_keyword_answer {
    int16_t number;
    int16_t length;
};

// Children are looked up in a table with one row per node and one column per character that
// occurs in the list (column 0, for every other character, holds no child): the rows of all the
// assembler's lists together stay small enough to sit in the first-level cache.

struct t_keywords {
    const t_keyword_node* nodes;   // nodes[0] is the root, the empty word
    const t_keyword_answer* answers; // five per node, by what stops the walk there
    const int16_t* children;       // children[n * columns + column_of[c]]: node n's child by c; -1 for none
    const uint8_t* column_of;      // the column of each character
    int32_t columns;
    int32_t node_count;
};

inline int32_t keyword_child(const t_keywords& keywords, int32_t node, char c) {
    return keywords.children[node * keywords.columns + keywords.column_of[static_cast<unsigned char>(c)]];
}

inline constexpr int32_t no_synonym = 0x7FFFFFFF;

// A character of each kind that leads nowhere from node: one a boundary, one not. When a kind
// has none, no walk stops at node for that kind, and either character stands for it.
struct t_stop_characters {
    char boundary;
    char other;
};
t_stop_characters stop_characters(const t_keywords& keywords, int32_t node);

// Compiles list; the result lives until release_keywords (the lists of the assembler itself
// live as long as the process).
t_keywords compile_keywords(std::string_view list);
void release_keywords(t_keywords& keywords);
// The answers of a node, by what stops a walk there: the text ended, or the next character
// leads nowhere and is a boundary or not; "free" when boundaries do not count.
enum : int32_t { stop_ended, stop_boundary, stop_other, stop_ended_free, stop_other_free, stop_kinds };

// The walk through the trie from pos (blanks already skipped): it follows the word as far as the
// trie goes and reads the answer tabulated for where, and why, it stopped.
inline int32_t match_keyword_trie(std::string_view text, const t_keywords& keywords, int32_t& pos,
                                  bool no_boundary_check) {
    const auto length = static_cast<int32_t>(text.size());
    int32_t node = 0;
    int32_t at = pos;
    int32_t stop = no_boundary_check ? stop_ended_free : stop_ended;
    while (at <= length) {
        const char c = text[static_cast<std::size_t>(at - 1)];
        const int32_t child = keyword_child(keywords, node, c);
        if (child < 0) {
            stop = no_boundary_check ? stop_other_free : is_word_boundary(c) ? stop_boundary : stop_other;
            break;
        }
        node = child;
        ++at;
    }
    const t_keyword_answer found = keywords.answers[node * stop_kinds + stop];
    if (found.number != 0) {
        pos += found.length;
        skip_blanks(text, pos);
    }
    return found.number;
}

inline int32_t match_keyword(std::string_view text, const t_keywords& keywords, int32_t& pos, bool no_boundary_check) {
    skip_blanks(text, pos);
    fault_position = pos;
    return match_keyword_trie(text, keywords, pos, no_boundary_check);
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

// One term of a deferred sum.
struct t_term {
    t_term* next;       // the following term; nil at the end
    int16_t kind;       // 1 number, 2 constant, 3 label
    int16_t sign;       // kinds 2 and 3: +1 or -1; kind 1: +1
    int32_t number;     // kind 1: the value with its sign applied
    t_rb_data* symbol;  // kinds 2 and 3: the record inside the symbol's tree node
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

// The wrapping sum of the list; nil yields 0.
int32_t eval_terms(const t_term* first);

// Evaluates the expression at pos at once: numbers and defined constants only. pos is left as
// parse_terms leaves it.
int32_t parse_immediate(std::string_view text, int32_t& pos);
