// The editors' syntax files against the encoder's word lists: each file names every word of the
// language in the group of its kind, and no word that the language does not have.
#include "base/words.h"
#include "tools/tool_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

// Where each kind of word is kept: the grammar's repository entries and the Vim keyword groups.
struct t_kind_groups {
    std::string_view kind;                          // as the encoder names it
    std::vector<std::string_view> grammar_entries;  // repository entries of the TextMate grammar
    std::vector<std::string_view> vim_groups;       // keyword groups of the Vim syntax file
};

static const std::vector<t_kind_groups> kind_groups = {
    {"mnemonic", {"mnemonic-control", "mnemonic"}, {"orbasmControl", "orbasmMnemonic"}},
    {"directive", {"directive"}, {"orbasmDirective"}},
    {"register", {"register"}, {"orbasmRegister"}},
    {"condition", {"condition"}, {"orbasmCondition"}},
    {"special register", {"special-register"}, {"orbasmSpecialRegister"}},
    {"float register", {"float-register"}, {"orbasmFloatRegister"}},
    {"operand word", {"operand-word"}, {"orbasmOperandWord"}},
};

// The words of one kind, in the order first met.
struct t_kind_words {
    std::string_view kind;          // as the encoder names it
    std::vector<std::string> words; // bare words, each once
};

// The bare word of a matcher entry: its first run of word characters ("push " gives push,
// ",ax =" gives ax, "xchg [sp ]," gives xchg); empty when it has none.
static std::string bare_word(std::string_view entry) {
    std::size_t first = 0;
    while (first < entry.size() && !is_word_character(entry[first]))
        ++first;
    std::size_t last = first;
    while (last < entry.size() && is_word_character(entry[last]))
        ++last;
    return std::string(entry.substr(first, last - first));
}

static void add_word(std::vector<std::string>& words, const std::string& word) {
    if (std::find(words.begin(), words.end(), word) == words.end())
        words.push_back(word);
}

static std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t from = 0;
    for (std::size_t at = text.find(separator); at != std::string_view::npos; at = text.find(separator, from)) {
        parts.push_back(text.substr(from, at - from));
        from = at + 1;
    }
    parts.push_back(text.substr(from));
    return parts;
}

// The language's words by kind: alternatives split at "/", synonyms at "|", "^" left out.
static std::vector<t_kind_words> language_words_by_kind() {
    std::vector<t_kind_words> kinds;
    for (int32_t k = 0; k < language_word_lists; ++k) {
        const t_word_list& list = language_words[k];
        auto kind = std::find_if(kinds.begin(), kinds.end(), [&](const t_kind_words& w) { return w.kind == list.kind; });
        if (kind == kinds.end())
            kind = kinds.insert(kinds.end(), t_kind_words{list.kind, {}});
        for (std::string_view alternative : split(list.list, '/'))
            for (std::string_view synonym : split(alternative, '|'))
                if (!bare_word(synonym).empty()) // "^", or a bracket alone
                    add_word(kind->words, bare_word(synonym));
    }
    return kinds;
}

static bool holds(const std::vector<std::string>& words, const std::string& word) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

// The words of one repository entry of the grammar: the alternatives of the first "(?:...)" in
// its "match" string, which must come before the entry's first "}".
static std::vector<std::string> grammar_entry_words(const std::string& grammar, std::string_view entry) {
    std::string key_text = "\"";
    key_text += entry;
    key_text += "\": {";
    const std::size_t key = grammar.find(key_text);
    if (key == std::string::npos)
        return {};
    const std::string match_key = "\"match\": \"";
    const std::size_t match = grammar.find(match_key, key);
    if (match == std::string::npos || match > grammar.find('}', key))
        return {};
    std::string pattern; // the JSON string, unescaped
    for (std::size_t at = match + match_key.size(); at < grammar.size() && grammar[at] != '"'; ++at) {
        if (grammar[at] == '\\' && at + 1 < grammar.size())
            ++at;
        pattern += grammar[at];
    }
    const std::size_t open = pattern.find("(?:");
    const std::size_t close = pattern.find(')', open);
    if (open == std::string::npos || close == std::string::npos)
        return {};
    std::vector<std::string> words;
    for (std::string_view word : split(std::string_view(pattern).substr(open + 3, close - open - 3), '|'))
        words.emplace_back(word);
    return words;
}

