#!/usr/bin/env python3
"""Checks the independent model against the documented behaviour of single lines and small
programs, so that agreement between the model and the binary means something on its own.

Each case is a source (lines joined with CR LF) and either the expected image in hex or the
expected error message. Prints every disagreement and ends with "N passed, M failed".
"""

import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import orbmodel  # noqa: E402

# (source lines separated by "|", expected image hex or "!message")
CASES = [
    # control transfer
    ('ret', '00 3a'), ('ret nz,', '06 3a'), ('ret c,nz,', '16 3a'), ('ret nz', '!Comma expected'),
    ('jmp nz,bx', '61 78'), ('call ax', '00 7a'), ('calr z,cx', '52 7b'), ('jmp cx', '02 78'),
    ('jmp c,cx', '12 78'), ('jmp c,nz,bx', '!Too many conditions'),
    ('jmp c,nz,[bx]', '!Too many conditions'), ('jmp c,nz,o,@x', '!Too many conditions'),
    ('@x:|jmp c,nz,@x', '16 b8 00 00'), ('@top:|jmp loopcx,@top', '07 b8 00 00'),
    ('jmp 0', '00 b8 00 00'), ('call [bx]', '01 7d'), ('call [bx+8]', '01 bd 08 00'),
    ('jmp z,[bx', '!] expected'), ('jmp [5]', '!Register expected'), ('int 21h', '21 3e'),
    ('int 100h', '!Interrupt number must be between 0 and 0ffh'),
    ('int -1', '!Interrupt number must be between 0 and 0ffh'),
    ('int @x', '!Immediate value expected'), ('int 10h,ax=5', '10 be 05 00'),
    ('int 10h,bx=5', '10 3e'), ('@x: |jr @x', '00 b9 00 00'), ('jr [bx]', '!Constant or label not defined - bx'),
    ('db 1|@x:|jr @y|@y:', '01 00 b9 04 00'), ('@y:|db 1|jr @y', '01 00 b9 ff ff'),
    ('calr nz,@y|#zero 40000|@y:', '06 fb 46 9c 00 00' + ' 00' * 40000),
    # integer arithmetic and stack
    ('add ax,bx', '01 10'), ('add bx,ax', '10 10'), ('div px,r0', 'f0 24'), ('padd ax,bx', '01 11'),
    ('div64 cx,dx', '23 25'), ('div cx,dx', '23 24'), ('add ax,5', '00 aa 05 00'),
    ('sub cx,0', '22 6a'), ('add ax,12345h', '00 ea 45 23 01 00'), ('add ax,[bx]', '01 51'),
    ('add ax,[bx+4]', '01 91 04 00'), ('add [bx],ax', '01 50'), ('add [bx+4],cx', '21 90 04 00'),
    ('add [bx],5', '!Register expected'), ('add 5,ax', '![register] or register expected'),
    ('add [bx,ax', "!Brackets don't match"), ('add ax bx', '!Comma expected'),
    ('push ax', '00 0f'), ('pop cx', '12 1e'), ('xchg [sp],dx', '23 2d'),
    ('push 5', '!Register expected'), ('push', '!Syntax Error'), ('test bx,cx', '12 1e'),
    ('padd ax,5', '00 ab 05 00'), ('div64 cx,-1', 'a2 ab ff ff'), ('mul64 px,0', '9f ab 00 00'),
    # one-operand and xchg
    ('neg ax', '00 2c'), ('swpsss4 bx', 'f1 2f'), ('cvsewd bx', 'f1 2f'), ('inc2 cx', '12 2d'),
    ('dec ax', '!Syntax Error'), ('inc1 ax', '!Syntax Error'), ('dec1 ax', '80 2d'),
    ('neg [ax]', '00 6c'), ('neg [ax+4]', '00 ac 04 00'), ('neg [ax', '!] expected'),
    ('neg 5', '!Register expected'), ('neg', '!Register expected'),
    ('neg byte [ax]', '!Register expected'), ('neg [es:ax]', '!Register expected'),
    ('xchg ax,bx', '01 01'), ('xchg bx,ax', '10 01'), ('xchg ax,[bx]', '01 02'),
    ('xchg ax,[sp]', '!Register expected'), ('inc4 dx', '23 2d'), ('xchg ax,[bx+2]', '!] expected'),
    ('xchg ax bx', '!Comma expected'), ('xchg [bx],ax', '!Register expected'), ('neg ax,bx', '00 2c'),
    # loads, stores and moves
    ('ld ax,bx', '01 00'), ('mov ax,bx', '01 00'), ('ld bx,ax', '10 00'), ('ld ax,5', '00 a8 05 00'),
    ('ld z,ax,5', '50 a8 05 00'), ('ld z ax,5', '50 a8 05 00'), ('ld z,ax 5', '!Comma expected'),
    ('ld cx,5', '02 a8 05 00'), ('ld sp,ax', '00 05'), ('ld ax,sp', '00 04'), ('ld sr1f,bx', 'f1 07'),
    ('ld bx,sr10', '10 06'), ('ld [bx],ax', '01 44'), ('ld [es:bx],ax', '01 4c'),
    ('ld byte [bx+2],ax', '01 85 02 00'), ('ld ax,[bx]', '01 40'), ('ld ax,int [bx]', '01 47'),
    ('ld ax,short [es:bx]', '01 4b'), ('ld short [bx],ax', '!Register or something expected'),
    ('ld [bx],5', '!Register expected'), ('ld [bx,ax', "!Brackets don't match"),
    ('ld 5,ax', '!Register or something expected'), ('ld ax', '!Comma expected'),
    ('ld ax,[5]', '!Register expected'), ('ld es:[bx],ax', '!Register or something expected'),
    ('ld ax,5 ;five', '!Constant or label not defined - five'), ('ld ax,[bx+0]', '01 40'),
    ('ld ax,[bx-0]|db 1', '01 40 01'), ('ld ax,70000', '00 e8 70 11 01 00'),
    ('ld ax,32767', '00 a8 ff 7f'), ('ld ax,-32768', '00 a8 00 80'), ('ld ax,32768', '00 e8 00 80 00 00'),
    # floating point
    ('fsin q2', '02 33'), ('ftest q0', 'f0 33'), ('fsub q0,q1', '01 34'), ('fdiv qf,qe', 'fe 36'),
    ('fadd q1,q2', '12 33'), ('fcos q2', '12 33'), ('fld q1,ax', '10 73'), ('fld ax,round q1', '10 77'),
    ('fld ax,q1', '!round expected'), ('fld ax,round,q1', '!Float register expected'),
    ('fld q1,single [ax]', '10 70'), ('fld q1,double [ax+8]', '10 b1 08 00'),
    ('fld extended [bx],q2', '21 76'), ('fld q1,[ax]', '!fld syntax error'),
    ('fld [ax],q1', '!fld syntax error'), ('fld q2,int 5', '20 b3 05 00'),
    ('fld q2,long 5', '20 b3 05 00'), ('fld q2,int5', '!fld syntax error'),
    ('fld q3,single 1.5', '30 f7 00 00 c0 3f'), ('fld q3,single -1.5', '30 f7 00 00 c0 bf'),
    ('fld q3,single 1.5e-3', '!float value error'), ('fld q3,single 1.5e3', '30 f7 00 80 bb 44'),
    ('fld q3,single 1.5 ', '!float value error'), ('fld q3,q4', '!fld syntax error'),
    ('fld es:[ax],q1', '!fld syntax error'), ('fld single [es:ax],q1', '!Register expected'),
    ('fld q0,single 1.00000000000000000000009', '00 f7 00 00 80 3f'),
    # data definitions
    ("db 'abc',0", '61 62 63 00'), ('db 5', '05'), ("db ''", ''), ("db 'it''s'", '69 74 73'),
    ('db "don\'t"', '64 6f 6e 27 74'), ('db 300', '2c'), ('db -1', 'ff'), ('dw 258', '02 01'),
    ('db', ''), ("db 12'3,'", '0f'), ("db 0'1 ,'", '!String exceeding line'), ("db 'abc", '!String exceeds line'),
    ('dsingle 1.5', '00 00 c0 3f'), ('ddouble 1.5', '00 00 00 00 00 00 f8 3f'),
    ('dextended 1.5', '00 00 00 00 00 00 00 c0 ff 3f'), ('dsingle 1e3', '00 00 7a 44'),
    ('dsingle 1.5e+3', '!float value error'), ('dsingle 1.5,2.5', '!float value error'),
    ('dsingle -0', '00 00 00 80'), ('ddouble 0.1', '9a 99 99 99 99 99 b9 3f'),
    ('dsingle 1e39', '!float value error'), ('ddouble 1e39', '1d 4a 9c f4 87 82 07 48'),
    ('dsingle 16777217', '00 00 80 4b'), ('dsingle 16777219', '02 00 80 4b'),
    ('dsingle 1.000000059604644775390626', '01 00 80 3f'),
    ('dsingle 3.4028235677973366163e38', 'ff ff 7f 7f'),
    ('dsingle 3.4028235677973366164e38', '!float value error'),
    ('dsingle 3.402823567797336616e38', 'ff ff 7f 7f'),
    ('ddouble 1.00000000000000011102230328969626659539084168049072331996285356581211090087890625',
     '01 00 00 00 00 00 f0 3f'),
    ('dsingle 1.0000000596046447753914720329472543003390683225006796419620513916015625', '01 00 80 3f'),
    ('dsingle 340282356779733661637539395458142568447', 'ff ff 7f 7f'),
    ('dsingle 340282356779733661637539395458142568448', '!float value error'),
    ('fld q3,single 18446745173221179393', '30 f7 01 00 80 5f'),
    ('fld q3,single 18446747372244434943', '30 f7 01 00 80 5f'),
    ('dbx 1', '!Syntax Error'), ('nop', '!Syntax Error'), (';x', '!Syntax Error'), ('ret 5', '00 3a'),
    ('dd @later|@later:', '04 00 00 00'), ('db 1|dd @endofexe', '01 05 00 00 00'),
    # numbers and expressions
    ('dd 12,0ffh,17o,7fffffffh,0ffffffffh', '0c 00 00 00 ff 00 00 00 0f 00 00 00 ff ff ff 7f ff ff ff ff'),
    ('dd --5,-+5,101b,0b,1bh,12b,101bh', 'fb ff ff ff 05 00 00 00 05 00 00 00 00 00 00 00 1b 00 00 00 83 00 00 00 1b 10 00 00'),
    ('dd 19o,1f,12x,0x10,1.5,10H,12ho', '11 00 00 00 19 00 00 00 0c 00 00 00 0a 00 00 00 06 00 00 00 0a 00 00 00 0a 00 00 00'),
    ('#const size = 10|#const base=256|dd size+4,base-1', '0e 00 00 00 ff 00 00 00'),
    ('#org 100h|db 1', '00' * 256 + ' 01'), ('dw 4 +@x', '!Immediate value expected'),
    ('db 5@x', '!Constant not defined'), ('#const x =3|db 5@x', '08'),
    ('dd 80000000h+80000000h', '00 00 00 00'),
    # directives, labels, layout, header
    ('#org 5|db 1|#org 2', '!Could not satisfy #org statement'), ('db 1,2,3,4,5|#align 4|db 9', '01 02 03 04 05 00 00 00 09'),
    ('#align 0', '!Alignment must be at least 1'), ('#data -1', '!Size must not be negative'),
    ('#zero 3|#data 2|db 1|#data 5', '00 00 00 00 00 01'), ('#const', '!Error in constant definition'),
    ('#const x =', '!Error in constant definition'), ('#const a b =5', '!Error in constant definition'),
    ('@', '!Invalid label'), ('@a:|@a:', '!Constant or label redeclared'),
    ('#const k =1|#const k =2', '!Constant or label redeclared'), ('@endofexe:', '!Constant or label redeclared'),
    ('dd a+b+c', '!Constant or label not defined - b'), ('@x: ld ax,bx', ''), ('#orgx 5', '!Syntax Error'),
    ('#org 7fffffffh|db 1', '!Image too large'),
    ('#header|@runpoint:|@start:|db 1|@stack:|#data 8|@endofstack:',
     '4f 52 42 58 21 00 00 00 29 00 00 00 20 00 00 00 20 00 00 00 21 00 00 00 08 00 00 00 29 00 00 00 01'),
    ('#header|@runpoint:|@start:|@stack:|@endofstack:|@endofmem:', '!Constant or label redeclared'),
    ('#header', '!Constant or label not defined - @stack'),
    ('@a:|ld ax,[bx+@b-@a-4]|@b:', '01 80 00 00'),
    ('#include', '!Bad include statement'), ('#include "nothere.inc"', '!Could not read file'),
    ('#include"x"', '!Syntax Error'),
]


