// Keyword matching: the three scanning primitives every recogniser is built from.
#include "lex/lex.h"

#include <vector>

// Characters that may follow a matched word when the boundary test applies.
static bool is_boundary(char c) {
    return c == ' ' || c == '#' || c == ',' || c == ':' || c == ';' || c == '[' || c == ']';
}

static bool ends_synonym(char c) { return c == '/' || c == '|'; }

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
    // Node numbers are stored in 16 bits; the longest list has a few hundred nodes.
    auto* children = new t_keyword_children[nodes.size()];
    for (std::size_t n = 0; n < nodes.size(); ++n) {
        for (int16_t& child : children[n].of)
            child = -1;
        for (int32_t child = nodes[n].first_child; child >= 0; child = nodes[static_cast<std::size_t>(child)].next_sibling)
            children[n].of[static_cast<unsigned char>(nodes[static_cast<std::size_t>(child)].ch)] =
                static_cast<int16_t>(child);
    }
    keywords.children = children;
    return keywords;
}

void release_keywords(t_keywords& keywords) {
    delete[] keywords.nodes;
    delete[] keywords.children;
    keywords = t_keywords{};
}

// The trigger with the smallest synonym index decides, as in the search along the list: a
// synonym that ends here with a boundary after it matches; a synonym that the text ends inside
// stops the whole search with 0.
int32_t match_keyword_trie(std::string_view text, const t_keywords& keywords, int32_t& pos, bool no_boundary_check) {
    const auto length = static_cast<int32_t>(text.size());
    int32_t best = no_synonym;
    int32_t result = 0;
    int32_t matched_length = 0;
    int32_t node_index = 0;
    const t_keyword_node* node = &keywords.nodes[0];
    for (int32_t d = 0;; ++d) {
        const bool text_ended = pos + d > length;
        if (node->end_synonym < best &&
            (text_ended || no_boundary_check || is_boundary(text[static_cast<std::size_t>(pos + d - 1)]))) {
            best = node->end_synonym;
            result = node->end_number;
            matched_length = d;
        }
        if (text_ended) {
            if (node->below_synonym < best)
                result = 0;
            break;
        }
        const auto c = static_cast<unsigned char>(text[static_cast<std::size_t>(pos + d - 1)]);
        node_index = keywords.children[node_index].of[c];
        if (node_index < 0)
            break;
        node = &keywords.nodes[node_index];
    }
    if (result != 0) {
        pos += matched_length;
        skip_blanks(text, pos);
    }
    return result;
}
