// Integer arithmetic, packed arithmetic and the stack.
#include "encoder/encoding_table.h"

TEST(Encoding, Arithmetic) {
    check_encodings({
        {"add ax,bx", "01 10"},
        {"add bx,ax", "10 10"},
        {"adc r1,r2", "12 12"},
        {"div px,r0", "F0 24"},
        {"padd ax,bx", "01 11"},
        {"div64 cx,dx", "23 25"},
        {"div cx,dx", "23 24"},
        {"add ax,5", "00 AA 05 00"},
        {"sub cx,0", "22 6A"},
        {"add ax,0", "00 6A"},
        {"add ax,12345h", "00 EA 45 23 01 00"},
        {"cmp dx,-32768", "83 AA 00 80"},
        {"cmp dx,32767", "83 AA FF 7F"},
        {"cmp dx,32768", "83 EA 00 80 00 00"},
        {"cmp dx,-32769", "83 EA FF 7F FF FF"},
        {"add ax,[bx]", "01 51"},
        {"add ax,[bx+4]", "01 91 04 00"},
        {"add ax,[bx+0]", "01 51"},
        {"xor ax,[bx-40000]", "01 DD C0 63 FF FF"},
        {"add [bx],ax", "01 50"},
        {"add [bx+4],cx", "21 90 04 00"},
        {"add [bx-2],ax", "01 90 FE FF"},
        {"add [bx+0],ax", "01 50"},
        {"test bx,cx", "12 1E"},
        {"padd ax,5", "00 AB 05 00"},
        {"mul64 cx,-1", "92 AB FF FF"},
        {"padd ax,0", "00 AB 00 00"},
        {"padd ax,70000", "00 EB 70 11 01 00"},
        {"push ax", "00 0F"},
        {"push r15", "0F 0F"},
        {"pop cx", "12 1E"},
        {"xchg [sp],dx", "23 2D"},
        {"add ax,@x\n@x:", "00 AA 04 00"},
        {"@x:\nadd ax,@x", "00 6A"},
    });
}

TEST(Encoding, ArithmeticFailures) {
    check_encodings({
        {"add [bx],5", "", "Register expected"},
        {"add 5,ax", "", "[register] or register expected"},
        {"add [bx,ax", "", "Brackets don't match"},
        {"add ax bx", "", "Comma expected"},
        {"add ax,[bx", "", "] expected"},
        {"add ax,[5]", "", "Register expected"},
        {"add [bx]ax", "", "Comma expected"},
        {"add [5],ax", "", "Register expected"},
        {"padd 5,ax", "", "Register expected"},
        {"padd ax bx", "", "Comma expected"},
        {"push 5", "", "Register expected"},
        {"push", "", "Syntax Error"},
        {"pop", "", "Syntax Error"},
        {"xchg ax,[sp]", "", "Register expected"},
        {"div64x ax,bx", "", "Syntax Error"},
    });
}
