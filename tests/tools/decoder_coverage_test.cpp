// The decoder against the assembler: every word that some source line makes orbasm write is
// decoded as an instruction, and no other word is; programs of every form decode without data.
#include "disasm/disasm.h"
#include "driver/orbasm.h"
#include "support/in_process.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

static const std::vector<std::string> registers = {"ax", "bx", "cx", "dx", "ex", "fx", "gx", "hx",
                                                   "ix", "jx", "kx", "lx", "mx", "nx", "ox", "px"};
static const std::vector<std::string> register_synonyms = {"r0", "r1", "r2",  "r3",  "r4",  "r5",  "r6",  "r7", "r8",
                                                           "r9", "ra", "rb",  "rc",  "rd",  "re",  "rf",  "r10",
                                                           "r11", "r12", "r13", "r14", "r15"};
static const std::vector<std::string> conditions = {"c",   "nc",  "o",  "no",  "z",   "nz",    "loopcx",
                                                    "c2",  "nc2", "o2", "no2", "nz2", "loopdx"};
static const std::vector<std::string> specials = {
    "sr00", "sr01", "sr02", "sr03", "sr04", "sr05", "sr06", "sr07", "sr08", "sr09", "sr0a", "sr0b", "sr0c", "sr0d",
    "sr0e", "sr0f", "sp",   "spl",  "ip",   "itb",  "pbt",  "pbd",  "dsb",  "esb",  "flags", "sr10", "sr11", "sr12",
    "sr13", "sr14", "sr15", "sr16", "sr17", "sr18", "sr19", "sr1a", "sr1b", "sr1c", "sr1d", "sr1e", "sr1f"};
static const std::vector<std::string> float_registers = {"q0", "q1", "q2", "q3", "q4", "q5", "q6", "q7",
                                                         "q8", "q9", "qa", "qb", "qc", "qd", "qe", "qf"};
static const std::vector<std::string> arithmetic = {"add", "adc", "sub", "sbc", "and", "or",
                                                    "xor", "test", "cmp", "mul", "div"};
static const std::vector<std::string> packed = {"padd",   "padds",   "psub",   "psubs", "piadds", "psapadd",
                                                "pisubs", "psrpadd", "imul64", "mul64", "div64"};
static const std::vector<std::string> unary = {
    "neg",     "sar",     "shl",     "shr",     "rol",     "ror",     "rcl",     "rcr",     "negdx",   "sardx",
    "shldx",   "shrdx",   "roldx",   "rordx",   "rcldx",   "rcrdx",   "inc",     "inc2",    "inc4",    "inc8",
    "inc10",   "inc12",   "inc16",   "inc24",   "dec1",    "dec2",    "dec4",    "dec8",    "dec10",   "dec12",
    "dec16",   "dec24",   "swp0000", "swp0004", "swp0034", "swp0234", "swp4321", "swp0001", "swp0012", "swp0123",
    "swp0204", "swp0103", "swp0102", "swp0304", "swp2040", "swp1030", "swp1020", "swp3040", "swp1243", "swp2134",
    "swp2143", "swp4231", "swp4123", "swp3412", "swp2341", "swp1324", "swp1111", "swp2222", "swp3333", "swp4444",
    "swp3214", "swp0404", "swpss34", "swpsss4", "cvsebd",  "cvsewd"};
static const std::vector<std::string> float_unary = {"fsin",  "fcos",  "ftan",  "fsincos", "fexp",  "fln",
                                                     "fround", "ftrunc", "fsqrt", "finv",    "fabs",  "fminus",
                                                     "fpatan", "ftest"};
static const std::vector<std::string> float_binary = {"fadd", "fsub", "fmul", "fdiv"};
static const std::vector<std::string> load_prefixes = {"", "byte ", "word ", "short ", "int "};
static const std::vector<std::string> store_prefixes = {"", "byte ", "word "};
static const std::vector<std::string> precisions = {"single ", "double ", "extended "};

// Every chain of at most one condition, and of at most two, as written before an operand.
static std::vector<std::string> chains(bool two) {
    std::vector<std::string> all = {""};
    for (const std::string& first : conditions) {
        all.push_back(first + ",");
        for (const std::string& second : conditions)
            if (two)
                all.push_back(first + "," + second + ",");
    }
    return all;
}

