#!/usr/bin/env python3
"""Generator of the GNU as (x86-64, Intel syntax) program equivalent to gen_program.py's.

Usage: gen_x86.py LINES SEED OUTPUT

Generates gen_program.py's program of the same LINES and SEED in memory and translates it line
for line: line n of OUTPUT does on x86-64 what line n of the orbasm program does, with the same
labels, targets, constants, displacements and immediates, the same blanks and CR LF ends. So both
programs have exactly LINES lines, and `as -o OUT OUTPUT` assembles this one without error.

Names: a label @X becomes .LX and a constant K3 becomes .LK3 (a plain K3 would be the AVX-512
mask register k3). Local names stay out of the object's symbol table, as orbasm's image has none.

Registers: ax .. px (r0 .. r15) are rax, rbx, rcx, rdx, rsi, rdi, rbp, rsp, r8 .. r15, used as
32-bit registers (eax ..) for data as orbasm's are 32 bits wide, as 64-bit ones for addresses,
push, pop and calls; q0 .. qf are xmm0 .. xmm15 for the binary float operations.

Where x86-64 has no such instruction the line becomes the nearest one of the same operands:
  - "jmp" and "call" to a label take an absolute address in orbasm; x86-64 jumps and calls are
    relative. Every jump to a label is "jmp" or "j<cc>" (as chooses 8 or 32 bits, as orbasm
    chooses 16 or 32); "call" and "calr" are "call", always 32 bits. Only the first of two
    conditions is kept; "loopcx" is "js" ("loop" reaches 127 bytes only), c2/nc2/nz2 are be/a/l.
  - a conditional "ret" is "ret"; "int N,ax=V" is "int N".
  - "mul" and "div" are two- or three-operand "imul" (with a memory destination, its operands
    swapped); "sbc" is "sbb".
  - unary operations without an x86 twin: inc2/inc4/dec2 add or subtract 2 or 4, swp4321 is
    "bswap", swp1243 rotates the low word by 8, cvsebd is "movsx"; on memory the last three
    are "not".
  - special registers: sp is rsp, flags cr0, sr1f dr7, sr10 cr4, dsb dr6; a load of ip is an
    indirect "jmp".
  - float loads and stores are x87 fld/fstp (single, double, extended: dword, qword, tbyte);
    binary operations and the square root are SSE2 (addsd ..); fsin, fcos, fabs, fminus and
    ftest are fsin, fcos, fabs, fchs, ftst. A float register loaded with a constant becomes the
    constant's data: "fld q,int N" is ".long N" and "fld q,single D" is ".float D".
  - "dd" of a label is ".long" of the label minus .Lrunpoint, which as works out itself after
    relaxing the jumps (as orbasm does) instead of leaving a relocation in the object.
  - "#header" is ".intel_syntax noprefix"; "#data N" is ".skip N"; "#zero N" is ".zero N".
  - hexadecimal 01a2h is 0x1a2 (as reads no "h" suffix).
"""

import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_program  # noqa: E402

REG64 = ["rax", "rbx", "rcx", "rdx", "rsi", "rdi", "rbp", "rsp",
         "r8", "r9", "r10", "r11", "r12", "r13", "r14", "r15"]
REG32 = ["eax", "ebx", "ecx", "edx", "esi", "edi", "ebp", "esp"] + ["r%dd" % n for n in range(8, 16)]
REG16 = ["ax", "bx", "cx", "dx", "si", "di", "bp", "sp"] + ["r%dw" % n for n in range(8, 16)]
REG8 = ["al", "bl", "cl", "dl", "sil", "dil", "bpl", "spl"] + ["r%db" % n for n in range(8, 16)]

REGISTER_INDEX = {}
for _n, _name in enumerate(["ax", "bx", "cx", "dx", "ex", "fx", "gx", "hx",
                            "ix", "jx", "kx", "lx", "mx", "nx", "ox", "px"]):
    REGISTER_INDEX[_name] = _n
    REGISTER_INDEX["r%d" % _n] = _n

CONDITIONS = {"c": "c", "nc": "nc", "o": "o", "no": "no", "z": "z", "nz": "nz",
              "loopcx": "s", "c2": "be", "nc2": "a", "nz2": "l"}
ARITH = {"add": "add", "adc": "adc", "sub": "sub", "sbc": "sbb", "and": "and", "or": "or",
         "xor": "xor", "test": "test", "cmp": "cmp", "mul": "imul", "div": "imul"}
