// Keyword matching: the three scanning primitives every recogniser is built from.
#include "lex/lex.h"

#include <algorithm>
#include <string>
#include <vector>

static bool ends_synonym(char c) { return c == '/' || c == '|'; }

// Adds a child for ch below parent (or finds it) and returns its index.
static int32_t child_of(std::vector<t_keyword_node>& nodes, int32_t parent, char ch) {
    for (int32_t child = nodes[static_cast<std::size_t>(parent)].first_child; child >= 0;
         child = nodes[static_cast<std::size_t>(child)].next_sibling)
        if (nodes[static_cast<std::size_t>(child)].ch == ch)
            return child;
    t_keyword_node node{-1, nodes[static_cast<std::size_t>(parent)].first_child, no_synonym, 0, no_synonym, ch};
    nodes.push_back(node);
    const auto index = static_cast<int32_t>(nodes.size() - 1);
    nodes[static_cast<std::size_t>(parent)].first_child = index;
    return index;
}

namespace {
void tabulate(t_keywords& keywords, t_keyword_answer* answers, int32_t node, std::string& word);
} // namespace

t_keywords compile_keywords(std::string_view list) {
    std::vector<t_keyword_node> nodes;
    nodes.push_back({-1, -1, no_synonym, 0, no_synonym, 0});
    // Synonyms are numbered in list order; the list is read as match_keyword reads it: an empty
    // list has none, and a separator at the very end adds none.
    int32_t number = 1;
    int32_t synonym = 0;
    std::size_t li = 0;
    while (!list.empty()) {
        int32_t node = 0;
        std::vector<int32_t> path{0};
        for (; li < list.size() && !ends_synonym(list[li]); ++li) {
            node = child_of(nodes, node, list[li]);
            path.push_back(node);
        }
        t_keyword_node& end = nodes[static_cast<std::size_t>(node)];
        if (synonym < end.end_synonym) {
            end.end_synonym = synonym;
            end.end_number = number;
        }
        for (std::size_t k = 0; k + 1 < path.size(); ++k) {
            t_keyword_node& above = nodes[static_cast<std::size_t>(path[k])];
            if (synonym < above.below_synonym)
                above.below_synonym = synonym;
        }
        ++synonym;
        if (li >= list.size())
            break;
        if (list[li] != '|')
            ++number;
        if (++li >= list.size())
            break;
    }
    t_keywords keywords{};
    auto* stored = new t_keyword_node[nodes.size()]; // compiled once per list, kept for the process
    std::copy(nodes.begin(), nodes.end(), stored);
    keywords.nodes = stored;
    keywords.node_count = static_cast<int32_t>(nodes.size());
    // Node numbers are stored in 16 bits (the longest list has a few hundred nodes), columns in 8
    // (the lists are written in fewer than 255 distinct characters).
    auto* column_of = new uint8_t[256]{};
    int32_t columns = 1;
    for (std::size_t n = 1; n < nodes.size(); ++n) {
        uint8_t& column = column_of[static_cast<unsigned char>(nodes[n].ch)];
        if (column == 0)
            column = static_cast<uint8_t>(columns++);
    }
    auto* children = new int16_t[nodes.size() * static_cast<std::size_t>(columns)];
    std::fill_n(children, nodes.size() * static_cast<std::size_t>(columns), int16_t{-1});
    for (std::size_t n = 0; n < nodes.size(); ++n)
        for (int32_t child = nodes[n].first_child; child >= 0; child = nodes[static_cast<std::size_t>(child)].next_sibling)
            children[n * static_cast<std::size_t>(columns) +
                     column_of[static_cast<unsigned char>(nodes[static_cast<std::size_t>(child)].ch)]] =
                static_cast<int16_t>(child);
    keywords.children = children;
    keywords.column_of = column_of;
    keywords.columns = columns;
    auto* answers = new t_keyword_answer[nodes.size() * stop_kinds];
    std::string word;
    tabulate(keywords, answers, 0, word);
    keywords.answers = answers;
    return keywords;
}

void release_keywords(t_keywords& keywords) {
    delete[] keywords.nodes;
    delete[] keywords.children;
    delete[] keywords.column_of;
    delete[] keywords.answers;
    keywords = t_keywords{};
}

namespace {
struct t_walk_result {
    int32_t number;
    int32_t length;
};

// The trigger with the smallest synonym index decides, as in the search along the list: a
// synonym that ends here with a boundary after it matches; a synonym that the text ends inside
// stops the whole search with 0. Step by step; compile_keywords tabulates its answers.
t_walk_result walk_trie(std::string_view text, const t_keywords& keywords, int32_t pos, bool no_boundary_check) {
    const auto length = static_cast<int32_t>(text.size());
    int32_t best = no_synonym;
    t_walk_result found{0, 0};
    int32_t node_index = 0;
    const t_keyword_node* node = &keywords.nodes[0];
    for (int32_t d = 0;; ++d) {
        const bool text_ended = pos + d > length;
        if (node->end_synonym < best &&
            (text_ended || no_boundary_check || is_word_boundary(text[static_cast<std::size_t>(pos + d - 1)]))) {
            best = node->end_synonym;
            found = {node->end_number, d};
        }
        if (text_ended) {
            if (node->below_synonym < best)
                found.number = 0;
            break;
        }
        node_index = keyword_child(keywords, node_index, text[static_cast<std::size_t>(pos + d - 1)]);
        if (node_index < 0)
            break;
        node = &keywords.nodes[node_index];
    }
    return found;
}

} // namespace

t_stop_characters stop_characters(const t_keywords& keywords, int32_t node) {
    auto leads_nowhere = [&](char c) { return keyword_child(keywords, node, c) < 0; };
    t_stop_characters stops{' ', 'a'};
    for (char c : {',', '#', ':', ';', '[', ']', ' '})
        if (leads_nowhere(c)) {
            stops.boundary = c;
            break;
        }
    for (int c = 1; c < 256; ++c)
        if (!is_word_boundary(static_cast<char>(c)) && leads_nowhere(static_cast<char>(c))) {
            stops.other = static_cast<char>(c);
            break;
        }
    return stops;
}

namespace {
// The answers of a node, by what stops the walk there: a walk that stops at a node has read
// exactly the node's word and, unless the text ended, one character that leads nowhere; the
// result depends on nothing else but whether that character is a boundary (when boundaries
// count at all). Fills the answers of node and everything below it, whose word is word.
void tabulate(t_keywords& keywords, t_keyword_answer* answers, int32_t node, std::string& word) {
    auto answer = [&](std::string_view text, bool free) {
        const t_walk_result found = walk_trie(text, keywords, 1, free);
        return t_keyword_answer{static_cast<int16_t>(found.number), static_cast<int16_t>(found.length)};
    };
    const t_stop_characters stops = stop_characters(keywords, node);
    t_keyword_answer* row = &answers[static_cast<std::size_t>(node) * stop_kinds];
    row[stop_ended] = answer(word, false);
    row[stop_ended_free] = answer(word, true);
    row[stop_boundary] = answer(word + stops.boundary, false);
    row[stop_other] = answer(word + stops.other, false);
    row[stop_other_free] = answer(word + stops.other, true);
    for (int32_t child = keywords.nodes[node].first_child; child >= 0; child = keywords.nodes[child].next_sibling) {
        word.push_back(keywords.nodes[child].ch);
        tabulate(keywords, answers, child, word);
        word.pop_back();
    }
}
} // namespace
