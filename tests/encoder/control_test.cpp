// Control transfer: jumps, calls, relative forms, returns and interrupts.
#include "encoder/encoding_table.h"

TEST(Encoding, ControlTransfer) {
    check_encodings({
        {"ret", "00 3A"},
        {"ret nz,", "06 3A"},
        {"ret c,nz,", "16 3A"},
        {"ret loopdx,c2,", "F9 3A"},
        {"jmp nz,bx", "61 78"},
        {"call ax", "00 7A"},
        {"calr z,cx", "52 7B"},
        {"jr r15", "0F 79"},
        {"jmp cx", "02 78"},
        {"jmp c,cx", "12 78"},
        {"jmp c,nz,@x\n@x:", "16 B8 04 00"},
        {"@top:\njmp loopcx,@top", "07 B8 00 00"},
        {"jmp nz,@loop\n@loop:", "06 B8 04 00"},
        {"jmp 0", "00 B8 00 00"},
        {"jmp 12345678h", "00 F8 78 56 34 12"},
        {"call 8000h", "00 FA 00 80 00 00"},
        {"call -32768", "00 BA 00 80"},
        {"jmp [bx]", "01 7C"},
        {"call [bx]", "01 7D"},
        {"call [bx+8]", "01 BD 08 00"},
        {"jmp nz,[cx-2]", "62 BC FE FF"},
        {"call [bx+0]", "01 7D"},
        {"call [bx+10000h]", "01 FD 00 00 01 00"},
        {"@x:\njr @x", "00 B9 00 00"},
        {"jr @y\n@y:", "00 B9 04 00"},
        {"db 1,2\n@b:\ndb 3\njr z,@b", "01 02 03 05 B9 FF FF"},
        {"calr z,c2,@x\n@x:", "59 BB 04 00"},
        {"calr @x+70000\n@x:", "00 FB 76 11 01 00"},
        {"int 21h", "21 3E"},
        {"int 0", "00 3E"},
        {"int 255", "FF 3E"},
        {"int 10h,ax=5", "10 BE 05 00"},
        {"int 10h,bx=5", "10 3E"},
        {"int 10h,ax=@x\n@x:", "10 BE 04 00"},
        {"#const n = 3\nint n", "03 3E"},
    });
}

TEST(Encoding, ControlTransferFailures) {
    check_encodings({
        {"ret nz", "", "Comma expected"},
        {"jmp c,nz,bx", "", "Too many conditions"},
        {"jmp c,nz,[bx]", "", "Too many conditions"},
        {"jmp c,nz,o,@x", "", "Too many conditions"},
        {"jr z,c2,cx", "", "Too many conditions"},
        {"jmp z,[bx", "", "] expected"},
        {"jmp [5]", "", "Register expected"},
        {"jmp c,nz,[5]", "", "Register expected"},
        {"int 100h", "", "Interrupt number must be between 0 and 0ffh"},
        {"int -1", "", "Interrupt number must be between 0 and 0ffh"},
        {"int @x", "", "Immediate value expected"},
        {"int k", "", "Constant not defined"},
        {"jr [bx]", "", "Constant or label not defined - bx"},
        {"jmp @missing", "", "Constant or label not defined - @missing"},
    });
}
