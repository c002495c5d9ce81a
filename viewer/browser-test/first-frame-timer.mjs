// Loads a page several times in headless Chromium and reads, with the
// browser's own clock, how long it took to its first frame: the page sets
// window.quillonView.timing.paintedSinceLoadMs in a task after the first
// frame that follows its drawing. Also reads the processor time of the
// page's main thread over the same span (the browser's ThreadTime metric),
// which other programs on the machine do not stretch. Used by the
// measuring scripts beside it; not a test.
import path from 'node:path';
import fs from 'node:fs';
import os from 'node:os';
import { chromium } from 'playwright-core';

export async function openBrowser() {
  return chromium.launchPersistentContext(fs.mkdtempSync(path.join(os.tmpdir(), 'quillon-measure-')), {
    executablePath: process.env.QUILLON_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    viewport: { width: 1280, height: 1024 },
  });
}

// One result per load: the page's timing, the number of drawn objects and
// of the drawing's elements, and the main thread's processor time (cpuMs).
export async function timeLoads(context, file, runs, query = '') {
  const results = [];
  for (let run = 0; run < runs; run += 1) {
    const page = await context.newPage();
    const session = await context.newCDPSession(page);
    await session.send('Performance.enable');
    const threadTime = async () => (await session.send('Performance.getMetrics')).metrics
      .find((metric) => metric.name === 'ThreadTime').value * 1000;
    const before = await threadTime();
    await page.goto(`file://${path.resolve(file)}${query}`);
    await page.waitForFunction(() => window.quillonView && window.quillonView.timing.paintedSinceLoadMs,
      null, { timeout: 60000, polling: 20 });
    const cpuMs = (await threadTime()) - before;
    results.push({
      ...(await page.evaluate(() => ({
        objects: document.querySelectorAll('[data-object]').length,
        elements: document.querySelectorAll('svg *').length,
        ...window.quillonView.timing,
      }))),
      cpuMs,
    });
    await page.close();
  }
  return results;
}

export function median(results, key) {
  const values = results.map((r) => r[key]).sort((a, b) => a - b);
  return values[Math.floor(values.length / 2)];
}

export function least(results, key) {
  return Math.min(...results.map((r) => r[key]));
}
