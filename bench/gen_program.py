#!/usr/bin/env python3
"""Seeded generator of large orbasm programs for the benchmark.

Usage: gen_program.py LINES SEED OUTPUT

Writes exactly LINES lines with CR LF ends. The same LINES and SEED always give the same file.

Shape of a program:
  - "#header", a block of "#const" definitions, "@runpoint:" and "@start:";
  - a body with a label "@L<n>:" on every 8th line and a mix of register moves, immediates,
    memory operands with displacements, arithmetic, stack, unary, float, data and control lines;
  - "@stack:", "#data 4096" and "@endofstack:" at the end.

The body is cut into segments of SEGMENT_LABELS labels; a "#zero 40000" line closes each segment.
Jump and call operands need 32 bits in about FAR_SHARE of the lines that name a label:
  - "jr" and "calr" take the distance to the target. A near one targets a label of its own
    segment at most NEAR_LABELS labels away (a few kilobytes: 16 bits); a far one a label of
    another segment, so at least one zero block lies between and the distance needs 32 bits.
  - "jmp" and "call" take the target address itself. A near one targets one of the first
    LOW_LABELS labels, which lie below address 32768 whatever the mix of lines (at most 12 bytes
    a line); a far one a label past the first zero block, above address 40000.
Every label named exists, so the program assembles without error, and the layout settles in a
few passes whatever sizes it tries first.
"""

import random
import sys

SEGMENT_LABELS = 1024      # labels per segment; a "#zero 40000" closes each segment
NEAR_LABELS = 40           # a near target lies within this many labels
LOW_LABELS = 256           # "jmp" and "call" targets below address 32768 (2048 lines of code)
FAR_SHARE = 0.15           # share of jumps and calls whose operand needs 32 bits
ZERO_BLOCK = 40000         # bytes of each zero block: more than a signed 16-bit distance

REGISTERS = ["ax", "bx", "cx", "dx", "ex", "fx", "gx", "hx",
             "ix", "jx", "kx", "lx", "mx", "nx", "ox", "px", "r1", "r2", "r10", "r15"]
CONDITIONS = ["c", "nc", "o", "no", "z", "nz", "loopcx", "c2", "nc2", "nz2"]
ARITH = ["add", "adc", "sub", "sbc", "and", "or", "xor", "test", "cmp", "mul", "div"]
UNARY = ["neg", "sar", "shl", "shr", "rol", "ror", "inc", "inc2", "inc4", "dec1", "dec2",
         "swp4321", "swp1243", "cvsebd"]
FLOAT_UNARY = ["fsin", "fcos", "fsqrt", "fabs", "fminus", "ftest"]
FLOAT_BINARY = ["fadd", "fsub", "fmul", "fdiv"]
FLOAT_REGISTERS = ["q0", "q1", "q2", "q3", "q7", "qa", "qf"]
PRECISIONS = ["single", "double", "extended"]
CONSTANTS = 32             # constants K0 .. K31 defined before the body

# Kinds of body lines with their weights (per thousand).
MIX = [
    ("move", 130),          # ld ax,bx / mov cx,dx
    ("load_imm", 90),       # ld ax,1234 / ld cx,K3 / ld dx,123456
    ("arith_reg", 100),     # add ax,bx
    ("arith_imm", 90),      # add cx,5
    ("load_mem", 80),       # ld ax,[bx+8]
    ("load_mem0", 20),      # ld ax,[bx]
    ("store_mem", 50),      # ld [bx+4],ax
    ("arith_mem", 60),      # add [cx+4],dx / add ax,[bx+2]
    ("jump", 120),          # jmp nz,@L123 / jr c,@L77
    ("call", 20),           # call @L5 / calr @L9
    ("ret", 10),            # ret / ret nz,
    ("stack", 40),          # push ax / pop bx
    ("unary", 50),          # inc ax / neg [bx+2]
    ("data_dd", 30),        # dd @L5,@L6
    ("data_db", 15),        # db 1,2,'ab' / dw 1234h
    ("float", 30),          # fld q1,double [ax+8] / fadd q1,q2
    ("const", 5),           # #const N123 = 77
    ("special", 15),        # ld sp,ax / ld ax,flags / xchg ax,bx
    ("int", 5),             # int 21h
]


def pick_kinds(rng, count):
    names = [name for name, _ in MIX]
    weights = [weight for _, weight in MIX]
    return rng.choices(names, weights=weights, k=count)


class t_state:
    """What the body writer needs to know about the program being generated."""

    def __init__(self, rng, labels):
        self.rng = rng
        self.labels = labels          # labels @L0 .. @L<labels-1> exist
        self.segments = (labels + SEGMENT_LABELS - 1) // SEGMENT_LABELS
        self.body_constants = 0
        self.jumps = 0
        self.far_jumps = 0


def reg(rng):
    return rng.choice(REGISTERS)


