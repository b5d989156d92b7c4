// What the browser tests share: a static server for the built page on 127.0.0.1, and Debian's
// Chromium driven by playwright-core (which never downloads a browser of its own).
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';
export { serve } from '../tools/serve.mjs';

export const source_dir = resolve(fileURLToPath(new URL('../..', import.meta.url)));
export const page_dir = process.env.ORBASM_WEB_DIR ?? join(source_dir, 'build', 'wasm', 'web');
export const native_orbasm = process.env.ORBASM_NATIVE ?? join(source_dir, 'build', 'release', 'orbasm');
export const native_orbdis = process.env.ORBASM_ORBDIS ?? join(source_dir, 'build', 'release', 'tools', 'orbdis');
export const artifacts_dir = process.env.ORBASM_ARTIFACTS ?? join(source_dir, 'build', 'wasm', 'artifacts');

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
