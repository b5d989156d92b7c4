// The language's highlighting, as the editors' grammars draw it: the words of each kind come from
// the encoder's lists (generated at build time), the rest from the shape of the line.
import { HighlightStyle, StreamLanguage, syntaxHighlighting } from '@codemirror/language';
import { tags } from '@lezer/highlight';
import words from '@generated/words.js';

// The style of each kind of word; a mnemonic counts only as the line's first word, the other
// kinds only after it.
const kind_styles = {
  'register': 'atom', 'special register': 'atom', 'float register': 'atom',
  'condition': 'typeName', 'operand word': 'propertyName',
};
const leading = new Set([...(words.mnemonic ?? []), ...(words.directive ?? [])]);
const directives = new Set(words.directive ?? []);
const operand_style = new Map();
// A word of two kinds ("ax" is a register, and the operand word of "int 21h,ax=...") takes the first.
for (const [kind, style] of Object.entries(kind_styles))
  for (const word of words[kind] ?? []) if (!operand_style.has(word)) operand_style.set(word, style);

const word_pattern = /^[0-9A-Za-z_.#@]+/;

const orbasm_stream = {
  name: 'orbasm',
  startState: () => ({ first: true, ignored: false }),
  token(stream, state) {
    if (stream.sol()) {
      state.first = true;
      state.ignored = false;
    }
    if (stream.eatSpace()) return null;
    if (state.ignored) { // the rest of a label line is not assembled
      stream.skipToEnd();
      return 'comment';
    }
    const next = stream.peek();
    if (next === ';') {
      stream.skipToEnd();
      return 'comment';
    }
    if (next === '\'' || next === '"') { // a string ends at its own quote; there is no escape
      stream.next();
      if (!stream.skipTo(next)) stream.skipToEnd();
      else stream.next();
      state.first = false;
      return 'string';
    }
    const word = stream.match(word_pattern);
    if (!word) {
      stream.next();
      return /[-+=]/.test(next) ? 'operator' : null;
    }
    const text = word[0];
    const first = state.first;
    state.first = false;
    if (text.startsWith('@')) {
      if (first) {
        stream.match(/^\s*:?/);
        state.ignored = true;
        return 'labelName';
      }
      return 'labelName';
    }
    if (first) return leading.has(text) ? (directives.has(text) ? 'meta' : 'keyword') : null;
    if (/^[0-9]/.test(text)) return 'number';
    return operand_style.get(text) ?? null;
  },
};

const style = HighlightStyle.define([
  { tag: tags.keyword, color: '#7a3e9d', fontWeight: 'bold' },
  { tag: tags.meta, color: '#b05a00' },
  { tag: tags.comment, color: '#7c8a7c', fontStyle: 'italic' },
  { tag: tags.string, color: '#2e7d32' },
  { tag: tags.number, color: '#1565c0' },
  { tag: tags.labelName, color: '#ad1457' },
  { tag: tags.atom, color: '#00796b' },
  { tag: tags.typeName, color: '#6d4c41' },
  { tag: tags.propertyName, color: '#455a64' },
  { tag: tags.operator, color: '#555' },
]);

export const orbasm_language = [StreamLanguage.define(orbasm_stream), syntaxHighlighting(style)];
