// Bundles the page: src/main.js with CodeMirror and the module's factory into playground.js and
// playground.css, index.html beside them, and the module's .wasm as orbasm.wasm.
//   node bundle.mjs MODULE.mjs GENERATED_DIR OUT_DIR
import { copyFileSync, mkdirSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import * as esbuild from 'esbuild';

const [module_path, generated, out_dir] = process.argv.slice(2).map((p) => resolve(p));
const here = dirname(fileURLToPath(import.meta.url));
const src = join(here, '..', 'src');

// "@generated/NAME" and "@module" name the build's own files.
const build_files = {
  name: 'build-files',
  setup(build) {
    build.onResolve({ filter: /^@generated\// }, (args) => ({ path: join(generated, args.path.slice(11)) }));
    build.onResolve({ filter: /^@module$/ }, () => ({ path: module_path }));
  },
};

mkdirSync(out_dir, { recursive: true });
await esbuild.build({
  entryPoints: [join(src, 'main.js')],
  bundle: true,
  minify: true,
  format: 'esm',
  target: 'es2020',
  outfile: join(out_dir, 'playground.js'),
  plugins: [build_files],
  logLevel: 'warning',
});
copyFileSync(join(src, 'index.html'), join(out_dir, 'index.html'));
copyFileSync(module_path.replace(/\.mjs$/, '.wasm'), join(out_dir, 'orbasm.wasm'));
