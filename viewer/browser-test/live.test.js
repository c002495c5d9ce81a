// The live page in headless Chromium: tags set through the page's test hook
// (window.quillonLive) and frozen clocks (?time=T), checked by the pixels.
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
const LAUNCH_FLAGS = ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run',
  '--disable-background-networking', '--force-color-profile=srgb', '--hide-scrollbars'];

let work;
let context;

before(async () => {
  work = fs.mkdtempSync(path.join(os.tmpdir(), 'quillon-live-'));
  for (const name of ['Live', 'Moves']) {
    fs.copyFileSync(path.join(here, 'pages', `${name}.JDF`), path.join(work, `${name}.JDF`));
    spawnSync(quillon, ['view', path.join(work, `${name}.JDF`)]);
  }
  // The example plant's Pumps picture with BMP images.
  const plant = path.join(work, 'plant');
  fs.mkdirSync(plant);
  const registry = path.join(plant, 'registry.reg');
  fs.writeFileSync(registry, fs.readFileSync(path.join(root, 'examples', 'registry.reg'), 'utf8')
    .replace('@="demo-out"', `@="${plant}"`));
  execFileSync(quillon, ['--registry', registry, 'settings', '--image-format', 'bmp'], { cwd: root });
  execFileSync(quillon, ['--registry', registry, 'convert', '--node', 'THISNODE',
    ...['Overview', 'Pumps', 'Trends'].map((name) => path.join('examples', 'pictures', `${name}.grf`))], { cwd: root });
  context = await chromium.launchPersistentContext(fs.mkdtempSync(path.join(work, 'profile-')), {
    executablePath: browserPath, headless: true, args: LAUNCH_FLAGS,
    viewport: { width: 420, height: 320 }, deviceScaleFactor: 1,
  });
});

after(async () => {
  if (context) await context.close();
  if (work) fs.rmSync(work, { recursive: true, force: true });
});

// Opens a page at a frozen time; `problems` collects console errors.
async function open(file, query = '?time=10') {
  const page = await context.newPage();
  const problems = [];
  page.on('console', (m) => { if (m.type() === 'error') problems.push(m.text()); });
  page.on('pageerror', (e) => problems.push(e.message));
  await page.goto(`file://${file}${query}`);
  await page.waitForFunction(() => window.quillonLive);
  return { page, problems };
}

async function pixels(page) {
  await page.evaluate(() => Promise.all([...document.images].map((i) => i.decode?.().catch(() => {}))));
  const shot = decodePng(await page.screenshot());
  return (x, y) => hex(shot.pixel(x, y));
}

const setTag = (page, tag, value) => page.evaluate(([t, v]) => window.quillonLive.setTag(t, v), [tag, value]);

test('a range map colours the lamp on either side of a level', async () => {
  const { page, problems } = await open(path.join(work, 'Live.html'));
  for (const [value, colour] of [[49.9, '#00ff00'], [50, '#ff0000'], [99, '#ff0000'], [10, '#00ff00']]) {
    await setTag(page, 'N:LEVEL.F_CV', value);
    assert.equal((await pixels(page))(40, 40), colour, `level ${value}`);
  }
  assert.deepEqual(problems, []);
  await page.close();
});

test('a scale moves a shape by the expected pixels; a fill follows its value', async () => {
  const { page } = await open(path.join(work, 'Live.html'));
  await setTag(page, 'N:POS.F_CV', 0);
  let at = await pixels(page);
  assert.equal(at(30, 90), '#0000ff');
  await setTag(page, 'N:POS.F_CV', 50);     // x = 20 + 50 % of 200 = 120
  at = await pixels(page);
  assert.equal(at(30, 90), '#ffffff');
  assert.equal(at(121, 90), '#0000ff');
  assert.equal(at(138, 90), '#0000ff');
  assert.equal(at(141, 90), '#ffffff');
  assert.equal(at(119, 90), '#ffffff');
  await setTag(page, 'N:TANK.F_CV', 250);   // 25 %: the lower 25 of 100 rows
  at = await pixels(page);
  assert.equal(at(320, 118), '#0000ff');
  assert.equal(at(320, 96), '#0000ff');
  assert.equal(at(320, 94), '#c0c0c0');
  await setTag(page, 'N:TANK.F_CV', 800);
  at = await pixels(page);
  assert.equal(at(320, 42), '#0000ff');
  assert.equal(at(320, 38), '#c0c0c0');
  await page.close();
});

