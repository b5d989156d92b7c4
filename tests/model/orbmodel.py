#!/usr/bin/env python3
"""Independent executable model of the orbasm assembler.

Given a source file name (relative to a working directory) and the files on disk, it computes
what the real binary prints on standard output, its exit code and the image bytes it writes.
It is written from the description of the assembler alone, as a second implementation to
compare the real binary against (see compare.py).

Command line use:  orbmodel.py SOURCE   (writes SOURCE.orb like the binary does)
"""

import os
import re
import sys
from fractions import Fraction

M32 = 0xFFFFFFFF
BOUNDARY = ' #,:;[]'
WORD_CHARS = frozenset('#.0123456789@ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz')
PUNCTUATION = frozenset('+,-:;=[]')
HEX_DIGITS = frozenset('0123456789ABCDEFabcdef')
LETTERS = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz'
TERM_NAME_FIRST = frozenset('@_' + LETTERS)
TERM_NAME_REST = frozenset('0123456789@_' + LETTERS)
IMM_NAME_FIRST = frozenset('_' + LETTERS)
IMM_NAME_REST = frozenset('0123456789_' + LETTERS)

REGISTERS = ('ax|r0/bx|r1/cx|r2/dx|r3/ex|r4/fx|r5/gx|r6/hx|r7/ix|r8/jx|r9/kx|ra|r10/lx|rb|r11/'
             'mx|rc|r12/nx|rd|r13/ox|re|r14/px|rf|r15')
CONDITIONS = '^/c/nc/o/no/z/nz/loopcx/^/c2/nc2/o2/no2/z/nz2/loopdx'
SPECIAL1 = ('sr00|sp/sr01|spl/sr02|ip/sr03|itb/sr04|pbt/sr05|pbd/sr06|dsb/sr07|esb/sr08|flags/'
            'sr09/sr0a/sr0b/sr0c/sr0d/sr0e/sr0f')
SPECIAL2 = 'sr10/sr11/sr12/sr13/sr14/sr15/sr16/sr17/sr18/sr19/sr1a/sr1b/sr1c/sr1d/sr1e/sr1f'
FLOAT_REGISTERS = 'q0/q1/q2/q3/q4/q5/q6/q7/q8/q9/qa/qb/qc/qd/qe/qf'
PACKED = 'padd/padds/psub/psubs/piadds/psapadd/pisubs/psrpadd/imul64/mul64/div64'
TWO_OPERAND = 'add/adc/sub/sbc/and/or/xor/test/cmp/mul/div'
STACK = 'push /pop /xchg [sp ],'
ONE_OPERAND = ('neg/sar/shl/shr/rol/ror/rcl/rcr/negdx/sardx/shldx/shrdx/roldx/rordx/rcldx/rcrdx/'
               'inc/inc2/inc4/inc8/inc10/inc12/inc16/inc24/dec1/dec2/dec4/dec8/dec10/dec12/dec16/dec24/'
               'swp0000/swp0004/swp0034/swp0234/swp4321/swp0001/swp0012/swp0123/swp0204/swp0103/'
               'swp0102/swp0304/swp2040/swp1030/swp1020/swp3040/swp1243/swp2134/swp2143/swp4231/'
               'swp4123/swp3412/swp2341/swp1324/swp1111/swp2222/swp3333/swp4444/swp3214/swp0404/'
               'swpss34|cvsebd/swpsss4|cvsewd')
FLOAT_ONE = 'fsin/fcos/ftan/fsincos/fexp/fln/fround/ftrunc/fsqrt/finv/fabs/fminus/fpatan/^/^/ftest'
FLOAT_TWO = 'fadd/fsub/fmul/fdiv'
PRECISIONS = 'single [/double [/extended ['
STORE_ACCESS = '[/byte [/word ['
LOAD_ACCESS = '[/byte [/word [/short [/^/^/^/int ['

HEADER_WORDS = ('@endofexe', '@endofmem', '@runpoint', '@start', '@stack', '@endofstack-@stack',
                '@endofmem')


def s32(value):
    value &= M32
    return value - (1 << 32) if value & 0x80000000 else value


class Fatal(Exception):
    """The run ends with an error report."""

    def __init__(self, message, file_name, line_number, fault):
        super().__init__(message)
        self.message = message
        self.file_name = file_name
        self.line_number = line_number
        self.fault = fault


# ---------------------------------------------------------------------------------------------
# Lexical helpers on normalised text with 1-based positions.

def skip_blanks(text, pos):
    n = len(text)
    while pos <= n and text[pos - 1] == ' ':
        pos += 1
    return pos


