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

// Encodes the current line; "Syntax Error" when no stage recognises it.
void encode_instruction();
