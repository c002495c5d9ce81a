// `quillon serve` over a real socket on 127.0.0.1: the index, a page, files
// outside the folder refused, and values replayed from a CSV file reaching
// the page in headless Chromium through the feed.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, '..', '..');
const quillon = process.env.QUILLON_BIN || path.join(root, 'build', 'bin', 'quillon');
const browserPath = process.env.QUILLON_CHROMIUM || '/usr/bin/chromium';

let work;
let server;
let base;
let port;

before(async () => {
  work = fs.mkdtempSync(path.join(os.tmpdir(), 'quillon-serve-'));
  const served = path.join(work, 'out');
  fs.mkdirSync(served);
  fs.copyFileSync(path.join(root, 'examples', 'golden', 'Overview.JDF'), path.join(served, 'Overview.JDF'));
  spawnSync(quillon, ['view', path.join(served, 'Overview.JDF')]);
  fs.writeFileSync(path.join(work, 'secret.txt'), 'outside');
  fs.symlinkSync(path.join(work, 'secret.txt'), path.join(served, 'link.txt'));
  fs.writeFileSync(path.join(served, 'notes.txt'), 'inside');
  fs.writeFileSync(path.join(work, 'values.csv'),
    'time,tag,value\n0,NODE1:TANK1_LEVEL.F_CV,321.5\n0,NODE1:PUMP1.F_CV,2\n0.5,NODE1:MARK.F_CV,5,bad\n');
  server = spawn(quillon, ['serve', served, '--port', '0', '--values', path.join(work, 'values.csv')]);
  base = await new Promise((resolve, reject) => {
    let out = '';
    server.stdout.on('data', (chunk) => {
      out += chunk;
      const m = /http:\/\/127\.0\.0\.1:(\d+)\//.exec(out);
      if (m) resolve(m[0]);
    });
    server.on('exit', (code) => reject(new Error(`quillon serve exited with ${code}`)));
  });
  port = Number(/:(\d+)\/$/.exec(base)[1]);
});

after(() => {
  if (server && server.exitCode === null) server.kill('SIGKILL');
  if (work) fs.rmSync(work, { recursive: true, force: true });
});

// A request written on the socket as it is, so that "../" reaches the server
// unchanged.
function rawGet(requestPath) {
  return new Promise((resolve, reject) => {
    const socket = net.connect(port, '127.0.0.1', () => {
      socket.write(`GET ${requestPath} HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n`);
    });
    let reply = '';
    socket.on('data', (chunk) => { reply += chunk; });
    socket.on('end', () => resolve(reply));
    socket.on('error', reject);
  });
}

test('the index links every converted picture; pages and files of the folder are served', async () => {
  const index = await (await fetch(base)).text();
  assert.match(index, /<a href="Overview\.html\?feed=\/feed">Overview<\/a>/);
  const page = await fetch(`${base}Overview.html`);
  assert.equal(page.status, 200);
  assert.match(page.headers.get('content-type'), /text\/html/);
  assert.match(await page.text(), /id="quillon-jdf"/);
  assert.equal(await (await fetch(`${base}notes.txt`)).text(), 'inside');
});

test('nothing outside the folder is served', async () => {
  for (const request of ['/../secret.txt', '/%2e%2e/secret.txt', '/..%2fsecret.txt', '/link.txt', '/./notes.txt',
    '/missing.html', '//etc/passwd']) {
    const reply = await rawGet(request);
    assert.match(reply, /^HTTP\/1\.1 (400|404)/, request);
    assert.doesNotMatch(reply, /outside/, request);
  }
});

test('values replayed from a CSV file reach the page through the feed; Ctrl-C stops with status 0', async () => {
  const context = await chromium.launchPersistentContext(fs.mkdtempSync(path.join(work, 'profile-')), {
    executablePath: browserPath, headless: true, args: ['--headless', '--no-sandbox', '--disable-gpu'],
  });
  try {
    const page = await context.newPage();
    await page.goto(`${base}Overview.html?feed=/feed`);
    await page.waitForFunction(() => document.querySelector('[data-object="Area1.Tank1Group.Tank1Level"]')
      ?.textContent === '321.5', null, { timeout: 10000 });
    await page.waitForFunction(() => document.querySelector('[data-object="Level80"]')
      ?.getAttribute('data-quality') === 'bad', null, { timeout: 10000 });
    const pump = await page.evaluate(() => window.quillonView.page.byPath.get('Area1.Pump1').props.fgColor);
    assert.equal(pump, '0xff0000');
  } finally {
    await context.close();
  }
  const status = await new Promise((resolve) => {
    server.on('exit', (code) => resolve(code));
    server.kill('SIGINT');
  });
  assert.equal(status, 0);
});