def match_keyword(text, keywords, pos, no_boundary_check=False):
    """Returns (alternative number or 0, new position)."""
    pos = skip_blanks(text, pos)
    n = len(text)
    size = len(keywords)
    if size == 0:
        return 0, pos
    number = 1
    i = 0
    while True:
        k = 0
        while True:
            if i + k >= size or keywords[i + k] in '/|':
                after = pos + k
                if after > n or text[after - 1] in BOUNDARY or no_boundary_check:
                    return number, skip_blanks(text, after)
                break
            if pos + k > n:
                return 0, pos
            if keywords[i + k] == text[pos + k - 1]:
                k += 1
                continue
            break
        j = i + k
        while j < size and keywords[j] not in '/|':
            j += 1
        if j >= size:
            return 0, pos
        if keywords[j] != '|':
            number += 1
        i = j + 1
        if i >= size:
            return 0, pos


def expect_char(text, char, pos):
    pos = skip_blanks(text, pos)
    if pos <= len(text) and text[pos - 1] == char:
        return True, skip_blanks(text, pos + 1)
    return False, pos


def read_number(text, pos):
    """Reads a number at pos (a decimal digit); returns (value, position after the skipped char)."""
    n = len(text)
    i = pos
    while i <= n and text[i - 1] in HEX_DIGITS:
        i += 1
    run = text[pos - 1:i - 1]
    following = text[i - 1] if i <= n else ''
    if (len(run) >= 2 and run[-1] == 'b' and all(c in '01' for c in run[:-1])
            and following not in ('h', 'o')):
        value = 0
        for c in run[:-1]:
            value = (value * 2 + (1 if c == '1' else 0)) & M32
        return s32(value), i + 1
    radix = 10
    if i <= n and text[i - 1] == 'h':
        radix = 16
        i += 1
    if i <= n and text[i - 1] == 'o':
        radix = 8
        i += 1
    value = 0
    for c in run:
        value = (value * radix + int(c, 16)) & M32
    return s32(value), i + 1


def normalize_line(line):
    """Returns the normalised line, or None when a string is not closed."""
    out = []
    after_separator = True
    i = 0
    n = len(line)
    while i < n:
        c = line[i]
        if c in WORD_CHARS:
            out.append(c)
            after_separator = False
            i += 1
        elif c in PUNCTUATION:
            if not after_separator:
                out.append(' ')
            out.append(c)
            after_separator = True
            i += 1
        elif c == '"' or c == "'":
            j = line.find(c, i + 1)
            if j < 0:
                return None
            out.append(line[i:j + 1])
            i = j + 1
        else:
            if not after_separator:
                out.append(' ')
            after_separator = True
            i += 1
    return ''.join(out)


# ---------------------------------------------------------------------------------------------
# Floating-point conversion: the exact decimal value rounded once to extended, double or single.

FLOAT_SYNTAX = re.compile(r' *([+-]?)([0-9]*)(?:\.([0-9]*))?(?:[eE]([+-]?[0-9]+))?\Z')

# (significand bits with the integer bit, smallest and largest exponent of a normal value)
EXTENDED = (64, -16382, 16383)
DOUBLE = (53, -1022, 1023)
SINGLE = (24, -126, 127)


def round_to_format(x, fmt):
    """x: positive Fraction. Returns (exponent, significand) with value significand * 2^(e-p+1),
    significand < 2^p (below 2^(p-1) only for subnormals and zero), or None on overflow."""
    p, emin, emax = fmt
    num, den = x.numerator, x.denominator
    e = num.bit_length() - den.bit_length()
    if e >= 0:
        if num < (den << e):
            e -= 1
    else:
        if (num << -e) < den:
            e -= 1
    if e < emin:
        e = emin
    shift = e - (p - 1)
    if shift >= 0:
        n2, d2 = num, den << shift
    else:
        n2, d2 = num << -shift, den
    q, r = divmod(n2, d2)
    if 2 * r > d2 or (2 * r == d2 and (q & 1)):
        q += 1
    if q == (1 << p):
        q >>= 1
        e += 1
    if e > emax:
        return None
    return e, q


def parse_float(text):
    """Returns (negative, exact Fraction magnitude or None for zero), 'overflow' for a value
    beyond every format, or None when the text is not a number."""
    m = FLOAT_SYNTAX.match(text)
    if not m:
        return None
    sign, whole, frac, exp = m.group(1), m.group(2), m.group(3), m.group(4)
    frac = frac or ''
    if whole == '' and frac == '':
        return None
    negative = sign == '-'
    digits = (whole + frac).lstrip('0')
    exponent = int(exp) if exp is not None else 0
    if digits == '':
        return negative, None
    scale = exponent - len(frac)
    count = len(digits)
    if count - 1 + scale > 4940:
        return 'overflow'
    if count + scale < -4970:
        return negative, None
    return negative, Fraction(int(digits)) * (Fraction(10) ** scale)