def run_case(source):
    directory = tempfile.mkdtemp(prefix='orbmodel_check_')
    try:
        with open(os.path.join(directory, 'prog.asm'), 'wb') as f:
            f.write(('\r\n'.join(source.split('|')) + '\r\n').encode('latin-1'))
        out, code, image, _ = orbmodel.assemble('prog.asm', directory)
    finally:
        shutil.rmtree(directory, ignore_errors=True)
    return out.decode('latin-1'), code, image


def main():
    passed = failed = 0
    for source, expected in CASES:
        out, code, image = run_case(source)
        if expected.startswith('!'):
            want = '\nError : ' + expected[1:] + '\n'
            ok = code == 1 and want in out and image is None
            got = out.split('\nError : ')[-1].split('\n')[0] if code else 'image ' + image.hex(' ')
        else:
            want = bytes.fromhex(expected)
            ok = code == 0 and image == want
            got = ('image ' + image.hex(' ')) if image is not None else out.split('\nError : ')[-1].split('\n')[0]
        if ok:
            passed += 1
        else:
            failed += 1
            print('FAIL %r: expected %s, got %s' % (source, expected[:80], got[:120]))
    print('%d passed, %d failed' % (passed, failed))
    sys.exit(1 if failed else 0)


if __name__ == '__main__':
    main()