# Unary operations: the form on a register and the form on a memory operand ("%s" the operand).
UNARY = {
    "neg": ("neg %s", "neg dword ptr %s"),
    "sar": ("sar %s,1", "sar dword ptr %s,1"),
    "shl": ("shl %s,1", "shl dword ptr %s,1"),
    "shr": ("shr %s,1", "shr dword ptr %s,1"),
    "rol": ("rol %s,1", "rol dword ptr %s,1"),
    "ror": ("ror %s,1", "ror dword ptr %s,1"),
    "inc": ("inc %s", "inc dword ptr %s"),
    "inc2": ("add %s,2", "add dword ptr %s,2"),
    "inc4": ("add %s,4", "add dword ptr %s,4"),
    "dec1": ("dec %s", "dec dword ptr %s"),
    "dec2": ("sub %s,2", "sub dword ptr %s,2"),
    "swp4321": ("bswap %s", "not dword ptr %s"),
    "swp1243": (None, "not dword ptr %s"),  # ror of the low word, below
    "cvsebd": (None, "not dword ptr %s"),   # movsx from the low byte, below
}
FLOAT_BINARY = {"fadd": "addsd", "fsub": "subsd", "fmul": "mulsd", "fdiv": "divsd"}
FLOAT_UNARY = {"fsin": "fsin", "fcos": "fcos", "fabs": "fabs", "fminus": "fchs", "ftest": "ftst"}
PRECISION = {"single": "dword ptr", "double": "qword ptr", "extended": "tbyte ptr"}
SPECIAL_WRITE = {"sp": "rsp", "flags": "cr0", "sr1f": "dr7"}
SPECIAL_READ = {"sp": "rsp", "flags": "cr0", "sr10": "cr4", "dsb": "dr6"}
MEMORY_SIZES = ("byte", "word", "short", "int")

NAME = re.compile(r"@(\w+)|\b([KN]\d+)\b|\b0([0-9a-f]+)h\b")


def value(text):
    """An orbasm expression as as writes it: names made local, hexadecimal with 0x."""
    def one(m):
        if m.group(1) is not None:
            return ".L" + m.group(1)
        if m.group(2) is not None:
            return ".L" + m.group(2)
        return "0x" + m.group(3)
    return NAME.sub(one, text)


def register(name):
    return REGISTER_INDEX[name]


def memory(text):
    """"[bx+8]" -> "[rbx+8]"; the base register is the 64-bit one."""
    assert text[0] == "[" and text[-1] == "]", text
    inner = text[1:-1]
    m = re.match(r"(\w+)(.*)$", inner)
    return "[%s%s]" % (REG64[register(m.group(1))], value(m.group(2)))


def sized(text):
    """"byte [bx+8]" -> ("byte", "[bx+8]"); "[bx]" -> ("", "[bx]")."""
    if text[0] == "[":
        return "", text
    size, rest = text.split(" ", 1)
    return size, rest


def data_value(text):
    if text.startswith("@"):
        return value(text) + "-.Lrunpoint"
    return value(text)


