// The manual's tables against orbasm: every encoding row ("| `source` | `bytes` |"), every row of the
// error table ("| "Message" | ... | `example` |"), of the message tables ("| Source | Message |"),
// of the value tables ("| Written | Value |": the expression as dd's operand) and of the
// normalisation table ("| You write | orbasm reads |": the echo). The fenced examples of the
// manual and the README are run by docs_test.cpp.
#include "support/in_process.h"
#include "tools/markdown.h"
#include "tools/tool_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

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

// Every message an error of orbasm can have, read from the assembler's checks: the quoted texts of
// every fatal_check, fatal_stop and t_fatal_stop made in src/ outside the tools' own folders.
static std::vector<std::string> all_messages() {
    std::vector<std::string> messages;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(ORBASM_SOURCE_DIR "/src")) {
        const std::string path = entry.path().string();
        if (!entry.is_regular_file() || path.find("/src/tools/") != std::string::npos ||
            path.find("/src/disasm/") != std::string::npos)
            continue;
        std::string text = read_text(path);
        for (std::size_t at = 0; (at = text.find("//", at)) != std::string::npos;)
            text.erase(at, text.find('\n', at) - at);
        for (const std::string call : {"fatal_check(", "fatal_stop(", "t_fatal_stop{"})
            for (std::size_t at = 0; (at = text.find(call, at)) != std::string::npos; ++at)
                for (std::size_t quote = text.find('"', at); quote < text.find(';', at);
                     quote = text.find('"', text.find('"', quote + 1) + 1))
                    messages.push_back(text.substr(quote + 1, text.find('"', quote + 1) - quote - 1));
    }
    std::sort(messages.begin(), messages.end());
    messages.erase(std::unique(messages.begin(), messages.end()), messages.end());
    return messages;
}

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
    const std::vector<std::string> messages = all_messages();
    EXPECT_NE(std::find(messages.begin(), messages.end(), "Out of memory"), messages.end());
    for (const std::string& message : messages)
        EXPECT_NE(std::find(explained.begin(), explained.end(), message), explained.end())
            << "the manual does not explain \"" << message << "\"";
    EXPECT_GE(examples, 25);
}

// The rows of every table whose header row starts with the given cells.
static std::vector<std::vector<std::string>> table_rows(const std::vector<std::string>& header) {
    std::vector<std::vector<std::string>> rows;
    bool inside = false;
    for (const std::string& line : manual_lines()) {
        const std::vector<std::string> cells = table_cells(line);
        if (cells.empty()) {
            inside = false;
        } else if (cells.size() >= header.size() && std::equal(header.begin(), header.end(), cells.begin())) {
            inside = true;
        } else if (inside && cells[0].find_first_not_of('-') != std::string::npos) {
            rows.push_back(cells);
        }
    }
    return rows;
}

// "| Written | Value |" rows: the expression, as the operand of dd, gives that 32-bit value.
TEST(Manual, ValueExamplesAreWhatOrbasmComputes) {
    int rows = 0;
    for (const std::vector<std::string>& cells : table_rows({"Written", "Value"})) {
        ++rows;
        const std::vector<std::string> expression = code_spans(cells[0]);
        ASSERT_EQ(expression.size(), 1u) << cells[0];
        const t_assembly result = assemble_lines({"dd " + expression[0]});
        int32_t value = 0;
        for (std::size_t k = 0; k < result.image.size() && k < 4; ++k)
            value = static_cast<int32_t>(static_cast<uint32_t>(value) | uint32_t(result.image[k]) << (8 * k));
        const bool good = result.ok && result.image.size() == 4 && std::to_string(value) == cells[1];
        EXPECT_TRUE(good) << "`" << expression[0] << "` is " << cells[1] << " in the manual; orbasm gives " << value
                          << "\n" << error_message(result);
    }
    EXPECT_GE(rows, 20) << "the manual's value tables were not found";
}

// "| You write | orbasm reads |" rows: the first line orbasm echoes is the normalised line.
TEST(Manual, NormalisationExamplesAreWhatOrbasmEchoes) {
    int rows = 0;
    for (const std::vector<std::string>& cells : table_rows({"You write", "orbasm reads"})) {
        ++rows;
        const std::vector<std::string> written = code_spans(cells[0]);
        const std::vector<std::string> read = code_spans(cells[1]);
        ASSERT_TRUE(written.size() == 1 && read.size() == 1) << cells[0] << " | " << cells[1];
        const t_assembly result = assemble_lines(written);
        const std::string echo = result.output.substr(0, result.output.find('\n'));
        EXPECT_EQ(echo, read[0]) << "for `" << written[0] << "`";
    }
    EXPECT_GE(rows, 8) << "the manual's normalisation table was not found";
}

// "| Source | Message |" rows: the source, through the binary, ends with exactly that message and
// no image.
TEST(Manual, MessageExamplesAreWhatOrbasmReports) {
    int rows = 0;
    for (const std::vector<std::string>& cells : table_rows({"Source", "Message"})) {
        ++rows;
        const std::vector<std::string> source = code_spans(cells[0]);
        const std::vector<std::string> message = code_spans(cells[1]);
        ASSERT_TRUE(!source.empty() && message.size() == 1) << cells[0] << " | " << cells[1];
        t_workdir dir = make_workdir();
        write_file(dir, "t.asm", join_lines(source));
        const t_run run = run_orbasm(dir, {"t.asm"}, "\n");
        const std::size_t at = run.stdout_text.find("\nError : ");
        const std::string reported =
            at == std::string::npos ? "" : run.stdout_text.substr(at + 9, run.stdout_text.find('\n', at + 9) - at - 9);
        EXPECT_TRUE(run.exit_code == 1 && !run.has_image && reported == message[0])
            << cells[0] << " should stop with " << cells[1] << "; orbasm reports: " << reported;
        remove_workdir(dir);
    }
    EXPECT_GE(rows, 15) << "the manual's message tables were not found";
}