def displacement(rng):
    """A displacement with its sign: "+8", "+K3", "+01a2h" or "-17"."""
    r = rng.random()
    if r < 0.6:
        return "+%d" % rng.choice([2, 4, 6, 8, 12, 16, 24, 32, 64])
    if r < 0.8:
        return "+K%d" % rng.randrange(CONSTANTS)
    if r < 0.95:
        return "+0%xh" % rng.randrange(16, 0x7FFF)
    return "-%d" % rng.randrange(1, 200)


def spaced(rng, text):
    """Source as people type it: sometimes a tab before, blanks around "," and "+"."""
    r = rng.random()
    if r < 0.5:
        return "\t" + text
    if r < 0.75:
        return "    " + text.replace(",", ", ")
    if r < 0.9:
        return text
    return "  " + text.replace("+", " + ")


def target(state, label, relative):
    """A label to jump to from the block of label: near (a 16-bit operand) or far (32 bits)."""
    rng = state.rng
    state.jumps += 1
    segment = label // SEGMENT_LABELS
    far = rng.random() < FAR_SHARE
    state.far_jumps += far
    if not relative:
        if far:
            return "@L%d" % rng.randrange(SEGMENT_LABELS, state.labels)
        return "@L%d" % rng.randrange(LOW_LABELS)
    if far:
        other = rng.randrange(state.segments - 1)
        if other >= segment:
            other += 1
        low = other * SEGMENT_LABELS
        high = min(low + SEGMENT_LABELS, state.labels)
        return "@L%d" % rng.randrange(low, high)
    low = max(segment * SEGMENT_LABELS, label - NEAR_LABELS)
    high = min((segment + 1) * SEGMENT_LABELS, state.labels, label + NEAR_LABELS + 1)
    return "@L%d" % rng.randrange(low, high)


def condition_prefix(rng):
    r = rng.random()
    if r < 0.65:
        return rng.choice(CONDITIONS) + ","
    if r < 0.7:
        return rng.choice(CONDITIONS) + "," + rng.choice(CONDITIONS) + ","
    return ""


def body_line(state, kind, label):
    rng = state.rng
    if kind == "move":
        return "%s %s,%s" % (rng.choice(("ld", "ld", "mov")), reg(rng), reg(rng))
    if kind == "load_imm":
        r = rng.random()
        if r < 0.6:
            value = str(rng.randrange(0, 32768))
        elif r < 0.75:
            value = "K%d" % rng.randrange(CONSTANTS)
        elif r < 0.9:
            value = "0%xh" % rng.randrange(0x100, 0x10000)
        else:
            value = str(rng.randrange(100000, 2000000000))
        return "ld %s,%s" % (reg(rng), value)
    if kind == "arith_reg":
        return "%s %s,%s" % (rng.choice(ARITH), reg(rng), reg(rng))
    if kind == "arith_imm":
        r = rng.random()
        if r < 0.7:
            value = str(rng.randrange(1, 200))
        elif r < 0.85:
            value = "K%d+1" % rng.randrange(CONSTANTS)
        elif r < 0.95:
            value = "0"
        else:
            value = str(rng.randrange(70000, 90000000))
        return "%s %s,%s" % (rng.choice(ARITH), reg(rng), value)
    if kind == "load_mem":
        size = rng.choice(("", "", "", "byte ", "word ", "short ", "int "))
        return "ld %s,%s[%s%s]" % (reg(rng), size, reg(rng), displacement(rng))
    if kind == "load_mem0":
        return "ld %s,[%s]" % (reg(rng), reg(rng))
    if kind == "store_mem":
        size = rng.choice(("", "", "byte ", "word "))
        return "ld %s[%s%s],%s" % (size, reg(rng), displacement(rng), reg(rng))
    if kind == "arith_mem":
        if rng.random() < 0.5:
            return "%s [%s%s],%s" % (rng.choice(ARITH), reg(rng), displacement(rng), reg(rng))
        return "%s %s,[%s%s]" % (rng.choice(ARITH), reg(rng), reg(rng), displacement(rng))
    if kind == "jump":
        mnemonic = rng.choice(("jr", "jr", "jmp"))
        return "%s %s%s" % (mnemonic, condition_prefix(rng), target(state, label, mnemonic == "jr"))
    if kind == "call":
        r = rng.random()
        if r < 0.1:
            return "call [%s%s]" % (reg(rng), displacement(rng))
        if r < 0.2:
            return "call %s" % reg(rng)
        mnemonic = rng.choice(("call", "calr"))
        return "%s %s" % (mnemonic, target(state, label, mnemonic == "calr"))
    if kind == "ret":
        return "ret" if rng.random() < 0.6 else "ret %s," % rng.choice(CONDITIONS)
    if kind == "stack":
        r = rng.random()
        if r < 0.45:
            return "push %s" % reg(rng)
        if r < 0.9:
            return "pop %s" % reg(rng)
        return "xchg [sp],%s" % reg(rng)
    if kind == "unary":
        if rng.random() < 0.8:
            return "%s %s" % (rng.choice(UNARY), reg(rng))
        return "%s [%s%s]" % (rng.choice(UNARY), reg(rng), displacement(rng))
    if kind == "data_dd":
        count = rng.randrange(1, 4)
        values = []
        for _ in range(count):
            r = rng.random()
            if r < 0.7:
                values.append("@L%d" % rng.randrange(state.labels))
            elif r < 0.85:
                values.append("@L%d+%d" % (rng.randrange(state.labels), rng.randrange(1, 64)))
            else:
                values.append(str(rng.randrange(0, 1 << 31)))
        return "dd " + ",".join(values)
    if kind == "data_db":
        r = rng.random()
        if r < 0.4:
            return "db " + ",".join(str(rng.randrange(256)) for _ in range(rng.randrange(1, 6)))
        if r < 0.7:
            return "db 'text %d',0" % rng.randrange(1000)
        return "dw 0%xh,%d" % (rng.randrange(0x10000), rng.randrange(-32768, 32768))
    if kind == "float":
        r = rng.random()
        q = rng.choice(FLOAT_REGISTERS)
        if r < 0.3:
            return "fld %s,%s [%s%s]" % (q, rng.choice(PRECISIONS), reg(rng), displacement(rng))
        if r < 0.45:
            return "fld %s [%s+%d],%s" % (rng.choice(PRECISIONS), reg(rng), rng.randrange(1, 64), q)
        if r < 0.65:
            return "%s %s,%s" % (rng.choice(FLOAT_BINARY), q, rng.choice(FLOAT_REGISTERS))
        if r < 0.8:
            return "%s %s" % (rng.choice(FLOAT_UNARY), q)
        if r < 0.9:
            return "fld %s,int %d" % (q, rng.randrange(100000))
        return "fld %s,single %d.%d" % (q, rng.randrange(1000), rng.randrange(100))
    if kind == "const":
        state.body_constants += 1
        return "#const N%d = %d" % (state.body_constants, rng.randrange(-1000, 100000))
    if kind == "special":
        r = rng.random()
        if r < 0.35:
            return "ld %s,%s" % (rng.choice(("sp", "flags", "sr1f", "ip")), reg(rng))
        if r < 0.7:
            return "ld %s,%s" % (reg(rng), rng.choice(("sp", "flags", "sr10", "dsb")))
        return "xchg %s,%s" % (reg(rng), reg(rng))
    if kind == "int":
        if rng.random() < 0.5:
            return "int 0%xh" % rng.randrange(16, 256)
        return "int %d,ax=%d" % (rng.randrange(256), rng.randrange(100000))
    raise ValueError(kind)