test('bad values files and usage errors', () => {
  const bad = path.join(work, 'bad.csv');
  fs.writeFileSync(bad, 'time,tag,value\n1,A,2\nsoon,B,3\n');
  let run = spawnSync(quillon, ['serve', work, '--port', '0', '--values', bad], { encoding: 'utf8' });
  assert.equal(run.status, 1);
  assert.match(run.stderr, /bad\.csv: line 3: the time is not a number of seconds: soon/);
  run = spawnSync(quillon, ['serve', path.join(work, 'nowhere')], { encoding: 'utf8' });
  assert.equal(run.status, 1);
  assert.match(run.stderr, /is not a folder/);
  run = spawnSync(quillon, ['serve', work, '--port', 'x'], { encoding: 'utf8' });
  assert.equal(run.status, 2);
  assert.equal(run.stderr.trim().split('\n').length, 1);
});

test('without a values file the feed sends simulated values of the tags asked for', async () => {
  const simulated = spawn(quillon, ['serve', work, '--port', '0']);
  try {
    const address = await new Promise((resolve, reject) => {
      let out = '';
      simulated.stdout.on('data', (chunk) => {
        out += chunk;
        const m = /http:\/\/127\.0\.0\.1:\d+\//.exec(out);
        if (m) resolve(m[0]);
      });
      simulated.on('exit', (code) => reject(new Error(`quillon serve exited with ${code}`)));
    });
    const response = await fetch(`${address}feed?tags=${encodeURIComponent('N:A.F_CV,N:B.F_CV')}`);
    assert.match(response.headers.get('content-type'), /text\/event-stream/);
    const reader = response.body.getReader();
    let text = '';
    while (!text.includes('\n\n')) text += new TextDecoder().decode((await reader.read()).value);
    await reader.cancel();
    const batch = JSON.parse(/^data: (.*)$/m.exec(text)[1]);
    assert.deepEqual(batch.map((v) => v.tag), ['N:A.F_CV', 'N:B.F_CV']);
    for (const v of batch) {
      assert.equal(v.quality, 'good');
      assert.ok(typeof v.value === 'number' && v.value >= 0 && v.value <= 100, String(v.value));
    }
  } finally {
    simulated.kill('SIGTERM');
    await new Promise((resolve) => simulated.on('exit', resolve));
  }
  assert.equal(simulated.exitCode, 0);
});

test('a lost connection is shown and the values marked bad', async () => {
  const served = path.join(work, 'out');
  const second = spawn(quillon, ['serve', served, '--port', '0', '--values', path.join(work, 'values.csv')]);
  const address = await new Promise((resolve, reject) => {
    let out = '';
    second.stdout.on('data', (chunk) => {
      out += chunk;
      const m = /http:\/\/127\.0\.0\.1:\d+\//.exec(out);
      if (m) resolve(m[0]);
    });
    second.on('exit', (code) => reject(new Error(`quillon serve exited with ${code}`)));
  });
  const context = await chromium.launchPersistentContext(fs.mkdtempSync(path.join(work, 'profile-')), {
    executablePath: browserPath, headless: true, args: ['--headless', '--no-sandbox', '--disable-gpu'],
  });
  try {
    const page = await context.newPage();
    await page.goto(`${address}Overview.html?feed=/feed`);
    await page.waitForFunction(() => document.querySelector('[data-object="Area1.Tank1Group.Tank1Level"]')
      ?.textContent === '321.5', null, { timeout: 10000 });
    second.kill('SIGTERM');
    await page.waitForFunction(() => /lost; retrying/.test(document.querySelector('.quillon-status')?.textContent || ''),
      null, { timeout: 10000 });
    assert.equal(await page.evaluate(() => document.querySelector('[data-object="Area1.Tank1Group.Tank1Level"]')
      .getAttribute('data-quality')), 'bad');
    // A tag that never had a value is not given one: the pipe (PIPE1_OPEN)
    // keeps the visibility of its description.
    assert.equal(await page.evaluate(() => document.querySelector('[data-object="Pipe1"]').getAttribute('display')), null);
    assert.equal(await page.evaluate(() => window.quillonLive.network.tags.get('NODE1:PIPE1_OPEN.F_CV').value), undefined);
  } finally {
    await context.close();
    if (second.exitCode === null) second.kill('SIGKILL');
  }
});