test('a blinker alternates at two frozen times', async () => {
  const colours = [];
  for (const time of ['10', '10.5', '11']) {
    const { page } = await open(path.join(work, 'Live.html'), `?time=${time}`);
    await setTag(page, 'N:ALARM.F_CV', 1);
    colours.push((await pixels(page))(120, 40));
    await setTag(page, 'N:ALARM.F_CV', 0);
    colours.push((await pixels(page))(120, 40));
    await page.close();
  }
  assert.deepEqual(colours, ['#ffff00', '#000000', '#000000', '#000000', '#ffff00', '#000000']);
});

test('a data field shows its value through its mask; a trend pen draws', async () => {
  const { page, problems } = await open(path.join(work, 'Live.html'));
  await page.evaluate(() => {
    window.quillonLive.at(0);
    window.quillonLive.setTag('N:FLOW.F_CV', 7.5);
    window.quillonLive.at(30);
    window.quillonLive.setTag('N:FLOW.F_CV', 90);
  });
  const text = await page.evaluate(() => document.querySelector('[data-object="Reading"]').textContent);
  assert.equal(text, '90.00');
  const at = await pixels(page);
  let red = 0;
  let dark = 0;
  for (let y = 150; y < 290; y += 1) {
    for (let x = 150; x < 390; x += 1) if (at(x, y) === '#ff0000') red += 1;
  }
  for (let y = 150; y < 172; y += 1) {
    for (let x = 20; x < 140; x += 1) if (at(x, y) === '#000000') dark += 1;
  }
  // The pen's key alone is 22 x 3 pixels; the trace adds far more.
  assert.ok(red > 200, `red pixels ${red}`);
  assert.ok(dark > 20, `text pixels ${dark}`);
  // The pen's path: its key line, then the trace's points.
  const d = await page.evaluate(() => document.querySelector('[data-object="Trend"] .pen').getAttribute('d'));
  const points = d.split('M')[2];
  assert.ok(points.split(' ').length >= 3, d);
  assert.deepEqual(problems, []);
  await page.close();
});

test('an image lookup switches the image file', async () => {
  const { page } = await open(path.join(work, 'plant', 'Pumps.html'));
  for (const [value, file] of [[1, 'Pumps_Pump1Symbol_P2.BMP'], [0, 'Pumps_Pump1Symbol_P1.BMP']]) {
    await setTag(page, 'NODE1:PUMP1.F_CV', value);
    const at = await pixels(page);
    const image = decodeBmp(fs.readFileSync(path.join(work, 'plant', file)));
    let differ = 0;
    for (let y = 0; y < image.height; y += 1) {
      for (let x = 0; x < image.width; x += 1) if (hex(image.pixel(x, y)) !== at(40 + x, 60 + y)) differ += 1;
    }
    assert.equal(differ, 0, file);
  }
  await page.close();
});

test('a value of bad quality is greyed', async () => {
  const { page } = await open(path.join(work, 'Live.html'));
  await page.evaluate(() => window.quillonLive.setTag('N:LEVEL.F_CV', 60, 'bad'));
  const colour = (await pixels(page))(40, 40);
  assert.notEqual(colour, '#ff0000');
  const [r, g, b] = [1, 3, 5].map((k) => parseInt(colour.slice(k, k + 2), 16));
  assert.ok(Math.abs(r - g) < 8 && Math.abs(g - b) < 8, colour);
  await page.close();
});

test('the example plant at frozen times: the same time gives the same pixels, another time moves it', async () => {
  const shots = {};
  for (const time of ['20', '45', '20']) {
    const { page, problems } = await open(path.join(work, 'plant', 'Overview.html'), `?time=${time}`);
    await page.setViewportSize({ width: 800, height: 600 });
    const shot = await page.screenshot();
    assert.deepEqual(problems, []);
    if (shots[time]) assert.ok(shot.equals(shots[time]), `time ${time} twice`);
    shots[time] = shot;
    if (process.env.QUILLON_SCREENSHOTS) {
      fs.writeFileSync(path.join(process.env.QUILLON_SCREENSHOTS, `live-Overview-${time}s.png`), shot);
    }
    await page.close();
  }
  assert.ok(!shots['20'].equals(shots['45']));
});

