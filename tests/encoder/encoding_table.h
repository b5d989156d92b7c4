// Encoding tables: source lines -> image bytes, or -> the error message and no image.
#pragma once
#include "support/in_process.h"

#include <gtest/gtest.h>
#include <sstream>

struct t_encoding {
    std::string source;  // lines separated by "\n"; written to the file with CR LF ends
    std::string bytes;   // expected image in hex ("01 10"), when no error is expected
    std::string error = {}; // expected message of the report; empty for a successful run
};

// Assembles every row and reports every mismatch, then the count that passed.
inline void check_encodings(const std::vector<t_encoding>& rows) {
    int passed = 0;
    for (const t_encoding& row : rows) {
        std::vector<std::string> lines;
        std::stringstream in(row.source);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        t_assembly result = assemble_lines(lines);
        bool good;
        if (row.error.empty()) {
            good = result.ok && result.has_image && hex_bytes(result.image) == row.bytes;
            EXPECT_TRUE(good) << "source: " << row.source << "\n expected " << row.bytes << "\n got " << hex_bytes(result.image)
                              << "\n" << result.output;
        } else {
            good = !result.ok && !result.has_image && error_message(result) == row.error;
            EXPECT_TRUE(good) << "source: " << row.source << "\n expected error " << row.error << "\n got " << result.output;
        }
        passed += good ? 1 : 0;
    }
    std::cout << passed << " of " << rows.size() << " encodings as expected\n";
}
