// The feed over a WebSocket (?feed=ws://...): a page opened from disk
// subscribes to its tags, values of a batch reach the drawing, a value of
// bad quality is shown as such, and a dropped connection is shown, marked
// bad and opened again. The server is a minimal WebSocket endpoint written
// here on Node's own HTTP server, so the browser's real WebSocket is used.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, '..', '..');
const quillon = process.env.QUILLON_BIN || path.join(root, 'build', 'bin', 'quillon');
const browserPath = process.env.QUILLON_CHROMIUM || '/usr/bin/chromium';

// One connected client: the messages it sent, and a way to send and close.
class Client {
  constructor(socket) {
    this.socket = socket;
    this.messages = [];
    this.waiters = [];
    this.buffer = Buffer.alloc(0);
    socket.on('data', (chunk) => this.read(chunk));
    socket.on('error', () => {});
  }

  // Client frames are masked; a frame may arrive in pieces.
  read(chunk) {
    this.buffer = Buffer.concat([this.buffer, chunk]);
    for (;;) {
      if (this.buffer.length < 2) return;
      const opcode = this.buffer[0] & 0x0f;
      let length = this.buffer[1] & 0x7f;
      let offset = 2;
      if (length === 126) {
        if (this.buffer.length < 4) return;
        length = this.buffer.readUInt16BE(2);
        offset = 4;
      } else if (length === 127) {
        if (this.buffer.length < 10) return;
        length = Number(this.buffer.readBigUInt64BE(2));
        offset = 10;
      }
      if (this.buffer.length < offset + 4 + length) return;
      const mask = this.buffer.subarray(offset, offset + 4);
      const payload = Buffer.from(this.buffer.subarray(offset + 4, offset + 4 + length));
      for (let i = 0; i < payload.length; ++i) payload[i] ^= mask[i % 4];
      this.buffer = this.buffer.subarray(offset + 4 + length);
      if (opcode === 1) {
        this.messages.push(payload.toString('utf8'));
        for (const wake of this.waiters.splice(0)) wake();
      } else if (opcode === 8) {
        this.socket.end();
      }
    }
  }

  async nextMessage() {
    while (this.messages.length === 0) await new Promise((resolve) => this.waiters.push(resolve));
    return this.messages.shift();
  }

  send(text) {
    const payload = Buffer.from(text, 'utf8');
    let head;
    if (payload.length < 126) {
      head = Buffer.from([0x81, payload.length]);
    } else if (payload.length < 65536) {
      head = Buffer.alloc(4);
      head[0] = 0x81;
      head[1] = 126;
      head.writeUInt16BE(payload.length, 2);
    } else {
      head = Buffer.alloc(10);
      head[0] = 0x81;
      head[1] = 127;
      head.writeBigUInt64BE(BigInt(payload.length), 2);
    }
    this.socket.write(Buffer.concat([head, payload]));
  }

  // Drops the connection without a closing handshake, as a crashed server.
  drop() {
    this.socket.destroy();
  }
}

let work;
let server;
let port;
const connections = [];
const everyClient = [];
const connectionWaiters = [];
const upgradePaths = [];

async function nextConnection() {
  while (connections.length === 0) await new Promise((resolve) => connectionWaiters.push(resolve));
  return connections.shift();
}

