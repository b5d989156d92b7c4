// How long after the last keystroke the diagnostics of a 10,000-line program appear: the program
// (bench/gen_program.py, 10,000 lines) is put into the page, then one key at a time is typed at
// its end, each time measuring from the key's keydown to the change of #diagnostics.
//   node latency.mjs        prints the median and the largest of the measured delays
import { open_browser, open_page, page_dir, serve } from './support.mjs';

export const program_lines = 10000;
const keystrokes = 12;

// A valid program of exactly count lines: blocks of ten lines, each with a label, moves,
// arithmetic, memory operands, a short jump back, a call that may go far, and data.
export function long_program(count) {
  const lines = ['#header', '#const count = 10', '@runpoint:', '@start:'];
  const blocks = Math.floor((count - lines.length - 3) / 10);
  for (let n = 0; n < blocks; ++n)
    lines.push(`@L${n}:`, `ld ax, ${n % 1000}`, 'ld cx, count', 'add ax, cx', 'dec1 cx', `jr nz, @L${n}`,
      `ld [bx+${n % 64}], ax`, `call @L${(n * 7919) % blocks}`, `db 'block ${n}', 0`, `dd @L${n}, ${n}`);
  while (lines.length < count - 3) lines.push('ret');
  lines.push('@stack:', '#data 256', '@endofstack:');
  return lines.join('\n') + '\n';
}

export async function measure_latency(context, url) {
  const program = long_program(program_lines - 1); // and the line typed at its end
  const page = await open_page(context, url);
  await page.evaluate((text) => window.orbasm.load({ 'big.asm': text }, 'big.asm'), program);
  await page.waitForFunction(() => document.querySelector('#diagnostics .none') !== null);
  await page.click('#source .cm-content');
  await page.keyboard.press('Control+End');
  await page.keyboard.type('ld ax, 5');
  await page.waitForTimeout(300);
  await page.evaluate(() => {
    const marks = (window.latency_marks = { keys: [], changes: [] });
    addEventListener('keydown', () => marks.keys.push(performance.now()), true);
    new MutationObserver(() => marks.changes.push(performance.now()))
      .observe(document.getElementById('diagnostics'), { childList: true });
  });
  const delays = [];
  for (let k = 0; k < keystrokes; ++k) {
    const before = await page.evaluate(() => window.latency_marks.changes.length);
    await page.keyboard.press(k % 2 === 0 ? '5' : 'Backspace');
    await page.waitForFunction((n) => window.latency_marks.changes.length > n, before);
    delays.push(await page.evaluate(() => window.latency_marks.changes.at(-1) - window.latency_marks.keys.at(-1)));
    await page.waitForTimeout(150);
  }
  const lines = await page.evaluate(() => window.orbasm.files()['big.asm'].split('\n').length);
  await page.close();
  delays.sort((a, b) => a - b);
  return { lines, delays, median: delays[Math.floor(delays.length / 2)], largest: delays.at(-1) };
}

if (import.meta.url === `file://${process.argv[1]}`) {
  const server = await serve(page_dir);
  const browser = await open_browser();
  try {
    const result = await measure_latency(browser.context, server.url);
    console.log(`playground: diagnostics of a ${result.lines}-line program ${result.median.toFixed(1)} ms after the ` +
      `last keystroke (median of ${result.delays.length}; largest ${result.largest.toFixed(1)} ms)`);
  } finally {
    await browser.close();
    await server.close();
  }
}
