// Loads, stores and moves.
#include "encoder/encoding_table.h"

TEST(Encoding, LoadsStoresAndMoves) {
    check_encodings({
        {"ld ax,bx", "01 00"},
        {"mov ax,bx", "01 00"},
        {"ld bx,ax", "10 00"},
        {"ld ax,5", "00 A8 05 00"},
        {"ld ax,0", "00 A8 00 00"},
        {"ld ax,12345678h", "00 E8 78 56 34 12"},
        {"ld z,ax,5", "50 A8 05 00"},
        {"ld z ax,5", "50 A8 05 00"},
        {"ld loopdx px,7", "FF A8 07 00"},
        {"ld cx,5", "02 A8 05 00"},
        {"ld sp,ax", "00 05"},
        {"ld ax,sp", "00 04"},
        {"ld flags,px", "8F 05"},
        {"ld sr0f,ax", "F0 05"},
        {"ld sr1f,bx", "F1 07"},
        {"ld bx,sr10", "10 06"},
        {"ld px,sr08", "F8 04"},
        {"ld [bx],ax", "01 44"},
        {"ld [es:bx],ax", "01 4C"},
        {"ld byte [bx+2],ax", "01 85 02 00"},
        {"ld word [es:cx+100h],dx", "32 8E 00 01"},
        {"ld byte [bx+0],ax", "01 45"},
        {"ld ax,[bx]", "01 40"},
        {"ld ax,[bx+0]", "01 40"},
        {"ld ax,int [bx]", "01 47"},
        {"ld ax,short [es:bx]", "01 4B"},
        {"ld ax,byte [cx+1]", "02 81 01 00"},
        {"ld ax,word [cx]", "02 42"},
        {"ld ax,[bx-70000]", "01 C0 90 EE FE FF"},
        {"ld ax,@x\n@x:", "00 A8 04 00"},
    });
}

TEST(Encoding, LoadsStoresAndMovesFailures) {
    check_encodings({
        {"ld z,ax 5", "", "Comma expected"},
        {"ld z,5", "", "Register expected"},
        {"ld sp ax", "", "Comma expected"},
        {"ld sp,5", "", "Register expected"},
        {"ld short [bx],ax", "", "Register or something expected"},
        {"ld [bx],5", "", "Register expected"},
        {"ld [bx,ax", "", "Brackets don't match"},
        {"ld [bx]ax", "", "Comma expected"},
        {"ld [5],ax", "", "Register expected"},
        {"ld [bx+2,ax]", "", "Comma expected"},
        {"ld [bx+2,5],ax", "", "] expected"},
        {"ld 5,ax", "", "Register or something expected"},
        {"ld ax", "", "Comma expected"},
        {"ld ax,[5]", "", "Register expected"},
        {"ld ax,[bx", "", "] expected"},
        {"ld es:[bx],ax", "", "Register or something expected"},
        {"ld ax,5 ;five", "", "Constant or label not defined - five"},
        {"ld", "", "Register or something expected"},
    });
}
