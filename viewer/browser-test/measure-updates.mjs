// Measures how long headless Chromium takes to show one update of every tag
// of a live page, with the browser's own clock: the viewer's part (the
// network and the changed elements, performance.now() around the update)
// and the whole update up to the next frame drawn (style, layout and paint
// included), one update a second; and the processor time of the page's main
// thread per update (the browser's ThreadTime metric). Not a test: run by
// hand.
//   node viewer/browser-test/measure-updates.mjs PAGE.html [UPDATES]
import path from 'node:path';
import fs from 'node:fs';
import os from 'node:os';
import { chromium } from 'playwright-core';

const [file, updatesText] = process.argv.slice(2);
const updates = Number(updatesText || 20);
const context = await chromium.launchPersistentContext(fs.mkdtempSync(path.join(os.tmpdir(), 'quillon-measure-')), {
  executablePath: process.env.QUILLON_CHROMIUM || '/usr/bin/chromium',
  headless: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  viewport: { width: 1280, height: 1024 },
});
const page = await context.newPage();
const session = await context.newCDPSession(page);
await session.send('Performance.enable');
const threadTime = async () => (await session.send('Performance.getMetrics')).metrics
  .find((metric) => metric.name === 'ThreadTime').value * 1000;
// A frozen clock: no timer of the page runs; each update moves the clock by
// one second and gives every simulated tag its value of that second.
await page.goto(`file://${path.resolve(file)}?time=0`, { timeout: 120000 });
await page.waitForFunction(() => window.quillonLive, null, { timeout: 120000 });
const info = await page.evaluate(() => ({
  objects: document.querySelectorAll('[data-object]').length,
  tags: window.quillonLive.network.tagNames().length,
  animations: window.quillonLive.network.order.length,
}));
const results = [];
for (let k = 1; k <= updates; k += 1) {
  const before = await threadTime();
  const result = await page.evaluate((second) => new Promise((resolve) => {
    const live = window.quillonLive;
    const values = live.network.tagNames().map((tag) => live.network.tags.get(tag).value);
    const start = performance.now();
    live.at(second);
    const viewerMs = performance.now() - start;
    const changed = live.network.tagNames().filter((tag, i) => live.network.tags.get(tag).value !== values[i]).length;
    requestAnimationFrame(() => setTimeout(() => resolve({ viewerMs, networkMs: live.lastNetworkMs, frameMs: performance.now() - start, changed }), 0));
  }), k);
  result.cpuMs = (await threadTime()) - before;
  results.push(result);
  await new Promise((resolve) => setTimeout(resolve, 1000));
}
await context.close();
const median = (key) => {
  const sorted = results.map((r) => r[key]).sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
};
const max = (key) => Math.max(...results.map((r) => r[key]));
const min = (key) => Math.min(...results.map((r) => r[key]));
console.log(JSON.stringify(info));
console.log(`tags changed per update: median ${median('changed')} of ${info.tags}`);
for (const key of ['viewerMs', 'networkMs', 'frameMs', 'cpuMs'].filter((k) => results[0][k] !== undefined)) {
  console.log(`${key}: median ${median(key).toFixed(1)} ms, min ${min(key).toFixed(1)} ms, max ${max(key).toFixed(1)} ms`);
}
