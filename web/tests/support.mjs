// What the browser tests share: a static server for the built page on 127.0.0.1, and Debian's
// Chromium driven by playwright-core (which never downloads a browser of its own).
import { createServer } from 'node:http';
import { mkdtempSync, readFileSync, rmSync, statSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { extname, join, normalize, resolve } from 'node:path';
import { chromium } from 'playwright-core';

export const source_dir = resolve(import.meta.dirname, '..', '..');
export const page_dir = process.env.ORBASM_WEB_DIR ?? join(source_dir, 'build', 'wasm', 'web');
export const native_orbasm = process.env.ORBASM_NATIVE ?? join(source_dir, 'build', 'release', 'orbasm');
export const artifacts_dir = process.env.ORBASM_ARTIFACTS ?? join(source_dir, 'build', 'wasm', 'artifacts');

const content_types = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm',
};

// Serves dir on a free port of 127.0.0.1; resolves to { url, close }.
export function serve(dir) {
  const server = createServer((request, response) => {
    const path = normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname));
    const file = join(dir, path.endsWith('/') ? path + 'index.html' : path);
    try {
      if (!file.startsWith(dir) || !statSync(file).isFile()) throw new Error('not a file');
      response.writeHead(200, { 'content-type': content_types[extname(file)] ?? 'application/octet-stream' });
      response.end(readFileSync(file));
    } catch {
      response.writeHead(404);
      response.end();
    }
  });
  return new Promise((done) => server.listen(0, '127.0.0.1', () => done({
    url: `http://127.0.0.1:${server.address().port}/`,
    close: () => new Promise((closed) => server.close(closed)),
  })));
}

// A headless Chromium with a fresh profile; resolves to { context, close }.
export async function open_browser() {
  const profile = mkdtempSync(join(tmpdir(), 'orbasm-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    acceptDownloads: true,
    viewport: { width: 1280, height: 800 },
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  return {
    context,
    close: async () => {
      await context.close();
      rmSync(profile, { recursive: true, force: true });
    },
  };
}

// A new tab on the page at url, once the assembler is loaded.
export async function open_page(context, url) {
  const page = await context.newPage();
  const problems = [];
  page.on('pageerror', (error) => problems.push(String(error)));
  page.on('requestfailed', (request) => problems.push('request failed: ' + request.url()));
  await page.goto(url);
  await page.waitForSelector('body[data-ready="true"]', { timeout: 20000 });
  page.problems = problems;
  return page;
}