// Displacements giving no bytes, 2 bytes and 4 bytes.
static const std::vector<std::string> displacements = {"", "+1", "-12345h"};
// Always-written operands of 2 and 4 bytes; droppable ones of 0, 2 and 4.
static const std::vector<std::string> operands = {"1", "12345h"};
static const std::vector<std::string> droppable_operands = {"0", "1", "12345h"};

// One line of every form with every register, condition and operand size.
static std::vector<std::string> every_form() {
    std::vector<std::string> lines;
    for (const std::string& a : registers) {
        for (const std::string& b : registers) {
            lines.push_back("ld " + a + "," + b);
            lines.push_back("xchg " + a + "," + b);
            lines.push_back("xchg " + a + ",[" + b + "]");
            for (const std::string& op : arithmetic)
                lines.push_back(op + " " + a + "," + b);
            for (const std::string& op : packed)
                lines.push_back(op + " " + a + "," + b);
            for (const std::string& d : displacements) {
                for (const std::string& prefix : load_prefixes)
                    for (const char* es : {"", "es:"})
                        lines.push_back("ld " + a + "," + prefix + "[" + es + b + d + "]");
                for (const std::string& prefix : store_prefixes)
                    for (const char* es : {"", "es:"})
                        lines.push_back("ld " + prefix + "[" + es + b + d + "]," + a);
                for (const std::string& op : arithmetic) {
                    lines.push_back(op + " " + a + ",[" + b + d + "]");
                    lines.push_back(op + " [" + b + d + "]," + a);
                }
            }
        }
        for (const std::string& s : specials) {
            lines.push_back("ld " + a + "," + s);
            lines.push_back("ld " + s + "," + a);
        }
        lines.push_back("push " + a);
        lines.push_back("pop " + a);
        lines.push_back("xchg [sp]," + a);
        for (const std::string& op : unary) {
            lines.push_back(op + " " + a);
            for (const std::string& d : displacements)
                lines.push_back(op + " [" + a + d + "]");
        }
        for (const std::string& op : arithmetic)
            for (const std::string& value : droppable_operands)
                lines.push_back(op + " " + a + "," + value);
        for (const std::string& op : packed)
            for (const std::string& value : operands)
                lines.push_back(op + " " + a + "," + value);
        for (const std::string& chain : chains(false)) {
            for (const char* op : {"jmp ", "jr ", "call ", "calr "})
                lines.push_back(op + chain + a);
            for (const std::string& d : displacements) {
                lines.push_back("jmp " + chain + "[" + a + d + "]");
                lines.push_back("call " + chain + "[" + a + d + "]");
            }
            for (const std::string& value : operands)
                lines.push_back("ld " + chain + a + "," + value);
        }
        for (const std::string& q : float_registers) {
            lines.push_back("fld " + q + "," + a);
            lines.push_back("fld " + a + ",round " + q);
            for (const std::string& precision : precisions) {
                for (const std::string& d : displacements) {
                    lines.push_back("fld " + q + "," + precision + "[" + a + d + "]");
                    lines.push_back("fld " + precision + "[" + a + d + "]," + q);
                }
            }
        }
    }
    for (const std::string& q : float_registers) {
        for (const std::string& op : float_unary)
            lines.push_back(op + " " + q);
        for (const std::string& op : float_binary)
            for (const std::string& r : float_registers)
                lines.push_back(op + " " + q + "," + r);
        for (const std::string& value : operands)
            lines.push_back("fld " + q + ",int " + value);
        lines.push_back("fld " + q + ",single 1.5");
    }
    int own_labels = 0;
    for (const std::string& chain : chains(true)) {
        lines.push_back("ret " + chain);
        for (const std::string& value : operands) {
            lines.push_back("jmp " + chain + value);
            lines.push_back("call " + chain + value);
            // A relative operand counts from its word: an own label keeps the value as written.
            for (const char* op : {"jr ", "calr "}) {
                const std::string own = "@own" + std::to_string(own_labels++);
                lines.push_back(own + ":");
                lines.push_back(op + chain + own + "+" + value);
            }
        }
    }
    for (int n = 0; n < 256; ++n) {
        lines.push_back("int " + std::to_string(n));
        for (const std::string& value : operands)
            lines.push_back("int " + std::to_string(n) + ",ax=" + value);
    }
    return lines;
}

