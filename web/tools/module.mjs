// Loads the assembler's module under Node: the factory from its .mjs, the .wasm beside it.
import { readFileSync } from 'node:fs';
import { pathToFileURL } from 'node:url';

export async function load_module(module_path) {
  const { default: create_orbasm } = await import(pathToFileURL(module_path).href);
  return create_orbasm({ wasmBinary: readFileSync(module_path.replace(/\.mjs$/, '.wasm')) });
}
