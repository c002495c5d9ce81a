// Measures how long headless Chromium takes to show an HTML5 page, with the
// browser's own clock: parsing and drawing inside the page (from the start
// of the viewer to the drawing in the document), and from the start of the
// page's load to the first frame painted after it; and the processor time
// of the page's main thread over the same span (the browser's ThreadTime
// metric), which other programs on the machine do not stretch. Not a test:
// run by hand.
//   node viewer/browser-test/measure-first-frame.mjs PAGE.html [RUNS] [QUERY]
// (QUERY for example ?live=0: the page without its network). On a live
// page the first frame shows the network's first values.
import path from 'node:path';
import fs from 'node:fs';
import os from 'node:os';
import { chromium } from 'playwright-core';

const [file, runsText, query = ''] = process.argv.slice(2);
const runs = Number(runsText || 5);
const context = await chromium.launchPersistentContext(fs.mkdtempSync(path.join(os.tmpdir(), 'quillon-measure-')), {
  executablePath: process.env.QUILLON_CHROMIUM || '/usr/bin/chromium',
  headless: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  viewport: { width: 1280, height: 1024 },
});
const results = [];
for (let run = 0; run < runs; run += 1) {
  const page = await context.newPage();
  const session = await context.newCDPSession(page);
  await session.send('Performance.enable');
  const threadTime = async () => (await session.send('Performance.getMetrics')).metrics
    .find((metric) => metric.name === 'ThreadTime').value * 1000;
  const before = await threadTime();
  await page.goto(`file://${path.resolve(file)}${query}`);
  await page.waitForFunction(() => window.quillonView && window.quillonView.timing.paintedSinceLoadMs, null, { timeout: 60000, polling: 20 });
  const cpuMs = (await threadTime()) - before;
  results.push(await page.evaluate(() => ({
    objects: document.querySelectorAll('[data-object]').length,
    ...window.quillonView.timing,
  })));
  results[results.length - 1].cpuMs = cpuMs;
  await page.close();
}
await context.close();
const median = (key) => {
  const values = results.map((r) => r[key]).sort((a, b) => a - b);
  return values[Math.floor(values.length / 2)];
};
console.log(JSON.stringify(results));
const least = (key) => Math.min(...results.map((r) => r[key]));
console.log(`least of ${runs} loads: load to first frame ${least('paintedSinceLoadMs').toFixed(0)} ms, processor time ${least('cpuMs').toFixed(0)} ms`);
console.log(`objects drawn: ${results[0].objects}; medians of ${runs} loads: parse ${median('parseMs').toFixed(0)} ms, ` +
  (results[0].networkMs !== undefined ? `network and first values ${median('networkMs').toFixed(0)} ms, ` : '') +
  `drawing ${median('renderMs').toFixed(0)} ms, parse + drawing ${median('firstFrameMs').toFixed(0)} ms, ` +
  `start of the viewer ${median('startedAt').toFixed(0)} ms, load to first frame ${median('paintedSinceLoadMs').toFixed(0)} ms, main thread processor time ${median('cpuMs').toFixed(0)} ms`);