// The first two bytes each line writes, the word of its instruction; an error's report in output.
static std::set<uint32_t> words_written(const std::vector<std::string>& lines, std::string& output) {
    std::string source;
    for (const std::string& line : lines)
        source += line + "\r\n";
    const std::map<std::string, std::string, std::less<>> texts = {{"/coverage.asm", source}};
    t_options options;
    options.source = "/coverage.asm";
    options.texts = &texts;
    options.write_image = false;
    options.echo = false;
    options.console = &output;
    options.collect_lines = true;
    const t_result result = assemble_program(options);
    std::set<uint32_t> words;
    for (const t_result_line& line : result.lines)
        if (line.byte_count >= 2)
            words.insert(result.bytes[static_cast<std::size_t>(line.first_byte)] |
                         static_cast<uint32_t>(result.bytes[static_cast<std::size_t>(line.first_byte) + 1]) << 8);
    return words;
}

// The words the decoder takes for instructions when each is followed by operand bytes of the
// size its code names (and a single-precision 1.5 after "fld q,single").
static std::set<uint32_t> decoded_words() {
    std::set<uint32_t> words;
    for (uint32_t word = 0; word < 0x10000; ++word) {
        std::vector<uint8_t> image = {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8)};
        const uint32_t code = word >> 14;
        if (code == 2)
            image.insert(image.end(), {0x01, 0x00});
        else if (code == 3 && (word & 0x3F0F) == 0x3700)
            image.insert(image.end(), {0x00, 0x00, 0xC0, 0x3F});
        else if (code == 3)
            image.insert(image.end(), {0x45, 0x23, 0x01, 0x00});
        // One instruction covering the whole image, perhaps after its own label.
        int32_t instructions = 0;
        int32_t covered = 0;
        for (const t_dis_line& line : disassemble(image)) {
            instructions += line.kind == dis_instruction ? 1 : 0;
            covered += line.kind == dis_instruction ? line.size : 0;
        }
        if (instructions == 1 && covered == static_cast<int32_t>(image.size()))
            words.insert(word);
    }
    return words;
}

static std::string hex_word(uint32_t word) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", word);
    return text;
}

TEST(DecoderCoverage, DecodesExactlyTheWordsOrbasmWrites) {
    const std::vector<std::string> lines = every_form();
    std::string output;
    const std::set<uint32_t> written = words_written(lines, output);
    ASSERT_TRUE(output.empty()) << output;
    const std::set<uint32_t> decoded = decoded_words();
    int missing = 0;
    int extra = 0;
    for (uint32_t word : written)
        if (decoded.count(word) == 0 && ++missing <= 20)
            ADD_FAILURE() << "orbasm writes " << hex_word(word) << " but it is decoded as data";
    for (uint32_t word : decoded)
        if (written.count(word) == 0 && ++extra <= 20)
            ADD_FAILURE() << hex_word(word) << " is decoded as an instruction but no line gives it";
    std::cout << lines.size() << " lines give " << written.size() << " words; the decoder takes " << decoded.size()
              << "\n";
    EXPECT_EQ(written, decoded);
}

// Random programs of instructions, with operands of every size and labelled targets: every word
// decodes as an instruction, and the decoding assembles back.
static std::string pick(std::mt19937& rng, const std::vector<std::string>& names) {
    return names[rng() % names.size()];
}

static std::string random_value(std::mt19937& rng) {
    static const std::vector<std::string> values = {"0",     "1",      "-1",    "32767",     "-32768", "32768",
                                                    "-32769", "7fffh", "8000h", "0ffffh",    "-8000h", "12345678h",
                                                    "80000000h", "5",  "-300",  "0ffffffffh", "1000h",  "-7"};
    return pick(rng, values);
}

static std::string random_register(std::mt19937& rng) {
    return rng() % 4 == 0 ? pick(rng, register_synonyms) : pick(rng, registers);
}

static std::string random_memory(std::mt19937& rng) {
    std::string text = "[" + random_register(rng);
    switch (rng() % 4) {
    case 0:
        break;
    case 1:
        text += "+" + random_value(rng);
        break;
    case 2:
        text += "-" + random_value(rng);
        break;
    default:
        text += "+0";
    }
    return text + "]";
}

static std::string random_chain(std::mt19937& rng, bool two) {
    std::vector<std::string> all = chains(two);
    return rng() % 2 == 0 ? "" : pick(rng, all);
}

static std::string random_target(std::mt19937& rng, int labels) {
    if (rng() % 3 == 0)
        return random_value(rng);
    std::string label = "@t" + std::to_string(rng() % labels);
    return rng() % 4 == 0 ? label + "+" + std::to_string(rng() % 8) : label;
}

