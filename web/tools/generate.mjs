// Writes the page's generated modules: words.js, the language's words by kind, taken from the
// encoder's own lists through the module (split as the editors' syntax test splits them), and
// examples.js, the bundled examples.
//   node generate.mjs MODULE.mjs OUT_DIR EXAMPLE.asm...
import { mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import { basename, join } from 'node:path';
import { load_module } from './module.mjs';

const [module_path, out_dir, ...examples] = process.argv.slice(2);
const module = await load_module(module_path);
const lists = JSON.parse(module.UTF8ToString(module._pg_word_lists()));

// A list's entries are separated by "/", synonyms by "|"; "^" stands for no word. The word of an
// entry is its first run of word characters ("push " gives push, ",ax =" gives ax).
const words = {};
for (const { kind, list } of lists) {
  const group = (words[kind] ??= []);
  for (const alternative of list.split('/'))
    for (const synonym of alternative.split('|')) {
      if (synonym === '^') continue;
      const word = (synonym.match(/[0-9A-Za-z_.#@]+/) ?? [''])[0];
      if (word !== '' && !group.includes(word)) group.push(word);
    }
}

mkdirSync(out_dir, { recursive: true });
writeFileSync(join(out_dir, 'words.js'),
  '// Generated from the encoder\'s word lists; do not edit.\nexport default ' + JSON.stringify(words) + ';\n');
const bundled = examples.sort().map((file) => ({ name: basename(file), text: readFileSync(file, 'latin1') }));
writeFileSync(join(out_dir, 'examples.js'),
  '// Generated from examples/; do not edit.\nexport default ' + JSON.stringify(bundled) + ';\n');
