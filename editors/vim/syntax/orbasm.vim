" Vim syntax file
" Language:   orbasm, the assembler of the orb virtual machine
" Filenames:  *.orbasm (ftdetect/orbasm.vim says how to add *.asm)
"
" Every keyword is lower case and case-sensitive: LD and AX are not keywords. Each kind of word
" has its own keyword group (orbasmControl and orbasmMnemonic share the mnemonics); the test
" suite checks them against the encoder's word lists.

if exists("b:current_syntax")
  finish
endif

let s:cpo_save = &cpo
set cpo&vim

syn case match
" The language's word characters: letters, digits and _ . # @ (so @nz is a label, not nz).
syn iskeyword 48-57,65-90,97-122,_,.,#,@-@

" A number begins with a decimal digit and goes on with hexadecimal digits; the suffix h, o or b
" picks the radix. A float has a point or an exponent.
syn match orbasmNumber "\%([0-9A-Za-z_.#@]\)\@<!\d[0-9A-Fa-f]*[ho]\=\%([0-9A-Za-z_.#@]\)\@!"
syn match orbasmFloat "\%([0-9A-Za-z_.#@]\)\@<!\%(\d\+\.\d*\|\.\d\+\)\%([eE]\d\+\)\=\%([0-9A-Za-z_.#@]\)\@!"

" A string ends at the next occurrence of its own quote; there is no escape.
syn region orbasmString start=+'+ end=+'+ oneline
syn region orbasmString start=+"+ end=+"+ oneline

syn match orbasmLabel "@[0-9@A-Z_a-z]*"
syn match orbasmOperator "[-+=]" contained

" The language has no comments: text after a complete instruction is ignored, and ; marks it
" by custom.
syn match orbasmComment ";.*"

" The line-start items come after the items above: of matches that start at the same place, the
" last defined wins.
" A line that begins with @ defines a label; the rest of the line is not assembled.
syn match orbasmLabelDefinition "^\s*\zs@[^ \t:]*\%(\s*:\)\=" nextgroup=orbasmIgnored
syn match orbasmIgnored ".*" contained

syn keyword orbasmDirective #include #org #align #data #zero #header
syn keyword orbasmDirective #const nextgroup=orbasmConstantName skipwhite
syn match orbasmConstantName "[^ \t=+,\-:;\[\]]\+" contained

" A mnemonic counts only as the first word of a line; the operand words only after it, so the
" int of fld q,int x is an operand word.
syn match orbasmInstruction "^\s*\zs[a-z][0-9a-z]*" contains=orbasmControl,orbasmMnemonic nextgroup=orbasmOperands
syn match orbasmOperands ".*" contained contains=orbasmRegister,orbasmSpecialRegister,orbasmFloatRegister,orbasmCondition,orbasmOperandWord,orbasmNumber,orbasmFloat,orbasmString,orbasmLabel,orbasmComment,orbasmOperator

" Jumps, calls, returns and interrupts.
syn keyword orbasmControl contained jmp jr call calr ret int
syn keyword orbasmMnemonic contained db dw dd dsingle ddouble dextended ld mov xchg push pop
syn keyword orbasmMnemonic contained add adc sub sbc and or xor test cmp mul div
syn keyword orbasmMnemonic contained padd padds psub psubs piadds psapadd pisubs psrpadd imul64 mul64 div64
syn keyword orbasmMnemonic contained neg sar shl shr rol ror rcl rcr negdx sardx shldx shrdx roldx rordx rcldx rcrdx
syn keyword orbasmMnemonic contained inc inc2 inc4 inc8 inc10 inc12 inc16 inc24
syn keyword orbasmMnemonic contained dec1 dec2 dec4 dec8 dec10 dec12 dec16 dec24
syn keyword orbasmMnemonic contained swp0000 swp0004 swp0034 swp0234 swp4321 swp0001 swp0012 swp0123
syn keyword orbasmMnemonic contained swp0204 swp0103 swp0102 swp0304 swp2040 swp1030 swp1020 swp3040
syn keyword orbasmMnemonic contained swp1243 swp2134 swp2143 swp4231 swp4123 swp3412 swp2341 swp1324
syn keyword orbasmMnemonic contained swp1111 swp2222 swp3333 swp4444 swp3214 swp0404 swpss34 cvsebd swpsss4 cvsewd
syn keyword orbasmMnemonic contained fld fadd fsub fmul fdiv
syn keyword orbasmMnemonic contained fsin fcos ftan fsincos fexp fln fround ftrunc fsqrt finv fabs fminus fpatan ftest

syn keyword orbasmRegister contained ax bx cx dx ex fx gx hx ix jx kx lx mx nx ox px
syn keyword orbasmRegister contained r0 r1 r2 r3 r4 r5 r6 r7 r8 r9 r10 r11 r12 r13 r14 r15 ra rb rc rd re rf
syn keyword orbasmSpecialRegister contained sp spl ip itb pbt pbd dsb esb flags
syn keyword orbasmSpecialRegister contained sr00 sr01 sr02 sr03 sr04 sr05 sr06 sr07 sr08 sr09 sr0a sr0b sr0c sr0d sr0e sr0f
syn keyword orbasmSpecialRegister contained sr10 sr11 sr12 sr13 sr14 sr15 sr16 sr17 sr18 sr19 sr1a sr1b sr1c sr1d sr1e sr1f
syn keyword orbasmFloatRegister contained q0 q1 q2 q3 q4 q5 q6 q7 q8 q9 qa qb qc qd qe qf
syn keyword orbasmCondition contained c nc o no z nz loopcx c2 nc2 o2 no2 nz2 loopdx
" Access sizes, the extra segment, float precisions and round; the ax of int n,ax=x is a register.
syn keyword orbasmOperandWord contained byte word short int long single double extended es round

hi def link orbasmLabelDefinition Label
hi def link orbasmIgnored         Comment
hi def link orbasmDirective       PreProc
hi def link orbasmConstantName    Identifier
hi def link orbasmControl         Statement
hi def link orbasmMnemonic        Statement
hi def link orbasmRegister        Identifier
hi def link orbasmSpecialRegister Identifier
hi def link orbasmFloatRegister   Identifier
hi def link orbasmCondition       Constant
hi def link orbasmOperandWord     Type
hi def link orbasmNumber          Number
hi def link orbasmFloat           Float
hi def link orbasmString          String
hi def link orbasmLabel           Identifier
hi def link orbasmOperator        Operator
hi def link orbasmComment         Comment

let b:current_syntax = "orbasm"

let &cpo = s:cpo_save
unlet s:cpo_save
