// The playground page: an editor over the page's files, the run's diagnostics below it, and beside
// it the listing, the image in hex, the header, the console form's echo and the disassembly. Every
// run is the assembler's own code, compiled to WebAssembly; nothing is sent anywhere.
import { EditorState } from '@codemirror/state';
import { EditorView, hoverTooltip, keymap, lineNumbers, highlightActiveLine } from '@codemirror/view';
import { defaultKeymap, history, historyKeymap, indentWithTab } from '@codemirror/commands';
import { setDiagnostics } from '@codemirror/lint';
import examples from '@generated/examples.js';
import { orbasm_language } from './language.js';
import * as orbasm from './orbasm.js';
import { read_fragment, share_fragment } from './share.js';
import './style.css';

// A pause in typing this long starts a run; a run of 10,000 lines takes a fraction of it.
const typing_pause_ms = 30;
// The hex view and the listing show this many bytes of a line or image; downloads hold them all.
const hex_view_bytes = 64 * 1024;
const listing_row_bytes = 8;

const $ = (id) => document.getElementById(id);

const page = {
  order: [],            // the files' names, in tab order
  states: new Map(),    // name -> EditorState, each with its own undo history
  main: '',             // the file assembled as the main program
  current: '',          // the file in the editor
  run: null,            // the latest run
  lines_by_file: new Map(), // name -> Map(line -> the run's line)
  run_count: 0,
  timer: 0,
  view_name: 'listing', // the view shown beside the editor
  opened: null,         // { name, bytes } of an image opened for disassembly
};

function file_texts() {
  const texts = {};
  for (const name of page.order) texts[name] = page.states.get(name).doc.toString();
  return texts;
}

function hex8(value) { return (value >>> 0).toString(16).toUpperCase().padStart(8, '0'); }
function hex2(value) { return value.toString(16).toUpperCase().padStart(2, '0'); }

// ---- The editor

function new_state(text) {
  return EditorState.create({
    doc: text,
    extensions: [
      lineNumbers(), highlightActiveLine(), history(),
      keymap.of([...defaultKeymap, ...historyKeymap, indentWithTab]),
      orbasm_language, hover,
      EditorView.updateListener.of((update) => {
        if (update.docChanged) {
          page.states.set(page.current, update.state);
          schedule_run();
        }
      }),
    ],
  });
}

