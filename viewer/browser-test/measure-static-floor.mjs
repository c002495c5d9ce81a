// How fast can headless Chromium show a page's drawing at all? Opens an
// HTML5 page, waits for its first frame, and writes what the viewer drew
// as plain markup beside the page (no script but the clock, so the browser
// only parses, styles, lays out and paints it), then times, in turns, the
// viewer's page and three static pages: the whole drawing, its texts alone
// and the drawing without its texts. The static page's time is a floor for
// any viewer that draws the same elements as SVG. Not a test: run by hand.
//   node viewer/browser-test/measure-static-floor.mjs PAGE.html [RUNS] [QUERY]
// The static pages are written as PAGE.static*.html and left for a look.
import fs from 'node:fs';
import { openBrowser, timeLoads, median } from './first-frame-timer.mjs';

const [file, runsText, query = ''] = process.argv.slice(2);
const runs = Number(runsText || 5);
const context = await openBrowser();

const page = await context.newPage();
await page.goto(`file://${fs.realpathSync(file)}${query}`);
await page.waitForFunction(() => window.quillonView && window.quillonView.timing.paintedSinceLoadMs,
  null, { timeout: 60000, polling: 20 });
const drawing = await page.evaluate(() => ({
  style: [...document.querySelectorAll('style')].map((s) => s.textContent).join('\n'),
  svg: document.querySelector('svg').outerHTML,
}));
await page.close();

// The clock the viewer keeps, for a page without the viewer: set in a task
// after the first frame that follows the markup.
const clock = '<script>window.quillonView = { timing: {} };' +
  'requestAnimationFrame(() => setTimeout(() => {' +
  'window.quillonView.timing.paintedSinceLoadMs = performance.now(); }, 0));</script>';
const staticPage = (svg) => `<!DOCTYPE html><html><head><meta charset="utf-8"><style>${drawing.style}` +
  `</style></head><body style="margin:0">${svg}${clock}</body></html>`;
const texts = /<text\b[^>]*>[^<]*<\/text>/g;
const rootTag = drawing.svg.match(/^<svg\b[^>]*>/)[0];
const variants = {
  'static': drawing.svg,
  'static-texts': `${rootTag}${(drawing.svg.match(texts) || []).join('')}</svg>`,
  'static-no-texts': drawing.svg.replace(texts, ''),
};
const base = file.replace(/\.html?$/i, '');
const pages = [['viewer', file, query]];
for (const [name, svg] of Object.entries(variants)) {
  const target = `${base}.${name}.html`;
  fs.writeFileSync(target, staticPage(svg));
  pages.push([name, target, '']);
}

const results = Object.fromEntries(pages.map(([name]) => [name, []]));
for (let run = 0; run < runs; run += 1) {
  for (const [name, target, search] of pages) {
    results[name].push(...(await timeLoads(context, target, 1, search)));
  }
}
await context.close();
for (const [name] of pages) {
  const r = results[name];
  console.log(`${name.padEnd(16)} ${r[0].elements} elements, ${r[0].objects} objects; ` +
    `medians of ${runs} loads: load to first frame ${median(r, 'paintedSinceLoadMs').toFixed(0)} ms, ` +
    `main thread processor time ${median(r, 'cpuMs').toFixed(0)} ms`);
}