before(async () => {
  work = fs.mkdtempSync(path.join(os.tmpdir(), 'quillon-ws-'));
  fs.copyFileSync(path.join(root, 'examples', 'golden', 'Overview.JDF'), path.join(work, 'Overview.JDF'));
  const view = spawnSync(quillon, ['view', path.join(work, 'Overview.JDF')], { encoding: 'utf8' });
  assert.equal(view.status, 0, view.stderr);
  server = http.createServer((request, response) => {
    response.writeHead(426);
    response.end();
  });
  server.on('upgrade', (request, socket) => {
    upgradePaths.push(request.url);
    const accept = crypto.createHash('sha1')
      .update(`${request.headers['sec-websocket-key']}258EAFA5-E914-47DA-95CA-C5AB0DC85B11`)
      .digest('base64');
    socket.write('HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n'
      + `Sec-WebSocket-Accept: ${accept}\r\n\r\n`);
    const client = new Client(socket);
    everyClient.push(client);
    connections.push(client);
    for (const wake of connectionWaiters.splice(0)) wake();
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  port = server.address().port;
});

after(async () => {
  if (server) {
    for (const client of everyClient) client.drop();
    await new Promise((resolve) => server.close(resolve));
  }
  if (work) fs.rmSync(work, { recursive: true, force: true });
});

const qualityOf = (name) => document.querySelector(`[data-object="${name}"]`)?.getAttribute('data-quality');

test('a page from disk subscribes over a WebSocket, shows values and bad quality, and reconnects', { timeout: 60000 }, async () => {
  const context = await chromium.launchPersistentContext(fs.mkdtempSync(path.join(work, 'profile-')), {
    executablePath: browserPath, headless: true, args: ['--headless', '--no-sandbox', '--disable-gpu'],
  });
  const errors = [];
  const warnings = [];
  try {
    const page = await context.newPage();
    page.on('pageerror', (error) => errors.push(error.message));
    page.on('console', (message) => {
      if (message.type() === 'error') errors.push(message.text());
      if (message.type() === 'warning') warnings.push(message.text());
    });
    const pageUrl = pathToFileURL(path.join(work, 'Overview.html'));
    pageUrl.search = `?feed=${encodeURIComponent(`ws://127.0.0.1:${port}/values`)}`;
    await page.goto(pageUrl.href);

    // The first message names the page's data-source tags, without the
    // system values (time and date are the page's own clock).
    let client = await nextConnection();
    assert.equal(upgradePaths[0], '/values');
    const subscribe = JSON.parse(await client.nextMessage());
    const expected = await page.evaluate(() => window.quillonLive.network.tagNames());
    assert.ok(Array.isArray(subscribe.subscribe));
    assert.ok(subscribe.subscribe.includes('NODE1:TANK1_LEVEL.F_CV'), subscribe.subscribe.join(','));
    assert.ok(subscribe.subscribe.includes('NODE1:PUMP1.F_CV'));
    assert.deepEqual(subscribe.subscribe, expected.filter((tag) => !/:SYSTEM\./.test(tag)));
    assert.equal(subscribe.subscribe.length, expected.length - 2);

    // A batch, then a single object of bad quality, then a text that is not
    // JSON (ignored with a warning), then one more value.
    client.send(JSON.stringify([
      { tag: 'NODE1:TANK1_LEVEL.F_CV', value: 321.5, quality: 'good' },
      { tag: 'NODE1:PUMP1.F_CV', value: 2 },
    ]));
    await page.waitForFunction(() => document.querySelector('[data-object="Area1.Tank1Group.Tank1Level"]')
      ?.textContent === '321.5', null, { timeout: 10000 });
    assert.equal(await page.evaluate(() => window.quillonView.page.byPath.get('Area1.Pump1').props.fgColor),
      '0xff0000');
    client.send(JSON.stringify({ tag: 'NODE1:MARK.F_CV', value: 5, quality: 'bad' }));
    await page.waitForFunction(qualityOf, 'Level80', { timeout: 10000 });
    assert.equal(await page.evaluate(qualityOf, 'Level80'), 'bad');
    assert.equal(await page.evaluate(qualityOf, 'Area1.Tank1Group.Tank1Level'), null);
    client.send('not json');
    client.send(JSON.stringify([{ tag: 'NODE1:TANK1_LEVEL.F_CV', value: 400.5, quality: 'good' }]));
    await page.waitForFunction(() => document.querySelector('[data-object="Area1.Tank1Group.Tank1Level"]')
      ?.textContent === '400.5', null, { timeout: 10000 });
    assert.ok(warnings.some((w) => /feed message is not JSON/.test(w)), warnings.join('\n'));

    // The server goes away: the page says so, marks what it had as bad, and
    // opens the connection again, subscribing anew.
    client.drop();
    await page.waitForFunction(() => /lost; retrying/.test(document.querySelector('.quillon-status')?.textContent || ''),
      null, { timeout: 10000 });
    assert.equal(await page.evaluate(qualityOf, 'Area1.Tank1Group.Tank1Level'), 'bad');
    client = await nextConnection();
    assert.deepEqual(JSON.parse(await client.nextMessage()), subscribe);
    client.send(JSON.stringify([{ tag: 'NODE1:TANK1_LEVEL.F_CV', value: 123.5, quality: 'good' }]));
    await page.waitForFunction(() => document.querySelector('[data-object="Area1.Tank1Group.Tank1Level"]')
      ?.textContent === '123.5', null, { timeout: 10000 });
    assert.equal(await page.evaluate(qualityOf, 'Area1.Tank1Group.Tank1Level'), null);
    assert.equal(await page.evaluate(() => document.querySelector('.quillon-status')?.textContent || ''), '');
    assert.deepEqual(errors, []);
  } finally {
    await context.close();
  }
});
