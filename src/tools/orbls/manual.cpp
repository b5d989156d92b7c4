// Help from the manual: its sections split into paragraphs and tables, searched for a word.
#include "tools/orbls/manual.h"

#include "tools/orbls/manual_text.h"

#include <vector>

namespace {
// A block of a section: a paragraph (its lines joined) or a table (its rows).
struct t_block {
    bool table;
    std::vector<std::string> lines; // a paragraph's single joined line, or a table's rows
};
} // namespace

namespace {
struct t_section {
    std::string title; // the heading without its "#" marks
    std::vector<t_block> blocks;
};
} // namespace

static std::vector<t_section> sections_of(std::string_view text) {
    std::vector<t_section> sections;
    bool in_code = false;
    bool block_open = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.substr(0, 3) == "```") {
            in_code = !in_code;
            block_open = false;
            continue;
        }
        if (in_code)
            continue;
        if (line.substr(0, 3) == "## " || line.substr(0, 4) == "### ") {
            sections.push_back({std::string(line.substr(line.find(' ') + 1)), {}});
            block_open = false;
            continue;
        }
        if (sections.empty() || line.empty()) {
            block_open = false;
            continue;
        }
        const bool row = line[0] == '|';
        std::vector<t_block>& blocks = sections.back().blocks;
        if (block_open && blocks.back().table == row && row) {
            blocks.back().lines.emplace_back(line);
        } else if (block_open && !row && !blocks.back().table) {
            blocks.back().lines.back().append(" ").append(line);
        } else {
            blocks.push_back({row, {std::string(line)}});
        }
        block_open = true;
    }
    return sections;
}

// The cells of a table row, trimmed.
static std::vector<std::string> cells_of(std::string_view row) {
    std::vector<std::string> cells;
    std::string cell;
    for (std::size_t k = 1; k < row.size(); ++k) {
        if (row[k] != '|') {
            cell += row[k];
            continue;
        }
        const std::size_t first = cell.find_first_not_of(' ');
        cells.push_back(first == std::string::npos ? "" : cell.substr(first, cell.find_last_not_of(' ') - first + 1));
        cell.clear();
    }
    return cells;
}

// The texts of the code spans in text.
static std::vector<std::string> code_spans(std::string_view text) {
    std::vector<std::string> spans;
    for (std::size_t open = text.find('`'); open != std::string_view::npos; open = text.find('`', open + 1)) {
        const std::size_t close = text.find('`', open + 1);
        if (close == std::string_view::npos)
            break;
        spans.emplace_back(text.substr(open + 1, close - open - 1));
        open = close;
    }
    return spans;
}

// A code span's first word: "xchg [sp],r" gives xchg, "ld c,d,x" gives ld.
static std::string_view first_word(std::string_view span) {
    return span.substr(0, span.find_first_of(" ,["));
}

static bool names_first(std::string_view text, std::string_view word) {
    for (const std::string& span : code_spans(text))
        if (first_word(span) == word)
            return true;
    return false;
}

static bool names_exactly(std::string_view text, std::string_view word) {
    for (const std::string& span : code_spans(text))
        if (span == word)
            return true;
    return false;
}

// The first sentence of a paragraph: up to the first ". " outside code spans, or the whole.
static std::string_view first_sentence(std::string_view paragraph) {
    bool in_span = false;
    for (std::size_t k = 0; k + 1 < paragraph.size(); ++k) {
        in_span = paragraph[k] == '`' ? !in_span : in_span;
        if (!in_span && paragraph[k] == '.' && paragraph[k + 1] == ' ')
            return paragraph.substr(0, k + 1);
    }
    return paragraph;
}

static std::string table_head(const t_block& table) {
    const std::vector<std::string> cells = cells_of(table.lines[0]);
    return cells.empty() ? "" : cells[0];
}

// A table's header and ruler, then the rows given.
static std::string table_text(const t_block& table, const std::vector<std::string>& rows) {
    std::string text = table.lines[0] + "\n" + (table.lines.size() > 1 ? table.lines[1] : "|---|") + "\n";
    for (const std::string& row : rows)
        text += row + "\n";
    return text;
}

static std::string directive_help(const std::vector<t_section>& sections, std::string_view word) {
    std::string text;
    for (const t_section& section : sections)
        for (const t_block& block : section.blocks) {
            if (!block.table || table_head(block) != "Directive")
                continue;
            std::vector<std::string> rows;
            for (std::size_t k = 2; k < block.lines.size(); ++k) {
                const std::vector<std::string> cells = cells_of(block.lines[k]);
                if (!cells.empty() && names_first(cells[0], word))
                    rows.push_back(block.lines[k]);
            }
            if (!rows.empty())
                text += "**" + std::string(word) + "** — " + section.title + "\n\n" + table_text(block, rows);
        }
    return text;
}

// The number of word in a table of numbers and mnemonics ("| 17 | `inc2` |"), or "".
static std::string number_in_table(const t_block& table, std::string_view word) {
    for (std::size_t k = 2; k < table.lines.size(); ++k) {
        const std::vector<std::string> cells = cells_of(table.lines[k]);
        for (std::size_t c = 1; c < cells.size(); ++c)
            if (names_exactly(cells[c], word))
                return cells[c - 1];
    }
    return "";
}

// The help of one section on a mnemonic it names; "" when it does not name it.
static std::string section_help(const t_section& section, std::string_view word) {
    bool has_forms = false;
    bool named = names_first(section.title, word);
    std::string sentences;
    std::string number;
    for (const t_block& block : section.blocks) {
        const std::string head = block.table ? table_head(block) : "";
        if (head == "Form" || head == "Definition") {
            has_forms = true;
            for (std::size_t k = 2; k < block.lines.size(); ++k)
                named = named || names_first(cells_of(block.lines[k])[0], word);
        } else if (head == "n") {
            number = number_in_table(block, word);
            named = named || !number.empty();
        } else if (!block.table && names_exactly(first_sentence(block.lines[0]), word)) {
            named = true;
            sentences += std::string(first_sentence(block.lines[0])) + "\n\n";
        }
    }
    if (!has_forms || !named)
        return "";
    std::string text = "**" + std::string(word) + "** — " + section.title + "\n\n" + sentences;
    if (!number.empty())
        text += "n = " + number + "\n\n";
    for (const t_block& block : section.blocks) {
        const std::string head = block.table ? table_head(block) : "";
        if (head == "Form" || head == "Definition") {
            text += table_text(block, std::vector<std::string>(block.lines.begin() + 2, block.lines.end())) + "\n";
        } else if (head == "Source") {
            std::vector<std::string> examples;
            for (std::size_t k = 2; k < block.lines.size(); ++k) {
                const std::vector<std::string> cells = cells_of(block.lines[k]);
                if (!cells.empty() && names_first(cells[0], word))
                    examples.push_back(block.lines[k]);
            }
            if (!examples.empty())
                text += table_text(block, examples) + "\n";
        }
    }
    return text;
}

static std::string help_in(const std::vector<t_section>& sections, std::string_view word) {
    if (word.empty())
        return "";
    if (word[0] == '#')
        return directive_help(sections, word);
    std::string text;
    for (const t_section& section : sections) {
        const std::string help = section_help(section, word);
        if (!help.empty())
            text += (text.empty() ? "" : "---\n\n") + help;
    }
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

std::string word_help_from(std::string_view manual_text, std::string_view word) {
    return help_in(sections_of(manual_text), word);
}

std::string word_help(std::string_view word) {
    static const std::vector<t_section> sections = sections_of(manual_instruction_text);
    return help_in(sections, word);
}