def generate(lines, seed, out):
    rng = random.Random(seed)
    head = ["#header"]
    for k in range(CONSTANTS):
        head.append("#const K%d = %d" % (k, rng.randrange(1, 30000)))
    head += ["@runpoint:", "\tld sp,ax", "@start:"]
    tail = ["@stack:", "#data 4096", "@endofstack:"]
    body_lines = lines - len(head) - len(tail)
    if body_lines < 8 * 2 * SEGMENT_LABELS:  # a far target needs a second segment
        raise SystemExit("at least %d lines are needed" % (len(head) + len(tail) + 16 * SEGMENT_LABELS))
    labels = (body_lines + 7) // 8
    state = t_state(rng, labels)

    out.write("\r\n".join(head).encode("ascii") + b"\r\n")
    chunk = []
    kinds = []
    for i in range(body_lines):
        if not kinds:
            kinds = pick_kinds(rng, 65536)
            kinds.reverse()
        if i % 8 == 0:
            label = i // 8
            chunk.append("@L%d:" % label)
            continue
        if i % 8 == 7 and (label + 1) % SEGMENT_LABELS == 0:
            chunk.append("#zero %d" % ZERO_BLOCK)
            continue
        text = body_line(state, kinds.pop(), label)
        chunk.append(text if text[0] == "#" else spaced(rng, text))
        if len(chunk) >= 65536:
            out.write(("\r\n".join(chunk) + "\r\n").encode("ascii"))
            chunk = []
    if chunk:
        out.write(("\r\n".join(chunk) + "\r\n").encode("ascii"))
    out.write("\r\n".join(tail).encode("ascii") + b"\r\n")
    return state


def main():
    if len(sys.argv) != 4:
        raise SystemExit("usage: gen_program.py LINES SEED OUTPUT")
    lines = int(sys.argv[1])
    seed = int(sys.argv[2])
    with open(sys.argv[3], "wb") as out:
        state = generate(lines, seed, out)
    share = state.far_jumps / state.jumps if state.jumps else 0.0
    print("%s: %d lines, %d labels, %d jumps and calls to labels, %.1f%% far"
          % (sys.argv[3], lines, state.labels, state.jumps, 100.0 * share), file=sys.stderr)


if __name__ == "__main__":
    main()
