// A share link: the files and the main file's name as JSON, deflated where the browser can, in the
// URL's fragment ("#z=" deflated, "#j=" plain), base64url-encoded. Nothing leaves the browser.

function to_base64url(bytes) {
  let text = '';
  for (let k = 0; k < bytes.length; k += 0x8000) text += String.fromCharCode(...bytes.subarray(k, k + 0x8000));
  return btoa(text).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

function from_base64url(text) {
  const binary = atob(text.replace(/-/g, '+').replace(/_/g, '/'));
  return Uint8Array.from(binary, (c) => c.charCodeAt(0));
}

async function through(stream, bytes) {
  const piped = new Blob([bytes]).stream().pipeThrough(stream);
  return new Uint8Array(await new Response(piped).arrayBuffer());
}

// The fragment for files ({ name: text }) and main.
export async function share_fragment(files, main) {
  const json = new TextEncoder().encode(JSON.stringify({ main, files }));
  if (typeof CompressionStream === 'function')
    return '#z=' + to_base64url(await through(new CompressionStream('deflate-raw'), json));
  return '#j=' + to_base64url(json);
}

// { main, files } from a fragment, or null when it carries none.
export async function read_fragment(fragment) {
  const found = /^#([zj])=(.+)$/.exec(fragment);
  if (!found) return null;
  try {
    let bytes = from_base64url(found[2]);
    if (found[1] === 'z') bytes = await through(new DecompressionStream('deflate-raw'), bytes);
    const shared = JSON.parse(new TextDecoder().decode(bytes));
    const files = shared.files;
    if (typeof shared.main !== 'string' || typeof files !== 'object' || files === null) return null;
    if (Object.keys(files).length === 0 || !Object.values(files).every((text) => typeof text === 'string')) return null;
    return shared;
  } catch {
    return null;
  }
}
