#!/usr/bin/env node
// Serves a folder on 127.0.0.1 the way a plain web server would: the right
// content types, gzip when the browser asks for it, nothing outside the
// folder, and 400 for a request it cannot make sense of.
//
//   node web/serve.js build-web/site [PORT]     (PORT 0 or none: any free port)
//
// Also used by the browser tests and the benchmark: serve(root, port) gives
// back the listening server.
'use strict';

const fs = require('fs');
const http = require('http');
const path = require('path');
const zlib = require('zlib');

const types = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.wasm': 'application/wasm',
  '.png': 'image/png',
  '.json': 'application/json',
  '.svg': 'image/svg+xml',
  '.ico': 'image/x-icon',
  '.txt': 'text/plain; charset=utf-8',
};

// The file a request's path names inside base, or null for a path that is
// malformed (bad percent-encoding, a NUL byte).
function fileFor(base, url) {
  let urlPath;
  try {
    urlPath = decodeURIComponent(new URL(url, 'http://localhost').pathname);
  } catch (error) {
    return null;
  }
  if (urlPath.includes('\0')) {
    return null;
  }
  return path.join(base, urlPath.endsWith('/') ? `${urlPath}index.html` : urlPath);
}

function serve(root, port = 0) {
  const base = path.resolve(root);
  const server = http.createServer((request, response) => {
    const file = fileFor(base, request.url);
    if (file === null) {
      response.writeHead(400, { 'Content-Type': 'text/plain' }).end('bad request\n');
      return;
    }
    if (!file.startsWith(base + path.sep) || request.method !== 'GET') {
      response.writeHead(request.method === 'GET' ? 404 : 405).end();
      return;
    }
    fs.readFile(file, (error, bytes) => {
      if (error) {
        response.writeHead(404, { 'Content-Type': 'text/plain' }).end('not found\n');
        return;
      }
      const headers = {
        'Content-Type': types[path.extname(file)] || 'application/octet-stream',
        'Cache-Control': 'no-cache',
      };
      const gzip = /\bgzip\b/.test(request.headers['accept-encoding'] || '') &&
        path.extname(file) !== '.png';
      const body = gzip ? zlib.gzipSync(bytes) : bytes;
      if (gzip) {
        headers['Content-Encoding'] = 'gzip';
      }
      headers['Content-Length'] = body.length;
      response.writeHead(200, headers).end(body);
    });
  });
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, '127.0.0.1', () => resolve(server));
  });
}

module.exports = { serve };

if (require.main === module) {
  const [root, port] = process.argv.slice(2);
  if (!root || !fs.existsSync(path.join(root, 'index.html'))) {
    console.error('usage: node web/serve.js SITE-FOLDER [PORT]  (the folder make web wrote)');
    process.exit(2);
  }
  serve(root, Number(port) || 0).then((server) => {
    console.log(`Serving ${root} at http://127.0.0.1:${server.address().port}/ (Ctrl-C stops)`);
  }, (error) => {
    console.error(`serve: ${error.message}`);
    process.exit(2);
  });
}
