// Diagnostics as the command-line tools print them: "FILE:LINE:COL: error: MESSAGE", then the line
// as written with a caret under the word at fault, hints, and one note per enclosing #include.
#pragma once
#include "driver/orbasm.h"

#include <string>
#include <string_view>
#include <vector>

// One word of the language with the kind of its list: each list split at "/" and "|", each
// entry's first run of word characters ("push " gives push, ",ax =" gives ax), "^" left out, each
// word once per kind.
struct t_language_word {
    std::string word;
    std::string_view kind;
};
const std::vector<t_language_word>& language_word_table();

// Hints where a common mistake is likely, for an error with a place: they follow it, before its
// notes.
std::vector<std::string> diagnostic_hints(const t_diagnostic& diagnostic);
// The text of one diagnostic. A warning made an error (-Werror) says so; program names the tool
// where the diagnostic belongs to no file.
std::string format_diagnostic(const t_diagnostic& diagnostic, std::string_view program, bool warning_as_error);
// The classic report of a diagnostic, as the console form prints it (a warning says "Warning").
std::string format_classic(const t_diagnostic& diagnostic);
// The count of -fmax-errors=N: digits only, at most nine of them; false for anything else.
bool parse_error_limit(std::string_view text, int32_t& limit);
// Writes text to standard error.
void print_error_text(std::string_view text);
