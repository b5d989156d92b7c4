// One-operand, shift, step and swap instructions, and the exchange.
#include "encoder/encoding_table.h"

TEST(Encoding, UnaryAndExchange) {
    check_encodings({
        {"neg ax", "00 2C"},
        {"swpsss4 bx", "F1 2F"},
        {"cvsewd bx", "F1 2F"},
        {"cvsebd r15", "EF 2F"},
        {"swpss34 r15", "EF 2F"},
        {"rcrdx px", "FF 2C"},
        {"inc ax", "00 2D"},
        {"inc2 cx", "12 2D"},
        {"inc4 dx", "23 2D"},
        {"inc24 ax", "70 2D"},
        {"dec1 ax", "80 2D"},
        {"dec24 ax", "F0 2D"},
        {"swp0000 ax", "00 2E"},
        {"swp0404 bx", "D1 2F"},
        {"neg [ax]", "00 6C"},
        {"neg [ax+4]", "00 AC 04 00"},
        {"neg [ax+0]", "00 6C"},
        {"swp0404 [cx+8]", "D2 AF 08 00"},
        {"shl [dx-100000]", "23 EC 60 79 FE FF"},
        {"neg ax,bx", "00 2C"},
        {"xchg ax,bx", "01 01"},
        {"xchg bx,ax", "10 01"},
        {"xchg ax,[bx]", "01 02"},
        {"xchg px,[r10]", "FA 02"},
    });
}

TEST(Encoding, UnaryAndExchangeFailures) {
    check_encodings({
        {"dec ax", "", "Syntax Error"},
        {"inc1 ax", "", "Syntax Error"},
        {"neg [ax", "", "] expected"},
        {"neg 5", "", "Register expected"},
        {"neg", "", "Register expected"},
        {"neg byte [ax]", "", "Register expected"},
        {"neg [es:ax]", "", "Register expected"},
        {"xchg ax,[sp]", "", "Register expected"},
        {"xchg ax,[bx+2]", "", "] expected"},
        {"xchg ax bx", "", "Comma expected"},
        {"xchg [bx],ax", "", "Register expected"},
        {"xchg ax,5", "", "Register expected"},
    });
}
