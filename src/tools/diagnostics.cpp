// Diagnostics for a terminal, an editor's error list or a build log.
#include "tools/diagnostics.h"

#include "base/words.h"

#include <cerrno>
#include <algorithm>
#include <unistd.h>

const std::vector<t_language_word>& language_word_table() {
    static const std::vector<t_language_word> table = [] {
        std::vector<t_language_word> words;
        for (const t_word_list& words_of_kind : language_words) {
            const std::string_view list = words_of_kind.list;
            for (std::size_t at = 0; at <= list.size();) {
                const std::size_t end = std::min(list.find_first_of("/|", at), list.size());
                std::size_t first = at;
                while (first < end && !is_word_character(list[first]))
                    ++first;
                std::size_t last = first;
                while (last < end && is_word_character(list[last]))
                    ++last;
                const std::string word(list.substr(first, last - first));
                const bool known = std::any_of(words.begin(), words.end(), [&](const t_language_word& w) {
                    return w.word == word && w.kind == words_of_kind.kind;
                });
                if (!word.empty() && !known)
                    words.push_back({word, words_of_kind.kind});
                at = end + 1;
            }
        }
        return words;
    }();
    return table;
}

// A word of the line written with capitals that is a keyword in lower case, or "".
static std::string capitalised_keyword(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = at;
        while (end < text.size() && is_word_character(text[end]))
            ++end;
        std::string word(text.substr(at, end - at));
        std::string lower;
        bool capitals = false;
        for (const char c : word) {
            capitals = capitals || (c >= 'A' && c <= 'Z');
            lower += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        }
        if (capitals && std::any_of(language_word_table().begin(), language_word_table().end(),
                                    [&](const t_language_word& known) { return known.word == lower; }))
            return word;
        at = end > at ? end : at + 1;
    }
    return "";
}

std::vector<std::string> diagnostic_hints(const t_diagnostic& diagnostic) {
    const t_place& place = diagnostic.place;
    std::vector<std::string> found;
    if (diagnostic.warning || place.line == 0)
        return found;
    const std::size_t first = place.text.find_first_not_of(" \t");
    if (first != std::string::npos && place.text[first] == ';')
        found.emplace_back("there are no comment lines: a line that begins with ';' is read as an instruction");
    else if (const std::size_t semicolon = place.text.find(';', first);
             semicolon != std::string::npos && static_cast<std::size_t>(place.column) > semicolon + 1)
        found.emplace_back("text after ';' in an expression is part of the expression, not a comment");
    if (const std::string word = capitalised_keyword(place.text); !word.empty())
        found.push_back("keywords are lower case: '" + word + "' is not a keyword");
    return found;
}

// The most columns of a line a diagnostic shows, and how many of them stand before the caret when
// the line is cut.
static constexpr std::size_t window_columns = 200;
static constexpr std::size_t window_before = 80;
// "FILE:LINE:COLUMN: " of a note's own place.
static std::string note_place(const t_place& place) {
    return place.file + ":" + std::to_string(place.line) + ":" + std::to_string(place.column) + ": ";
}

std::string format_diagnostic(const t_diagnostic& diagnostic, std::string_view program, bool warning_as_error) {
    const t_place& place = diagnostic.place;
    std::string where = place.file.empty() ? std::string(program) : place.file;
    if (place.line > 0)
        where.append(":").append(std::to_string(place.line)).append(":").append(std::to_string(place.column));
    where += ": ";
    std::string text = where + (diagnostic.warning && !warning_as_error ? "warning: " : "error: ") + diagnostic.message;
    if (!diagnostic.detail.empty())
        text += " " + diagnostic.detail;
    if (diagnostic.warning) // the switch that turns it off, as GCC names it
        text.append(warning_as_error ? " [-Werror=" : " [-W").append(diagnostic.warning_name).append("]");
    text += "\n";
    if (place.line > 0) {
        // A long line is shown as a window around the word at fault, "..." where it is cut.
        const std::string& line = place.text;
        const std::size_t caret = std::min(static_cast<std::size_t>(place.column > 1 ? place.column - 1 : 0), line.size());
        std::size_t first = 0;
        std::size_t last = line.size();
        if (line.size() > window_columns) {
            first = caret > window_before ? caret - window_before : 0;
            last = std::min(line.size(), first + window_columns);
            first = last - window_columns;
        }
        const std::string_view cut = "...";
        text.append(first > 0 ? cut : "").append(line, first, last - first).append(last < line.size() ? cut : "");
        text += "\n";
        // Under the word at fault; a tab before it stays a tab, so that the caret lines up.
        text.append(first > 0 ? cut.size() : 0, ' ');
        for (std::size_t k = first; k < caret; ++k)
            text += line[k] == '\t' ? '\t' : ' ';
        std::size_t tildes = static_cast<std::size_t>(place.length > 1 ? place.length - 1 : 0);
        if (line.size() > window_columns)
            tildes = std::min(tildes, last > caret ? last - caret - 1 : 0);
        text.append("^").append(tildes, '~').append("\n");
        for (const std::string& hint : diagnostic_hints(diagnostic))
            text += where + "note: " + hint + "\n";
    }
    for (const t_note& note : diagnostic.notes)
        text += (note.place.line > 0 ? note_place(note.place) : where) + "note: " + note.message + "\n";
    for (const auto& [file, line] : place.included_from)
        text += file + ":" + std::to_string(line) + ": note: included from here\n";
    return text;
}

std::string format_classic(const t_diagnostic& diagnostic) {
    return std::string("\n") + (diagnostic.warning ? "Warning : " : "Error : ") + diagnostic.message +
           "\nFile  : " + diagnostic.report_file + "\nLine  : " + std::to_string(diagnostic.report_line) +
           "\nFault : " + diagnostic.fault + "\n";
}

bool parse_error_limit(std::string_view text, int32_t& limit) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    limit = 0;
    for (const char digit : text)
        limit = limit * 10 + (digit - '0');
    return true;
}

void print_error_text(std::string_view text) {
    while (!text.empty()) {
        const ssize_t wrote = ::write(2, text.data(), text.size());
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return;
        text.remove_prefix(static_cast<std::size_t>(wrote));
    }
}
