// The nearest known word to a misspelt one: edit distance over the language's word lists.
#include "base/nearest.h"
#include "base/words.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>
#include <vector>

// Longer words get no note: nothing is near them, and the note would repeat them.
static constexpr std::size_t longest_noted_word = 64;

// Edits (insertions, deletions, changes, swaps of neighbours) that turn a (at most
// longest_noted_word long) into b. Three rows over a, on the stack: a run that reports every
// error searches the lists once per misspelt word, and must not pay an allocation per word tried.
static int32_t edit_distance(std::string_view a, std::string_view b) {
    std::array<int32_t, longest_noted_word + 1> rows[3];
    for (std::size_t j = 0; j <= a.size(); ++j)
        rows[0][j] = static_cast<int32_t>(j);
    for (std::size_t i = 1; i <= b.size(); ++i) {
        const auto& before = rows[(i + 1) % 3]; // row i - 2
        const auto& above = rows[(i - 1) % 3];
        auto& row = rows[i % 3];
        row[0] = static_cast<int32_t>(i);
        for (std::size_t j = 1; j <= a.size(); ++j) {
            row[j] = std::min({above[j] + 1, row[j - 1] + 1, above[j - 1] + (b[i - 1] == a[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && b[i - 1] == a[j - 2] && b[i - 2] == a[j - 1])
                row[j] = std::min(row[j], before[j - 2] + 1);
        }
    }
    return rows[b.size() % 3][a.size()];
}

// The word of the lists of the given kind nearest to word (the first of equally near ones), and
// its distance; "" when the lists hold no word.
static std::pair<std::string_view, int32_t> nearest_word(std::string_view word, std::string_view kind) {
    std::pair<std::string_view, int32_t> best{"", 1 << 30};
    // No word of the language is near a word this long, and the distance grows with its length.
    if (word.size() > longest_noted_word)
        return best;
    for (const t_word_list& words : language_words) {
        if (words.kind != kind)
            continue;
        for (std::size_t at = 0; at < words.list.size();) {
            const std::size_t end = std::min(words.list.find_first_of("/|", at), words.list.size());
            std::size_t last = at;
            while (last < end && is_word_character(words.list[last]))
                ++last;
            const std::string_view known = words.list.substr(at, last - at);
            // The lengths differ by no more than the distance: a word that cannot be nearer is skipped.
            const auto apart = static_cast<int32_t>(std::max(word.size(), known.size()) - std::min(word.size(), known.size()));
            const int32_t distance = known.empty() || apart >= best.second ? best.second : edit_distance(word, known);
            if (distance < best.second)
                best = {known, distance};
            at = end + 1;
        }
    }
    return best;
}

std::vector<t_note> mnemonic_notes(std::string_view line) {
    std::size_t end = 0;
    while (end < line.size() && is_word_character(line[end]))
        ++end;
    if (end > longest_noted_word)
        return {};
    std::string word(line.substr(0, end));
    for (char& c : word)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    const bool directive = !word.empty() && word[0] == '#';
    const auto [known, distance] = nearest_word(word, directive ? "directive" : "mnemonic");
    // A keyword in capitals has a hint of its own; a keyword glued to what follows it, no help here.
    if (word.empty() || distance == 0)
        return {};
    std::string note = "'";
    note.append(line.substr(0, end)).append("' is not ").append(directive ? "a directive" : "a mnemonic");
    if (distance <= (word.size() <= 3 ? 1 : 2))
        note.append("; did you mean '").append(known).append("'?");
    return {{note, {}}};
}

std::vector<t_note> register_notes(std::string_view name) {
    for (const std::string_view kind : {"register", "float register"}) {
        const auto [known, distance] = nearest_word(name, kind);
        if (distance == 1) {
            std::string note = "'";
            note.append(name).append("' is not a register; did you mean '").append(known).append("'?");
            return {{note, {}}};
        }
    }
    return {};
}
