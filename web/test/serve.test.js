// The site's little web server: malformed requests get 400, nothing outside
// the folder is served, and the server goes on serving, with the types a
// browser needs to compile the module.
'use strict';

const assert = require('node:assert/strict');
const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');
const { test } = require('node:test');
const { serve } = require('../serve');

function get(port, urlPath, headers = {}) {
  return new Promise((resolve, reject) => {
    http.get({ host: '127.0.0.1', port, path: urlPath, headers }, (response) => {
      const chunks = [];
      response.on('data', (chunk) => chunks.push(chunk));
      response.on('end', () => resolve({
        status: response.statusCode,
        type: response.headers['content-type'],
        body: Buffer.concat(chunks),
      }));
    }).on('error', reject);
  });
}

test('malformed paths get 400, paths out of the folder 404, and the site is still served with its types', async () => {
  const top = fs.mkdtempSync(path.join(os.tmpdir(), 'vimbel-serve-'));
  const root = path.join(top, 'site');
  // Beside the site: a secret, and a folder whose name starts with the site's.
  for (const [name, content] of [['secret', 'secret'], ['site-other/secret', 'secret'],
    ['site/index.html', '<!doctype html>'], ['site/demo.0123abcd.wasm', Buffer.from([0, 0x61, 0x73, 0x6d])]]) {
    fs.mkdirSync(path.dirname(path.join(top, name)), { recursive: true });
    fs.writeFileSync(path.join(top, name), content);
  }
  const server = await serve(root);
  const { port } = server.address();
  try {
    for (const bad of ['/%', '/%E0%A4%A', '/a%00b', '/%%30']) {
      assert.equal((await get(port, bad)).status, 400, bad);
    }
    // Encoded separators reach the server as they are (a plain /../ would be
    // resolved by the client before it is sent).
    for (const out of ['/..%2Fsecret', '/..%2fsite-other%2Fsecret', '/%2E%2E%2Fsecret', '/a/..%2F..%2Fsecret']) {
      assert.equal((await get(port, out)).status, 404, out);
    }
    const page = await get(port, '/');
    assert.deepEqual([page.status, page.type, page.body.toString()],
      [200, 'text/html; charset=utf-8', '<!doctype html>']);
    const wasm = await get(port, '/demo.0123abcd.wasm', { 'Accept-Encoding': 'identity' });
    assert.deepEqual([wasm.status, wasm.type, [...wasm.body]], [200, 'application/wasm', [0, 0x61, 0x73, 0x6d]]);
  } finally {
    server.close();
    fs.rmSync(top, { recursive: true, force: true });
  }
});