test('elements updated in place equal a fresh drawing of the same values', async () => {
  for (const file of ['Overview', 'Trends'].map((name) => path.join(work, 'plant', `${name}.html`))
    .concat(path.join(work, 'Live.html'))) {
    const { page } = await open(file, '?time=0');
    const differences = await page.evaluate(() => {
      const view = window.quillonView;
      const live = window.quillonLive;
      const found = [];
      const compare = (element, node, where) => {
        if (element.localName !== node.tag) return found.push(`${where}: ${element.localName} for ${node.tag}`);
        const names = [...element.attributes].map((a) => a.name)
          .filter((n) => n !== 'data-quality' && n !== 'filter').sort();
        const wanted = Object.keys(node.attrs).sort();
        if (names.join() !== wanted.join()) return found.push(`${where}: attributes ${names} for ${wanted}`);
        for (const name of wanted) {
          // A pen's trace is drawn apart, after its key.
          if (name === 'd' && node.attrs.class === 'pen') {
            if (!element.getAttribute('d').startsWith(node.attrs.d)) found.push(`${where}: pen key`);
            continue;
          }
          if (element.getAttribute(name) !== node.attrs[name]) found.push(`${where}: ${name}`);
        }
        if (node.text !== undefined && element.textContent !== node.text) found.push(`${where}: text`);
        if (element.children.length !== node.children.length) return found.push(`${where}: children`);
        [...element.children].forEach((child, k) => compare(child, node.children[k], `${where}/${k}`));
        return 0;
      };
      for (let second = 1; second <= 40; second += 3) {
        live.at(second);
        if (second === 4) live.setTag('ALARMHISTORY.A_CV', 'TANK1 HI');
        // A second alarm: the rows move down in place, the table's element stays.
        const table = view.element('Alarms');
        if (second === 7 && table) {
          live.setTag('ALARMHISTORY.A_CV', 'TANK2 LO');
          if (view.element('Alarms') !== table) found.push('Alarms drawn anew for a new row');
        }
        for (const object of view.page.drawn) {
          compare(view.element(object.path), view.describe(object), `${object.path} at ${second}`);
        }
      }
      return found;
    });
    assert.deepEqual(differences.slice(0, 5), [], file);
    if (file.endsWith('Trends.html')) {
      const rows = await page.evaluate(() => [...document.querySelectorAll('[data-object="Alarms"] .alarm')].map((t) => t.textContent));
      assert.deepEqual(rows.slice(0, 2), ['TANK2 LO', 'TANK1 HI']);
    }
    await page.close();
  }
});

test('the panel lists the tags and a value typed there is set and kept', async () => {
  const { page } = await open(path.join(work, 'Live.html'));
  await page.click('.quillon-tags summary');
  const tags = await page.evaluate(() => [...document.querySelectorAll('.quillon-tags input')].map((i) => i.dataset.tag));
  assert.deepEqual(tags.sort(), ['N:ALARM.F_CV', 'N:FLOW.F_CV', 'N:LEVEL.F_CV', 'N:POS.F_CV', 'N:TANK.F_CV']);
  await page.fill('.quillon-tags input[data-tag="N:LEVEL.F_CV"]', '75');
  await page.press('.quillon-tags input[data-tag="N:LEVEL.F_CV"]', 'Enter');
  await page.evaluate(() => window.quillonLive.at(30));   // the simulation moves on; the typed value stays
  await page.click('.quillon-tags summary');               // closed again, off the drawing
  assert.equal((await pixels(page))(40, 40), '#ff0000');
  assert.equal(await page.evaluate(() => window.quillonLive.network.tags.get('N:LEVEL.F_CV').value), '75');
  await page.close();
});

