// orbdis as a program: exact listings and sources of small images.
#include "tools/tool_run.h"

#include <gtest/gtest.h>

// Runs orbdis on the image bytes, as a listing and as source; both must succeed.
static void expect_decoding(const std::vector<uint8_t>& image, const std::string& listing, const std::string& source) {
    t_workdir dir = make_workdir();
    write_file(dir, "image.orb", std::string(image.begin(), image.end()));
    t_tool_run shown = run_tool(ORBDIS_BINARY, dir, {"image.orb"});
    EXPECT_EQ(shown.exit_code, 0);
    EXPECT_EQ(shown.out, listing);
    EXPECT_EQ(shown.err, "");
    t_tool_run written = run_tool(ORBDIS_BINARY, dir, {"--source", "image.orb"});
    EXPECT_EQ(written.exit_code, 0);
    EXPECT_EQ(written.out, source);
    remove_workdir(dir);
}

static std::vector<uint8_t> from_hex(const std::string& text) {
    std::vector<uint8_t> bytes;
    for (std::size_t k = 0; k + 1 < text.size(); k += 3)
        bytes.push_back(static_cast<uint8_t>(std::stoi(text.substr(k, 2), nullptr, 16)));
    return bytes;
}

TEST(OrbdisGolden, ProgramWithHeader) {
    t_workdir dir = make_workdir();
    write_file(dir, "prog.asm",
               join_lines({"#header", "@runpoint:", "@start:", "ld ax,5", "@loop:", "add ax,[bx+4]", "jr nz,@loop",
                           "call @sub", "jmp 12345678h", "ret", "@sub:", "fld q1,single 1.5", "ret c,nz,", "@stack:",
                           "#data 16", "@endofstack:"}));
    t_run assembled = run_orbasm(dir, {"prog.asm"});
    ASSERT_EQ(assembled.exit_code, 0);
    remove_workdir(dir);
    expect_decoding(assembled.image,
                    "00000000  4F 52 42 58            #header                           ; header: magic\n"
                    "00000004  40 00 00 00                                              ; header: end of image = 00000040\n"
                    "00000008  50 00 00 00                                              ; header: end of memory = 00000050\n"
                    "0000000C  20 00 00 00                                              ; header: @runpoint = 00000020\n"
                    "00000010  20 00 00 00                                              ; header: @start = 00000020\n"
                    "00000014  40 00 00 00                                              ; header: @stack = 00000040\n"
                    "00000018  10 00 00 00                                              ; header: @endofstack-@stack = 00000010\n"
                    "0000001C  50 00 00 00                                              ; header: end of memory = 00000050\n"
                    "00000020                     @runpoint:\n"
                    "00000020                     @start:\n"
                    "00000020  00 A8 05 00            ld ax,5\n"
                    "00000024                     @L0024:\n"
                    "00000024  01 91 04 00            add ax,[bx+4]\n"
                    "00000028  06 B9 FC FF            jr nz,@L0024\n"
                    "0000002C  00 BA 38 00            call @L0038\n"
                    "00000030  00 F8 78 56 34 12      jmp 12345678h\n"
                    "00000036  00 3A                  ret\n"
                    "00000038                     @L0038:\n"
                    "00000038  10 F7 00 00 C0 3F      fld q1,single 1.5\n"
                    "0000003E  16 3A                  ret c,nz,\n"
                    "00000040                     @stack:\n"
                    "00000040                         #data 10h\n"
                    "00000050                     @endofstack:\n",
                    "#header\n@runpoint:\n@start:\nld ax,5\n@L0024:\nadd ax,[bx+4]\njr nz,@L0024\ncall @L0038\n"
                    "jmp 12345678h\nret\n@L0038:\nfld q1,single 1.5\nret c,nz,\n@stack:\n#data 10h\n@endofstack:\n");
}

// Words no form gives, and encodings orbasm would write otherwise, are data: 0300 (no form),
// F801 with a 32-bit operand of 1 (fits 16 bits), 8401 with a displacement of 0, 7888 (condition
// number 8), then relative jumps into the middle of words and an odd last byte.
TEST(OrbdisGolden, DataWhereOrbasmWouldWriteOtherBytes) {
    expect_decoding(from_hex("00 03 01 B8 01 00 01 F8 01 00 00 00 01 84 00 00 88 78 16 79 00 B9 03 00 00 B9 01 00 3A"),
                    "00000000  00 03                  dw 300h\n"
                    "00000002  01 B8 01 00            jmp c,1\n"
                    "00000006  01 F8                  dw 0F801h\n"
                    "00000008  01 00                  ld ax,bx\n"
                    "0000000A  00 00                  ld ax,ax\n"
                    "0000000C  01 84                  dw 8401h\n"
                    "0000000E  00 00                  ld ax,ax\n"
                    "00000010  88 78                  dw 7888h\n"
                    "00000012  16 79                  jr c,gx\n"
                    "00000014                     @L0014:\n"
                    "00000014  00 B9 03 00            jr @L0014+3\n"
                    "00000018                     @L0018:\n"
                    "00000018  00 B9 01 00            jr @L0018+1\n"
                    "0000001C  3A                     db 3Ah\n",
                    "dw 300h\njmp c,1\ndw 0F801h\nld ax,bx\nld ax,ax\ndw 8401h\nld ax,ax\ndw 7888h\njr c,gx\n@L0014:\n"
                    "jr @L0014+3\n@L0018:\njr @L0018+1\ndb 3Ah\n");
}

