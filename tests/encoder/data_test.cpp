// Data definitions and the encoder frame.
#include "encoder/encoding_table.h"

TEST(Encoding, DataDefinitions) {
    check_encodings({
        {"db 'abc',0", "61 62 63 00"},
        {"db 5", "05"},
        {"db ''", ""},
        {"db 'it''s'", "69 74 73"},
        {"db \"don't\"", "64 6F 6E 27 74"},
        {"db 300", "2C"},
        {"db -1", "FF"},
        {"dw 258", "02 01"},
        {"dw -1", "FF FF"},
        {"dw 65794", "02 01"},
        {"db", ""},
        {"db 1,,2", "01 02"},
        {"db 'a b',\"x\",1+2", "61 20 62 78 03"},
        {"#const k = 7\ndb k,k+1", "07 08"},
        {"dd @later\n@later:", "04 00 00 00"},
        {"dd 1,2", "01 00 00 00 02 00 00 00"},
        {"dd -1", "FF FF FF FF"},
        {"@a:\ndb 1\n@b:\ndd @b-@a,@endofexe", "01 01 00 00 00 09 00 00 00"},
        {"dsingle 1.5", "00 00 C0 3F"},
        {"ddouble 1.5", "00 00 00 00 00 00 F8 3F"},
        {"dextended 1.5", "00 00 00 00 00 00 00 C0 FF 3F"},
        {"dsingle 1e3", "00 00 7A 44"},
        {"dsingle 0.1", "CD CC CC 3D"},
        {"ddouble 0.1", "9A 99 99 99 99 99 B9 3F"},
        {"dextended 0.1", "CD CC CC CC CC CC CC CC FB 3F"},
        {"dsingle -0", "00 00 00 80"},
        {"dsingle -2.5", "00 00 20 C0"},
        {"ddouble 1.", "00 00 00 00 00 00 F0 3F"},
        {"ddouble .5", "00 00 00 00 00 00 E0 3F"},
        {"ddouble 1.e3", "00 00 00 00 00 40 8F 40"},
        {"dsingle 1E3", "00 00 7A 44"},
        // rounded once from the decimal: 1 + 2^-53 + 2^-80, 1 + 2^-24 + 2^-70, below the halfway
        // point above the largest single
        {"ddouble 1.00000000000000011102230328969626659539084168049072331996285356581211090087890625",
         "01 00 00 00 00 00 F0 3F"},
        {"dsingle 1.0000000596046447753914720329472543003390683225006796419620513916015625", "01 00 80 3F"},
        {"dsingle 340282356779733661637539395458142568447", "FF FF 7F 7F"},
        {"ret 5", "00 3A"},
        {"dsingle", ""},
    });
}

TEST(Encoding, DataDefinitionFailures) {
    check_encodings({
        {"dsingle 1.5e+3", "", "float value error"},
        {"dsingle 1.5,2.5", "", "float value error"},
        {"dsingle 1.5,", "", "float value error"},
        {"dsingle 1e39", "", "float value error"},
        {"dsingle 340282356779733661637539395458142568448", "", "float value error"},
        {"ddouble 1e309", "", "float value error"},
        {"dsingle inf", "", "float value error"},
        {"dsingle nan", "", "float value error"},
        {"dsingle 0x10", "", "float value error"},
        {"dsingle 1e", "", "float value error"},
        {"dsingle e3", "", "float value error"},
        {"dsingle .", "", "float value error"},
        {"dbx 1", "", "Syntax Error"},
        {"nop", "", "Syntax Error"},
        {";x", "", "Syntax Error"},
        {"DB 1", "", "Syntax Error"},
        {"db @x", "", "Immediate value expected"},
        {"dw k", "", "Constant not defined"},
        {"dw 'a'", "", "Constant not defined"},
        {"dd @nowhere", "", "Constant or label not defined - @nowhere"},
    });
}
