// Reading the documentation's Markdown: table rows, code spans and fenced blocks, for the tests
// that run the documents' examples.
#pragma once
#include <string>
#include <vector>

// The cells of a table row, trimmed; empty when the line is no table row.
inline std::vector<std::string> table_cells(const std::string& line) {
    std::vector<std::string> cells;
    if (line.size() < 2 || line[0] != '|')
        return cells;
    std::string cell;
    for (std::size_t k = 1; k < line.size(); ++k) {
        if (line[k] != '|') {
            cell += line[k];
            continue;
        }
        const std::size_t first = cell.find_first_not_of(' ');
        const std::size_t last = cell.find_last_not_of(' ');
        cells.push_back(first == std::string::npos ? "" : cell.substr(first, last - first + 1));
        cell.clear();
    }
    return cells;
}

// The code spans of a cell, in order; empty unless the cell is made of code spans only, joined by
// joiner ("`a`<br>`b`" gives a and b).
inline std::vector<std::string> code_spans(const std::string& cell, const std::string& joiner = "<br>") {
    std::vector<std::string> spans;
    std::size_t at = 0;
    while (at < cell.size()) {
        if (cell[at] != '`')
            return {};
        const std::size_t close = cell.find('`', at + 1);
        if (close == std::string::npos)
            return {};
        spans.push_back(cell.substr(at + 1, close - at - 1));
        at = close + 1;
        if (cell.compare(at, joiner.size(), joiner) == 0)
            at += joiner.size();
        else if (at != cell.size())
            return {};
    }
    return spans;
}

// True for "01 2C FF": hexadecimal byte pairs separated by single blanks.
inline bool is_hex_bytes(const std::string& text) {
    if (text.empty() || text.size() % 3 != 2)
        return false;
    for (std::size_t k = 0; k < text.size(); ++k) {
        const char c = text[k];
        const bool hex_digit = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
        if (k % 3 == 2 ? c != ' ' : !hex_digit)
            return false;
    }
    return true;
}

// A fenced block: "```tag name" up to the closing "```".
struct t_fenced_block {
    std::string tag;                // the info string's first word; "" when there is none
    std::string name;               // the rest of the info string, trimmed
    std::vector<std::string> lines; // the lines inside the fences
    std::string section;            // the "## " heading the block stands under
    int32_t first_line = 0;         // 1-based line of the opening fence
    bool follows_block = false;     // only blank lines stand between this block and the one before
};

// The document's lines, and the problems of its form that the tests report: a fence that is never
// closed, an indented code block.
struct t_markdown {
    std::vector<std::string> lines;
    std::vector<t_fenced_block> blocks;
    std::vector<std::string> problems;
};

inline t_markdown read_markdown(const std::string& text) {
    t_markdown doc;
    std::string line;
    for (const char c : text) {
        if (c == '\n') {
            doc.lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty())
        doc.lines.push_back(line);
    std::string section;
    int32_t last_block_end = -1; // index of the closing fence of the block before, or -1
    for (std::size_t k = 0; k < doc.lines.size(); ++k) {
        const std::string& text_line = doc.lines[k];
        if (text_line.rfind("## ", 0) == 0)
            section = text_line.substr(3);
        const bool blank_before = k == 0 || doc.lines[k - 1].find_first_not_of(' ') == std::string::npos;
        if (blank_before && (text_line.rfind("    ", 0) == 0 || text_line.rfind("\t", 0) == 0) &&
            text_line.find_first_not_of(" \t") != std::string::npos)
            doc.problems.push_back("line " + std::to_string(k + 1) + " is an indented code block: fence it and tag it");
        if (text_line.rfind("```", 0) != 0)
            continue;
        t_fenced_block block;
        const std::string info = text_line.substr(3);
        const std::size_t blank = info.find(' ');
        block.tag = info.substr(0, blank);
        if (blank != std::string::npos) {
            const std::size_t first = info.find_first_not_of(' ', blank);
            block.name = first == std::string::npos ? "" : info.substr(first);
        }
        block.section = section;
        block.first_line = static_cast<int32_t>(k + 1);
        block.follows_block = last_block_end >= 0;
        for (std::size_t between = static_cast<std::size_t>(last_block_end + 1); block.follows_block && between < k;
             ++between)
            block.follows_block = doc.lines[between].find_first_not_of(' ') == std::string::npos;
        std::size_t end = k + 1;
        while (end < doc.lines.size() && doc.lines[end] != "```")
            block.lines.push_back(doc.lines[end++]);
        if (end == doc.lines.size())
            doc.problems.push_back("the fence of line " + std::to_string(k + 1) + " is never closed");
        doc.blocks.push_back(block);
        last_block_end = static_cast<int32_t>(end);
        k = end;
    }
    return doc;
}