def float_bytes(text, precision):
    """precision 1 single, 2 double, 3 extended; returns bytes or None for 'float value error'."""
    parsed = parse_float(text)
    if parsed is None or parsed == 'overflow':
        return None
    negative, value = parsed
    sign = 1 if negative else 0
    fmt, frac_bits, bias, size = {1: (SINGLE, 23, 127, 4), 2: (DOUBLE, 52, 1023, 8),
                                  3: (EXTENDED, 63, 16383, 10)}[precision]
    e, q = 0, 0
    if value is not None:
        rounded = round_to_format(value, fmt)
        if rounded is None:
            return None
        e, q = rounded
    biased = e + bias if q >= (1 << frac_bits) else 0
    if precision == 3:
        return q.to_bytes(8, 'little') + ((sign << 15) | biased).to_bytes(2, 'little')
    bits = (sign << (size * 8 - 1)) | (biased << frac_bits) | (q & ((1 << frac_bits) - 1))
    return bits.to_bytes(size, 'little')


# ---------------------------------------------------------------------------------------------
# Records.

class Item:
    __slots__ = ('kind', 'size', 'address', 'final', 'data', 'parameter', 'terms')

    def __init__(self, kind, size, data=b''):
        self.kind = kind
        self.size = size
        self.address = 0
        self.final = 0
        self.data = data
        self.parameter = 0
        self.terms = None


class SymbolData:
    __slots__ = ('tag', 'name', 'item', 'value')

    def __init__(self, tag, name, item, value):
        self.tag = tag
        self.name = name
        self.item = item
        self.value = value


class Node:
    __slots__ = ('parent', 'left', 'right', 'red', 'data')

    def __init__(self, parent, left, right, red, data):
        self.parent = parent
        self.left = left
        self.right = right
        self.red = red
        self.data = data


SENTINEL = Node(None, None, None, False, SymbolData(0, '', None, 0))

# A term is a tuple (kind, number, sign, symbol data).


# ---------------------------------------------------------------------------------------------