def instruction(text):
    """One normalised orbasm instruction or data line (no blanks around "," and "+")."""
    mnemonic, _, rest = text.partition(" ")
    operands = rest.split(",") if rest else []
    if mnemonic in ("ld", "mov"):
        a, b = operands
        if a in SPECIAL_WRITE or a == "ip":
            r = REG64[register(b)]
            return "jmp %s" % r if a == "ip" else "mov %s,%s" % (SPECIAL_WRITE[a], r)
        if b in SPECIAL_READ:
            return "mov %s,%s" % (REG64[register(a)], SPECIAL_READ[b])
        if "[" in a:
            size, m = sized(a)
            r = register(b)
            if size == "byte":
                return "mov byte ptr %s,%s" % (memory(m), REG8[r])
            if size == "word":
                return "mov word ptr %s,%s" % (memory(m), REG16[r])
            assert size == "", text
            return "mov %s,%s" % (memory(m), REG32[r])
        r = REG32[register(a)]
        if "[" in b:
            size, m = sized(b)
            form = {"": "mov %s,%s", "int": "mov %s,dword ptr %s", "byte": "movzx %s,byte ptr %s",
                    "word": "movzx %s,word ptr %s", "short": "movsx %s,word ptr %s"}[size]
            return form % (r, memory(m))
        if b in REGISTER_INDEX:
            return "mov %s,%s" % (r, REG32[register(b)])
        return "mov %s,%s" % (r, value(b))
    if mnemonic in ARITH:
        op = ARITH[mnemonic]
        a, b = operands
        if a[0] == "[":
            if op == "imul":  # no imul to memory: the same operands the other way round
                return "imul %s,%s" % (REG32[register(b)], memory(a))
            return "%s %s,%s" % (op, memory(a), REG32[register(b)])
        r = REG32[register(a)]
        if b[0] == "[":
            return "%s %s,%s" % (op, r, memory(b))
        if b in REGISTER_INDEX:
            return "%s %s,%s" % (op, r, REG32[register(b)])
        if op == "imul":
            return "imul %s,%s,%s" % (r, r, value(b))
        return "%s %s,%s" % (op, r, value(b))
    if mnemonic in ("jr", "jmp"):
        target = value(operands[-1])
        if len(operands) > 1:
            return "j%s %s" % (CONDITIONS[operands[0]], target)
        return "jmp %s" % target
    if mnemonic in ("call", "calr"):
        (a,) = operands
        if a[0] == "[":
            return "call qword ptr %s" % memory(a)
        if a in REGISTER_INDEX:
            return "call %s" % REG64[register(a)]
        return "call %s" % value(a)
    if mnemonic == "ret":
        return "ret"
    if mnemonic in ("push", "pop"):
        return "%s %s" % (mnemonic, REG64[register(operands[0])])
    if mnemonic == "xchg":
        a, b = operands
        if a == "[sp]":
            return "xchg [rsp],%s" % REG32[register(b)]
        return "xchg %s,%s" % (REG32[register(a)], REG32[register(b)])
    if mnemonic in UNARY:
        (a,) = operands
        on_register, on_memory = UNARY[mnemonic]
        if a[0] == "[":
            return on_memory % memory(a)
        r = register(a)
        if mnemonic == "swp1243":
            return "ror %s,8" % REG16[r]
        if mnemonic == "cvsebd":
            return "movsx %s,%s" % (REG32[r], REG8[r])
        return on_register % REG32[r]
    if mnemonic == "dd":
        return ".long " + ",".join(data_value(v) for v in operands)
    if mnemonic == "db":
        if rest[0] == "'":
            string, zero = rest.rsplit(",", 1)
            assert zero == "0" and string[-1] == "'", text
            return '.asciz "%s"' % string[1:-1]
        return ".byte " + rest
    if mnemonic == "dw":
        return ".word " + ",".join(value(v) for v in operands)
    if mnemonic == "fld":
        a, b = operands
        if a[0] == "q":
            kind, _, source = b.partition(" ")
            if kind == "int":
                return ".long %s" % source
            if kind == "single" and source[0] != "[":
                return ".float %s" % source
            return "fld %s %s" % (PRECISION[kind], memory(source))
        kind, m = a.split(" ", 1)
        return "fstp %s %s" % (PRECISION[kind], memory(m))
    if mnemonic in FLOAT_BINARY:
        a, b = operands
        return "%s xmm%d,xmm%d" % (FLOAT_BINARY[mnemonic], int(a[1], 16), int(b[1], 16))
    if mnemonic == "fsqrt":
        q = int(operands[0][1], 16)
        return "sqrtsd xmm%d,xmm%d" % (q, q)
    if mnemonic in FLOAT_UNARY:
        return FLOAT_UNARY[mnemonic]
    if mnemonic == "int":
        return "int %s" % value(operands[0])
    raise ValueError("no x86-64 form for: " + text)


def line(source):
    """One line of the orbasm program, its blanks kept: the x86-64 line in their place."""
    if source[0] == "#":
        words = source.split()
        if words[0] == "#header":
            return ".intel_syntax noprefix"
        if words[0] == "#const":  # "#const K3 = 77"
            directive = ".set" if words[1][0] == "K" else ".equ"
            return "%s .L%s, %s" % (directive, words[1], words[3])
        if words[0] == "#zero":
            return ".zero " + words[1]
        if words[0] == "#data":
            return ".skip " + words[1]
        raise ValueError("no x86-64 form for: " + source)
    if source[0] == "@":  # "@L5:"
        return ".L" + source[1:]
    # gen_program.spaced: a tab, four blanks and ", ", two blanks and " + ", or nothing.
    if source.startswith("\t"):
        return "\t" + instruction(source[1:])
    if source.startswith("    "):
        return "    " + instruction(source[4:].replace(", ", ",")).replace(",", ", ")
    if source.startswith("  "):
        return "  " + instruction(source[2:].replace(" + ", "+")).replace("+", " + ")
    return instruction(source)


class t_translator:
    """A file-like sink for gen_program.generate: translates the lines it is given."""

    def __init__(self, out):
        self.out = out
        self.lines = 0

    def write(self, data):
        text = data.decode("ascii")
        assert text.endswith("\r\n")
        sources = text[:-2].split("\r\n")
        self.lines += len(sources)
        self.out.write(("\r\n".join(line(s) for s in sources) + "\r\n").encode("ascii"))


def main():
    if len(sys.argv) != 4:
        raise SystemExit("usage: gen_x86.py LINES SEED OUTPUT")
    lines = int(sys.argv[1])
    seed = int(sys.argv[2])
    with open(sys.argv[3], "wb") as out:
        sink = t_translator(out)
        gen_program.generate(lines, seed, sink)
    assert sink.lines == lines, (sink.lines, lines)
    print("%s: %d lines of x86-64" % (sys.argv[3], lines), file=sys.stderr)


if __name__ == "__main__":
    main()