// What the language server says on hover: the name's value or address, the line's address and bytes.
const hover = hoverTooltip((view, pos) => {
  const line = view.state.doc.lineAt(pos);
  const parts = [];
  const symbol = page.run ? orbasm.symbol_at(page.current, line.number, pos - line.from + 1) : null;
  if (symbol) parts.push(symbol_text(symbol));
  // Over the line's first word: the manual's help on that mnemonic or directive.
  const first = /^(\s*)([0-9A-Za-z_.#@]+)/.exec(line.text);
  const column = pos - line.from;
  if (!symbol && first && column >= first[1].length && column <= first[0].length) {
    const help = orbasm.word_help(first[2]);
    if (help !== '') parts.push(help);
  }
  const bytes = page.lines_by_file.get(page.current)?.get(line.number);
  if (bytes && (bytes.bytes.length > 0 || bytes.fill > 0)) parts.push(line_text(bytes));
  if (parts.length === 0) return null;
  return {
    pos: line.from, end: line.to, above: true,
    create() {
      const dom = document.createElement('div');
      dom.className = 'hover';
      dom.innerHTML = parts.map(markdown_html).join('<hr>');
      return { dom };
    },
  };
});

// The little Markdown of hovers: paragraphs, tables, bold and code, every other character as text.
function markdown_html(text) {
  const inline = (line) => line.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;')
    .replace(/`([^`]*)`/g, '<code>$1</code>').replace(/\*\*([^*]+)\*\*/g, '<b>$1</b>');
  return text.split(/\n{2,}/).map((block) => {
    const lines = block.split('\n');
    if (!lines.every((line) => line.startsWith('|'))) return `<p>${lines.map(inline).join('<br>')}</p>`;
    const cells = (line) => line.replace(/^\||\|$/g, '').split('|').map((cell) => inline(cell.trim()));
    const rows = lines.filter((line) => !/^\|[-|: ]+\|$/.test(line)).map(cells);
    const row = (tag) => (cells_of) => `<tr>${cells_of.map((cell) => `<${tag}>${cell}</${tag}>`).join('')}</tr>`;
    return `<table>${row('th')(rows[0])}${rows.slice(1).map(row('td')).join('')}</table>`;
  }).join('');
}

function symbol_text(symbol) {
  const name = '`' + symbol.name + '` ';
  if (!symbol.defined) return name + 'is not defined';
  if (symbol.constant) return `${name}constant = ${symbol.value} (${hex8(symbol.value)}h)`;
  if (!symbol.laidOut) return name + 'label (no address: the program has an error)';
  return `${name}label at ${hex8(symbol.value)}h (${symbol.value})`;
}

function fill_text(line) {
  if (line.fill === 0) return '';
  const kind = line.fillKind === 'z' ? 'zeros' : line.fillKind === 'r' ? 'reserved' : 'gap';
  return ` [${kind}: ${line.fill}]`;
}

function line_text(line) {
  let text = `address ${hex8(line.address)}h`;
  if (line.bytes.length > 0) {
    text += ':' + Array.from(line.bytes.subarray(0, 32), (b) => ' ' + hex2(b)).join('');
    if (line.bytes.length > 32) text += ` … (${line.bytes.length} bytes)`;
  }
  return text + fill_text(line);
}

const view = new EditorView({ parent: $('source') });

function show_file(name) {
  page.current = name;
  view.setState(page.states.get(name));
  render_tabs();
  mark_diagnostics();
  render_view();
}

// ---- Files

function set_files(files, main) {
  page.order = Object.keys(files);
  page.states = new Map(page.order.map((name) => [name, new_state(files[name])]));
  page.main = page.order.includes(main) ? main : page.order[0];
  show_file(page.main);
  run_now();
}

function render_tabs() {
  const tabs = $('file-tabs');
  tabs.replaceChildren(...page.order.map((name) => {
    const tab = document.createElement('button');
    tab.className = 'tab' + (name === page.current ? ' active' : '');
    tab.dataset.file = name;
    tab.textContent = name + (name === page.main ? ' (main)' : '');
    tab.title = name === page.main ? 'the main program' : 'an included file';
    tab.onclick = () => show_file(name);
    return tab;
  }));
  $('make-main').disabled = page.current === page.main;
  $('remove-file').disabled = page.order.length < 2;
}

function good_name(name) {
  return typeof name === 'string' && name.trim() !== '' && !name.includes('"') && !page.order.includes(name.trim());
}

$('add-file').onclick = () => {
  const name = prompt('Name of the new file (an #include names it):', `file${page.order.length + 1}.inc`);
  if (!good_name(name)) return;
  page.order.push(name.trim());
  page.states.set(name.trim(), new_state(''));
  show_file(name.trim());
  schedule_run();
};

$('rename-file').onclick = () => {
  const old_name = page.current;
  const name = prompt(`New name of ${old_name}:`, old_name);
  if (!good_name(name)) return;
  page.order[page.order.indexOf(old_name)] = name.trim();
  page.states.set(name.trim(), page.states.get(old_name));
  page.states.delete(old_name);
  if (page.main === old_name) page.main = name.trim();
  show_file(name.trim());
  schedule_run();
};

$('remove-file').onclick = () => {
  const name = page.current;
  if (page.order.length < 2 || !confirm(`Remove ${name}?`)) return;
  page.order.splice(page.order.indexOf(name), 1);
  page.states.delete(name);
  if (page.main === name) page.main = page.order[0];
  show_file(page.main);
  schedule_run();
};

$('make-main').onclick = () => {
  page.main = page.current;
  render_tabs();
  schedule_run();
};

// ---- Runs and diagnostics

function schedule_run() {
  clearTimeout(page.timer);
  page.timer = setTimeout(run_now, typing_pause_ms);
}

function run_now() {
  clearTimeout(page.timer);
  const started = performance.now();
  try {
    page.run = orbasm.assemble(file_texts(), page.main);
  } catch (error) {
    $('status').textContent = 'The assembler stopped unexpectedly: ' + error;
    return;
  }
  const took = performance.now() - started;
  page.lines_by_file = new Map();
  for (const line of page.run.lines) {
    if (!page.lines_by_file.has(line.file)) page.lines_by_file.set(line.file, new Map());
    page.lines_by_file.get(line.file).set(line.line, line);
  }
  render_diagnostics();
  mark_diagnostics();
  const errors = page.run.diagnostics.filter((d) => d.severity === 'error').length;
  const warnings = page.run.diagnostics.length - errors;
  $('status').textContent = (page.run.ok ? `${page.run.image.length} bytes` : 'no image')
    + (errors ? ` · ${errors} error${errors > 1 ? 's' : ''}` : '')
    + (warnings ? ` · ${warnings} warning${warnings > 1 ? 's' : ''}` : '')
    + ` · assembled in ${took.toFixed(1)} ms`;
  $('download-image').disabled = !page.run.ok || page.run.imageTooLarge;
  $('download-listing').disabled = !page.run.ok;
  // The views beside the editor follow once the diagnostics are on screen.
  setTimeout(render_view, 0);
}

function render_diagnostics() {
  const list = $('diagnostics');
  const items = page.run.diagnostics.map((d) => {
    const item = document.createElement('li');
    item.className = 'diagnostic ' + d.severity;
    item.dataset.file = d.file;
    item.dataset.line = d.line;
    item.dataset.column = d.column;
    item.dataset.severity = d.severity;
    const where = document.createElement('span');
    where.className = 'where';
    where.textContent = `${d.file}:${d.line}:${d.column}`;
    const severity = document.createElement('span');
    severity.className = 'severity';
    severity.textContent = d.severity;
    item.append(where, ' ', severity, ' ', d.message);
    for (const note of d.notes) {
      const line = document.createElement('div');
      line.className = 'note';
      line.textContent = note;
      item.append(line);
    }
    item.onclick = () => go_to(d.file, d.line, d.column);
    return item;
  });
  if (items.length === 0) {
    const none = document.createElement('li');
    none.className = 'none';
    none.textContent = page.run.ok ? 'No errors or warnings.' : 'No image.';
    items.push(none);
  }
  list.replaceChildren(...items);
  list.dataset.run = ++page.run_count;
}

function go_to(file, line, column) {
  if (!page.states.has(file)) return;
  if (file !== page.current) show_file(file);
  const doc = view.state.doc;
  const at = doc.line(Math.min(Math.max(line, 1), doc.lines));
  const pos = Math.min(at.from + column - 1, at.to);
  view.dispatch({ selection: { anchor: pos }, scrollIntoView: true });
  view.focus();
}

// The editor's marks: a finding in the file shown at its word; one in a file it includes at the
// #include line that leads there.
function mark_diagnostics() {
  if (!page.run) return;
  const doc = view.state.doc;
  const marks = [];
  for (const d of page.run.diagnostics) {
    let line = 0;
    let from_column = d.column;
    let to_column = d.endColumn;
    let message = d.message;
    if (d.file === page.current) {
      line = d.line;
    } else {
      const via = d.includedFrom.findLast((at) => at.file === page.current);
      if (!via) continue;
      line = via.line;
      from_column = 1;
      to_column = Infinity;
      message = `${d.message} (in ${d.file}:${d.line})`;
    }
    if (line < 1 || line > doc.lines) continue;
    const at = doc.line(line);
    const from = Math.min(at.from + from_column - 1, at.to);
    const to = Math.max(Math.min(at.from + to_column - 1, at.to), from);
    marks.push({ from, to, severity: d.severity, message });
  }
  view.dispatch(setDiagnostics(view.state, marks));
}

// ---- The views beside the editor

// The listing of a file: per line its number, address, bytes and text. The view shows a line's
// first bytes; a download (every_byte) adds rows for the rest, as orblist does.
function listing_rows(name, text, every_byte = false) {
  const lines = page.lines_by_file.get(name) ?? new Map();
  const rows = [];
  const bytes_text = (bytes) => Array.from(bytes, hex2).join(' ').padEnd(3 * listing_row_bytes + 1);
  text.split(/\r\n|\r|\n/).forEach((source, k) => {
    const line = lines.get(k + 1);
    let address = '';
    let bytes = '';
    if (line && (line.bytes.length > 0 || line.fill > 0 || source.trimStart().startsWith('@'))) {
      address = hex8(line.address);
      bytes = Array.from(line.bytes.subarray(0, listing_row_bytes), hex2).join(' ');
      if (line.bytes.length > listing_row_bytes && !every_byte) bytes += ' …';
    }
    // Labels stand out, everything else stands in by two, whatever the file's own indentation.
    const shown = source.trim() === '' || /^\s*@/.test(source) ? source.trim() : '  ' + source.trim();
    rows.push(`${String(k + 1).padStart(5)}  ${address.padEnd(8)}  ${bytes.padEnd(3 * listing_row_bytes + 1)} ${shown}`
      .trimEnd() + fill_text(line ?? { fill: 0 }));
    for (let at = listing_row_bytes; every_byte && line && at < line.bytes.length; at += listing_row_bytes)
      rows.push(`${''.padStart(5)}  ${hex8(line.address + at)}  ${bytes_text(line.bytes.subarray(at, at + listing_row_bytes))}`
        .trimEnd());
  });
  return rows.join('\n');
}

function hex_dump(bytes, limit) {
  const rows = [];
  for (let at = 0; at < Math.min(bytes.length, limit); at += 16) {
    const row = bytes.subarray(at, at + 16);
    const text = Array.from(row, (b) => (b >= 0x20 && b < 0x7f ? String.fromCharCode(b) : '.')).join('');
    rows.push(`${hex8(at)}  ${Array.from(row, hex2).join(' ').padEnd(47)}  ${text}`);
  }
  if (bytes.length > limit) rows.push(`… ${bytes.length - limit} more bytes: download the image for all of them`);
  return rows.join('\n');
}

function render_view() {
  if (!page.run) return;
  const run = page.run;
  const shown = page.view_name;
  for (const name of ['listing', 'hex', 'header', 'echo', 'disassembly']) {
    $(name).hidden = name !== shown;
    $('show-' + name).classList.toggle('active', name === shown);
  }
  $('edit-disassembly').hidden = shown !== 'disassembly';
  if (shown === 'listing') {
    $('listing').textContent = listing_rows(page.current, page.states.get(page.current).doc.toString());
  } else if (shown === 'hex') {
    $('hex').textContent = run.ok
      ? (run.imageTooLarge ? `The image is ${run.endOfImage} bytes, too large to show here.` : hex_dump(run.image, hex_view_bytes))
      : 'No image: the program has an error.';
  } else if (shown === 'header') {
    const header = run.ok && !run.imageTooLarge ? orbasm.disassemble(run.image).header : '';
    $('header').textContent = header !== '' ? header
      : run.ok ? 'The image does not begin with a header (#header at its start writes one).'
        : 'No image: the program has an error.';
  } else if (shown === 'echo') {
    $('echo').textContent = orbasm.echo(file_texts(), page.main);
  } else if (shown === 'disassembly') {
    const image = page.opened ? page.opened.bytes : run.ok && !run.imageTooLarge ? run.image : null;
    $('disassembly').textContent = image
      ? (page.opened ? `; ${page.opened.name}, ${image.length} bytes\n` : '') + orbasm.disassemble(image).listing
      : 'No image: the program has an error. Open an .orb file to disassemble it.';
  }
}

for (const name of ['listing', 'hex', 'header', 'echo', 'disassembly'])
  $('show-' + name).onclick = () => {
    page.view_name = name;
    if (name !== 'disassembly') page.opened = null;
    render_view();
  };

// ---- Downloads, opening an image, sharing, examples

function download(name, bytes, type) {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([bytes], { type }));
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 1000);
}

$('download-image').onclick = () => {
  if (page.run?.ok && !page.run.imageTooLarge) download(page.main + '.orb', page.run.image, 'application/octet-stream');
};

$('download-listing').onclick = () => {
  const texts = file_texts();
  const parts = page.order.filter((name) => page.lines_by_file.has(name) || name === page.main)
    .map((name) => `; ${name}\n${listing_rows(name, texts[name], true)}\n`);
  download(page.main + '.lst', parts.join('\n'), 'text/plain');
};

$('open-image').onchange = async (event) => {
  const file = event.target.files[0];
  if (!file) return;
  page.opened = { name: file.name, bytes: new Uint8Array(await file.arrayBuffer()) };
  event.target.value = '';
  page.view_name = 'disassembly';
  render_view();
};
$('open-image-button').onclick = () => $('open-image').click();

// The disassembly of the image shown, as a new file of the page.
$('edit-disassembly').onclick = () => {
  const image = page.opened ? page.opened.bytes : page.run?.ok ? page.run.image : null;
  if (!image) return;
  let name = (page.opened ? page.opened.name.replace(/\.orb$/, '') : 'image') + '.dis.asm';
  while (page.order.includes(name)) name = '_' + name;
  page.order.push(name);
  page.states.set(name, new_state(orbasm.disassemble(image).source));
  show_file(name);
  schedule_run();
};

$('share').onclick = async () => {
  const fragment = await share_fragment(file_texts(), page.main);
  window.history.replaceState(null, '', fragment);
  $('share-link').value = location.href;
  $('share-link').hidden = false;
  $('share-link').select();
  navigator.clipboard?.writeText(location.href).catch(() => {});
};

const menu = $('examples');
for (const example of examples) {
  const option = document.createElement('option');
  option.value = example.name;
  option.textContent = example.name;
  menu.append(option);
}
menu.onchange = () => {
  const example = examples.find((e) => e.name === menu.value);
  menu.value = '';
  if (example) set_files({ [example.name]: example.text }, example.name);
};

// ---- Start

async function start() {
  const wasm = await fetch('orbasm.wasm');
  await orbasm.load(await wasm.arrayBuffer());
  window.orbasm = {
    assemble: orbasm.assemble,
    disassemble: orbasm.disassemble,
    echo: orbasm.echo,
    // For scripts: the page's files, and putting files into the page as the examples menu does.
    files: file_texts,
    load: set_files,
  };
  const shared = await read_fragment(location.hash);
  if (shared) set_files(shared.files, shared.main);
  else if (examples.length > 0) set_files({ [examples[0].name]: examples[0].text }, examples[0].name);
  else set_files({ 'main.asm': '' }, 'main.asm');
  document.body.dataset.ready = 'true';
}

start().catch((error) => {
  $('status').textContent = 'The assembler could not be loaded: ' + error;
});
