// A static file server for the built page, on 127.0.0.1 only.
//   node serve.mjs [DIR] [PORT]    serves DIR (build/wasm/web) on PORT (8080; 0 picks a free one)
import { createServer } from 'node:http';
import { readFileSync, statSync } from 'node:fs';
import { extname, join, normalize, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const content_types = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm',
};

// Serves dir on port of 127.0.0.1; resolves to { url, close }.
export function serve(dir, port = 0) {
  const root = resolve(dir);
  const server = createServer((request, response) => {
    const path = normalize(decodeURIComponent(new URL(request.url, 'http://localhost').pathname));
    const file = join(root, path.endsWith('/') ? path + 'index.html' : path);
    try {
      if (!file.startsWith(root) || !statSync(file).isFile()) throw new Error('not a file');
      response.writeHead(200, { 'content-type': content_types[extname(file)] ?? 'application/octet-stream' });
      response.end(readFileSync(file));
    } catch {
      response.writeHead(404);
      response.end();
    }
  });
  return new Promise((done, failed) => {
    server.on('error', failed);
    server.listen(port, '127.0.0.1', () => done({
      url: `http://127.0.0.1:${server.address().port}/`,
      close: () => new Promise((closed) => server.close(closed)),
    }));
  });
}

if (import.meta.url === `file://${process.argv[1]}`) {
  const here = resolve(fileURLToPath(new URL('../..', import.meta.url)));
  const { url } = await serve(process.argv[2] ?? join(here, 'build', 'wasm', 'web'), Number(process.argv[3] ?? 8080));
  console.log(`The orbasm playground is at ${url} (Ctrl+C stops the server)`);
}
