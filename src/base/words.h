// The words of the language and the facts of the machine that normalisation, the encoder, the
// disassembler, the diagnostics and the editors' grammars share; it includes nothing of ours.
// Each list is written as the matcher reads it: "/" between alternatives, "|" between synonyms,
// "^" for a number that never matches; a word may carry the blank and punctuation that follow it
// ("push ", "byte [").
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

// ORDER: index - 1 is the register number; never reorder.
inline constexpr std::string_view register_list =
    "ax|r0/bx|r1/cx|r2/dx|r3/ex|r4/fx|r5/gx|r6/hx|r7/ix|r8/jx|r9/kx|ra|r10/lx|rb|r11/mx|rc|r12/nx|rd|r13/"
    "ox|re|r14/px|rf|r15";
// ORDER: index - 1 is the condition number; "^" keeps 0 and 8 free, the second "z" is never reached.
inline constexpr std::string_view condition_list = "^/c/nc/o/no/z/nz/loopcx/^/c2/nc2/o2/no2/z/nz2/loopdx";
// ORDER: index - 1 is the special register number within its list.
inline constexpr std::string_view special_list_low =
    "sr00|sp/sr01|spl/sr02|ip/sr03|itb/sr04|pbt/sr05|pbd/sr06|dsb/sr07|esb/sr08|flags/sr09/sr0a/sr0b/sr0c/"
    "sr0d/sr0e/sr0f";
inline constexpr std::string_view special_list_high =
    "sr10/sr11/sr12/sr13/sr14/sr15/sr16/sr17/sr18/sr19/sr1a/sr1b/sr1c/sr1d/sr1e/sr1f";
// ORDER: index - 1 is the float register number.
inline constexpr std::string_view float_register_list = "q0/q1/q2/q3/q4/q5/q6/q7/q8/q9/qa/qb/qc/qd/qe/qf";

// ORDER: index - 1 is the directive (see the dispatcher); no name is a prefix of another, so one
// list answers as trying them one by one would.
inline constexpr std::string_view directive_list = "#include/#org/#align/#data/#zero/#header/#const";
// The words that stand inside operands.
// ORDER: index - 1 is the access code of a store (plus 4).
inline constexpr std::string_view store_list = "[/byte [/word [";
// ORDER: index - 1 is the access code of a load; "^" holds the store codes 4 to 6.
inline constexpr std::string_view load_list = "[/byte [/word [/short [/^/^/^/int [";
inline constexpr std::string_view segment_list = "es :";
// ORDER: index - 1 is the precision: single, double, extended.
inline constexpr std::string_view precision_list = "single [/double [/extended [";
inline constexpr std::string_view integer_list = "int/long";
inline constexpr std::string_view single_list = "single";
inline constexpr std::string_view round_list = ",round";
inline constexpr std::string_view ax_list = ",ax =";
inline constexpr std::string_view operand_lists[] = {store_list,   load_list,   segment_list, precision_list,
                                                     integer_list, single_list, round_list,   ax_list};

// The mnemonic lists of the encoder's stages.
// ORDER: index - 1 is the operation number; the two groups interleave by it.
inline constexpr std::string_view packed_list =
    "padd/padds/psub/psubs/piadds/psapadd/pisubs/psrpadd/imul64/mul64/div64";
inline constexpr std::string_view arithmetic_list = "add/adc/sub/sbc/and/or/xor/test/cmp/mul/div";
// ORDER: push, pop, exchange with the stack top; written as normalisation leaves them.
inline constexpr std::string_view stack_list = "push /pop /xchg [sp ],";
// ORDER: index - 1 is the operation number in bits 4-9; "cvsebd" and "cvsewd" are synonyms.
inline constexpr std::string_view unary_list =
    "neg/sar/shl/shr/rol/ror/rcl/rcr/negdx/sardx/shldx/shrdx/roldx/rordx/rcldx/rcrdx/"
    "inc/inc2/inc4/inc8/inc10/inc12/inc16/inc24/dec1/dec2/dec4/dec8/dec10/dec12/dec16/dec24/"
    "swp0000/swp0004/swp0034/swp0234/swp4321/swp0001/swp0012/swp0123/swp0204/swp0103/swp0102/swp0304/"
    "swp2040/swp1030/swp1020/swp3040/swp1243/swp2134/swp2143/swp4231/swp4123/swp3412/swp2341/swp1324/"
    "swp1111/swp2222/swp3333/swp4444/swp3214/swp0404/swpss34|cvsebd/swpsss4|cvsewd";
// ORDER: index - 1 is the operation number; "^" holds two numbers that never match.
inline constexpr std::string_view float_unary_list =
    "fsin/fcos/ftan/fsincos/fexp/fln/fround/ftrunc/fsqrt/finv/fabs/fminus/fpatan/^/^/ftest";
// ORDER: index - 1 is added to the high byte 0x33.
inline constexpr std::string_view float_binary_list = "fadd/fsub/fmul/fdiv";
// ORDER: index - 1 is the definition: db, dw, dd, then single, double, extended (precision index - 3).
inline constexpr std::string_view data_list = "db/dw/dd/dsingle/ddouble/dextended";
inline constexpr std::string_view relative_list = "jr/calr";
inline constexpr std::string_view jump_list = "jmp/call";
inline constexpr std::string_view ret_list = "ret";
inline constexpr std::string_view int_list = "int";
inline constexpr std::string_view xchg_list = "xchg";
inline constexpr std::string_view load_store_list = "ld/mov";
inline constexpr std::string_view fld_list = "fld";

// ORDER: the encoder tries its stages in this order, each let in by its list; the first whose word
// matches encodes the line. Never reorder.
inline constexpr std::string_view stage_words[] = {
    data_list,  packed_list,     relative_list,    jump_list,         ret_list, int_list, stack_list, arithmetic_list,
    unary_list, xchg_list,       load_store_list, float_unary_list, float_binary_list, fld_list,
};
inline constexpr int32_t stage_count = static_cast<int32_t>(std::size(stage_words));

// Every list with what its words are: the mnemonics, then the other words.
struct t_word_list {
    std::string_view kind; // "mnemonic", "directive", "register", "condition", "special register",
                           // "float register" or "operand word"
    std::string_view list;
};
inline constexpr auto language_words = [] {
    std::array<t_word_list, std::size(stage_words) + 6 + std::size(operand_lists)> lists{};
    std::size_t k = 0;
    for (std::string_view words : stage_words)
        lists[k++] = {"mnemonic", words};
    lists[k++] = {"directive", directive_list};
    lists[k++] = {"register", register_list};
    lists[k++] = {"condition", condition_list};
    lists[k++] = {"special register", special_list_low};
    lists[k++] = {"special register", special_list_high};
    lists[k++] = {"float register", float_register_list};
    for (std::string_view words : operand_lists)
        lists[k++] = {"operand word", words};
    return lists;
}();
inline constexpr int32_t language_word_lists = static_cast<int32_t>(language_words.size());

// The characters a word of the language, a name or a number is made of: normalisation separates
// everything else, and an editor picks a word by them.
inline constexpr bool is_word_character(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '#' || c == '_' ||
           c == '.' || c == '@';
}

// A deferred operand takes 16 bits when its value fits them signed, else 32.
inline constexpr bool fits_16(int64_t value) { return value >= -32768 && value <= 32767; }

// A 32-bit value as eight upper-case hexadecimal digits, as the listing, the disassembler and the
// editor write addresses.
inline std::string hex8(int32_t value) {
    char text[12];
    std::snprintf(text, sizeof text, "%08X", static_cast<uint32_t>(value));
    return text;
}
