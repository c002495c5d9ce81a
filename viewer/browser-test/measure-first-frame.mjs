// Measures how long headless Chromium takes to show an HTML5 page, with the
// browser's own clock: parsing and drawing inside the page (from the start
// of the viewer to the drawing in the document), and from the start of the
// page's load to the first frame painted after it; and the processor time
// of the page's main thread over the same span. Not a test: run by hand.
//   node viewer/browser-test/measure-first-frame.mjs PAGE.html [RUNS] [QUERY]
// (QUERY for example ?live=0: the page without its network). On a live
// page the first frame shows the network's first values.
import { openBrowser, timeLoads, median, least } from './first-frame-timer.mjs';

const [file, runsText, query = ''] = process.argv.slice(2);
const runs = Number(runsText || 5);
const context = await openBrowser();
const results = await timeLoads(context, file, runs, query);
await context.close();
const ms = (key) => median(results, key).toFixed(0);
console.log(JSON.stringify(results));
console.log(`least of ${runs} loads: load to first frame ${least(results, 'paintedSinceLoadMs').toFixed(0)} ms, ` +
  `processor time ${least(results, 'cpuMs').toFixed(0)} ms`);
console.log(`objects drawn: ${results[0].objects}; medians of ${runs} loads: parse ${ms('parseMs')} ms, ` +
  (results[0].networkMs !== undefined ? `network and first values ${ms('networkMs')} ms, ` : '') +
  `drawing ${ms('renderMs')} ms, parse + drawing ${ms('firstFrameMs')} ms, ` +
  `start of the viewer ${ms('startedAt')} ms, load to first frame ${ms('paintedSinceLoadMs')} ms, ` +
  `main thread processor time ${ms('cpuMs')} ms`);
