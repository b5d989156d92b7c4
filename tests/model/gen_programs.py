#!/usr/bin/env python3
"""Seeded random generator of orbasm source programs for the differential comparison.

generate(seed) returns a program: the main file as a list of (text, line end) pairs, the extra
files it includes, and directories to create. Programs exercise every instruction form, the
directives, expressions, layout relaxation, includes, line ends and every error report.

Command line use:  gen_programs.py SEED [DIR]   (prints the main file, or writes all files)
"""

import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import orbmodel  # noqa: E402  (only to pick float texts that a precision can hold)

REGISTER_NAMES = [['ax', 'r0'], ['bx', 'r1'], ['cx', 'r2'], ['dx', 'r3'], ['ex', 'r4'], ['fx', 'r5'],
                  ['gx', 'r6'], ['hx', 'r7'], ['ix', 'r8'], ['jx', 'r9'], ['kx', 'ra', 'r10'],
                  ['lx', 'rb', 'r11'], ['mx', 'rc', 'r12'], ['nx', 'rd', 'r13'], ['ox', 're', 'r14'],
                  ['px', 'rf', 'r15']]
CONDITION_NAMES = ['c', 'nc', 'o', 'no', 'z', 'nz', 'loopcx', 'c2', 'nc2', 'o2', 'no2', 'nz2', 'loopdx']
SPECIAL_NAMES = (['sr%02x' % i for i in range(32)]
                 + ['sp', 'spl', 'ip', 'itb', 'pbt', 'pbd', 'dsb', 'esb', 'flags'])
FLOAT_REGS = ['q%x' % i for i in range(16)]
PACKED = ['padd', 'padds', 'psub', 'psubs', 'piadds', 'psapadd', 'pisubs', 'psrpadd', 'imul64',
          'mul64', 'div64']
TWO_OPERAND = ['add', 'adc', 'sub', 'sbc', 'and', 'or', 'xor', 'test', 'cmp', 'mul', 'div']
ONE_OPERAND = ('neg sar shl shr rol ror rcl rcr negdx sardx shldx shrdx roldx rordx rcldx rcrdx '
               'inc inc2 inc4 inc8 inc10 inc12 inc16 inc24 dec1 dec2 dec4 dec8 dec10 dec12 dec16 '
               'dec24 swp0000 swp0004 swp0034 swp0234 swp4321 swp0001 swp0012 swp0123 swp0204 '
               'swp0103 swp0102 swp0304 swp2040 swp1030 swp1020 swp3040 swp1243 swp2134 swp2143 '
               'swp4231 swp4123 swp3412 swp2341 swp1324 swp1111 swp2222 swp3333 swp4444 swp3214 '
               'swp0404 swpss34 cvsebd swpsss4 cvsewd').split()
FLOAT_ONE = ['fsin', 'fcos', 'ftan', 'fsincos', 'fexp', 'fln', 'fround', 'ftrunc', 'fsqrt', 'finv',
             'fabs', 'fminus', 'fpatan', 'ftest']
FLOAT_TWO = ['fadd', 'fsub', 'fmul', 'fdiv']
ALL_MNEMONICS = (['db', 'dw', 'dd', 'dsingle', 'ddouble', 'dextended', 'jr', 'calr', 'jmp', 'call',
                  'ret', 'int', 'push', 'pop', 'xchg', 'ld', 'mov', 'fld', '#org', '#align', '#data',
                  '#zero', '#header', '#const', '#include']
                 + PACKED + TWO_OPERAND + ONE_OPERAND + FLOAT_ONE + FLOAT_TWO)

FLOAT_TEXTS = ['3.4028235677973366163e38', '3.402823567797336616e38', '1.7976931348623158079e308',
               '1.000000059604644775390626', '1.18973149535723176505e4932', '1.18973149535723176509e4932',
               '1e99999999999999999999', '1e0000000000000000000000005', '0.00000000000000000000000000000000000000000000140129846432481707',
               '1.5', '-1.5', '0', '-0', '0.0', '.5', '5.', '-.25', '+2.5', '3.14159265358979323846',
               '0.1', '0.2', '0.3', '1e3', '1E3', '2.5e10', '123456789', '16777216', '16777217',
               '16777219', '9007199254740993', '9007199254740995', '18446744073709551617',
               '18446744073709551615', '36893488147419103231', '1e38', '3.4028234e38',
               '3.4028235e38', '3.40282356e38', '3.4028236e38', '1e39', '1e308',
               '1.7976931348623157e308', '1.797693134862315807e308', '1.7976931348623159e308',
               '1e309', '1e4931', '1.18973149535723176e4932', '1.2e4932', '1e5000', '0e99999',
               '0.000000000000000000000000000000000000000000001',
               '0.0000000000000000000000000000000000000000000000000000000000001', '65504',
               '65520', '0.333333333333333333333333', '2.718281828459045235360287',
               '100000000000000000000000000000000000000000000000000000000001',
               '1.00000005960464477539062', '1.00000005960464477539063', '1.0000000596046447753906',
               '4503599627370497.5', '3.4028235677973366164e38', '340282356779733661637539395458142568447',
               '340282356779733661637539395458142568448', '18446745173221179393', '18446747372244434943',
               '1.0000000596046447753914720329472543003390683225006796419620513916015625',
               '1.00000000000000011102230328969626659539084168049072331996285356581211090087890625', '1e1', '00001.000', '1.5e-3', '1e+3', '1.5 ', 'x', '1.2.3',
               '.', 'e5', '1e', '--1', '1,5', "'1'", '1.5f', '0x10', 'inf', 'nan', '1_0']