class Assembler:
    def __init__(self, directory, stdin_bytes=b''):
        self.directory = directory
        self.stdin_text = stdin_bytes.decode('latin-1')
        self.stdin_used = False
        self.out = []
        self.current = ''
        self.depth = 1
        self.stack = [None] + [['', 0] for _ in range(16)]
        self.head = Item(0, 0)
        self.items = [self.head]
        self.end_of_image = 0
        self.header_requested = False
        self.sizes_fit = False
        self.end_item = Item(0, 0)
        self.root = None
        self.text = ''
        self.pos = 1
        self.passes = 0
        self.stage = 0

    # -- reporting -----------------------------------------------------------------------------

    def fatal(self, message, level=None):
        entry = self.stack[level if level is not None else self.depth]
        raise Fatal(message, entry[0], entry[1], self.current)

    # -- source reader -------------------------------------------------------------------------

    def open_text(self, name):
        if name == '':
            if self.stdin_used:
                return ''
            self.stdin_used = True
            return self.stdin_text
        path = os.path.join(self.directory, name)
        with open(path, 'rb') as f:
            return f.read().decode('latin-1')

    def read_source(self, name):
        self.current = '[no input]'
        if self.depth > 16:
            self.fatal('Too many nested includes', 16)
        entry = self.stack[self.depth]
        entry[0] = name
        entry[1] = 1
        try:
            data = self.open_text(name)
        except OSError:
            self.fatal('Could not read file')
        n = len(data)
        i = 0
        while True:
            while i < n and ord(data[i]) <= 32 and data[i] != '\x1a':
                i += 1
            if i >= n or data[i] == '\x1a':
                break
            j = i
            while j < n and data[j] not in '\r\n\x1a':
                j += 1
            raw = data[i:j]
            if j < n and data[j] == '\r':
                j += 1
                if j < n and data[j] == '\n':
                    j += 1
            elif j < n and data[j] == '\n':
                j += 1
            i = j
            self.current = raw
            normal = normalize_line(raw)
            if normal is None:
                self.fatal('String exceeds line')
            self.current = normal
            self.out.append(normal + '\n')
            number, pos = match_keyword(normal, '#include', 1)
            if number:
                size = len(normal)
                while pos <= size and normal[pos - 1] not in '"\'':
                    pos += 1
                if pos > size:
                    self.fatal('Bad include statement')
                quote = normal[pos - 1]
                close = normal.find(quote, pos)
                if close < 0:
                    self.fatal('String exceeds line')
                self.depth += 1
                self.read_source(normal[pos:close])
                self.depth -= 1
            else:
                self.process_line()
            self.stack[self.depth][1] += 1

    # -- symbol table --------------------------------------------------------------------------

    def rotate_left(self, x):
        y = x.right
        x.right = y.left
        if y.left is not SENTINEL:
            y.left.parent = x
        y.parent = x.parent
        if x.parent is SENTINEL:
            self.root = y
        elif x is x.parent.left:
            x.parent.left = y
        else:
            x.parent.right = y
        y.left = x
        x.parent = y

    def rotate_right(self, x):
        y = x.left
        x.left = y.right
        if y.right is not SENTINEL:
            y.right.parent = x
        y.parent = x.parent
        if x.parent is SENTINEL:
            self.root = y
        elif x is x.parent.right:
            x.parent.right = y
        else:
            x.parent.left = y
        y.right = x
        x.parent = y

    def enter_symbol(self, tag, name, item, value):
        if self.root is None:
            self.root = Node(SENTINEL, SENTINEL, SENTINEL, False, SymbolData(tag, name, item, value))
            return self.root
        x = self.root
        previous = None
        last = 0
        while x is not SENTINEL:
            previous = x
            other = x.data.name
            if name == other:
                if x.data.item is not None and item is not None:
                    self.fatal('Constant or label redeclared')
                if item is not None:
                    d = x.data
                    d.tag, d.name, d.item, d.value = tag, name, item, value
                return x
            last = -1 if name < other else 1
            x = x.left if last < 0 else x.right
        z = Node(previous, SENTINEL, SENTINEL, True, SymbolData(tag, name, item, value))
        if last < 0:
            previous.left = z
        else:
            previous.right = z
        new = z
        while z.parent is not SENTINEL and z.parent.red:
            p = z.parent
            g = p.parent
            if p is g.left:
                u = g.right
                if u.red:
                    p.red = False
                    u.red = False
                    g.red = True
                    z = g
                else:
                    if z is p.right:
                        z = p
                        self.rotate_left(z)
                    z.parent.red = False
                    z.parent.parent.red = True
                    self.rotate_right(z.parent.parent)
            else:
                u = g.left
                if u.red:
                    p.red = False
                    u.red = False
                    g.red = True
                    z = g
                else:
                    if z is p.left:
                        z = p
                        self.rotate_right(z)
                    z.parent.red = False
                    z.parent.parent.red = True
                    self.rotate_left(z.parent.parent)
        self.root.red = False
        return new

    def check_defined(self, node):
        if node is None or node is SENTINEL:
            return
        if node.data.item is None:
            self.fatal('Constant or label not defined - ' + node.data.name)
        self.check_defined(node.left)
        self.check_defined(node.right)

    # -- expressions ---------------------------------------------------------------------------

    def parse_terms(self):
        terms, self.pos = self.parse_terms_at(self.text, self.pos)
        return terms

    def parse_terms_at(self, text, pos):
        n = len(text)
        terms = []
        sign = 1
        while pos <= n:
            c = text[pos - 1]
            if c == '-':
                sign = -1
            elif c == '+':
                sign = 1
            if c == ',' or c == ']':
                break
            if '0' <= c <= '9':
                value, pos = read_number(text, pos)
                terms.append((1, s32(sign * value), 1, None))
                sign = 1
                continue
            if c in TERM_NAME_FIRST:
                j = pos
                while j <= n and text[j - 1] in TERM_NAME_REST:
                    j += 1
                name = text[pos - 1:j - 1]
                node = self.enter_symbol(None, name, None, None)
                terms.append((3 if name[0] == '@' else 2, 0, sign, node.data))
                sign = 1
                pos = j
                continue
            pos += 1
        if not terms:
            terms.append((1, 0, 1, None))
        return terms, pos

    def parse_immediate(self):
        text, pos = self.text, self.pos
        n = len(text)
        result = 0
        sign = 1
        while pos <= n:
            c = text[pos - 1]
            if c == '@':
                self.fatal('Immediate value expected')
            if c == '-':
                sign = -1
            elif c == '+':
                sign = 1
            if c == ',' or c == ']':
                break
            if '0' <= c <= '9':
                value, pos = read_number(text, pos)
                result = s32(result + sign * value)
                sign = 1
                continue
            if c in IMM_NAME_FIRST:
                j = pos
                while j <= n and text[j - 1] in IMM_NAME_REST:
                    j += 1
                node = self.enter_symbol(None, text[pos - 1:j - 1], None, None)
                if node.data.item is None:
                    self.fatal('Constant not defined')
                result = s32(result + sign * (node.data.value or 0))
                sign = 1
                pos = j
                continue
            pos += 1
        self.pos = pos
        return result

    @staticmethod
    def eval_terms(terms):
        total = 0
        for kind, number, sign, symbol in terms:
            if kind == 1:
                total += number
            elif kind == 2:
                total += sign * (symbol.value or 0)
            else:
                total += sign * symbol.item.final
        return s32(total)

    # -- items ---------------------------------------------------------------------------------

    def emit_item(self, kind, size, data=b''):
        item = Item(kind, size, bytes(data) if size else b'')
        self.items.append(item)
        return item

    def emit_deferred(self, kind, terms, word=0):
        if kind == 5:
            item = self.emit_item(5, 0)
            item.terms = terms
            item.size = 4
            return item
        if kind in (6, 7):
            item = self.emit_item(kind, 2, (word & 0xFFFF).to_bytes(2, 'little'))
            item.terms = terms
            item.size = 6
            return item
        return None

    def emit_word(self, word):
        self.emit_item(1, 2, (word & 0xFFFF).to_bytes(2, 'little'))

    def emit_mem_operand(self, word):
        ok, self.pos = expect_char(self.text, ']', self.pos)
        if ok:
            self.emit_word(word)
            return
        word = (word + 0x4000) & 0xFFFF
        terms = self.parse_terms()
        self.emit_deferred(7, terms, word)
        ok, self.pos = expect_char(self.text, ']', self.pos)
        if not ok:
            self.fatal('] expected')

    # -- scanning shortcuts on the encoder's line ----------------------------------------------

    def mk(self, keywords, no_boundary_check=False):
        number, self.pos = match_keyword(self.text, keywords, self.pos, no_boundary_check)
        return number

    def ec(self, char):
        ok, self.pos = expect_char(self.text, char, self.pos)
        return ok

    def need_register(self, message='Register expected'):
        r = self.mk(REGISTERS)
        if not r:
            self.fatal(message)
        return r - 1

    def need_comma(self):
        if not self.ec(','):
            self.fatal('Comma expected')

    def need_float_register(self):
        q = self.mk(FLOAT_REGISTERS)
        if not q:
            self.fatal('Float register expected')
        return q - 1

    def closing_bracket_after(self, start):
        """Position just past the first ']' at or after start."""
        text = self.text
        n = len(text)
        p = start
        while p <= n and text[p - 1] != ']':
            p += 1
        if p > n:
            self.fatal("Brackets don't match")
        return p + 1

    # -- directives and labels -----------------------------------------------------------------

    def process_line(self):
        line = self.current
        if line == '':
            return
        self.text = line
        self.pos = 1
        for keyword, kind in (('#org', 8), ('#align', 9), ('#data', 2), ('#zero', 3)):
            if self.mk(keyword):
                item = self.emit_item(kind, 0)
                value = self.parse_immediate()
                if kind == 8:
                    item.parameter = value
                elif kind == 9:
                    if value <= 0:
                        self.fatal('Alignment must be at least 1')
                    item.parameter = value
                else:
                    if value < 0:
                        self.fatal('Size must not be negative')
                    item.size = value
                return
        if self.mk('#header'):
            self.header_requested = True
            self.emit_item(1, 4, b'ORBX')
            for text in HEADER_WORDS:
                self.emit_deferred(5, self.parse_terms_at(text, 1)[0])
            return
        if self.mk('#const'):
            text = line
            n = len(text)
            start = self.pos
            p = start
            while p <= n and text[p - 1] != ' ':
                p += 1
            if p > n:
                self.fatal('Error in constant definition')
            if not (p + 2 <= n and text[p] == '='):
                self.fatal('Error in constant definition')
            name = text[start - 1:p - 1]
            self.pos = p + 2
            value = self.parse_immediate()
            self.enter_symbol(1, name, self.head, value)
            return
        if self.ec('@'):
            item = self.emit_item(10, 0)
            text = line
            n = len(text)
            p = self.pos
            while p <= n and text[p - 1] not in ' :':
                p += 1
            if p <= 2:
                self.fatal('Invalid label')
            self.enter_symbol(1, text[:p - 1], item, None)
            return
        self.encode_instruction()

    # -- encoder -------------------------------------------------------------------------------

    def data_loop(self, stage, precision=0):
        text = self.text
        n = len(text)
        while self.pos <= n:
            c = text[self.pos - 1]
            if c == ' ' or c == ',':
                self.pos += 1
                continue
            if stage == 'db' and (c == '"' or c == "'"):
                close = text.find(c, self.pos)
                if close < 0:
                    self.fatal('String exceeding line')
                chunk = text[self.pos:close]
                self.emit_item(1, len(chunk), chunk.encode('latin-1'))
                self.pos = close + 2
                continue
            if stage == 'db':
                value = self.parse_immediate()
                self.emit_item(1, 1, bytes([value & 0xFF]))
                self.pos += 1
            elif stage == 'dw':
                value = self.parse_immediate()
                self.emit_item(1, 2, (value & 0xFFFF).to_bytes(2, 'little'))
                self.pos += 1
            elif stage == 'dd':
                self.emit_deferred(5, self.parse_terms())
                self.pos += 1
            else:
                comma = text.find(',', self.pos - 1)
                end = comma if comma >= 0 else n
                value = float_bytes(text[self.pos - 1:end], precision)
                if value is None:
                    self.fatal('float value error')
                self.emit_item(1, len(value), value)
                self.pos = end + 2

    def condition_chain(self):
        chain = 0
        while True:
            c = self.mk(CONDITIONS)
            if not c:
                return chain
            self.need_comma()
            if chain >= 16:
                self.fatal('Too many conditions')
            chain = 16 * chain + (c - 1)

    def encode_instruction(self):
        self.text = self.current
        self.pos = 1
        text = self.text

        if self.mk('db'):
            return self.data_loop('db')
        if self.mk('dw'):
            return self.data_loop('dw')
        if self.mk('dd'):
            return self.data_loop('dd')
        m = self.mk('dsingle/ddouble/dextended')
        if m:
            return self.data_loop('float', m)

        n = self.mk(PACKED)
        if n:
            n -= 1
            a = self.need_register()
            self.need_comma()
            b = self.mk(REGISTERS)
            if b:
                self.emit_word(0x1100 + 0x200 * n + 16 * a + b - 1)
            else:
                self.emit_deferred(6, self.parse_terms(), 0xAB00 + 16 * n + a)
            return

        k = self.mk('jr/calr')
        if k:
            base = 0x7900 if k == 1 else 0x7B00
            chain = self.condition_chain()
            r = self.mk(REGISTERS)
            if r:
                if chain >= 16:
                    self.fatal('Too many conditions')
                self.emit_word(base + 16 * chain + r - 1)
            else:
                terms = self.parse_terms()
                own = SymbolData(0, '', None, 0)
                item = self.emit_deferred(6, [(3, 0, -1, own)] + terms, base + chain + 0x4000)
                own.item = item
            return

        k = self.mk('jmp/call')
        if k:
            k -= 1
            chain = self.condition_chain()
            r = self.mk(REGISTERS)
            if r:
                if chain >= 16:
                    self.fatal('Too many conditions')
                self.emit_word(0x7800 + 0x200 * k + 16 * chain + r - 1)
            elif self.ec('['):
                b = self.need_register()
                if chain >= 16:
                    self.fatal('Too many conditions')
                self.emit_mem_operand(0x7C00 + 0x100 * k + 16 * chain + b)
            else:
                self.emit_deferred(6, self.parse_terms(), 0xB800 + 0x200 * k + chain)
            return

        if self.mk('ret'):
            chain = self.condition_chain()
            self.emit_word(0x3A00 + chain)
            return

        if self.mk('int'):
            value = self.parse_immediate()
            if not 0 <= value <= 255:
                self.fatal('Interrupt number must be between 0 and 0ffh')
            if self.mk(',ax =', True):
                self.emit_deferred(6, self.parse_terms(), 0xBE00 + value)
            else:
                self.emit_word(0x3E00 + value)
            return

        k = self.mk(STACK, True)
        if k:
            a = self.need_register()
            self.emit_word(0x0F00 + 0x0F10 * (k - 1) + a)
            return

        n = self.mk(TWO_OPERAND)
        if n:
            n -= 1
            a = self.mk(REGISTERS)
            if a:
                a -= 1
                self.need_comma()
                b = self.mk(REGISTERS)
                if b:
                    self.emit_word(0x1000 + 0x200 * n + 16 * a + b - 1)
                elif self.ec('['):
                    m = self.need_register()
                    self.emit_mem_operand(0x5100 + 0x200 * n + 16 * a + m)
                else:
                    self.emit_deferred(7, self.parse_terms(), 0xAA00 + 16 * n + a)
                return
            if not self.ec('['):
                self.fatal('[register] or register expected')
            second = self.closing_bracket_after(self.pos + 1)
            m = self.need_register()
            current = self.pos
            self.pos = second
            self.need_comma()
            b = self.need_register()
            self.pos = current
            self.emit_mem_operand(0x5000 + 0x200 * n + 16 * b + m)
            return

        op = self.mk(ONE_OPERAND)
        if op:
            if self.ec('['):
                b = self.need_register()
                self.emit_mem_operand(0x6C00 + 16 * (op - 1) + b)
            else:
                r = self.need_register()
                self.emit_word(0x2C00 + 16 * (op - 1) + r)
            return

        if self.mk('xchg'):
            a = self.need_register()
            self.need_comma()
            if self.ec('['):
                b = self.need_register()
                if not self.ec(']'):
                    self.fatal('] expected')
                self.emit_word(0x0200 + 16 * a + b)
            else:
                b = self.need_register()
                self.emit_word(0x0100 + 16 * a + b)
            return

        if self.mk('ld/mov'):
            return self.encode_load()

        op = self.mk(FLOAT_ONE)
        if op:
            q = self.need_float_register()
            self.emit_word(0x3300 + 16 * (op - 1) + q)
            return

        op = self.mk(FLOAT_TWO)
        if op:
            a = self.need_float_register()
            self.need_comma()
            b = self.need_float_register()
            self.emit_word(0x3300 + 0x100 * (op - 1) + 16 * a + b)
            return

        if self.mk('fld'):
            return self.encode_fld()

        self.fatal('Syntax Error')

    def encode_load(self):
        c = self.mk(CONDITIONS)
        if c:
            self.ec(',')
            r = self.need_register()
            self.need_comma()
            self.emit_deferred(6, self.parse_terms(), 0xA800 + 16 * (c - 1) + r)
            return
        s = self.mk(SPECIAL1)
        if s:
            self.need_comma()
            r = self.need_register()
            self.emit_word(0x0500 + 16 * (s - 1) + r)
            return
        s = self.mk(SPECIAL2)
        if s:
            self.need_comma()
            r = self.need_register()
            self.emit_word(0x0700 + 16 * (s - 1) + r)
            return
        m = self.mk(STORE_ACCESS, True)
        if m:
            e = 1 if self.mk('es :', True) else 0
            second = self.closing_bracket_after(self.pos)
            b = self.need_register()
            current = self.pos
            self.pos = second
            self.need_comma()
            s = self.need_register()
            self.pos = current
            self.emit_mem_operand(0x4400 + 0x800 * e + 0x100 * (m - 1) + 16 * s + b)
            return
        d = self.need_register('Register or something expected')
        self.need_comma()
        access = self.mk(LOAD_ACCESS, True)
        if access:
            e = 1 if self.mk('es :', True) else 0
            b = self.need_register()
            self.emit_mem_operand(0x4000 + 0x800 * e + 0x100 * (access - 1) + 16 * d + b)
            return
        s = self.mk(SPECIAL1)
        if s:
            self.emit_word(0x0400 + 16 * d + s - 1)
            return
        s = self.mk(SPECIAL2)
        if s:
            self.emit_word(0x0600 + 16 * d + s - 1)
            return
        s = self.mk(REGISTERS)
        if s:
            self.emit_word(16 * d + s - 1)
            return
        self.emit_deferred(6, self.parse_terms(), 0xA800 + d)

    def encode_fld(self):
        m = self.mk(PRECISIONS, True)
        if m:
            second = self.closing_bracket_after(self.pos)
            b = self.need_register()
            current = self.pos
            self.pos = second
            self.need_comma()
            q = self.need_float_register()
            self.pos = current
            self.emit_mem_operand(0x7400 + 0x100 * (m - 1) + 16 * q + b)
            return
        r = self.mk(REGISTERS)
        if r:
            if not self.mk(',round'):
                self.fatal('round expected')
            q = self.need_float_register()
            self.emit_word(0x7700 + 16 * q + r - 1)
            return
        q = self.mk(FLOAT_REGISTERS)
        if not q:
            self.fatal('fld syntax error')
        q -= 1
        self.need_comma()
        m = self.mk(PRECISIONS, True)
        if m:
            b = self.need_register()
            self.emit_mem_operand(0x7000 + 0x100 * (m - 1) + 16 * q + b)
            return
        r = self.mk(REGISTERS)
        if r:
            self.emit_word(0x7300 + 16 * q + r - 1)
            return
        if self.mk('int/long'):
            self.emit_deferred(6, self.parse_terms(), 0xB300 + 16 * q)
            return
        if self.mk('single'):
            chunk = self.text[self.pos - 1:self.pos - 1 + 20]
            value = float_bytes(chunk, 1)
            if value is None:
                self.fatal('float value error')
            self.emit_item(1, 6, (0xF700 + 16 * q).to_bytes(2, 'little') + value)
            return
        self.fatal('fld syntax error')

    # -- layout --------------------------------------------------------------------------------

    def advance(self, address, size):
        address += size
        if address > 0x7FFFFFFF:
            self.fatal('Image too large')
        return address

    def layout_pass(self, first, all_long):
        self.passes += 1
        address = 0
        for item in self.items:
            item.address = address
            kind = item.kind
            if kind in (1, 3, 5):
                address = self.advance(address, item.size)
                self.end_of_image = address
            elif kind == 2:
                address = self.advance(address, item.size)
            elif kind in (6, 7):
                if all_long:
                    size = 6
                elif first:
                    size = 4
                else:
                    value = self.eval_terms(item.terms)
                    item.parameter = value
                    if value == 0 and kind == 7:
                        size = 2
                    elif -32768 <= value <= 32767:
                        size = 4
                    else:
                        size = 6
                item.size = size
                address = self.advance(address, size)
                self.end_of_image = address
            elif kind == 8:
                target = item.parameter
                if address > target:
                    self.fatal('Could not satisfy #org statement')
                item.size = target - address
                address = target
            elif kind == 9:
                n = item.parameter
                aligned = (address + n - 1) // n * n
                if aligned > 0x7FFFFFFF:
                    self.fatal('Image too large')
                item.size = aligned - address
                address = aligned
        self.end_item.address = self.end_of_image
        self.end_item.final = self.end_of_image
        for item in self.items:
            item.final = item.address

    def check_sizes(self):
        self.sizes_fit = True
        for item in self.items:
            kind = item.kind
            if kind == 5:
                item.parameter = self.eval_terms(item.terms)
            elif kind in (6, 7):
                value = self.eval_terms(item.terms)
                item.parameter = value
                if (value != 0 and item.size == 2) or (not -32768 <= value <= 32767 and item.size < 6):
                    self.sizes_fit = False
                    return

    def run_layout(self):
        self.stage = 1
        self.layout_pass(True, False)
        self.check_sizes()
        for _ in range(16):
            self.layout_pass(False, False)
            self.check_sizes()
            if self.sizes_fit:
                return
        self.stage = 2
        self.layout_pass(False, True)
        self.check_sizes()
        for _ in range(17):
            self.layout_pass(False, False)
            self.check_sizes()
            if self.sizes_fit:
                return
        self.stage = 3
        self.layout_pass(False, True)
        self.check_sizes()

    def image_bytes(self):
        out = bytearray()
        end = self.end_of_image
        for item in self.items:
            kind = item.kind
            if kind == 1:
                out += item.data
            elif kind == 5:
                out += (item.parameter & M32).to_bytes(4, 'little')
            elif kind in (6, 7):
                word = item.data[0] | (item.data[1] << 8)
                if item.size == 2:
                    word = (word - 0x4000) & 0xFFFF
                    out += word.to_bytes(2, 'little')
                elif item.size == 4:
                    out += word.to_bytes(2, 'little')
                    out += (item.parameter & 0xFFFF).to_bytes(2, 'little')
                else:
                    word = (word + 0x4000) & 0xFFFF
                    out += word.to_bytes(2, 'little')
                    out += (item.parameter & M32).to_bytes(4, 'little')
            elif kind in (2, 3, 8, 9):
                if item.size > 0:
                    out += bytes(item.size)
            if len(out) >= end:
                break
        return bytes(out)

    # -- the run -------------------------------------------------------------------------------

    def run(self, name, output_writable=True, file_size_limit=None):
        self.depth = 1
        self.read_source(name)
        if self.header_requested:
            self.current = '@endofmem:'
            self.process_line()
        self.current = '[end of program]'
        self.enter_symbol(0, '@endofexe', self.end_item, 0)
        self.check_defined(self.root)
        self.run_layout()
        # A file-size limit on the process makes the write fail part way through.
        if not output_writable or (file_size_limit is not None
                                   and self.end_of_image > file_size_limit):
            self.fatal('Could not write output file')
        return self.image_bytes()


