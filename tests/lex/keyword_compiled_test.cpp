// The compiled keyword matcher against the literal one: same number and same position on
// random texts, for every list the assembler uses and for random lists.
#include "base/words.h"
#include "lex/lex.h"
#include "lex/literal_keywords.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <random>

namespace {
// Every list of the language.
const std::vector<std::string> project_lists = [] {
    std::vector<std::string> lists;
    for (const t_word_list& words : language_words)
        lists.emplace_back(words.list);
    return lists;
}();

// A random text made mostly of pieces of list words, blanks and boundary characters.
std::string random_text(std::mt19937& rng, const std::string& list) {
    static const std::string extra = " ,:;#[]+-=x0";
    std::string text;
    const int pieces = static_cast<int>(rng() % 4);
    for (int i = 0; i < pieces; ++i) {
        if (rng() % 3 == 0) {
            text += extra[rng() % extra.size()];
        } else {
            // a run of characters copied from a random place of the list
            std::size_t at = rng() % (list.size() + 1);
            std::size_t len = rng() % 8;
            for (std::size_t k = at; k < list.size() && k < at + len; ++k)
                if (list[k] != '/' && list[k] != '|')
                    text += list[k];
        }
    }
    return text;
}

void compare(const std::string& list, const t_keywords& compiled, const std::string& text, int32_t start, bool nbc,
             int& mismatches) {
    int32_t pos_literal = start;
    int32_t pos_compiled = start;
    int32_t literal = match_keyword(text, list, pos_literal, nbc);
    int32_t fast = match_keyword(text, compiled, pos_compiled, nbc);
    if (literal != fast || pos_literal != pos_compiled) {
        if (++mismatches <= 20)
            ADD_FAILURE() << "list '" << list << "' text '" << text << "' start " << start << " nbc " << nbc
                          << ": literal " << literal << "@" << pos_literal << ", compiled " << fast << "@" << pos_compiled;
    }
}
} // namespace

TEST(CompiledKeywords, AgreeOnTheAssemblersLists) {
    std::mt19937 rng(7);
    int mismatches = 0;
    long compared = 0;
    for (const std::string& list : project_lists) {
        t_keywords compiled = compile_keywords(list);
        for (int i = 0; i < 20000; ++i) {
            std::string text = random_text(rng, list);
            int32_t start = 1 + static_cast<int32_t>(rng() % (text.size() + 2));
            compare(list, compiled, text, start, rng() % 2 == 0, mismatches);
            ++compared;
        }
        release_keywords(compiled);
    }
    EXPECT_EQ(mismatches, 0) << "of " << compared;
}

TEST(CompiledKeywords, AgreeOnRandomLists) {
    // Small alphabets make prefixes, duplicates, empty synonyms and trailing separators common.
    std::mt19937 rng(11);
    const std::string alphabet = "ab /|";
    int mismatches = 0;
    for (int l = 0; l < 3000; ++l) {
        std::string list;
        const int length = static_cast<int>(rng() % 9);
        for (int i = 0; i < length; ++i)
            list += alphabet[rng() % alphabet.size()];
        t_keywords compiled = compile_keywords(list);
        for (int i = 0; i < 200; ++i) {
            std::string text;
            const int text_length = static_cast<int>(rng() % 6);
            for (int k = 0; k < text_length; ++k)
                text += "ab ,+"[rng() % 5];
            int32_t start = 1 + static_cast<int32_t>(rng() % (text.size() + 2));
            compare(list, compiled, text, start, rng() % 2 == 0, mismatches);
        }
        release_keywords(compiled);
    }
    EXPECT_EQ(mismatches, 0);
}

// The operand forms of "ld" are tried most common first: that gives the same encoding as trying
// them in their documented order only because no text matches two of them at once.
TEST(CompiledKeywords, LoadOperandFormsExcludeEachOther) {
    const std::vector<std::pair<std::string, bool>> first = {
        {std::string(condition_list), false}, {std::string(special_list_low), false},
        {std::string(special_list_high), false}, {std::string(store_list), true}, {std::string(register_list), false}};
    const std::vector<std::pair<std::string, bool>> source = {
        {std::string(load_list), true}, {std::string(special_list_low), false},
        {std::string(special_list_high), false}, {std::string(register_list), false}};
    std::mt19937 rng(5);
    int overlaps = 0;
    for (const auto* forms : {&first, &source}) {
        std::string all;
        for (const auto& form : *forms)
            all += form.first + "/";
        for (int i = 0; i < 200000; ++i) {
            const std::string text = random_text(rng, all);
            int matched = 0;
            for (const auto& [list, nbc] : *forms) {
                int32_t pos = 1;
                matched += match_keyword(text, list, pos, nbc) != 0 ? 1 : 0;
            }
            if (matched > 1 && ++overlaps <= 20)
                ADD_FAILURE() << "two operand forms match '" << text << "'";
        }
    }
    EXPECT_EQ(overlaps, 0);
}

// The directives and the data definitions are each matched as one list: that answers as trying
// their words one list at a time would, because no word is a prefix of a word before it.
TEST(CompiledKeywords, OneListAnswersAsItsWordsInTurn) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> merged = {
        {std::string(directive_list), {"#include", "#org", "#align", "#data", "#zero", "#header", "#const"}},
        {std::string(data_list), {"db", "dw", "dd", "dsingle/ddouble/dextended"}},
    };
    std::mt19937 rng(9);
    int mismatches = 0;
    for (const auto& [list, parts] : merged) {
        for (int i = 0; i < 100000; ++i) {
            const std::string text = random_text(rng, list);
            int32_t pos_one = 1;
            const int32_t one = match_keyword(text, list, pos_one, false);
            int32_t in_turn = 0;
            int32_t pos_turn = 1;
            for (std::size_t k = 0, before = 0; k < parts.size() && in_turn == 0; ++k) {
                pos_turn = 1;
                const int32_t number = match_keyword(text, parts[k], pos_turn, false);
                in_turn = number == 0 ? 0 : static_cast<int32_t>(before) + number;
                before += static_cast<std::size_t>(std::count(parts[k].begin(), parts[k].end(), '/') + 1);
            }
            if ((one != in_turn || (one != 0 && pos_one != pos_turn)) && ++mismatches <= 20)
                ADD_FAILURE() << "'" << text << "': one list " << one << ", in turn " << in_turn;
        }
    }
    EXPECT_EQ(mismatches, 0);
}