// Condition chains: 3A10 has a second digit 0, 7880 the number 8 and 3AD5 the number 13, which
// no name gives; two conditions before an expression; "fadd" for the words no one-operand name
// has; F711 with a register digit where "fld q,single" has 0; a zero 16-bit displacement.
TEST(OrbdisGolden, ConditionChainsAndFloatForms) {
    expect_decoding(from_hex("10 3A F9 3A 16 B8 00 00 D2 33 E1 33 11 F7 00 00 00 80 00 00 51 A8 FF FF 21 3E 10 BE 05 00 "
                             "0A 78 80 78 D5 3A"),
                    "00000000                     @L0000:\n"
                    "00000000  10 3A                  dw 3A10h\n"
                    "00000002  F9 3A                  ret loopdx,c2,\n"
                    "00000004  16 B8 00 00            jmp c,nz,@L0000\n"
                    "00000008  D2 33                  fadd qd,q2\n"
                    "0000000A  E1 33                  fadd qe,q1\n"
                    "0000000C  11 F7                  dw 0F711h\n"
                    "0000000E  00 00                  ld ax,ax\n"
                    "00000010  00 80                  dw 8000h\n"
                    "00000012  00 00                  ld ax,ax\n"
                    "00000014  51 A8 FF FF            ld z,bx,-1\n"
                    "00000018  21 3E                  int 21h\n"
                    "0000001A  10 BE 05 00            int 10h,ax=5\n"
                    "0000001E  0A 78                  jmp kx\n"
                    "00000020  80 78                  dw 7880h\n"
                    "00000022  D5 3A                  dw 3AD5h\n",
                    "@L0000:\ndw 3A10h\nret loopdx,c2,\njmp c,nz,@L0000\nfadd qd,q2\nfadd qe,q1\ndw 0F711h\nld ax,ax\n"
                    "dw 8000h\nld ax,ax\nld z,bx,-1\nint 21h\nint 10h,ax=5\njmp kx\ndw 7880h\ndw 3AD5h\n");
}

// A header whose labels stand inside the code and beyond it: the units stop at the label, the
// memory after the image is reserved again with #data.
TEST(OrbdisGolden, HeaderWithALabelInsideAnInstruction) {
    expect_decoding(from_hex("4F 52 42 58 26 00 00 00 2A 00 00 00 00 00 00 00 21 00 00 00 26 00 00 00 04 00 00 00 2A 00 "
                             "00 00 00 A8 05 00 00 3A"),
                    "00000000                     @runpoint:\n"
                    "00000000  4F 52 42 58            #header                           ; header: magic\n"
                    "00000004  26 00 00 00                                              ; header: end of image = 00000026\n"
                    "00000008  2A 00 00 00                                              ; header: end of memory = 0000002A\n"
                    "0000000C  00 00 00 00                                              ; header: @runpoint = 00000000\n"
                    "00000010  21 00 00 00                                              ; header: @start = 00000021\n"
                    "00000014  26 00 00 00                                              ; header: @stack = 00000026\n"
                    "00000018  04 00 00 00                                              ; header: @endofstack-@stack = 00000004\n"
                    "0000001C  2A 00 00 00                                              ; header: end of memory = 0000002A\n"
                    "00000020  00                     db 0\n"
                    "00000021                     @start:\n"
                    "00000021  A8 05                  ld sr0a,ix\n"
                    "00000023  00 00                  ld ax,ax\n"
                    "00000025  3A                     db 3Ah\n"
                    "00000026                     @stack:\n"
                    "00000026                         #data 4\n"
                    "0000002A                     @endofstack:\n",
                    "@runpoint:\n#header\ndb 0\n@start:\nld sr0a,ix\nld ax,ax\ndb 3Ah\n@stack:\n#data 4\n@endofstack:\n");
}

// A header whose words #header would not write is shown as data, with labels where its words
// point at units.
TEST(OrbdisGolden, HeaderThatIsNotReproducible) {
    expect_decoding(from_hex("4F 52 42 58 27 00 00 00 26 00 00 00 20 00 00 00 21 00 00 00 04 00 00 00 FC FF FF FF 26 00 "
                             "00 00 00 A8 05 00 00 3A"),
                    "00000000  4F 52 42 58            db 'ORBX'                         ; header: magic; #header would not "
                    "give the words that follow\n"
                    "00000004                     @L0004:\n"
                    "00000004  27 00 00 00            dd 27h                            ; header: end of image = 00000027\n"
                    "00000008  26 00 00 00            dd @L0026                         ; header: end of memory = 00000026\n"
                    "0000000C  20 00 00 00            dd @L0020                         ; header: @runpoint = 00000020\n"
                    "00000010  21 00 00 00            dd 21h                            ; header: @start = 00000021\n"
                    "00000014  04 00 00 00            dd @L0004                         ; header: @stack = 00000004\n"
                    "00000018  FC FF FF FF            dd -4                             ; header: @endofstack-@stack = FFFFFFFC\n"
                    "0000001C  26 00 00 00            dd @L0026                         ; header: end of memory = 00000026\n"
                    "00000020                     @L0020:\n"
                    "00000020  00 A8 05 00            ld ax,5\n"
                    "00000024  00 3A                  ret\n"
                    "00000026                     @L0026:\n",
                    "db 'ORBX'\n@L0004:\ndd 27h\ndd @L0026\ndd @L0020\ndd 21h\ndd @L0004\ndd -4\ndd @L0026\n@L0020:\nld ax,5\n"
                    "ret\n@L0026:\n");
}

TEST(OrbdisGolden, EmptyImage) { expect_decoding({}, "", ""); }
