// Help on the language's words, taken from the manual's tables: the manual is the one place where
// an instruction's forms are written, and the build embeds its text.
#pragma once
#include <string>
#include <string_view>

// Markdown help on a mnemonic or directive: the manual's section, the sentences that name it,
// its forms and examples; "" for a word the manual's tables do not name.
std::string word_help(std::string_view word);
// The same from the given manual text instead of the embedded one.
std::string word_help_from(std::string_view manual_text, std::string_view word);
