// Runs whole assemblies inside the test process and collects what they print and write.
#pragma once
#include "base/base.h"

#include <cstdint>
#include <string>
#include <vector>

struct t_assembly {
    bool ok;                    // the run ended without a report
    std::string output;         // the echo and the report
    bool has_image;             // an image file was written
    std::vector<uint8_t> image; // its bytes
};

// Assembles the named file (its image, if any, is removed first and read back after).
t_assembly assemble_file(const std::string& path);
// Assembles the named file over whatever file its image name holds.
t_assembly assemble_file_over(const std::string& path);
// Assembles source (lines joined with CR LF) from a file in a fresh temporary directory.
t_assembly assemble_lines(const std::vector<std::string>& lines);
// Assembles the exact bytes of source.
t_assembly assemble_text(const std::string& source);
// The image as hex bytes separated by blanks ("01 10 AA").
std::string hex_bytes(const std::vector<uint8_t>& bytes);
// The report's "Error : " line without its label, or "" when the run succeeded.
std::string error_message(const t_assembly& result);
// The message of the check that stops step, or "" when step returns.
template <typename F> std::string stop_message(F step) {
    try {
        step();
    } catch (const t_fatal_stop& stop) {
        return stop.message;
    }
    return "";
}
