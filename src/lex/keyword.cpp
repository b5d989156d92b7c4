// Keyword lists compiled into tries whose answers are worked out once per node.
#include "lex/lex.h"

#include <algorithm>
#include <vector>

namespace {
constexpr int32_t no_synonym = 0x7FFFFFFF;

struct t_trie_node {
    int32_t first_child;   // index of the first child node; -1 for none
    int32_t next_sibling;  // index of the next child of the same parent; -1 for none
    int32_t end_synonym;   // smallest index (in list order) of a synonym ending here; no_synonym for none
    int32_t end_number;    // alternative number of that synonym
    int32_t below_synonym; // smallest index of a synonym ending strictly below this node
    char ch;               // the character that leads to this node
};

// The synonym with the smallest index among those that may match, with its number and length.
struct t_best {
    int32_t synonym;
    int32_t number;
    int32_t length;
};
t_best better(t_best a, t_best b) { return b.synonym < a.synonym ? b : a; }
t_keyword_answer answer(t_best best) {
    return {static_cast<int16_t>(best.synonym == no_synonym ? 0 : best.number), static_cast<int16_t>(best.length)};
}

// Read alternative by alternative, the list's first synonym to match wins; a synonym matches when
// it is the word at the position and is followed by a boundary (or the end, or anything when
// boundaries do not count), and a synonym that the text ends inside stops the search with 0. So a
// walk that stops at node, having read its word, answers with the smallest synonym among those
// ending on the way with a boundary after them (bounded; free when boundaries do not count) and
// the node's own, unless one that the text ends inside comes first. Fills node and its subtree.
void tabulate(const std::vector<t_trie_node>& nodes, t_keyword_answer* answers, int32_t node, int32_t depth,
              t_best bounded, t_best free) {
    const t_trie_node& at = nodes[static_cast<std::size_t>(node)];
    const t_best here{at.end_synonym, at.end_number, depth};
    const t_best ended = better(bounded, here);
    const t_best ended_free = better(free, here);
    t_keyword_answer* row = &answers[static_cast<std::size_t>(node) * stop_kinds];
    row[stop_ended] = at.below_synonym < ended.synonym ? t_keyword_answer{0, 0} : answer(ended);
    row[stop_ended_free] = at.below_synonym < ended_free.synonym ? t_keyword_answer{0, 0} : answer(ended_free);
    row[stop_boundary] = answer(ended);
    row[stop_other] = answer(bounded);
    row[stop_other_free] = answer(ended_free);
    for (int32_t child = at.first_child; child >= 0; child = nodes[static_cast<std::size_t>(child)].next_sibling)
        tabulate(nodes, answers, child, depth + 1,
                 is_word_boundary(nodes[static_cast<std::size_t>(child)].ch) ? ended : bounded, ended_free);
}

// The child of parent for ch, added if new.
int32_t child_of(std::vector<t_trie_node>& nodes, int32_t parent, char ch) {
    for (int32_t child = nodes[static_cast<std::size_t>(parent)].first_child; child >= 0;
         child = nodes[static_cast<std::size_t>(child)].next_sibling)
        if (nodes[static_cast<std::size_t>(child)].ch == ch)
            return child;
    nodes.push_back({-1, nodes[static_cast<std::size_t>(parent)].first_child, no_synonym, 0, no_synonym, ch});
    return nodes[static_cast<std::size_t>(parent)].first_child = static_cast<int32_t>(nodes.size() - 1);
}
} // namespace

t_keywords compile_keywords(std::string_view list) {
    std::vector<t_trie_node> nodes{{-1, -1, no_synonym, 0, no_synonym, 0}};
    // Synonyms are numbered in list order, read as the matching rules read the list: an empty
    // list has none, and a separator at the very end adds none.
    int32_t number = 1;
    for (int32_t synonym = 0, li = 0, size = static_cast<int32_t>(list.size()); size > 0; ++synonym) {
        int32_t node = 0;
        for (; li < size && list[static_cast<std::size_t>(li)] != '/' && list[static_cast<std::size_t>(li)] != '|'; ++li) {
            nodes[static_cast<std::size_t>(node)].below_synonym = std::min(nodes[static_cast<std::size_t>(node)].below_synonym, synonym);
            node = child_of(nodes, node, list[static_cast<std::size_t>(li)]);
        }
        if (synonym < nodes[static_cast<std::size_t>(node)].end_synonym) {
            nodes[static_cast<std::size_t>(node)].end_synonym = synonym;
            nodes[static_cast<std::size_t>(node)].end_number = number;
        }
        if (li >= size)
            break;
        number += list[static_cast<std::size_t>(li)] == '/' ? 1 : 0;
        if (++li >= size)
            break;
    }
    // Node numbers fit 16 bits (the longest list has a few hundred nodes), columns 8 (the lists use
    // fewer than 255 characters).
    auto* column_of = new uint8_t[256]{};
    int32_t columns = 1;
    for (std::size_t n = 1; n < nodes.size(); ++n)
        if (column_of[static_cast<unsigned char>(nodes[n].ch)] == 0)
            column_of[static_cast<unsigned char>(nodes[n].ch)] = static_cast<uint8_t>(columns++);
    const std::size_t cells = nodes.size() * static_cast<std::size_t>(columns);
    auto* children = new int16_t[cells];
    std::fill_n(children, cells, int16_t{-1});
    for (std::size_t n = 0; n < nodes.size(); ++n)
        for (int32_t child = nodes[n].first_child; child >= 0; child = nodes[static_cast<std::size_t>(child)].next_sibling)
            children[n * static_cast<std::size_t>(columns) + column_of[static_cast<unsigned char>(nodes[static_cast<std::size_t>(child)].ch)]] =
                static_cast<int16_t>(child);
    auto* answers = new t_keyword_answer[nodes.size() * stop_kinds];
    const t_best none{no_synonym, 0, 0};
    tabulate(nodes, answers, 0, 0, none, none);
    return {children, column_of, columns, answers};
}

void release_keywords(t_keywords& keywords) {
    delete[] keywords.children;
    delete[] keywords.column_of;
    delete[] keywords.answers;
    keywords = t_keywords{};
}

bool keyword_may_begin(const t_keywords& keywords, char c) {
    return keyword_child(keywords, 0, c) >= 0 || keywords.answers[stop_boundary].number != 0 ||
           keywords.answers[stop_other_free].number != 0;
}