// The lines of a Vim script, each continuation line ("\ ...") joined to the line before it.
static std::vector<std::string> vim_lines(const std::string& text) {
    std::stringstream in(text);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        const std::size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line[first] == '\\' && !lines.empty()) {
            lines.back() += ' ';
            lines.back().append(line, first + 1);
        } else
            lines.push_back(line);
    }
    return lines;
}

static std::vector<std::string> blank_separated(const std::string& line) {
    std::stringstream in(line);
    std::vector<std::string> tokens;
    for (std::string token; in >> token;)
        tokens.push_back(token);
    return tokens;
}

// The words of a Vim keyword group, from every "syn keyword GROUP ..." line; options
// ("contained", "nextgroup=...") are no words.
static std::vector<std::string> vim_group_words(const std::string& vim, std::string_view group) {
    static const std::vector<std::string> flags = {"contained", "transparent", "skipwhite", "skipnl", "skipempty",
                                                   "display",   "fold",        "conceal",   "extend"};
    std::vector<std::string> words;
    for (const std::string& line : vim_lines(vim)) {
        const std::vector<std::string> tokens = blank_separated(line);
        if (tokens.size() < 3 || (tokens[0] != "syn" && tokens[0] != "syntax") || tokens[1] != "keyword" ||
            tokens[2] != group)
            continue;
        for (std::size_t k = 3; k < tokens.size(); ++k)
            if (!holds(flags, tokens[k]) && tokens[k].find('=') == std::string::npos)
                words.push_back(tokens[k]);
    }
    return words;
}

// Checks the groups of a file (the grammar, or else the Vim file) against the encoder's lists;
// prints every mismatch. A word that the lists give to two kinds ("int": mnemonic and operand
// word; "ax", of "int n,ax=x": register and operand word) may stand in the group of either.
static void check_groups(const std::string& file, const std::string& text, bool grammar) {
    const std::vector<t_kind_words> language = language_words_by_kind();
    std::vector<t_kind_words> named; // the file's words by kind, in the order of language
    for (const t_kind_words& kind : language) {
        named.push_back({kind.kind, {}});
        const auto groups = std::find_if(kind_groups.begin(), kind_groups.end(),
                                         [&](const t_kind_groups& g) { return g.kind == kind.kind; });
        if (groups == kind_groups.end()) {
            ADD_FAILURE() << file << ": no group for the kind \"" << kind.kind << "\"";
            continue;
        }
        for (std::string_view group : grammar ? groups->grammar_entries : groups->vim_groups)
            for (const std::string& word : grammar ? grammar_entry_words(text, group) : vim_group_words(text, group)) {
                EXPECT_FALSE(holds(named.back().words, word))
                    << file << ": \"" << word << "\" stands twice among the " << kind.kind << " words";
                named.back().words.push_back(word);
            }
    }
    int words = 0;
    int found = 0;
    for (std::size_t k = 0; k < language.size(); ++k) {
        for (const std::string& word : language[k].words) {
            bool in_file = holds(named[k].words, word);
            for (std::size_t other = 0; other < language.size(); ++other)
                in_file = in_file || (holds(language[other].words, word) && holds(named[other].words, word));
            EXPECT_TRUE(in_file) << file << ": the " << language[k].kind << " \"" << word << "\" is missing";
            ++words;
            found += in_file ? 1 : 0;
        }
        for (const std::string& word : named[k].words)
            EXPECT_TRUE(holds(language[k].words, word))
                << file << ": \"" << word << "\" is no " << language[k].kind << " of the language";
    }
    std::cout << file << ": " << found << " of " << words << " words of the language found\n";
    EXPECT_GE(words, 200) << "the encoder's word lists were not read";
}

TEST(SyntaxFiles, GrammarHasEveryWordOfTheLanguageInItsGroup) {
    const std::string grammar = read_text(ORBASM_SOURCE_DIR "/editors/textmate/orbasm.tmLanguage.json");
    ASSERT_FALSE(grammar.empty());
    // Keywords are case-sensitive: no pattern may ignore case.
    EXPECT_EQ(grammar.find("(?i"), std::string::npos) << "the grammar ignores case somewhere";
    check_groups("orbasm.tmLanguage.json", grammar, true);
}

TEST(SyntaxFiles, VimFileHasEveryWordOfTheLanguageInItsGroup) {
    const std::string vim = read_text(ORBASM_SOURCE_DIR "/editors/vim/syntax/orbasm.vim");
    ASSERT_FALSE(vim.empty());
    const std::vector<std::string> lines = vim_lines(vim);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "syn case match"), lines.end()) << "keywords must match case";
    check_groups("orbasm.vim", vim, false);
}
