// Floating-point instructions.
#include "encoder/encoding_table.h"

TEST(Encoding, FloatingPoint) {
    check_encodings({
        {"fsin q2", "02 33"},
        {"ftest q0", "F0 33"},
        {"fpatan qf", "CF 33"},
        {"fsub q0,q1", "01 34"},
        {"fdiv qf,qe", "FE 36"},
        {"fadd q1,q2", "12 33"},
        {"fcos q2", "12 33"},
        {"fld q1,ax", "10 73"},
        {"fld ax,round q1", "10 77"},
        {"fld q1,single [ax]", "10 70"},
        {"fld q1,double [ax+8]", "10 B1 08 00"},
        {"fld q1,extended [px+0]", "1F 72"},
        {"fld extended [bx],q2", "21 76"},
        {"fld single [ax+4],q1", "10 B4 04 00"},
        {"fld double [ax-100000],q1", "10 F5 60 79 FE FF"},
        {"fld q2,int 5", "20 B3 05 00"},
        {"fld q2,long 5", "20 B3 05 00"},
        {"fld q2,long 100000", "20 F3 A0 86 01 00"},
        {"fld q3,single 1.5", "30 F7 00 00 C0 3F"},
        {"fld q3,single -1.5", "30 F7 00 00 C0 BF"},
        {"fld q3,single 1.5e3", "30 F7 00 80 BB 44"},
        {"fld q3,single 1.000000000000000000009", "30 F7 00 00 80 3F"},
        // just off single halfway points (2^64 + 2^40 + 1, 2^64 + 3 x 2^40 - 1) by less than half
        // an extended unit: rounded once from the decimal
        {"fld q3,single 18446745173221179393", "30 F7 01 00 80 5F"},
        {"fld q3,single 18446747372244434943", "30 F7 01 00 80 5F"},
    });
}

TEST(Encoding, FloatingPointFailures) {
    check_encodings({
        {"fld ax,q1", "", "round expected"},
        {"fld ax,round,q1", "", "Float register expected"},
        {"fld q1,[ax]", "", "fld syntax error"},
        {"fld [ax],q1", "", "fld syntax error"},
        {"fld q2,int5", "", "fld syntax error"},
        {"fld q3,single 1.5e-3", "", "float value error"},
        {"fld q3,single 1.5 ", "", "float value error"},
        {"fld q3,single 1.5 ;one and a half", "", "float value error"},
        {"fld q3,single 1e39", "", "float value error"},
        {"fld q3,single", "", "float value error"},
        {"fld q3,q4", "", "fld syntax error"},
        {"fld es:[ax],q1", "", "fld syntax error"},
        {"fld single [es:ax],q1", "", "Register expected"},
        {"fld single [ax,q1", "", "Brackets don't match"},
        {"fld single [ax]q1", "", "Comma expected"},
        {"fld single [ax],ax", "", "Float register expected"},
        {"fld single [ax+4,q1]", "", "Comma expected"},
        {"fld single [ax+4,5],q1", "", "] expected"},
        {"fld q1,single [5]", "", "Register expected"},
        {"fld q1,single [ax+4", "", "] expected"},
        {"fld q1 single [ax]", "", "Comma expected"},
        {"fld 5", "", "fld syntax error"},
        {"fsin", "", "Float register expected"},
        {"fsin ax", "", "Float register expected"},
        {"fadd q1 q2", "", "Comma expected"},
        {"fadd q1,ax", "", "Float register expected"},
        {"fld q1,int @nowhere", "", "Constant or label not defined - @nowhere"},
    });
}