class Gen:
    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.seed = seed
        r = self.rng
        self.mode = r.choices(['valid', 'error', 'fuzz', 'tight', 'symbols', 'bigtree', 'single'],
                              [36, 30, 10, 10, 4, 3, 7])[0]
        self.files = {}
        self.dirs = []
        self.lines = []
        self.labels = []
        self.constants = {}      # name -> value, every constant of the program
        self.defined_consts = []  # constants defined so far, in order
        self.undefined_names = []
        self.header = False
        self.size_estimate = 0
        self.big_areas = 0
        self.float_ops = 0

    # -- small helpers -------------------------------------------------------------------------

    def chance(self, p):
        return self.rng.random() < p

    def pick(self, seq):
        return self.rng.choice(seq)

    def sp(self):
        """Optional blank space."""
        return self.rng.choices(['', ' ', '  ', '\t', ' \t '], [62, 26, 5, 5, 2])[0]

    def ws(self):
        """Required separation between two words."""
        return self.rng.choices([' ', '\t', '   ', ' \t', '!', '*', ' / ', '(', '$'],
                                [70, 8, 6, 4, 3, 3, 2, 2, 2])[0]

    def case(self, word):
        if self.mode in ('error', 'fuzz') and self.chance(0.01):
            return word.upper()
        return word

    def reg(self):
        return self.pick(self.pick(REGISTER_NAMES))

    def cond(self):
        return self.pick(CONDITION_NAMES)

    def freg(self):
        return self.pick(FLOAT_REGS)

    def special(self):
        return self.pick(SPECIAL_NAMES)

    def comment(self):
        words = ['note', 'x', 'loop back', 'a, b', '[5]', "'q'", 'done.', '0', ';;', 'ax', '"a;b"']
        if self.mode != 'valid':
            words.append('it"s')
        return self.sp() + ';' + self.sp() + self.pick(words)

    def maybe_comment(self, p=0.15):
        return self.comment() if self.chance(p) else ''

    # -- names and numbers ---------------------------------------------------------------------

    def new_label_name(self):
        while True:
            stem = self.pick(['L', 'loop', 'x', 'Lbl_', 'a', 'Z', '_', 'end', 'data', 'tbl', 'Q'])
            name = '@' + stem + str(self.rng.randint(0, 60))
            if self.chance(0.1):
                name = '@' + self.pick(['a', 'b', 'c', 'A', 'B', 'zz', 'ab', 'ba', 'a1', 'a_'])
            if name not in self.labels and name not in ('@endofexe', '@endofmem'):
                return name

    def new_const_name(self):
        while True:
            stem = self.pick(['k', 'size', 'Base', '_v', 'c_', 'MAX', 'n', 'off', 'Count', 'w'])
            name = stem + str(self.rng.randint(0, 60))
            if self.chance(0.1):
                name = self.pick(['size', 'Size', 'SIZE', 'base', 'Base', 'k', 'K', 'zz', 'Q', '_'])
            if name not in self.constants:
                return name

    def number(self, lo=0, hi=70000):
        r = self.rng
        v = r.randint(lo, hi)
        fmt = r.choices(['dec', 'hex', 'oct', 'bin', 'weird'], [50, 25, 8, 8, 9])[0]
        if v < 0:
            return '-' + self.number_text(-v, fmt)
        return self.number_text(v, fmt)

    def number_text(self, v, fmt):
        r = self.rng
        if fmt == 'dec':
            return str(v)
        if fmt == 'hex':
            text = format(v, 'x' if r.random() < 0.6 else 'X')
            return ('0' + text if not text[0].isdigit() or r.random() < 0.3 else text) + 'h'
        if fmt == 'oct':
            return format(v, 'o') + 'o'
        if fmt == 'bin':
            return format(v % 4096, 'b') + 'b'
        return self.pick(['12ho', '1bh', '19o', '101bh', '1f', '0x10', '12x', '10H', '0b', '1b',
                          '11b', '101B', '0101bo', '1010b', '7fffffffh', '0ffffffffh',
                          '80000000h', '2147483647', '4294967296', '99999999999', '0bh', '1bo',
                          '2b', '01b', '0ffh', '17o', '0', '00'])

    # -- expressions ---------------------------------------------------------------------------

    def known_label(self):
        if self.labels:
            return self.pick(self.labels)
        return '@endofexe'

    def term(self, allow_labels=True, immediate=False):
        r = self.rng
        options = ['num', 'num', 'const']
        if allow_labels:
            options += ['label', 'label', 'label']
        kind = self.pick(options)
        if kind == 'const':
            pool = self.defined_consts if immediate else list(self.constants)
            if pool:
                return self.pick(pool)
            kind = 'num'
        if kind == 'label':
            if self.chance(0.05):
                return '@endofexe'
            return self.known_label()
        return self.number(0, r.choice([10, 300, 70000, 0x7FFFFFFF]))

    def expr(self, allow_labels=True, immediate=False, max_terms=3):
        r = self.rng
        n = r.choices([1, 2, 3, 4], [55, 28, 12, 5])[0]
        n = min(n, max_terms)
        out = ''
        for i in range(n):
            if i == 0:
                sign = r.choices(['', '-', '+', '--', '-+'], [80, 12, 4, 2, 2])[0]
            else:
                sign = r.choices(['+', '-', '--', '+-'], [50, 40, 5, 5])[0]
            out += (self.sp() if i else '') + sign + self.sp() + self.term(allow_labels, immediate)
        return out

    def label_difference(self):
        a, b = self.known_label(), self.known_label()
        return a + self.sp() + '-' + self.sp() + b

    def imm(self, lo=0, hi=255):
        """An immediate expression from numbers and constants defined earlier."""
        if self.defined_consts and self.chance(0.3):
            name = self.pick(self.defined_consts)
            if self.chance(0.5):
                return name + self.sp() + self.pick(['+', '-']) + self.sp() + self.number(0, 20)
            return name
        return self.number(lo, hi)

    def displacement(self):
        r = self.rng
        choice = r.choices(['none', 'zero', 'small', 'edge', 'large', 'labels', 'const', 'expr'],
                           [30, 8, 22, 10, 6, 10, 6, 8])[0]
        if choice == 'none':
            return ''
        sign = self.pick(['+', '-', '+', '+'])
        if choice == 'zero':
            body = self.pick(['0', '00', '0h', '0-0', '5-5'])
        elif choice == 'small':
            body = self.number(0, 200)
        elif choice == 'edge':
            body = self.pick(['32767', '32768', '32769', '32766', '7fffh', '8000h', '0ffffh'])
        elif choice == 'large':
            body = self.pick(['12345678h', '100000', '7fffffffh', '80000000h', '65536'])
        elif choice == 'labels':
            body = self.label_difference()
        elif choice == 'const' and self.constants:
            body = self.pick(list(self.constants))
        else:
            body = self.expr()
        return self.sp() + sign + self.sp() + body

    def mem(self, base=None):
        base = base or self.reg()
        return '[' + self.sp() + base + self.displacement() + self.sp() + ']'

    def chain(self, maximum=2):
        n = self.rng.choices([0, 1, 2], [55, 30, 15])[0]
        n = min(n, maximum)
        return ''.join(self.cond() + self.sp() + ',' + self.sp() for _ in range(n))

    # -- valid lines of every kind -------------------------------------------------------------

    def line_data(self):
        r = self.rng
        kind = r.choices(['db', 'dw', 'dd', 'float'], [35, 20, 25, 20])[0]
        if kind == 'float':
            self.float_ops += 1
            precision = self.rng.randint(1, 3)
            mnemonic = ['dsingle', 'ddouble', 'dextended'][precision - 1]
            text = self.float_text(precision)
            self.size_estimate += 10
            return self.case(mnemonic) + self.ws() + text
        parts = []
        for _ in range(r.randint(0, 5)):
            if kind == 'db' and self.chance(0.3):
                body = self.pick(['abc', '', 'it"s', 'Hello, orb!', 'a b', ' ', '\t', 'x\xe9y',
                                  ']', ',', "don't", 'A;B', '\x01\x7f'])
                q = "'" if "'" not in body and (self.chance(0.5) or '"' in body) else '"'
                parts.append(q + body + q)
                self.size_estimate += len(body)
            elif kind == 'dd':
                parts.append(self.expr())
                self.size_estimate += 4
            else:
                parts.append(self.imm(-300 if self.chance(0.2) else 0, 70000))
                self.size_estimate += 2
        sep = [self.sp() + ',' + self.sp() for _ in parts]
        body = ''.join(p + (sep[i] if i < len(parts) - 1 else '') for i, p in enumerate(parts))
        return self.case(kind) + (self.ws() + body if body else self.pick(['', ' ']))

    def random_float(self):
        r = self.rng
        digits = ''.join(r.choice('0123456789') for _ in range(r.randint(1, 25)))
        point = r.randint(0, len(digits))
        text = digits[:point] + '.' + digits[point:] if r.random() < 0.7 else digits
        if text == '.':
            text = '0.'
        if r.random() < 0.3:
            text += r.choice('eE') + str(r.choice([0, 1, 5, 30, 37, 38, 39, 300, 307, 308, 309, 4931, 4932, 4933]))
        if r.random() < 0.3:
            text = r.choice('-+') + text
        return text

    def float_text(self, precision, extra=()):
        """A float text; in valid programs one that the precision can hold."""
        for _ in range(20):
            text = self.pick(FLOAT_TEXTS + list(extra)) if self.chance(0.6) else self.random_float()
            if self.mode in ('error', 'fuzz') or self.chance(0.03):
                return text
            chunk = text[:20] if extra else text
            if orbmodel.float_bytes(chunk, precision) is not None:
                return text
        return '1.5'

    def line_packed(self):
        m = self.pick(PACKED)
        self.size_estimate += 6
        if self.chance(0.6):
            return m + self.ws() + self.reg() + self.sp() + ',' + self.sp() + self.reg() + self.maybe_comment()
        return m + self.ws() + self.reg() + self.sp() + ',' + self.sp() + self.expr()

    def line_jump(self):
        r = self.rng
        m = self.pick(['jr', 'calr', 'jmp', 'call', 'jmp', 'jr'])
        self.size_estimate += 6
        form = r.choices(['reg', 'mem', 'expr'], [25, 20 if m in ('jmp', 'call') else 0, 55])[0]
        if form == 'reg':
            return m + self.ws() + self.chain(1) + self.reg() + self.maybe_comment()
        if form == 'mem':
            return m + self.ws() + self.chain(1) + self.mem()
        target = self.known_label() if self.chance(0.7) else self.expr()
        return m + self.ws() + self.chain() + target

    def line_ret(self):
        self.size_estimate += 2
        return 'ret' + (self.ws() + self.chain() if self.chance(0.5) else '') + self.maybe_comment()

    def line_int(self):
        self.size_estimate += 6
        n = self.imm(0, 255)
        if self.mode == 'valid' or (('+' in n or '-' in n) and self.chance(0.9)):
            n = self.pick([str(self.rng.randint(0, 255)), '%02xh' % self.rng.randint(0, 159),
                           '0%xh' % self.rng.randint(0, 255), '%oo' % self.rng.randint(0, 255),
                           format(self.rng.randint(0, 255), 'b') + 'b'])
        if self.chance(0.5):
            return 'int' + self.ws() + n + self.sp() + ',' + self.sp() + 'ax' + self.sp() + '=' + self.sp() + self.expr()
        return 'int' + self.ws() + n

    def line_stack(self):
        self.size_estimate += 2
        k = self.pick(['push', 'pop', 'xchg'])
        if k == 'xchg':
            return 'xchg' + self.sp() + '[' + self.sp() + 'sp' + self.sp() + ']' + self.sp() + ',' + self.sp() + self.reg() + self.maybe_comment()
        return k + self.ws() + self.reg() + self.maybe_comment()

    def line_two(self):
        m = self.pick(TWO_OPERAND)
        self.size_estimate += 6
        form = self.pick(['rr', 'rm', 're', 'mr', 're'])
        comma = self.sp() + ',' + self.sp()
        if form == 'rr':
            return m + self.ws() + self.reg() + comma + self.reg() + self.maybe_comment()
        if form == 'rm':
            return m + self.ws() + self.reg() + comma + self.mem()
        if form == 'mr':
            return m + self.sp() + self.mem() + comma + self.reg()
        value = self.expr() if self.chance(0.6) else self.pick(['0', '5', '12345h', '-1', '32768', '0-0'])
        return m + self.ws() + self.reg() + comma + value

    def line_one(self):
        m = self.pick(ONE_OPERAND)
        self.size_estimate += 6
        if self.chance(0.35):
            return m + self.sp() + self.mem()
        return m + self.ws() + self.reg() + self.maybe_comment()

    def line_xchg(self):
        self.size_estimate += 2
        if self.chance(0.5):
            return 'xchg' + self.ws() + self.reg() + self.sp() + ',' + self.sp() + '[' + self.sp() + self.reg() + self.sp() + ']'
        return 'xchg' + self.ws() + self.reg() + self.sp() + ',' + self.sp() + self.reg() + self.maybe_comment()

    def access(self, load):
        options = ['', '', 'byte', 'word'] + (['short', 'int'] if load else [])
        word = self.pick(options)
        prefix = (word + self.sp()) if word else ''
        es = ('es' + self.sp() + ':' + self.sp()) if self.chance(0.25) else ''
        return prefix, es

    def line_load(self):
        r = self.rng
        m = self.case(self.pick(['ld', 'mov']))
        self.size_estimate += 6
        comma = self.sp() + ',' + self.sp()
        form = r.choices(['cond', 'sdest', 'store', 'load', 'ssrc', 'reg', 'imm'],
                         [10, 10, 15, 18, 10, 15, 22])[0]
        if form == 'cond':
            mid = self.pick([',', ' ', ' , ', ','])
            return m + self.ws() + self.cond() + mid + self.reg() + comma + self.expr()
        if form == 'sdest':
            return m + self.ws() + self.special() + comma + self.reg() + self.maybe_comment()
        if form == 'store':
            prefix, es = self.access(False)
            return (m + self.ws() + prefix + '[' + self.sp() + es + self.reg() + self.displacement()
                    + self.sp() + ']' + comma + self.reg())
        if form == 'load':
            prefix, es = self.access(True)
            return (m + self.ws() + self.reg() + comma + prefix + '[' + self.sp() + es + self.reg()
                    + self.displacement() + self.sp() + ']')
        if form == 'ssrc':
            return m + self.ws() + self.reg() + comma + self.special() + self.maybe_comment()
        if form == 'reg':
            return m + self.ws() + self.reg() + comma + self.reg() + self.maybe_comment()
        return m + self.ws() + self.reg() + comma + self.expr()

    def line_float(self):
        r = self.rng
        form = r.choices(['one', 'two', 'store', 'load', 'fromreg', 'round', 'int', 'single'],
                         [14, 14, 12, 12, 12, 10, 12, 14])[0]
        comma = self.sp() + ',' + self.sp()
        self.size_estimate += 6
        if form == 'one':
            return self.pick(FLOAT_ONE) + self.ws() + self.freg() + self.maybe_comment()
        if form == 'two':
            return self.pick(FLOAT_TWO) + self.ws() + self.freg() + comma + self.freg() + self.maybe_comment()
        precision = self.pick(['single', 'double', 'extended'])
        if form == 'store':
            return 'fld' + self.ws() + precision + self.sp() + '[' + self.sp() + self.reg() + self.displacement() + self.sp() + ']' + comma + self.freg()
        if form == 'load':
            return 'fld' + self.ws() + self.freg() + comma + precision + self.sp() + '[' + self.sp() + self.reg() + self.displacement() + self.sp() + ']'
        if form == 'fromreg':
            return 'fld' + self.ws() + self.freg() + comma + self.reg() + self.maybe_comment()
        if form == 'round':
            return 'fld' + self.ws() + self.reg() + comma + 'round' + self.ws() + self.freg() + self.maybe_comment()
        if form == 'int':
            return 'fld' + self.ws() + self.freg() + comma + self.pick(['int', 'long']) + self.ws() + self.expr()
        text = self.float_text(1, ['1.5 ;x', '12345678901234567890123', '0.1000000000000000000001',
                                   '1.00000005960464477539', '340282356779733661637', '18446745173221179393',
                                   '18446747372244434943'])
        return 'fld' + self.ws() + self.freg() + comma + 'single' + self.ws() + text

    def line_directive(self):
        r = self.rng
        kind = r.choices(['org', 'align', 'data', 'zero', 'const'], [10, 20, 20, 20, 30])[0]
        if kind == 'org':
            if self.mode == 'valid' and self.chance(0.7):
                kind = 'align'
        if kind == 'org':
            target = self.size_estimate * 3 // 2 + 64 + r.randint(0, 80)
            self.size_estimate = target + 1
            text = self.pick([str(target), format(target, 'x') + 'h' if format(target, 'x')[0].isdigit() else '0' + format(target, 'x') + 'h'])
            return '#org' + self.ws() + text
        if kind == 'align':
            self.size_estimate += 16
            return '#align' + self.ws() + self.pick(['1', '2', '4', '8', '16', '3', '5', '256', '100h'])
        if kind in ('data', 'zero'):
            n = r.choice([0, 1, 2, 3, 7, 16, 100, 1000, 3000])
            if self.big_areas < 2 and self.chance(0.12):
                n = r.choice([32760, 32767, 32768, 32770, 40000, 65536, 70000])
                self.big_areas += 1
            self.size_estimate += n
            value = str(n) if not self.defined_consts or self.mode == 'valid' or self.chance(0.8) else self.imm(0, 100)
            return '#' + kind + self.ws() + value
        return self.line_const()

    def line_const(self):
        name = self.new_const_name()
        if self.chance(0.05):
            # Not usable in immediate expressions: a term reads "@w" as a label, "x@y" as one name.
            odd = self.pick(['@w', '@W1', 'x@y', 'k@', '@c_9'])
            if odd not in self.constants:
                self.constants[odd] = 0
                return '#const' + self.ws() + odd + self.sp() + '=' + self.sp() + self.number(0, 99)
        value_text = self.imm(-100, 70000) if self.chance(0.7) else self.number(-5, 0x7FFFFFFF)
        value = None
        self.constants[name] = 0
        line = '#const' + self.ws() + name + self.sp() + '=' + self.sp() + value_text
        self.defined_consts.append(name)
        return line

    def line_label(self, name):
        r = self.rng
        form = r.choices(['colon', 'spaced', 'bare', 'instr', 'comment'], [60, 12, 12, 8, 8])[0]
        if form == 'colon':
            return name + ':'
        if form == 'spaced':
            return name + self.sp() + ':' + self.sp()
        if form == 'bare':
            return name
        if form == 'instr':
            return name + ':' + self.sp() + 'ld ax,bx'
        return name + ':' + self.comment()

    def valid_line(self):
        r = self.rng
        kind = r.choices(['data', 'packed', 'jump', 'ret', 'int', 'stack', 'two', 'one', 'xchg',
                          'load', 'float', 'directive'],
                         [14, 5, 14, 4, 4, 5, 10, 8, 4, 14, 10, 8])[0]
        return getattr(self, 'line_' + {'data': 'data', 'packed': 'packed', 'jump': 'jump',
                                        'ret': 'ret', 'int': 'int', 'stack': 'stack',
                                        'two': 'two', 'one': 'one', 'xchg': 'xchg',
                                        'load': 'load', 'float': 'float',
                                        'directive': 'directive'}[kind])()

    # -- erroneous lines -----------------------------------------------------------------------

    def error_line(self):
        r = self.rng
        lbl = self.known_label()
        options = [
            # Syntax Error
            'nop', 'LD ax,bx', 'dbx 1', ';x', 'push', 'pop', 'dec ax', 'inc1 ax', 'jmpx 5', 'Mov ax,1',
            '#include"x.inc"', '#orgx 5', '%', '+5',
            # String exceeds line (normalisation)
            "db 'abc", 'ld ax,"x', "#include 'a.inc",
            # Bad include statement
            '#include', '#include x.inc', '#include ;',
            # Could not read file
            '#include "missing.inc"', "#include 'no/such/file'",
            # Immediate value expected
            '#org @x', 'db @a', 'dw 4+@x', 'int @x', '#const q =@x', 'db 5,' + lbl, 'dw x@y',
            # Constant not defined
            '#org undefinedname', 'db zz9', '#const a1 =b1', 'int nine', 'db 1 ;c', 'dw 5 ;five',
            '#align k77', 'int 21h ;x',
            # Constant or label redeclared
            'REDECL_LABEL', 'REDECL_CONST', '@endofexe:', '#const @endofexe =1',
            # Constant or label not defined
            'dd undefined_one', 'jmp @nowhere', 'ld ax,UNDEF', 'jr [bx]', 'ld ax,5 ;five',
            'call @missing+4', 'add ax,[bx+@gone]',
            # ] expected
            'ld ax,[bx+4', 'neg [ax', 'jmp z,[bx', 'xchg ax,[bx+2]', 'add ax,[bx+4,', 'call [bx 5',
            'fld q1,double [ax+8', 'ld ax,[bx,5]', 'xchg ax,[bx',
            # Error in constant definition
            '#const', '#const x', '#const x =', '#const a b =5', '#const x 5', '#const =5',
            # Invalid label
            '@', '@:', '@!', '@ :x',
            # Could not satisfy #org statement
            'ORG_LOW',
            # String exceeding line
            "db 0'1 ,'", "db 7'x ]'",
            # float value error
            'dsingle 1.5e-3', 'dsingle 1.5,2.5', 'dsingle x', 'dsingle 1e39', 'ddouble 1e309',
            'dextended 1e5000', 'fld q1,single 1.5 ', 'fld q1,single 1e39', 'dsingle 1.5e+3',
            'fld q3,single 1.5e-3', 'ddouble', 'dsingle -', 'fld q0,single', 'dextended 1e4933',
            # Register expected
            'push 5', 'neg 5', 'add [bx],5', 'ld [bx],5', 'jmp [5]', 'padd 5,ax', 'xchg ax,[sp]',
            'fld single [5],q1', 'fld q1,double [5]', 'neg byte [ax]', 'neg [es:ax]',
            'fld single [es:ax],q1', 'ld ax,[5]', 'xchg [bx],ax', 'pop', 'push r16', 'neg',
            'ld z,5', 'ld sp,5', 'xchg ax,5', 'add [5],ax', 'add [bx],cx5',
            # Comma expected
            'ld ax', 'add ax bx', 'ret nz', 'fadd q1 q2', 'ld z,ax 5', 'ld sp ax', 'jmp c ax',
            'xchg ax bx', 'ld [bx] ax', 'fld single [bx] q1', 'fld q1 ax', 'padd ax bx',
            'add [bx] ax', 'ld z', 'ret c,nz',
            # Too many conditions
            'jmp c,nz,o,@x', 'jmp c,nz,bx', 'ret c,nz,o,', 'jr z,nz,ax', 'call c,c,[bx]',
            'calr o,no,c2,5',
            # Interrupt number must be between 0 and 0ffh
            'int 100h', 'int -1', 'int 256', 'int 0ffffffffh',
            # [register] or register expected
            'add 5,ax', 'cmp', 'mul @x,ax', 'sub byte [bx],ax',
            # Brackets don't match
            'add [bx,ax', 'ld [bx,ax', 'fld single [bx,q1', 'add [],ax', 'ld byte [es:bx,ax',
            'add [', 'fld double [',
            # Register or something expected
            'ld 5,ax', 'ld short [bx],ax', 'ld es:[bx],ax', 'mov', 'ld int [bx],ax', 'ld @x,ax',
            # Float register expected
            'fsin ax', 'fadd q1,ax', 'fld ax,round,q1', 'fld single [bx],ax', 'ftest', 'fdiv qg,q1',
            'fld ax,round q16',
            # round expected
            'fld ax,q1', 'fld ax,round2 q1', 'fld ax',
            # fld syntax error
            'fld q3,q4', 'fld q1,[ax]', 'fld 5', 'fld q2,int5', 'fld [ax],q1', 'fld es:[ax],q1',
            'fld', 'fld q1,',
            # Alignment must be at least 1
            '#align 0', '#align -4', '#align', '#align 80000000h',
            # Size must not be negative
            '#data -1', '#zero -5', '#data 0ffffffffh',
            # Image too large
            'TOO_LARGE',
            # Could not write output file
            'NO_WRITE',
            # Too many nested includes
            'DEEP_INCLUDE', 'SELF_INCLUDE',
        ]
        choice = self.pick(options)
        if choice == 'REDECL_LABEL':
            return self.known_label() + ':' if self.labels else '@dup:\r\n@dup:'
        if choice == 'REDECL_CONST':
            if self.defined_consts:
                return '#const ' + self.pick(self.defined_consts) + ' = 3'
            return '#const dup = 1\r\n#const dup = 2'
        if choice == 'ORG_LOW':
            return 'db 1,2,3\r\n#org ' + self.pick(['0', '2', '-1', '80000000h'])
        if choice == 'TOO_LARGE':
            return self.pick(['#org 7fffffffh\r\ndb 1', '#data 7fffffffh\r\n#data 1',
                              '#org 7ffffff0h\r\n#data 20h', '#data 7ffffffeh\r\ndw 1',
                              '#data 7fffff00h\r\n#align 100000h', '#data 40000000h\r\n#data 40000000h',
                              '#org 7ffffffch\r\nld ax,@endofexe', '#data 7ffffff0h\r\n#align 7fffffffh'])
        if choice == 'NO_WRITE':
            self.dirs.append('prog.asm.orb')
            return self.valid_line()
        if choice == 'DEEP_INCLUDE':
            depth = self.rng.choice([14, 15, 15, 16])
            for i in range(depth):
                nxt = '#include "deep%d.inc"' % (i + 1) if i + 1 < depth else 'db %d' % i
                self.files['deep%d.inc' % i] = ('db %d\r\n%s\r\n' % (i, nxt)).encode('latin-1')
            return '#include "deep0.inc"'
        if choice == 'SELF_INCLUDE':
            self.files['self.inc'] = b'dw 7\r\n#include "self.inc"\r\n'
            return "#include 'self.inc'"
        return choice

    # -- fuzz lines ----------------------------------------------------------------------------

    def mutated_line(self):
        """A valid line with a few random edits: near-valid syntax is where the quirks live."""
        r = self.rng
        line = self.valid_line()
        if self.chance(0.25):
            # Cut short: words that end the line in the middle of a longer keyword.
            line = line[:r.randint(1, max(1, len(line)))]
            if line.count("'") % 2 == 0 and line.count('"') % 2 == 0:
                return line
        pieces = [' ', ',', '[', ']', '+', '-', ':', ';', '=', '@', '#', '.', "'", '"', 'x', 'h',
                  'b', 'o', '0', '1', '9', 'es :', 'byte ', ' ax', 'sp', 'q', 'r1', '\t', 'c,',
                  'single ', 'round ', 'int ']
        for _ in range(r.randint(1, 3)):
            if not line:
                break
            i = r.randint(0, len(line))
            action = r.choice(['delete', 'insert', 'insert', 'swap', 'case', 'duplicate'])
            if action == 'delete' and i < len(line):
                line = line[:i] + line[i + r.randint(1, 3):]
            elif action == 'insert':
                line = line[:i] + r.choice(pieces) + line[i:]
            elif action == 'swap' and i + 1 < len(line):
                line = line[:i] + line[i + 1] + line[i] + line[i + 2:]
            elif action == 'case' and i < len(line):
                line = line[:i] + line[i].swapcase() + line[i + 1:]
            elif action == 'duplicate' and i < len(line):
                j = min(len(line), i + r.randint(1, 5))
                line = line[:j] + line[i:j] + line[j:]
        if line.count("'") % 2 and self.chance(0.8):
            line += "'"
        if line.count('"') % 2 and self.chance(0.8):
            line += '"'
        return line

    def fuzz_line(self):
        r = self.rng
        if self.chance(0.5):
            return self.mutated_line()
        pool = (['ax', 'r1', 'r10', 'r16', 'px', 'q1', 'qf', 'sp', 'sr1f', 'flags', 'c', 'nz', 'z',
                 'loopcx', 'es', 'byte', 'word', 'short', 'int', 'long', 'single', 'double',
                 'extended', 'round', '[', ']', ',', ',', ':', ';', '+', '-', '=', '@', '#', '.',
                 "'", '"', "'x'", '"a,b"', '5', '0', '0ffh', '101b', '1.5', 'size', '@x',
                 self.known_label(), 'ax =', '[sp]', ' ', ' ', ' ', '\t', '!', '*', 'e3',
                 '1e3', '-0', '32768', '7fffffffh'] + list(self.constants)[:3])
        head = self.pick(ALL_MNEMONICS + ['@a', '@', 'x', ''])
        n = r.randint(0, 7)
        body = ''.join(self.pick(pool) + (' ' if self.chance(0.3) else '') for _ in range(n))
        line = head + self.pick([' ', '', '  ']) + body
        if line.count("'") % 2 and self.chance(0.9):
            line += "'"
        if line.count('"') % 2 and self.chance(0.9):
            line += '"'
        return line

    # -- special constructs --------------------------------------------------------------------

    def tight_block(self):
        """Deferred operands whose sizes depend on each other near the size limits; such blocks
        often need the restart from the longest form, or the final all-long pass."""
        r = self.rng
        names = [self.new_label_name() for _ in range(r.randint(2, 4))]
        self.labels.extend(names)
        seq = []
        for n in names:
            seq.append(n + ':')
            for _ in range(r.randint(0, 2)):
                a, b = self.pick(names), self.pick(names)
                k = r.choice([0, 2, 4, 6, 8, -2, -4, -6, -8, 32760, 32761, 32762, 32763, 32764,
                              32765, 32766, 32767, 32768, 32769, 32770, 32771, 32772, 32773,
                              -32768, -32769, -32770, -32765, -32763, -32761])
                form = r.choice(['add ax,%s', 'ld ax,[bx+%s]', 'ld ax,%s', 'jr %s', 'neg [cx+%s]',
                                 'jmp %s', 'calr nz,%s', 'fld q1,int %s', 'padd ax,%s', 'dd %s',
                                 'sub bx,%s', 'int 3,ax=%s', 'ld z,ax,%s', 'add [dx+%s],ax'])
                seq.append(form % ('%s-%s%+d' % (a, b, k)))
            if r.random() < 0.6:
                seq.append('#zero %d' % r.choice([1, 2, 4, 32755, 32758, 32760, 32762, 32764, 32766]))
        return seq

    def oscillator_block(self):
        """Two operands whose sizes chase each other for ever: the layout ends in its final pass
        with every deferred operand at the longest form."""
        r = self.rng
        tag = 'o%d_' % r.randint(0, 999)
        a, b = '@%sa' % tag, '@%sb' % tag
        self.labels.extend([a, b])
        forms = ['add ax,%s', 'ld ax,%s', 'jmp %s', 'sub dx,%s', 'fld q2,long %s', 'padd cx,%s']
        seq = [a + ':', r.choice(forms) % ('%s-%s+%d' % (a, b, r.choice([32772, 32773])))]
        seq += [b + ':', r.choice(forms) % ('%s-%s+%d' % (b, a, r.choice([32762, 32763])))]
        if r.random() < 0.5:
            seq.append(r.choice(['neg [cx+%s-%s+4]' % (a, a), 'ld ax,[bx+%s-%s]' % (b, b), 'ret']))
        return seq

    def staircase_block(self):
        """Operands that grow one per relaxation pass: 16 of them still settle in the first stage,
        17 need the restart from the longest form, which the leading self-sized load shows."""
        r = self.rng
        count = r.choice([14, 15, 16, 17, 18])
        tag = 's%d_' % r.randint(0, 999)
        names = ['@%sp' % tag, '@%sq' % tag, '@%send' % tag]
        seq = [names[0] + ':', 'ld ax,%s-%s+32762' % (names[1], names[0]), names[1] + ':']
        form = r.choice(['ld ax,%s', 'add cx,%s', 'jmp %s', 'dd 0,%s'])
        for i in range(1, count + 1):
            label = '@%sb%d' % (tag, i)
            names.append(label)
            seq += [label + ':', form % ('%s-%s+%d' % (names[2], label, 32764 - 6 * (count - i)))]
        seq.append(names[2] + ':')
        self.labels.extend(n for n in names if n not in self.labels)
        return seq

    def far_block(self):
        """A jump or displacement across a large area."""
        r = self.rng
        target = self.new_label_name()
        self.labels.append(target)
        gap = r.choice([32750, 32755, 32758, 32759, 32760, 32761, 32762, 32763, 32764, 32765, 32767, 32768, 40000])
        area = self.pick(['#zero', '#data'])
        jump = self.pick(['jmp', 'jr', 'calr', 'call', 'ld ax,', 'add cx,', 'fld q2,int ', 'ld dx,[ax+'])
        suffix = ']' if jump.endswith('[ax+') else ''
        self.big_areas += 1
        if self.chance(0.5):
            return [jump + (' ' if jump[-1].isalpha() else '') + target + suffix,
                    '%s %d' % (area, gap), target + ':', 'ret']
        return [target + ':', '%s %d' % (area, gap),
                jump + (' ' if jump[-1].isalpha() else '') + target + suffix, 'ret']

    # -- the program ---------------------------------------------------------------------------

    def build(self):
        r = self.rng
        mode = self.mode
        count = r.randint(3, 45) if mode != 'symbols' else r.randint(5, 30)
        body = []
        if self.chance(0.18):
            self.header = True
            body.append('#header')
            for name in ('@runpoint', '@start', '@stack', '@endofstack'):
                self.labels.append(name)
        label_count = r.randint(0, 10)
        planned = [self.new_label_name() for _ in range(label_count)]
        for name in planned:
            if name not in self.labels:
                self.labels.append(name)
        positions = {}
        for name in self.labels:
            if name in ('@stack', '@endofstack'):
                continue
            positions.setdefault(r.randint(0, count), []).append(name)
        for i in range(count + 1):
            for name in positions.get(i, []):
                body.append(self.line_label(name))
            if i == count:
                break
            if mode == 'fuzz' and self.chance(0.3):
                body.append(self.fuzz_line())
            elif mode == 'tight' and self.chance(0.25) and self.big_areas < 3:
                self.big_areas += 1
                body.extend(self.pick([self.tight_block, self.tight_block, self.tight_block, self.tight_block,
                                       self.tight_block, self.tight_block, self.staircase_block,
                                       self.oscillator_block])())
            elif mode == 'symbols' and self.chance(0.4):
                body.append(self.symbol_line())
            elif self.big_areas < 2 and self.chance(0.03):
                body.extend(self.far_block())
            elif self.chance(0.04):
                body.append(self.include_line())
            else:
                body.append(self.valid_line())
        if self.header:
            body.append('@stack:')
            body.append('#data %d' % r.choice([0, 16, 256]))
            body.append('@endofstack:')
            if mode == 'error' and self.chance(0.2):
                body.remove(self.pick(['@stack:', '@endofstack:']))
            if mode == 'error' and self.chance(0.1):
                body.append('@endofmem:')
        if mode == 'error':
            where = r.randint(0, len(body))
            if self.chance(0.5):
                where = r.randint(len(body) // 2, len(body))
            error = self.error_line()
            if self.chance(0.15):
                lines = [self.valid_line() for _ in range(r.randint(0, 3))] + error.split('\r\n')
                lines += [self.valid_line() for _ in range(r.randint(0, 2))]
                name = 'err%d.inc' % r.randint(0, 9)
                eol = self.pick(['\r\n', '\n', '\r'])
                self.files[name] = ''.join(self.indent() + l + eol for l in lines).encode('latin-1')
                error = self.pick(['#include "%s"', "#include '%s'"]) % name
            body.insert(where, error)
        if mode == 'bigtree':
            body = self.big_tree()
        if mode == 'single':
            # A few definitions, then one near-valid line: dense coverage of the operand parsers.
            body = [line for line in body if line.startswith(('#const', '@'))][:6]
            body.append(self.mutated_line() if self.chance(0.7) else self.fuzz_line())
        if mode == 'symbols':
            for _ in range(r.randint(1, 4)):
                body.insert(r.randint(0, len(body)), self.pick(['dd ', 'ld ax,', 'jmp ']) + self.undefined_name())
        return body

    def big_tree(self):
        """Hundreds of names entered in a random order, a few never defined: the first one the
        final check reports depends on the exact shape of the symbol tree."""
        r = self.rng
        names = set()
        while len(names) < r.randint(20, 400):
            length = r.randint(1, 4)
            name = ''.join(r.choice('abcAB_z0') for _ in range(length))
            if name[0] == '0':
                name = 'q' + name
            names.add(self.pick(['', '@']) + name)
        names = sorted(names)
        r.shuffle(names)
        if self.chance(0.3):
            names.sort(reverse=self.chance(0.5))
        undefined = set(r.sample(names, r.randint(0 if self.chance(0.2) else 1, min(5, len(names)))))
        body = []
        i = 0
        while i < len(names):
            group = names[i:i + r.randint(1, 8)]
            i += len(group)
            body.append('dd ' + ' + '.join(group))
        for name in names:
            if name in undefined:
                continue
            if name.startswith('@'):
                body.append(name + ':')
            else:
                body.append('#const %s = %d' % (name, r.randint(-9, 99)))
        return body

    def undefined_name(self):
        name = self.pick(['@u', 'u', 'U', '_u', 'zz', '@zz', 'a', '@a']) + str(self.rng.randint(0, 30))
        self.undefined_names.append(name)
        return name

    def symbol_line(self):
        """Many names in various orders, to shape the symbol tree."""
        names = []
        for _ in range(self.rng.randint(1, 6)):
            if self.chance(0.3):
                names.append(self.undefined_name())
            elif self.chance(0.5):
                names.append(self.known_label())
            elif self.constants:
                names.append(self.pick(list(self.constants)))
        return 'dd ' + (' + '.join(names) if names else '0')

    def include_line(self):
        r = self.rng
        index = len([f for f in self.files if f.startswith('inc')])
        name = 'inc%d.inc' % index
        lines = []
        for _ in range(r.randint(0, 6)):
            lines.append(self.valid_line() if self.chance(0.85) else self.line_label(self.new_label_name()))
        if self.chance(0.2) and index < 3:
            inner = 'inc%d.inc' % (index + 1)
            lines.append('#include "%s"' % inner)
            self.files[inner] = ('db %d\r\n' % index).encode('latin-1')
        eol = self.pick(['\r\n', '\r\n', '\n', '\r'])
        text = ''.join(self.indent() + l + eol for l in lines)
        if self.chance(0.1):
            text += '\x1a' + 'db 99' + eol
        self.files[name] = text.encode('latin-1')
        for l in lines:
            if l.startswith('@') and not ' ' in l:
                pass
        if self.chance(0.05):
            return "#include ''"
        quote = self.pick(['"', "'"])
        return self.pick(['#include ', '#include\t', '#include  x ']) + quote + name + quote + self.pick(['', ' trailing', ';c'])

    def indent(self):
        return self.rng.choices(['', ' ', '\t', '    ', ' \t\x0b'], [60, 15, 15, 8, 2])[0]

    def render(self, body):
        """Main file as (text, line end) pairs."""
        r = self.rng
        style = r.choices(['crlf', 'lf', 'cr', 'mixed'], [70, 12, 8, 10])[0]
        ends = {'crlf': ['\r\n'], 'lf': ['\n'], 'cr': ['\r'], 'mixed': ['\r\n', '\n', '\r', '\r\n\n', '\n\r']}[style]
        out = []
        for entry in body:
            for piece in entry.split('\r\n'):
                text = self.indent() + piece
                floating = piece.lstrip().startswith(('ds', 'dd', 'de', 'fld'))
                if self.chance(0.08) and not (floating and self.mode != 'error'):
                    text += self.pick([' ', '  ', '\t', ' \t'])
                out.append((text, self.pick(ends)))
                if self.chance(0.06):
                    out.append((self.pick(['', ' ', '\t', '  \t']), self.pick(ends)))
        if out and self.chance(0.1):
            text, end = out[-1]
            out[-1] = (text, self.pick(['', end]))
        if self.chance(0.02):
            out.insert(r.randint(0, len(out)), (self.pick(['\x1a', 'db 7\x1adb 8', ' \x1a ']), '\r\n'))
        if self.chance(0.02):
            out.insert(r.randint(0, len(out)), ('db \x00 1 \x7f,\xff 2', '\r\n'))
        return out


def generate(seed):
    gen = Gen(seed)
    body = gen.build()
    lines = gen.render(body)
    if gen.chance(0.005):
        lines = gen.pick([[], [('', '')], [(' \t ', '\r\n'), ('', '\r\n')], [('\x1a', '')]])
    program = {'seed': seed, 'mode': gen.mode, 'main': 'prog.asm', 'lines': lines,
               'files': dict(gen.files), 'dirs': list(gen.dirs), 'stdin_main': False}
    # Now and then the source comes from standard input (no argument; the image is ".orb"),
    # unless something includes standard input too.
    everything = render_main(lines) + b''.join(program['files'].values())
    if gen.chance(0.02) and b"''" not in everything and b'""' not in everything:
        program['stdin_main'] = True
        program['dirs'] = ['.orb' if d == 'prog.asm.orb' else d for d in program['dirs']]
    return program


def render_main(lines):
    return ''.join(text + end for text, end in lines).encode('latin-1')


def write_program(program, directory):
    for name in program['dirs']:
        os.makedirs(os.path.join(directory, name), exist_ok=True)
    for name, data in program['files'].items():
        path = os.path.join(directory, name)
        os.makedirs(os.path.dirname(path) or directory, exist_ok=True)
        with open(path, 'wb') as f:
            f.write(data)
    with open(os.path.join(directory, program['main']), 'wb') as f:
        f.write(render_main(program['lines']))


def main():
    seed = int(sys.argv[1]) if len(sys.argv) > 1 else 1
    program = generate(seed)
    if len(sys.argv) > 2:
        write_program(program, sys.argv[2])
    else:
        sys.stdout.buffer.write(render_main(program['lines']))
        for name, data in program['files'].items():
            sys.stdout.buffer.write(b'\n=== ' + name.encode() + b' ===\n' + data)


if __name__ == '__main__':
    main()
