// Several lists matched in one walk against the same lists tried one after another with the
// literal matcher: the same list, number and position on random texts.
#include "encoder/stages.h"
#include "lex/lex.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {
struct t_group {
    std::vector<std::string> lists;
    std::vector<bool> free; // no boundary check
};

// What trying each list in turn gives: the first that matches, its number and where pos ends.
t_keyword_choice literal_choice(const t_group& group, const std::string& text, int32_t& pos) {
    for (std::size_t list = 0; list < group.lists.size(); ++list) {
        int32_t end = pos;
        const int32_t number = match_keyword(text, group.lists[list], end, group.free[list]);
        if (number != 0) {
            pos = end;
            return {static_cast<int16_t>(list), static_cast<int16_t>(number), 0};
        }
    }
    skip_blanks(text, pos);
    return {-1, 0, 0};
}

// Texts made of pieces of the group's words, blanks and boundary characters.
std::string random_text(std::mt19937& rng, const t_group& group) {
    static const std::string extra = " ,:;#[]+-=x0";
    std::string text;
    const int pieces = static_cast<int>(rng() % 5);
    for (int i = 0; i < pieces; ++i) {
        if (rng() % 3 == 0) {
            text += extra[rng() % extra.size()];
            continue;
        }
        const std::string& list = group.lists[rng() % group.lists.size()];
        const std::size_t at = rng() % (list.size() + 1);
        const std::size_t len = rng() % 8;
        for (std::size_t k = at; k < list.size() && k < at + len; ++k)
            if (list[k] != '/' && list[k] != '|')
                text += list[k];
    }
    return text;
}

int count_mismatches(const t_group& group, std::mt19937& rng, int texts) {
    std::vector<t_keyword_list> lists;
    for (std::size_t k = 0; k < group.lists.size(); ++k)
        lists.push_back({group.lists[k], group.free[k]});
    t_keyword_union choices = compile_keyword_union(lists.data(), static_cast<int32_t>(lists.size()));
    int mismatches = 0;
    for (int i = 0; i < texts; ++i) {
        const std::string text = random_text(rng, group);
        const int32_t start = 1 + static_cast<int32_t>(rng() % (text.size() + 2));
        int32_t literal_pos = start;
        int32_t union_pos = start;
        const t_keyword_choice literal = literal_choice(group, text, literal_pos);
        const t_keyword_choice found = match_keyword_union(text, choices, union_pos);
        if (literal.list != found.list || (found.list >= 0 && literal.number != found.number) ||
            literal_pos != union_pos) {
            if (++mismatches <= 10)
                ADD_FAILURE() << "text '" << text << "' start " << start << ": literal list " << literal.list << " #"
                              << literal.number << " @" << literal_pos << ", one walk list " << found.list << " #"
                              << found.number << " @" << union_pos;
        }
    }
    release_keyword_union(choices);
    return mismatches;
}
} // namespace

TEST(KeywordUnion, AgreesOnTheOperandGroups) {
    const std::string store = "[/byte [/word [";
    const std::string load = "[/byte [/word [/short [/^/^/^/int [";
    const std::vector<t_group> groups = {
        {{std::string(condition_list), std::string(special_list_low), std::string(special_list_high), store,
          std::string(register_list)},
         {false, false, false, true, false}},
        {{load, std::string(special_list_low), std::string(special_list_high), std::string(register_list)},
         {true, false, false, false}},
        {{std::string(register_list), std::string(float_register_list), "es :", "single [/double [/extended ["},
         {false, true, true, false}},
    };
    std::mt19937 rng(5);
    for (const t_group& group : groups)
        EXPECT_EQ(count_mismatches(group, rng, 100000), 0);
}

TEST(KeywordUnion, AgreesOnRandomLists) {
    // Small alphabets make shared prefixes, duplicates across lists, empty synonyms and trailing
    // separators common; a text that ends inside one list's synonym must still try the next list.
    std::mt19937 rng(13);
    const std::string alphabet = "ab /|";
    int mismatches = 0;
    for (int g = 0; g < 2000; ++g) {
        t_group group;
        const int count = 1 + static_cast<int>(rng() % 4);
        for (int l = 0; l < count; ++l) {
            std::string list;
            const int length = static_cast<int>(rng() % 9);
            for (int i = 0; i < length; ++i)
                list += alphabet[rng() % alphabet.size()];
            group.lists.push_back(list);
            group.free.push_back(rng() % 2 == 0);
        }
        mismatches += count_mismatches(group, rng, 200);
    }
    EXPECT_EQ(mismatches, 0);
}
