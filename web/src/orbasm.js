// The assembler's module, wrapped: files in, the run's results out as plain JavaScript values.
import create_orbasm from '@module';

const encoder = new TextEncoder();
let module = null;

// Loads the module from the .wasm's bytes.
export async function load(wasm_binary) {
  module = await create_orbasm({ wasmBinary: wasm_binary });
}

// A zero-terminated copy of text in the module's memory; the caller frees it.
function c_string(text) {
  const bytes = encoder.encode(text);
  const at = module._malloc(bytes.length + 1);
  module.HEAPU8.set(bytes, at);
  module.HEAPU8[at + bytes.length] = 0;
  return at;
}

function with_name(name, call) {
  const at = c_string(name);
  try {
    return call(at);
  } finally {
    module._free(at);
  }
}

// files maps names to texts (strings, taken as UTF-8) or to bytes (Uint8Array, taken as they are).
function put_files(files) {
  module._pg_clear_files();
  for (const [name, text] of Object.entries(files)) {
    const bytes = typeof text === 'string' ? encoder.encode(text) : text;
    const at = module._malloc(Math.max(bytes.length, 1));
    module.HEAPU8.set(bytes, at);
    with_name(name, (name_at) => module._pg_put_file(name_at, at, bytes.length));
    module._free(at);
  }
}

// Assembles main among files: { ok, diagnostics: [{ file, line, column, endColumn, severity,
// message, notes }], image, lines: [{ file, line, address, bytes, fill, fillKind }], files,
// endOfImage, imageTooLarge }. Lines and columns are 1-based; columns count UTF-16 units.
export function assemble(files, main) {
  put_files(files);
  const run = JSON.parse(with_name(main, (at) => module.UTF8ToString(module._pg_assemble(at))));
  const image = run.imageSize >= 0
    ? module.HEAPU8.slice(module._pg_image(), module._pg_image() + run.imageSize) : new Uint8Array(0);
  const count = module._pg_line_count();
  const table = new Int32Array(module.HEAPU8.buffer, module._pg_lines(), count * 7);
  const line_bytes = module._pg_line_bytes();
  const lines = new Array(count);
  for (let k = 0; k < count; ++k) {
    const row = table.subarray(k * 7, k * 7 + 7);
    lines[k] = {
      file: run.files[row[0]], line: row[1], address: row[2],
      bytes: module.HEAPU8.slice(line_bytes + row[6], line_bytes + row[6] + row[3]),
      fill: row[4], fillKind: row[5] === 0 ? '' : String.fromCharCode(row[5]),
    };
  }
  const diagnostics = run.diagnostics.map((d) => ({
    file: d.file, line: d.line, column: d.column, endColumn: d.endColumn, severity: d.severity,
    message: d.message, notes: d.includedFrom.map((at) => `included from ${at.file}:${at.line}`),
    includedFrom: d.includedFrom,
  }));
  return {
    ok: run.ok, diagnostics, image, lines, files: run.files, endOfImage: run.endOfImage,
    imageTooLarge: run.ok && run.imageSize < 0,
  };
}

// The name at a 1-based line and column of a file of the last run: { name, constant, defined,
// value, laidOut }, or null.
export function symbol_at(file, line, column) {
  return JSON.parse(with_name(file, (at) => module.UTF8ToString(module._pg_symbol_at(at, line, column))));
}

// The manual's help on a mnemonic or directive (Markdown), as the language server's hover gives
// it; '' for another word.
export function word_help(word) {
  return with_name(word, (at) => module.UTF8ToString(module._pg_word_help(at)));
}

// What the console form prints for main: the echo, then the report of an error.
export function echo(files, main) {
  put_files(files);
  return with_name(main, (at) => module.UTF8ToString(module._pg_echo(at)));
}

// The disassembly of an image: { source, listing, header }.
export function disassemble(bytes) {
  const at = module._malloc(Math.max(bytes.length, 1));
  module.HEAPU8.set(bytes, at);
  try {
    return JSON.parse(module.UTF8ToString(module._pg_disassemble(at, bytes.length)));
  } finally {
    module._free(at);
  }
}
