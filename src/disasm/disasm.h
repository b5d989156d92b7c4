// The disassembler: an image decoded into orbasm source, one line per instruction or data item.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// What a decoded line stands for. ORDER: none; the numbers only tell the kinds apart.
enum : int32_t {
    dis_label = 0,       // a label definition; covers no bytes
    dis_instruction = 1, // an instruction
    dis_data = 2,        // a data definition: dw, db or dd
    dis_header = 3,      // the header: "#header" on its first line, the words it writes after it
    dis_reserve = 4,     // #data past the end of the image, for the memory the header describes
};

struct t_dis_line {
    int32_t kind;     // one of the kinds above
    int32_t address;  // the first byte it covers; for labels and reserves the address they mark
    int32_t size;     // bytes of the image it covers; 0 for labels and reserves
    std::string text; // orbasm source; "" for the header words that "#header" writes by itself
    std::string note; // for the listing only: the meaning of a header field; "" otherwise
};

// Decodes a whole image (at most 7FFFFFFFh bytes). Assembling the texts of the lines in order
// reproduces the image byte for byte, whatever its bytes.
std::vector<t_dis_line> disassemble(const std::vector<uint8_t>& image);

// Pure source: every non-empty text on a line of its own.
std::string source_text(const std::vector<t_dis_line>& lines);

// The listing: per line the address and the bytes in hex, then the text and the note.
std::string listing_text(const std::vector<uint8_t>& image, const std::vector<t_dis_line>& lines);