static std::string random_instruction(std::mt19937& rng, int labels) {
    const std::string a = random_register(rng);
    const std::string b = random_register(rng);
    const std::string q = pick(rng, float_registers);
    switch (rng() % 24) {
    case 0:
        return "ld " + a + "," + b;
    case 1:
        return "ld " + a + "," + pick(rng, load_prefixes) + random_memory(rng);
    case 2:
        return "ld " + pick(rng, store_prefixes) + random_memory(rng) + "," + a;
    case 3:
        return "ld " + random_chain(rng, false) + a + "," + random_target(rng, labels);
    case 4:
        return pick(rng, arithmetic) + " " + a + "," + random_value(rng);
    case 5:
        return pick(rng, arithmetic) + " " + a + "," + random_memory(rng);
    case 6:
        return pick(rng, arithmetic) + " " + random_memory(rng) + "," + a;
    case 7:
        return pick(rng, packed) + " " + a + "," + (rng() % 2 == 0 ? b : random_value(rng));
    case 8:
        return pick(rng, unary) + " " + (rng() % 2 == 0 ? a : random_memory(rng));
    case 9:
        return std::string(rng() % 2 == 0 ? "jmp " : "call ") + random_chain(rng, true) + random_target(rng, labels);
    case 10:
        return std::string(rng() % 2 == 0 ? "jr " : "calr ") + random_chain(rng, true) + random_target(rng, labels);
    case 11:
        return std::string(rng() % 2 == 0 ? "jmp " : "call ") + random_chain(rng, false) + random_memory(rng);
    case 12:
        return "ret " + random_chain(rng, true);
    case 13:
        return "int " + std::to_string(rng() % 256) + (rng() % 2 == 0 ? "" : ",ax=" + random_target(rng, labels));
    case 14:
        return "fld " + q + "," + pick(rng, precisions) + random_memory(rng);
    case 15:
        return "fld " + pick(rng, precisions) + random_memory(rng) + "," + q;
    case 16:
        return "fld " + q + ",int " + random_value(rng);
    case 17: {
        static const std::vector<std::string> constants = {"1.5", "-0",        "0",          "3.25",     "1e30",
                                                           "0.1", "123456.789", "-2.5e10",    "0.000001", "-7",
                                                           "16777217", "3.4028234e38", "0.3333333333333333"};
        return "fld " + q + ",single " + pick(rng, constants);
    }
    case 18:
        return pick(rng, float_unary) + " " + q;
    case 19:
        return pick(rng, float_binary) + " " + q + "," + pick(rng, float_registers);
    case 20:
        return std::string(rng() % 2 == 0 ? "push " : "pop ") + a;
    case 21:
        return "ld " + pick(rng, specials) + "," + a;
    case 22:
        return "xchg " + a + (rng() % 2 == 0 ? "," + b : ",[" + b + "]");
    default:
        return "fld " + a + ",round " + q;
    }
}

TEST(DecoderCoverage, ProgramsOfEveryFormDecodeAsInstructions) {
    std::mt19937 rng(1234);
    int passed = 0;
    constexpr int programs = 300;
    for (int k = 0; k < programs; ++k) {
        const int labels = 1 + static_cast<int>(rng() % 12);
        std::vector<std::string> lines;
        for (int label = 0; label < labels; ++label)
            lines.push_back("@t" + std::to_string(label) + ":");
        for (int n = 0; n < 60; ++n)
            lines.insert(lines.begin() + static_cast<long>(rng() % (lines.size() + 1)), random_instruction(rng, labels));
        const t_assembly original = assemble_lines(lines);
        ASSERT_TRUE(original.ok) << original.output.substr(original.output.rfind("\nError"));
        const std::vector<t_dis_line> decoded = disassemble(original.image);
        std::string data_lines;
        for (const t_dis_line& line : decoded)
            if (line.kind == dis_data)
                data_lines += line.text + "\n";
        const t_assembly back = assemble_text(source_text(decoded));
        const bool good = data_lines.empty() && back.ok && back.image == original.image;
        EXPECT_TRUE(good) << "data lines:\n" << data_lines << "image " << hex_bytes(original.image) << "\nback "
                          << hex_bytes(back.image);
        passed += good ? 1 : 0;
    }
    std::cout << passed << " of " << programs << " random programs decode without data and round-trip\n";
}