// Changes written straight onto the existing elements (moved groups, lines
// and polygons, fill levels, texts) give the elements a fresh drawing of the
// same values would have, and keep the elements where the drawing keeps its
// shape.
test('direct updates: moves, fill levels and texts equal a fresh drawing', async () => {
  const { page } = await open(path.join(work, 'Moves.html'), '?time=0');
  const steps = [
    // [tags, objects whose element must stay the same one]
    [{ 'N:MOVE.F_CV': 50, 'N:LEVEL.F_CV': 0, 'N:TEXT.F_CV': 'A', 'N:SHOW.F_CV': 0, 'N:COLOUR.F_CV': '0xff00ff' }, ['Panel', 'Rod', 'Wedge', 'Gauge', 'Pie', 'Label', 'Panel.Tag', 'Turned', 'Slice', 'Tank', 'Vat']],
    [{ 'N:MOVE.F_CV': 0, 'N:LEVEL.F_CV': 55.5, 'N:TEXT.F_CV': '', 'N:SHOW.F_CV': 1, 'N:COLOUR.F_CV': '0x00ff00' }, ['Panel', 'Rod', 'Wedge', 'Gauge', 'Pie', 'Label', 'Turned', 'Slice', 'Tank', 'Vat']],
    // A pie without a colour is an open arc: drawn anew.
    [{ 'N:MOVE.F_CV': 100, 'N:LEVEL.F_CV': 100, 'N:TEXT.F_CV': 'B & <c>', 'N:COLOUR.F_CV': '' }, ['Panel', 'Rod', 'Panel.Tag', 'Turned']],
    [{ 'N:MOVE.F_CV': 25, 'N:LEVEL.F_CV': 20, 'N:TEXT.F_CV': 'C', 'N:COLOUR.F_CV': '0x0000ff' }, ['Panel', 'Rod', 'Panel.Tag', 'Turned']],
  ];
  const found = await page.evaluate((steps) => {
    const view = window.quillonView;
    const live = window.quillonLive;
    const problems = [];
    const compare = (element, node, where) => {
      if (element.localName !== node.tag) return problems.push(`${where}: ${element.localName} for ${node.tag}`);
      const names = [...element.attributes].map((a) => a.name).sort();
      const wanted = Object.keys(node.attrs).sort();
      if (names.join() !== wanted.join()) return problems.push(`${where}: attributes ${names} for ${wanted}`);
      for (const name of wanted) {
        if (element.getAttribute(name) !== node.attrs[name]) {
          problems.push(`${where}: ${name}="${element.getAttribute(name)}" for "${node.attrs[name]}"`);
        }
      }
      if (node.text !== undefined && element.textContent !== node.text) problems.push(`${where}: text "${element.textContent}"`);
      if (element.children.length !== node.children.length) return problems.push(`${where}: children`);
      [...element.children].forEach((child, k) => compare(child, node.children[k], `${where}/${k}`));
      return 0;
    };
    steps.forEach(([tags, kept], step) => {
      const before = new Map(view.page.drawn.map((o) => [o.path, view.element(o.path)]));
      live.setTags(Object.entries(tags).map(([tag, value]) => ({ tag, value, quality: 'good' })));
      for (const object of view.page.drawn) {
        compare(view.element(object.path), view.describe(object), `step ${step} ${object.path}`);
      }
      for (const path of kept) {
        if (view.element(path) !== before.get(path)) problems.push(`step ${step} ${path}: drawn anew`);
      }
    });
    return problems;
  }, steps);
  assert.deepEqual(found, []);
  // The group's left (its box as the description places it, the text
  // moved by the network left of it notwithstanding) is at 50: the box is
  // green there, white where it was.
  const at = await pixels(page);
  assert.equal(at(80, 35), '#00ff00');
  assert.equal(at(25, 35), '#ffffff');
  await page.close();
});

// The first frame of a live page draws the first values at once; the same
// values reached by an update from another moment give the same pixels.
// (Pages without charts: a trace shows the values' history.)
test('first values drawn at once equal the same values reached by an update', async () => {
  const cases = [
    [path.join(work, 'plant', 'Overview.html'), 20, { width: 800, height: 600 }],
    [path.join(work, 'plant', 'Pumps.html'), 33, { width: 640, height: 400 }],
    [path.join(work, 'Moves.html'), 7, { width: 400, height: 300 }],
  ];
  for (const [file, time, size] of cases) {
    const shots = [];
    for (const query of [`?time=${time}`, '?time=0']) {
      const { page, problems } = await open(file, query);
      await page.setViewportSize(size);
      if (query === '?time=0') await page.evaluate((t) => window.quillonLive.at(t), time);
      assert.deepEqual(problems, [], file);
      shots.push(decodePng(await page.screenshot()));
      await page.close();
    }
    const differing = [];
    for (let y = 0; y < size.height && differing.length < 5; y += 1) {
      for (let x = 0; x < size.width && differing.length < 5; x += 1) {
        const a = hex(shots[0].pixel(x, y));
        const b = hex(shots[1].pixel(x, y));
        if (a !== b) differing.push(`(${x}, ${y}) ${a} for ${b}`);
      }
    }
    assert.deepEqual(differing, [], `${path.basename(file)} at ${time} s`);
  }
});
