// The HTML5 pages in headless Chromium: the example plant as `quillon
// convert` writes it and small pages made for the purpose through `quillon
// view`, checked by the pixels of a screenshot at a fixed size.
//
// Environment: QUILLON_BIN (the quillon command), QUILLON_CHROMIUM (the
// browser, default /usr/bin/chromium), QUILLON_SCREENSHOTS (a folder that
// receives the example plant's screenshots, optional).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

import { decodePng, decodeBmp, hex } from './images.js';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, '..', '..');
const quillon = process.env.QUILLON_BIN || path.join(root, 'build', 'bin', 'quillon');
const browserPath = process.env.QUILLON_CHROMIUM || '/usr/bin/chromium';
const LAUNCH_FLAGS = [
  '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  '--force-color-profile=srgb', '--hide-scrollbars',
];

let work;
let context;
const DRAWN = /^\s*\(\S+ TAV(Rectangle|Ellipse|RoundRect|Line|Polyline|Polygon|Arc|Text|Image|Symbol|Button|AlarmDisplay|RealTime)\s*$/;

// Converts the example plant with a copy of the example settings into
// `folder`, with BMP or JPEG image files.
function convertExamples(folder, imageFormat, ...options) {
  fs.mkdirSync(folder, { recursive: true });
  const registry = path.join(folder, 'registry.reg');
  const settings = fs.readFileSync(path.join(root, 'examples', 'registry.reg'), 'utf8')
    .replace('@="demo-out"', `@="${folder}"`);
  fs.writeFileSync(registry, settings);
  execFileSync(quillon, ['--registry', registry, 'settings', '--image-format', imageFormat], { cwd: root });
  const pictures = ['Overview', 'Pumps', 'Trends'].map((name) => path.join('examples', 'pictures', `${name}.grf`));
  execFileSync(quillon, ['--registry', registry, 'convert', '--node', 'THISNODE', ...options, ...pictures], { cwd: root });
}

// Loads a page, waits for its drawing and returns what a test looks at.
// The pages are shown as their descriptions give them (?live=0) unless the
// query says otherwise.
async function open(file, query = '?live=0') {
  const page = await context.newPage();
  const problems = [];
  const requests = [];
  page.on('console', (message) => {
    if (message.type() === 'error') problems.push(message.text());
  });
  page.on('pageerror', (error) => problems.push(error.message));
  page.on('request', (request) => requests.push(request.url()));
  await page.goto(`file://${file}${query}`);
  await page.waitForFunction(() => document.querySelector('#quillon-page svg, .quillon-error'));
  // Images are decoded before the screenshot.
  await page.evaluate(() => Promise.all([...document.images].map((i) => i.decode?.().catch(() => {}))));
  const size = await page.evaluate(() => {
    const svg = document.querySelector('#quillon-page svg');
    return svg ? { width: svg.width.baseVal.value, height: svg.height.baseVal.value } : null;
  });
  const shot = await page.screenshot({ fullPage: true });
  return { page, problems, requests, size, shot, pixels: decodePng(shot) };
}

function drawnCount(jdfFile) {
  return fs.readFileSync(jdfFile, 'latin1').split(/\r?\n/).filter((line) => DRAWN.test(line)).length;
}

// The colour at (x, y), as "#rrggbb".
const at = (view, x, y) => hex(view.pixels.pixel(x, y));

before(async () => {
  work = fs.mkdtempSync(path.join(os.tmpdir(), 'quillon-viewer-'));
  convertExamples(path.join(work, 'jpg'), 'jpg');
  convertExamples(path.join(work, 'bmp'), 'bmp');
  const made = path.join(work, 'made');
  fs.mkdirSync(made);
  for (const name of ['Shapes', 'Hostile', 'Malformed']) {
    fs.copyFileSync(path.join(here, 'pages', `${name}.JDF`), path.join(made, `${name}.JDF`));
    spawnSync(quillon, ['view', path.join(made, `${name}.JDF`)]);
  }
  context = await chromium.launchPersistentContext(fs.mkdtempSync(path.join(work, 'profile-')), {
    executablePath: browserPath,
    headless: true,
    args: LAUNCH_FLAGS,
    viewport: { width: 820, height: 620 },
    deviceScaleFactor: 1,
  });
});

after(async () => {
  if (context) await context.close();
  if (work) fs.rmSync(work, { recursive: true, force: true });
});

test('quillon convert and export write NAME.html beside NAME.htm unless told not to', () => {
  // The pages of each picture (the run's index.html beside them is the command's own).
  const files = (folder) => fs.readdirSync(folder)
    .filter((name) => /\.html?$/.test(name) && name !== 'index.html').sort();
  assert.deepEqual(files(path.join(work, 'jpg')), [
    'Overview.htm', 'Overview.html', 'Pumps.htm', 'Pumps.html', 'Trends.htm', 'Trends.html']);
  // The run's index links the pages that browsers show.
  const index = fs.readFileSync(path.join(work, 'jpg', 'index.html'), 'utf8');
  for (const name of ['Overview', 'Pumps', 'Trends']) assert.ok(index.includes(`href="${name}.html"`), name);
  const without = path.join(work, 'without');
  convertExamples(without, 'jpg', '--no-html5');
  assert.deepEqual(files(without), ['Overview.htm', 'Pumps.htm', 'Trends.htm']);
  const exported = path.join(work, 'exported');
  const plainExport = path.join(work, 'exported-plain');
  const pumps = path.join('examples', 'pictures', 'Pumps.grf');
  const registry = path.join(work, 'jpg', 'registry.reg');
  fs.mkdirSync(exported);
  fs.mkdirSync(plainExport);
  execFileSync(quillon, ['--registry', registry, 'export', '--out', exported, pumps], { cwd: root });
  execFileSync(quillon, ['--registry', registry, 'export', '--no-html5', '--out', plainExport, pumps], { cwd: root });
  assert.deepEqual(files(exported), ['Pumps.htm', 'Pumps.html']);
  assert.deepEqual(files(plainExport), ['Pumps.htm']);
  assert.equal(fs.readFileSync(path.join(exported, 'Pumps.html'), 'utf8'),
    fs.readFileSync(path.join(work, 'jpg', 'Pumps.html'), 'utf8'));
  // The library's page stays as it is.
  for (const name of ['Overview', 'Pumps', 'Trends']) {
    assert.equal(fs.readFileSync(path.join(without, `${name}.htm`), 'latin1'),
      fs.readFileSync(path.join(root, 'examples', 'golden', `${name}.htm`), 'latin1'));
  }
});

test('the example plant: every object drawn, no console error, nothing fetched from the network', async () => {
  const sizes = { Overview: [800, 600], Pumps: [640, 400], Trends: [800, 500] };
  for (const [name, [width, height]] of Object.entries(sizes)) {
    const file = path.join(work, 'jpg', `${name}.html`);
    const view = await open(file);
    assert.deepEqual(view.problems, [], name);
    assert.deepEqual(view.size, { width, height }, name);
    const count = await view.page.evaluate(() => document.querySelectorAll('[data-object]').length);
    assert.equal(count, drawnCount(path.join(work, 'jpg', `${name}.JDF`)), name);
    assert.ok(view.requests.every((url) => url.startsWith('file://')), view.requests.join(' '));
    if (process.env.QUILLON_SCREENSHOTS) {
      await view.page.screenshot({
        path: path.join(process.env.QUILLON_SCREENSHOTS, `viewer-${name}.png`),
        clip: { x: 0, y: 0, width, height },
      });
    }
    await view.page.close();
  }
});

// The screenshots in docs/ are the example plant's first frames: a change to
// how the drawing is built must leave every pixel of them as it is.
test('the example plant\'s first frames are unchanged in pixels (the screenshots in docs/)', async () => {
  const sizes = { Overview: [800, 600], Pumps: [640, 400], Trends: [800, 500] };
  for (const [name, [width, height]] of Object.entries(sizes)) {
    const view = await open(path.join(work, 'jpg', `${name}.html`));
    const wanted = decodePng(fs.readFileSync(path.join(root, 'docs', `viewer-${name}.png`)));
    assert.deepEqual([wanted.width, wanted.height], [width, height], name);
    const differing = [];
    for (let y = 0; y < height; y += 1) {
      for (let x = 0; x < width; x += 1) {
        const got = hex(view.pixels.pixel(x, y));
        const was = hex(wanted.pixel(x, y));
        if (got !== was && differing.length < 5) differing.push(`(${x}, ${y}) ${got} for ${was}`);
      }
    }
    assert.deepEqual(differing, [], name);
    await view.page.close();
  }
});

test('Overview: the tank fills its lower 65 %, the pump and valve in their colours', async () => {
  const view = await open(path.join(work, 'jpg', 'Overview.html'));
  // Tank1: x 40, y 80, 120 x 300, filled 65 % upward from y 380 to y 185.
  assert.equal(at(view, 100, 190), '#0000ff');
  assert.equal(at(view, 100, 375), '#0000ff');
  assert.equal(at(view, 100, 180), '#c0c0c0');
  assert.equal(at(view, 100, 90), '#c0c0c0');
  assert.equal(at(view, 250, 330), '#808080');  // Pump1, inside
  assert.equal(at(view, 305, 330), '#ff0000');  // Valve1, inside
  assert.equal(at(view, 640, 145), '#ffff00');  // FlowShare, inside the pie
  assert.equal(at(view, 600, 145), '#e0e0e0');  // beside the pie, on the panel
  assert.equal(at(view, 95, 140), '#ff0000');  // Level80, a dash of the line at y 140
  await view.page.close();
});

test('purpose-made shapes: fills, edges, lines, arcs, texts and hidden groups', async () => {
  const file = path.join(work, 'made', 'Shapes.html');
  const view = await open(file);
  assert.deepEqual(view.problems, []);
  const count = await view.page.evaluate(() => document.querySelectorAll('[data-object]').length);
  assert.equal(count, drawnCount(path.join(work, 'made', 'Shapes.JDF')));
  const checks = [
    [50, 40, '#ff0000', 'rectangle fill at its centre'],
    [21, 40, '#0000ff', 'rectangle edge on its left border'],
    [50, 58, '#0000ff', 'rectangle edge on its lower border'],
    [130, 40, '#00ff00', 'oval inside'],
    [102, 22, '#ffffff', 'background outside the oval, in its box'],
    [40, 150, '#ff00ff', 'line, start'],
    [70, 151, '#ff00ff', 'line, middle'],
    [118, 149, '#ff00ff', 'line, end'],
    [40, 155, '#ffffff', 'beside the line'],
    [180, 155, '#00ffff', 'polygon inside'],
    [155, 185, '#ffffff', 'outside the polygon'],
    [290, 20, '#800000', 'arc at the top of its circle'],
    [240, 62, '#800000', 'arc near its left end'],
    [290, 119, '#ffffff', 'no arc on the lower half'],
    [305, 175, '#ff8000', 'pie inside its quarter'],
    [275, 175, '#ffffff', 'outside the pie'],
    [170, 240, '#ffffff', 'rectangle of a hidden nested group'],
    [220, 240, '#000080', 'rectangle of the visible group'],
  ];
  for (const [x, y, colour, what] of checks) assert.equal(at(view, x, y), colour, `${what} (${x}, ${y})`);
  // The tank: yellow above, blue in the lower 65 rows of its 100.
  for (let y = 22; y <= 53; y += 1) assert.equal(at(view, 200, y), '#ffff00', `tank empty at ${y}`);
  for (let y = 56; y <= 118; y += 1) assert.equal(at(view, 200, y), '#0000ff', `tank full at ${y}`);
  // The text: pixels of its colour inside its box, none below it.
  let inside = 0;
  let outside = 0;
  for (let y = 195; y < 240; y += 1) {
    for (let x = 15; x < 140; x += 1) {
      const [r, g, b] = view.pixels.pixel(x, y);
      if (r === 0 && g === 0x80 && b === 0) {
        if (y >= 200 && y < 225 && x >= 20 && x < 125) inside += 1; else outside += 1;
      }
    }
  }
  assert.ok(inside > 40, `text pixels in the box: ${inside}`);
  assert.equal(outside, 0);
  // A property changed through the view redraws that object (a group with
  // its members); the page model keeps the new value.
  const answers = await view.page.evaluate(() => {
    const v = window.quillonView;
    const before = v.element('Outer.Inner.Hidden');
    return [
      v.setProperty('Box', 'fgColor', '0x00ff00'),
      v.setProperty('Tank', 'fillPercentVert', '20'),
      v.setProperty('Outer.Inner', 'visibility', '1'),
      v.setProperty('NoSuchObject', 'x', '1'),
      v.setProperty('Scale1', 'inMin', '5'),
      v.element('Outer.Inner.Hidden') !== before && v.element('Outer.Inner.Hidden').isConnected,
      v.page.byPath.get('Tank').props.fillPercentVert,
      document.querySelectorAll('[data-object]').length,
    ];
  });
  assert.deepEqual(answers, [true, true, true, false, false, true, '20', count]);
  const changed = decodePng(await view.page.screenshot({ fullPage: true }));
  assert.equal(hex(changed.pixel(50, 40)), '#00ff00');
  assert.equal(hex(changed.pixel(21, 40)), '#0000ff');
  assert.equal(hex(changed.pixel(200, 60)), '#ffff00');
  assert.equal(hex(changed.pixel(200, 110)), '#0000ff');
  assert.equal(hex(changed.pixel(170, 240)), '#ff0000');
  await view.page.close();
});

test('Pumps: image pixels equal the BMP files, the buttons drawn', async () => {
  const view = await open(path.join(work, 'bmp', 'Pumps.html'));
  assert.deepEqual(view.problems, []);
  for (const [file, left, top] of [['Pumps_Pump1Symbol_P1.BMP', 40, 60], ['Pumps_Valve1Symbol_P2.BMP', 140, 60]]) {
    const image = decodeBmp(fs.readFileSync(path.join(work, 'bmp', file)));
    assert.deepEqual([image.width, image.height], [24, 24]);
    let differ = 0;
    for (let y = 0; y < image.height; y += 1) {
      for (let x = 0; x < image.width; x += 1) {
        if (hex(image.pixel(x, y)) !== at(view, left + x, top + y)) differ += 1;
      }
    }
    assert.equal(differ, 0, file);
  }
  assert.equal(at(view, 50, 125), '#d4d0c8');  // the face of the first button
  await view.page.close();
});

test('Trends: the chart frame, grid and pens in their colours; the alarm table', async () => {
  const view = await open(path.join(work, 'jpg', 'Trends.html'));
  // The pens' key above the plot: pen 1 blue, 2 wide; pen 2 red.
  assert.equal(at(view, 75, 28), '#0000ff');
  assert.equal(at(view, 75, 27), '#0000ff');
  assert.equal(at(view, 105, 28), '#ff0000');
  assert.equal(at(view, 20, 150), '#000000');   // chart frame
  assert.equal(at(view, 300, 50), '#ffffff');   // plot background
  const gridColours = new Set();
  for (let x = 65; x < 509; x += 1) gridColours.add(at(view, x, 150));
  assert.ok(gridColours.has('#999999'), [...gridColours].join(' '));
  // The alarm table: black body, white headings.
  assert.equal(at(view, 400, 450), '#000000');
  let white = 0;
  for (let x = 22; x < 80; x += 1) for (let y = 302; y < 316; y += 1) if (at(view, x, y) === '#ffffff') white += 1;
  assert.ok(white > 15, `heading pixels: ${white}`);
  await view.page.close();
});

test('a hostile caption stays text, an outside image is not loaded', async () => {
  const view = await open(path.join(work, 'made', 'Hostile.html'));
  assert.deepEqual(view.problems, []);
  const result = await view.page.evaluate(() => ({
    text: document.querySelector('[data-object="Trap"]').textContent,
    images: document.querySelectorAll('img').length,
    pwned: window.pwned,
    href: document.querySelector('[data-object="Away"]').getAttribute('href'),
  }));
  assert.deepEqual(result, {
    text: '</script><img src=x onerror="window.pwned=1"><!-- &amp;', images: 0, pwned: undefined, href: null,
  });
  assert.ok(view.requests.every((url) => url.startsWith('file://')), view.requests.join(' '));
  await view.page.close();
});

test('a malformed description gives a page that says what is wrong and where, as quillon view does', async () => {
  const jdf = path.join(work, 'made', 'Malformed.JDF');
  const run = spawnSync(quillon, ['view', jdf, '--out', path.join(work, 'made', 'Again.html')], { encoding: 'utf8' });
  assert.equal(run.status, 1);
  const message = "line 8, column 10: quoted text without its closing '\"'";
  assert.ok(run.stderr.includes(`${jdf}: ${message}`), run.stderr);
  const view = await open(path.join(work, 'made', 'Malformed.html'));
  const shown = await view.page.evaluate(() => document.querySelector('.quillon-error').textContent);
  assert.equal(shown, `This page description cannot be shown: ${message}`);
  assert.equal(await view.page.evaluate(() => document.querySelectorAll('svg').length), 0);
  await view.page.close();
});
