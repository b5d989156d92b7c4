// The manual's examples against orbasm: every encoding-table row ("| `source` | `bytes` |") and
// every error-table row ("| "Message" | ... | `example` |") of docs/manual.md.
#include "support/in_process.h"
#include "tools/tool_run.h"

#include <gtest/gtest.h>

#include <sstream>

// The cells of a table row, trimmed; empty when the line is no table row.
static std::vector<std::string> table_cells(const std::string& line) {
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

// The code spans of a cell, in order ("`a`<br>`b`" gives a and b); empty unless the cell is
// made of code spans only, joined by "<br>".
static std::vector<std::string> code_spans(const std::string& cell) {
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
        if (cell.compare(at, 4, "<br>") == 0)
            at += 4;
        else if (at != cell.size())
            return {};
    }
    return spans;
}

// True for "01 2C FF": hexadecimal byte pairs separated by single blanks.
static bool is_hex_bytes(const std::string& text) {
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

static std::vector<std::string> manual_lines() {
    std::stringstream in(read_text(ORBASM_SOURCE_DIR "/docs/manual.md"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(Manual, EncodingExamplesAreWhatOrbasmWrites) {
    int rows = 0;
    int passed = 0;
    for (const std::string& line : manual_lines()) {
        const std::vector<std::string> cells = table_cells(line);
        if (cells.size() < 2)
            continue;
        const std::vector<std::string> source = code_spans(cells[0]);
        const std::vector<std::string> bytes = code_spans(cells[1]);
        if (source.empty() || bytes.size() != 1 || !is_hex_bytes(bytes[0]))
            continue;
        ++rows;
        const t_assembly result = assemble_lines(source);
        const bool good = result.ok && hex_bytes(result.image) == bytes[0];
        EXPECT_TRUE(good) << line << "\n orbasm writes " << hex_bytes(result.image) << "\n" << error_message(result);
        passed += good ? 1 : 0;
    }
    std::cout << passed << " of " << rows << " encoding examples of the manual agree with orbasm\n";
    EXPECT_GE(rows, 100) << "the manual's encoding tables were not found";
}

// Every message orbasm can print; the manual's error table must explain each of them.
static const std::vector<std::string> all_messages = {
    "Syntax Error", "Comma expected", "Register expected", "Register or something expected",
    "[register] or register expected", "Brackets don't match", "] expected", "Too many conditions",
    "Interrupt number must be between 0 and 0ffh", "Float register expected", "round expected", "fld syntax error",
    "float value error", "String exceeds line", "String exceeding line", "Immediate value expected",
    "Constant not defined", "Constant or label redeclared", "Constant or label not defined - ",
    "Error in constant definition", "Invalid label", "Could not satisfy #org statement",
    "Alignment must be at least 1", "Size must not be negative", "Image too large", "Bad include statement",
    "Could not read file", "Too many nested includes", "Could not write output file", "Line too long", "Out of memory"};

TEST(Manual, ErrorExamplesGiveTheirMessage) {
    std::vector<std::string> explained;
    int examples = 0;
    int passed = 0;
    for (const std::string& line : manual_lines()) {
        const std::vector<std::string> cells = table_cells(line);
        if (cells.size() != 4 || cells[0].size() < 2 || cells[0][0] != '"')
            continue;
        const std::string message = cells[0].substr(1, cells[0].find('"', 1) - 1);
        explained.push_back(message);
        const std::vector<std::string> source = code_spans(cells[3]);
        if (source.empty())
            continue;
        ++examples;
        // Through the binary, in a file named t.asm, so that includes resolve in its directory.
        t_workdir dir = make_workdir();
        write_file(dir, "t.asm", join_lines(source));
        t_run run = run_orbasm(dir, {"t.asm"}, "\n");
        const std::size_t at = run.stdout_text.find("\nError : ");
        const std::string reported =
            at == std::string::npos ? "" : run.stdout_text.substr(at + 9, run.stdout_text.find('\n', at + 9) - at - 9);
        const bool good = run.exit_code == 1 && !run.has_image && reported.rfind(message, 0) == 0;
        EXPECT_TRUE(good) << line << "\n reported: " << reported;
        passed += good ? 1 : 0;
        remove_workdir(dir);
    }
    std::cout << passed << " of " << examples << " error examples of the manual give their message\n";
    for (const std::string& message : all_messages)
        EXPECT_NE(std::find(explained.begin(), explained.end(), message), explained.end())
            << "the manual does not explain \"" << message << "\"";
    EXPECT_GE(examples, 25);
}