def output_writable(directory, name):
    path = os.path.join(directory, name + '.orb')
    parent = os.path.dirname(path) or '.'
    return os.path.isdir(parent) and not os.path.isdir(path)


def assemble(name, directory='.', stdin_bytes=b'', file_size_limit=None):
    """Returns (stdout bytes, exit code, image bytes or None, statistics dict)."""
    asm = Assembler(directory, stdin_bytes)
    try:
        image = asm.run(name, output_writable(directory, name), file_size_limit)
        code = 0
    except Fatal as f:
        asm.out.append('\nError : %s\nFile  : %s\nLine  : %d\nFault : %s\n'
                       % (f.message, f.file_name, f.line_number, f.fault))
        image = None
        code = 1
    stats = {'passes': asm.passes, 'stage': asm.stage}
    return ''.join(asm.out).encode('latin-1'), code, image, stats


def main():
    name = sys.argv[1] if len(sys.argv) > 1 else ''
    stdin_bytes = b''
    if name == '':
        stdin_bytes = sys.stdin.buffer.read()
    out, code, image, _ = assemble(name, '.', stdin_bytes)
    sys.stdout.buffer.write(out)
    sys.stdout.flush()
    if image is not None:
        with open(name + '.orb', 'wb') as f:
            f.write(image)
    sys.exit(code)


if __name__ == '__main__':
    main()
