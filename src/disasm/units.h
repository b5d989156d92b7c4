// Inside the disassembler: the decoded units and the steps that build them. Not for other folders.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// Joins texts by appending them in order (also keeps clear of GCC 12's false -Wrestrict warning
// on a literal added to a temporary string).
inline std::string cat(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (std::string_view part : parts)
        text.append(part);
    return text;
}

// How a unit's operand is written. ORDER: none.
enum : int32_t {
    operand_none = 0,     // the text is complete
    operand_number,       // a value, written as a number
    operand_displacement, // a nonzero displacement inside a bracket: "+n" or "-n"
    operand_absolute,     // an absolute target: its label where one may be used, else a number
    operand_relative,     // a target relative to the word: its label, or the own label plus the offset
    operand_data_word,    // a "dd" value: a label where one stands at that address, else a number
};

// What a unit is. ORDER: none.
enum : int32_t {
    unit_instruction = 0, // an instruction word and its operand
    unit_word,            // a word no instruction form gives: "dw"
    unit_byte,            // a single byte: "db"
    unit_magic,           // the header's "ORBX"
    unit_header_word,     // one of the header's seven 32-bit words
};

struct t_unit {
    int32_t kind;       // one of the unit kinds
    int32_t address;    // its first byte
    int32_t size;       // its bytes
    bool deferred;      // orbasm lays it out as a deferred operand: 4 bytes in its first pass
    std::string before; // text in front of the operand
    std::string after;  // text after the operand
    int32_t operand;    // one of the operand kinds
    int32_t value;      // the operand as orbasm evaluates it (for a relative target: target - address)
    int64_t target;     // absolute and relative targets, data words: the address meant
    std::string label;  // the label written for the operand; "" writes the number
};

// The header at the start of an image, when there is one.
struct t_header {
    bool present;     // the image has at least 32 bytes and opens with "ORBX"
    bool rebuilt;     // "#header" with labels and reserves reproduces the 32 bytes exactly
    int32_t words[7]; // the seven words, as signed values
};

// The header's labels, in the order their names are preferred at a shared address.
inline constexpr int32_t header_label_count = 4;
inline constexpr const char* header_label_names[header_label_count] = {"@runpoint", "@start", "@stack",
                                                                        "@endofstack"};

// A number as orbasm reads it back to the same value: decimal from -9 to 9, else hexadecimal
// with the "h" suffix and a leading 0 before a letter ("0Ah", "-1000h").
std::string number_text(int32_t value);
// The shortest decimal text (at most 20 characters, no exponent sign) from which orbasm's
// conversion gives exactly the single-precision bits; false when there is none.
bool single_constant_text(uint32_t bits, std::string& text);

// Decodes the instruction at address; false when its word is none that orbasm writes, its
// operand does not fit in the image, or orbasm would write that text in other bytes.
bool decode_instruction(const std::vector<uint8_t>& image, int32_t address, t_unit& unit);

// Reads the header at the start of the image and decides whether "#header" can rebuild it.
t_header read_header(const std::vector<uint8_t>& image);
// The address of header label k (see header_label_names).
int32_t header_label_address(const t_header& header, int32_t k);

// Cuts the image into units from address 0: the header when present, then instructions, and
// data where no instruction fits. No unit crosses a header label inside the image.
std::vector<t_unit> sweep_image(const std::vector<uint8_t>& image, const t_header& header);

// Label names by address, in the order they are defined there.
struct t_label_site {
    int64_t address;                // where the labels stand
    std::vector<std::string> names; // the names defined there
};

// Chooses the label of every operand that may carry one, and returns every label to define,
// sorted by address. A label goes only where orbasm's layout gives the operand the same size.
std::vector<t_label_site> place_labels(std::vector<t_unit>& units, const t_header& header, int64_t image_size);

// The source text of a unit: "" for the header words that "#header" writes.
std::string unit_text(const t_unit& unit);
