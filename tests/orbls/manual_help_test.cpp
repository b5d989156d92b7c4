// Help on mnemonics and directives is the manual's own text: built from docs/manual.md as it is
// now, every row and sentence found in it, for every word of the encoder.
#include "base/words.h"
#include "tools/orbls/manual.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

static std::string manual_text() {
    std::ifstream in(ORBASM_SOURCE_DIR "/docs/manual.md", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The bare words of the lists of one kind: each alternative's first run of word characters.
static std::vector<std::string> words_of_kind(std::string_view kind) {
    std::vector<std::string> words;
    for (int32_t k = 0; k < language_word_lists; ++k) {
        if (language_words[k].kind != kind)
            continue;
        std::string word;
        bool ended = false;
        for (const char c : std::string(language_words[k].list) + "/") {
            if (c == '/' || c == '|') {
                if (!word.empty() && std::find(words.begin(), words.end(), word) == words.end())
                    words.push_back(word);
                word.clear();
                ended = false;
            } else if (is_word_character(c) && !ended) {
                word += c;
            } else {
                ended = ended || !word.empty();
            }
        }
    }
    return words;
}

TEST(OrblsManualHelp, EveryWordsHelpIsTheManualsText) {
    const std::string manual = manual_text();
    ASSERT_FALSE(manual.empty());
    std::string flat = manual; // paragraphs on one line, as the help quotes their sentences
    std::replace(flat.begin(), flat.end(), '\n', ' ');
    int words = 0;
    int rows = 0;
    for (const std::string_view kind : {"mnemonic", "directive"})
        for (const std::string& word : words_of_kind(kind)) {
            ++words;
            const std::string help = word_help(word);
            EXPECT_EQ(help, word_help_from(manual, word)) << word << ": the embedded manual is not docs/manual.md";
            EXPECT_NE(help.find("\n| `"), std::string::npos) << word << " has no form in its help:\n" << help;
            std::istringstream lines(help);
            for (std::string line; std::getline(lines, line);) {
                if (line.empty() || line == "---" || line.rfind("n = ", 0) == 0)
                    continue;
                if (line.rfind("**", 0) == 0) {
                    const std::string title = line.substr(line.find(" — ") + 5);
                    EXPECT_NE(manual.find("# " + title + "\n"), std::string::npos) << word << ": no section " << title;
                } else if (line[0] == '|') {
                    ++rows;
                    EXPECT_NE(manual.find("\n" + line + "\n"), std::string::npos) << word << ": row not in the manual: " << line;
                } else {
                    EXPECT_NE(flat.find(line), std::string::npos) << word << ": sentence not in the manual: " << line;
                }
            }
        }
    std::cout << words << " words, " << rows << " table lines of help, each found in docs/manual.md\n";
    EXPECT_GT(words, 120);
}

struct t_help_case {
    std::string word;
    std::string part;   // a line the help must hold
    std::string absent; // a text it must not hold; "" for none
};

static const std::vector<t_help_case> help_cases = {
    {"sub", "**sub** — Two-operand arithmetic", "Packed"},
    {"sub", "| `add a,b` | 1000 + 200·n + 16·a + b |", ""},
    {"sub", "| `sub cx,0` | `22 6A` |", "`add ax,bx`"},
    {"padd", "| `padd a,x` | AB00 + 16·n + a, 16 or 32-bit value, written even when 0 |", "Two-operand arithmetic"},
    {"inc2", "n = 17", ""},
    {"cvsewd", "n = 63", ""},
    {"fsub", "Two-operand operations: `fadd` 0, `fsub` 1, `fmul` 2, `fdiv` 3.", ""},
    {"xchg", "**xchg** — Stack: `push`, `pop`, `xchg [sp]`", ""},
    {"xchg", "| `xchg a,[b]` | 0200 + 16·a + b |", ""},
    {"dextended", "| `dextended x` | an 80-bit extended value, 10 bytes: 64-bit significand with explicit integer bit, then sign and 15-bit exponent |", ""},
    {"#org", "**#org** — Directives", "#align"},
    {"#const", "| `#const name = value` | defines a constant. |", ""},
};

TEST(OrblsManualHelp, Sections) {
    for (const t_help_case& test : help_cases) {
        std::string help = "\n";
        help.append(word_help(test.word)).append("\n");
        EXPECT_NE(help.find("\n" + test.part + "\n"), std::string::npos) << test.word << ":" << help;
        if (!test.absent.empty()) {
            EXPECT_EQ(help.find(test.absent), std::string::npos) << test.word << ":" << help;
        }
    }
    EXPECT_EQ(word_help("ax"), "");
    EXPECT_EQ(word_help(""), "");
}

// The help follows the text it is given: a form changed in the manual is changed in the help.
TEST(OrblsManualHelp, FollowsTheManual) {
    std::string manual = manual_text();
    const std::string row = "| `neg r` | 2C00 + 16·n + r |";
    const std::size_t at = manual.find(row);
    ASSERT_NE(at, std::string::npos);
    manual.replace(at, row.size(), "| `neg r` | 1234 |");
    EXPECT_NE(word_help_from(manual, "shl").find("\n| `neg r` | 1234 |\n"), std::string::npos);
    EXPECT_NE(word_help("shl").find("\n" + row + "\n"), std::string::npos);
}
