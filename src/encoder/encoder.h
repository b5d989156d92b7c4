// Instruction encoding: every line that is not a directive or label becomes items here.
//
// The instruction word, 16 bits, written little-endian:
//
//   15 14 13 12 11 10  9  8  7  6  5  4  3  2  1  0
//  +-----+-----------------+-----------+-----------+
//  |size |   operation     |  a / cond |  b / base |
//  +-----+-----------------+-----------+-----------+
//
// size: 00 or 01 nothing follows, 10 a 16-bit operand follows, 11 a 32-bit operand follows.
// Most forms put the last register (or a memory operand's base) in bits 0-3 and the first
// register or a condition in bits 4-7; each stage computes the rest from its keyword numbers.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "driver/driver.h"

// Encodes the current line; "Syntax Error" when no stage recognises it.
void encode_instruction();

// Notes for a line that no stage recognises: its first word, and the nearest mnemonic (or
// directive) when one is near.
std::vector<t_note> mnemonic_notes(std::string_view line);
// A note for an undefined name one edit from a register's name; none otherwise.
std::vector<t_note> register_notes(std::string_view name);

// The words of the language, for tools (completion, syntax files). Each list is written as the
// matcher reads it: "/" between alternatives, "|" between synonyms, "^" for a number that never
// matches; a word may carry the blank and punctuation that follow it ("push ", "byte [").
struct t_word_list {
    std::string_view kind; // "mnemonic", "directive", "register", "condition", "special register",
                           // "float register" or "operand word"
    std::string_view list;
};
extern const t_word_list language_words[];
extern const int32_t language_word_lists;
