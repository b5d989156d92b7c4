// The nearest known word to a misspelt one: edit distance over the language's word lists.
#include "base/nearest.h"
#include "base/words.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

// Longer words get no note: nothing is near them, and the note would repeat them.
static constexpr std::size_t longest_noted_word = 64;

// Edits (insertions, deletions, changes, swaps of neighbours) that turn a into b.
static int32_t edit_distance(std::string_view a, std::string_view b) {
    std::vector<std::vector<int32_t>> d(a.size() + 1, std::vector<int32_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i)
        for (std::size_t j = 0; j <= b.size(); ++j) {
            if (i == 0 || j == 0) {
                d[i][j] = static_cast<int32_t>(i + j);
                continue;
            }
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
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
            const int32_t distance = known.empty() ? best.second : edit_distance(word, known);
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
