// The benchmark peer: what a site would run instead of ferrolift for the same job. A
// long-running Node http server with busboy that streams each uploaded file to disk and
// answers like site/upload.asp; it also serves site/static.txt, "hi", and the bytes
// received so far of an upload by its ID (the counterpart of site/progress.asp).
// Usage: node peer.js SITE_DIR [PORT]   (prints "port N" on standard error once listening)
'use strict';
const http = require('http');
const fs = require('fs');
const path = require('path');
const busboy = require('busboy');

const site = path.resolve(process.argv[2] || path.join(__dirname, 'site'));
const uploads = path.join(site, 'uploads');
fs.mkdirSync(uploads, { recursive: true });
const progress = new Map();   // ID -> { done, total }

function answer(res, status, type, text) {
  res.writeHead(status, { 'Content-Type': type, 'Content-Length': Buffer.byteLength(text) });
  res.end(text);
}

function receive(req, res, query) {
  const slot = (query.get('slot') || '0').replace(/[^0-9A-Za-z_-]/g, '') || '0';
  const id = Number(query.get('ID')) | 0;
  const record = { done: 0, total: Number(req.headers['content-length']) || 0 };
  if (id > 0) {
    progress.set(id, record);
    req.on('data', (chunk) => { record.done += chunk.length; });
  }
  const fields = {};
  let length = 0;
  let writing = null;
  let failed = false;
  const fail = (err) => {
    if (failed) return;
    failed = true;
    answer(res, 500, 'text/plain', String(err && err.message) + '\n');
    req.resume();
  };
  let parser;
  try {
    parser = busboy({ headers: req.headers });
  } catch (err) {
    return answer(res, 400, 'text/plain', err.message + '\n');
  }
  parser.on('field', (name, value) => { fields[name] = value; });
  parser.on('file', (name, stream) => {
    if (name !== 'file' || writing) return stream.resume();
    const out = fs.createWriteStream(path.join(uploads, slot + '.bin'));
    writing = new Promise((resolve, reject) => { out.on('finish', resolve); out.on('error', reject); });
    stream.on('data', (chunk) => { length += chunk.length; });
    stream.pipe(out);
  });
  parser.on('error', fail);
  parser.on('close', () => {
    Promise.resolve(writing).then(() => {
      if (failed) return;
      const title = fields.title || '';
      const note = fields.note || '';
      answer(res, 200, 'text/plain', length + ' ' + title.length + ' ' + note.length + '\n');
    }, fail);
  });
  req.pipe(parser);
}

const server = http.createServer((req, res) => {
  const url = new URL(req.url, 'http://x');
  if (req.method === 'POST' && url.pathname === '/upload') return receive(req, res, url.searchParams);
  if (url.pathname === '/hi') return answer(res, 200, 'text/html', 'hi');
  if (url.pathname === '/static.txt') {
    return fs.readFile(path.join(site, 'static.txt'), (err, data) => {
      if (err) return answer(res, 404, 'text/plain', 'not found\n');
      res.writeHead(200, { 'Content-Type': 'text/plain', 'Content-Length': data.length });
      res.end(data);
    });
  }
  if (url.pathname === '/progress') {
    const record = progress.get(Number(url.searchParams.get('ID')) | 0) || { done: 0, total: 0 };
    const percent = record.total > 0 ? Math.floor(record.done / record.total * 95) : 0;
    return answer(res, 200, 'application/json',
                  JSON.stringify({ done: record.done, total: record.total, percent: percent }));
  }
  answer(res, 404, 'text/plain', 'not found\n');
});
server.keepAliveTimeout = 30000;
server.requestTimeout = 0;   // slow uploads take as long as they take
server.listen(Number(process.argv[3]) || 0, '127.0.0.1', () => {
  process.stderr.write('peer: listening on port ' + server.address().port + '\n');
});
for (const signal of ['SIGTERM', 'SIGINT']) process.on(signal, () => process.exit(0));
