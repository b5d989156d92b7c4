// The playground in a real browser: Debian's Chromium on the built page (build/wasm/web), served
// on 127.0.0.1, checked against the native orbasm and orbdis (build/release, or ORBASM_NATIVE).
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, readdirSync, readFileSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { gzipSync } from 'node:zlib';
import { measure_latency } from './latency.mjs';
import { artifacts_dir, native_orbasm, native_orbdis, open_browser, open_page, page_dir, serve, source_dir } from './support.mjs';

const random_first_seed = 1;
const random_count = 150;     // of which the generator's programs without folders or standard input
const random_min_images = 50; // at least this many must assemble, and so be compared byte for byte

let server;
let browser;

before(async () => {
  for (const needed of [join(page_dir, 'index.html'), native_orbasm, native_orbdis])
    assert.ok(statSync(needed, { throwIfNoEntry: false }), `missing ${needed}: build the wasm and release presets`);
  server = await serve(page_dir);
  browser = await open_browser();
});

after(async () => {
  await browser?.close();
  await server?.close();
});

// ---- The native tools, on the same files in a fresh folder

function in_folder(files, work) {
  const folder = mkdtempSync(join(tmpdir(), 'orbasm-web-'));
  try {
    for (const [name, text] of Object.entries(files)) {
      mkdirSync(dirname(join(folder, name)), { recursive: true });
      writeFileSync(join(folder, name), typeof text === 'string' ? Buffer.from(text, 'utf8') : text);
    }
    return work(folder);
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
}

// The command-line form: { ok, image, errors } (errors: standard error's text).
function native_assemble(files, main) {
  return in_folder(files, (folder) => {
    const run = spawnSync(native_orbasm, ['-o', 'image.orb', main], { cwd: folder, input: '', timeout: 60000 });
    const ok = run.status === 0;
    return { ok, image: ok ? readFileSync(join(folder, 'image.orb')) : null, errors: run.stderr.toString() };
  });
}

// The console form's standard output: the echo, then an error's report.
function native_console(files, main) {
  return in_folder(files, (folder) =>
    spawnSync(native_orbasm, [main], { cwd: folder, input: '\n', timeout: 60000 }).stdout.toString('latin1'));
}

function hex(bytes) { return Buffer.from(bytes).toString('hex').toUpperCase(); }

const examples = Object.fromEntries(readdirSync(join(source_dir, 'examples')).filter((name) => name.endsWith('.asm'))
  .map((name) => [name, readFileSync(join(source_dir, 'examples', name), 'latin1')]));
const hello = { 'hello.asm': examples['hello.asm'] };

// ---- The page

// The page's run of files (texts, or base64 bytes when encoded), as the contract returns it.
async function page_assemble(page, files, main, encoded = false) {
  return page.evaluate(({ files, main, encoded }) => {
    const given = {};
    for (const [name, text] of Object.entries(files))
      given[name] = encoded ? Uint8Array.from(atob(text), (c) => c.charCodeAt(0)) : text;
    const run = window.orbasm.assemble(given, main);
    return { ok: run.ok, image: Array.from(run.image), diagnostics: run.diagnostics, lines: run.lines.length };
  }, { files, main, encoded });
}

async function diagnostics_of(page) {
  return page.$$eval('#diagnostics [data-severity]', (items) =>
    items.map((item) => ({ line: Number(item.dataset.line), severity: item.dataset.severity, text: item.textContent })));
}

// Waits for the run after the page's latest edit, then returns its diagnostics.
async function diagnostics_after_edit(page, before_run) {
  await page.waitForFunction((n) => Number(document.getElementById('diagnostics').dataset.run) > n, before_run);
  return diagnostics_of(page);
}

const run_count = (page) => page.evaluate(() => Number(document.getElementById('diagnostics').dataset.run));

// Replaces the text of the file in the editor by typing it, and checks that the editor holds
// exactly what was typed (no indentation of its own).
async function type_program(page, file, text) {
  await page.click('#source .cm-content');
  await page.keyboard.press('Control+A');
  await page.keyboard.press('Delete');
  await page.keyboard.type(text);
  assert.equal(await page.evaluate((name) => window.orbasm.files()[name], file), text);
}

// Rests the mouse on the middle of a word of the editor's 1-based line.
async function hover_word(page, line, word) {
  const at = await page.evaluate(({ line, word }) => {
    const walker = document.createTreeWalker(document.querySelectorAll('.cm-line')[line - 1], NodeFilter.SHOW_TEXT);
    for (let node = walker.nextNode(); node; node = walker.nextNode()) {
      const found = node.data.indexOf(word);
      if (found < 0) continue;
      const range = document.createRange();
      range.setStart(node, found);
      range.setEnd(node, found + word.length);
      const box = range.getBoundingClientRect();
      return { x: box.x + box.width / 2, y: box.y + box.height / 2 };
    }
    return null;
  }, { line, word });
  await page.mouse.move(at.x, at.y);
}

async function fresh_page(files = hello, main = 'hello.asm') {
  const page = await open_page(browser.context, server.url);
  await page.evaluate(({ files, main }) => window.orbasm.load(files, main), { files, main });
  return page;
}

test('a mistake is marked at its line, its entry moves the cursor there, and fixing it clears it', async () => {
  const page = await fresh_page({ 'main.asm': '' }, 'main.asm');
  let runs = await run_count(page);
  await type_program(page, 'main.asm', '@start:\nld ax, 5\nfoo bar\nret\n');
  let shown = await diagnostics_after_edit(page, runs);
  assert.deepEqual(shown.map((d) => [d.line, d.severity]), [[3, 'error']]);
  assert.match(shown[0].text, /^main\.asm:3:1 error Syntax Error/);
  await page.waitForSelector('.cm-lintRange-error');
  // Highlighted from the encoder's word lists: a mnemonic, a register, a number; not an unknown word.
  const colours = await page.$$eval('.cm-line', (lines) => [1, 2].map((k) => Array.from(lines[k].querySelectorAll('span'))
    .filter((span) => !span.className.includes('lint')).map((span) => [span.textContent, getComputedStyle(span).color])));
  assert.deepEqual(colours, [
    [['ld', 'rgb(122, 62, 157)'], ['ax', 'rgb(0, 121, 107)'], ['5', 'rgb(21, 101, 192)']],
    [],
  ]);
  await page.click('#diagnostics [data-line="3"]');
  assert.equal(await page.textContent('.cm-activeLine'), 'foo bar');
  runs = await run_count(page);
  await page.keyboard.press('Shift+End');
  await page.keyboard.type('ld bx, 6');
  shown = await diagnostics_after_edit(page, runs);
  assert.deepEqual(shown, []);
  assert.equal(await page.textContent('#diagnostics'), 'No errors or warnings.');
  assert.equal(await page.$('.cm-lintRange-error'), null);
  assert.deepEqual(page.problems, []);
  await page.close();
});

test('two independent mistakes are both shown at their lines, and fixing them clears them', async () => {
    const page = await fresh_page({ 'main.asm': '' }, 'main.asm');
    let runs = await run_count(page);
    await type_program(page, 'main.asm', '@start:\nld ax, 5\nfoo bar\nret\njmp @nowhere\n');
    let shown = await diagnostics_after_edit(page, runs);
    assert.deepEqual(shown.map((d) => [d.line, d.severity]), [[3, 'error'], [5, 'error']]);
    runs = await run_count(page);
    await type_program(page, 'main.asm', '@start:\nld ax, 5\nld bx, 6\nret\njmp @start\n');
    shown = await diagnostics_after_edit(page, runs);
    assert.deepEqual(shown, []);
    await page.close();
  });

test('the bundled examples and the generator\'s random programs assemble to the native image', async () => {
  const page = await fresh_page();
  for (const [name, text] of Object.entries(examples)) {
    const native = native_assemble({ [name]: text }, name);
    const run = await page_assemble(page, { [name]: text }, name);
    assert.ok(native.ok, name);
    assert.deepEqual([run.ok, hex(run.image)], [true, hex(native.image)], name);
  }
  const programs = JSON.parse(execFileSync('python3',
    [join(source_dir, 'web', 'tests', 'random_programs.py'), String(random_first_seed), String(random_count)],
    { maxBuffer: 256 << 20 }));
  let images = 0;
  for (const program of programs) {
    const files = Object.fromEntries(Object.entries(program.files).map(([n, t]) => [n, Buffer.from(t, 'base64')]));
    const native = native_assemble(files, program.main);
    const run = await page_assemble(page, program.files, program.main, true);
    assert.equal(run.ok, native.ok, `seed ${program.seed}: ${native.errors}`);
    if (native.ok) {
      assert.equal(hex(run.image), hex(native.image), `seed ${program.seed}`);
      ++images;
    } else {
      // The same first error: the native form names it as FILE:LINE:COLUMN: error: MESSAGE, or
      // FILE: error: MESSAGE for one of no line (which the page puts on the main file's first).
      const first = run.diagnostics.find((d) => d.severity === 'error');
      const [, file, line, column, message] = /^(.+?)(?::(\d+):(\d+))?: error: (.*)$/m.exec(native.errors);
      assert.deepEqual([first.file, first.line, first.column, first.message],
        [file, Number(line ?? 1), Number(column ?? 1), message], `seed ${program.seed}`);
    }
  }
  console.log(`playground: ${images} random images and ${programs.length - images} errors as the native orbasm's`);
  assert.ok(images >= random_min_images, `only ${images} random programs assembled`);
  await page.close();
});

test('#include between two files made with the page\'s file controls; hovers tell a name\'s value and a mnemonic\'s forms', async () => {
  const page = await fresh_page({ 'main.asm': '' }, 'main.asm');
  page.on('dialog', (dialog) => dialog.accept(dialog.type() === 'prompt' ? page.next_answer : undefined));
  page.next_answer = 'defs.inc';
  await page.click('#add-file');
  await page.waitForSelector('#file-tabs [data-file="defs.inc"].active');
  await type_program(page, 'defs.inc', '#const answer = 42\n');
  await page.click('#file-tabs [data-file="main.asm"]');
  let runs = await run_count(page);
  const main = '#include "defs.inc"\n@start:\nld ax, answer\ndd @start\n';
  await type_program(page, 'main.asm', main);
  assert.deepEqual(await diagnostics_after_edit(page, runs), []);
  const native = native_assemble({ 'main.asm': main, 'defs.inc': '#const answer = 42\n' }, 'main.asm');
  await page.click('#show-hex');
  const shown_hex = (await page.textContent('#hex')).split('\n').map((row) => row.slice(10, 57).replace(/ /g, '')).join('');
  assert.equal(shown_hex, hex(native.image));
  await hover_word(page, 3, 'answer');
  await page.waitForSelector('.hover p');
  assert.deepEqual(await page.$$eval('.hover p', (parts) => parts.map((p) => p.textContent)),
    ['answer constant = 42 (0000002Ah)', 'address 00000000h: 00 A8 2A 00']);
  await page.mouse.move(0, 0);
  await page.waitForSelector('.hover', { state: 'detached' });
  await hover_word(page, 3, 'ld');
  assert.equal(await page.textContent('.hover p b'), 'ld');
  assert.equal(await page.textContent('.hover p'), 'ld — Loads, stores and moves: ld and mov');
  const cells = await page.$$eval('.hover td', (all) => all.map((cell) => cell.textContent));
  assert.ok(cells.includes('ld d,x register from a value'), cells.join(' | '));
  // Renamed, the file is no longer found; removed, it is gone from the page.
  await page.click('#file-tabs [data-file="defs.inc"]');
  page.next_answer = 'other.inc';
  runs = await run_count(page);
  await page.click('#rename-file');
  const shown = await diagnostics_after_edit(page, runs);
  assert.deepEqual(shown.map((d) => [d.line, d.severity]), [[1, 'error']]);
  await page.click('#remove-file');
  assert.deepEqual(Object.keys(await page.evaluate(() => window.orbasm.files())), ['main.asm']);
  await page.close();
});

test('downloads: the image is the native one, the listing has every line\'s address and bytes', async () => {
  const page = await fresh_page();
  const native = native_assemble(hello, 'hello.asm');
  const [image] = await Promise.all([page.waitForEvent('download'), page.click('#download-image')]);
  assert.equal(image.suggestedFilename(), 'hello.asm.orb');
  assert.equal(hex(readFileSync(await image.path())), hex(native.image));
  const [listing] = await Promise.all([page.waitForEvent('download'), page.click('#download-listing')]);
  const text = readFileSync(await listing.path(), 'utf8');
  assert.match(text, /^; hello\.asm\n {4}1 {2}00000000 {2}4F 52 42 58 58 00 00 00 {5}#header\n {7}00000008 {2}58 01 00 00 20 00 00 00\n/);
  assert.match(text, /\n {7}00000018 {2}00 01 00 00 58 01 00 00\n {4}2 {40}#const count = 10\n/);
  assert.match(text, /\n {3}12 {2}00000030 {2}01 84 08 00 +ld {6}\[bx\+8\], ax\n/);
  await page.close();
});

test('a share link carries every file and the main file to a new page', async () => {
  const files = { 'defs.inc': '#const answer = 42\n', 'main.asm': '#include "defs.inc"\nld ax, answer ; ünïcode\n' };
  const page = await fresh_page(files, 'main.asm');
  await page.click('#share');
  await page.waitForFunction(() => document.getElementById('share-link').value !== '');
  const link = await page.inputValue('#share-link');
  assert.match(link, /^http:\/\/127\.0\.0\.1:\d+\/#z=[-\w]+$/);
  const shared = await open_page(browser.context, link);
  assert.deepEqual(await shared.evaluate(() => window.orbasm.files()), files);
  assert.equal(await shared.textContent('#file-tabs .active'), 'main.asm (main)');
  assert.equal(await shared.textContent('#listing'), await page.textContent('#listing'));
  await shared.close();
  await page.close();
});

test('the disassembler shows an opened image as orbdis does, and its source assembles back', async () => {
  const page = await fresh_page();
  const native = native_assemble(hello, 'hello.asm');
  const listing = in_folder({ 'hello.orb': native.image }, (folder) =>
    execFileSync(native_orbdis, [join(folder, 'hello.orb')], { encoding: 'utf8' }));
  await page.setInputFiles('#open-image', { name: 'hello.orb', mimeType: 'application/octet-stream', buffer: native.image });
  await page.waitForFunction(() => !document.getElementById('disassembly').hidden &&
    document.getElementById('disassembly').textContent.startsWith('; hello.orb'));
  assert.equal(await page.textContent('#disassembly'), `; hello.orb, ${native.image.length} bytes\n` + listing);
  await page.click('#edit-disassembly');
  const source = await page.evaluate(() => window.orbasm.files()['hello.dis.asm']);
  const run = await page_assemble(page, { 'hello.dis.asm': source }, 'hello.dis.asm');
  assert.equal(hex(run.image), hex(native.image));
  await page.close();
});

test('the echo view is the console form\'s output, the header view the image\'s header', async () => {
  const page = await fresh_page();
  await page.click('#show-echo');
  assert.equal(await page.textContent('#echo'), native_console(hello, 'hello.asm'));
  await page.click('#show-header');
  assert.match(await page.textContent('#header'), /^00000000 {2}4F 52 42 58 {12}#header {27}; header: magic\n00000004 {2}58 00 00 00 +; header: end of image = 00000058\n/);
  const broken = { 'bad.asm': '#include "x.inc"\nld ax, 1\n', 'x.inc': 'db 1\nld ax, nothing\n' };
  await page.evaluate((files) => window.orbasm.load(files, 'bad.asm'), broken);
  await page.click('#show-echo');
  assert.equal(await page.textContent('#echo'), native_console(broken, 'bad.asm'));
  await page.click('#file-tabs [data-file="bad.asm"]');
  assert.match(await page.textContent('.cm-lintRange-error'), /#include "x.inc"/);
  await page.close();
});

test('a screenshot of the page is kept', async () => {
  const page = await fresh_page();
  mkdirSync(artifacts_dir, { recursive: true });
  const path = join(artifacts_dir, 'playground.png');
  await page.screenshot({ path });
  assert.ok(statSync(path).size > 10000);
  await page.close();
});

test('the page and the module together are at most 1 MB compressed', () => {
  let compressed = 0;
  for (const name of readdirSync(page_dir)) compressed += gzipSync(readFileSync(join(page_dir, name)), { level: 9 }).length;
  console.log(`playground: ${readdirSync(page_dir).join(', ')}: ${compressed} bytes gzip-compressed`);
  assert.ok(compressed <= 1000000, `${compressed} bytes`);
});

test('diagnostics of a 10,000-line program appear within 100 ms of the last keystroke', async () => {
  const result = await measure_latency(browser.context, server.url);
  console.log(`playground: diagnostics of a ${result.lines}-line program ${result.median.toFixed(1)} ms after the ` +
    `last keystroke (median of ${result.delays.length}; largest ${result.largest.toFixed(1)} ms)`);
  assert.equal(result.lines, 10000);
  assert.ok(result.median < 100, `median ${result.median} ms`);
});
