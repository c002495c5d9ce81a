// The animation network: each object class, the expression language, format
// masks, the graph's update order and cycles, and the simulated values.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import {
  parseJdf, prepareLive, compileExpression, ExpressionError, formatValue, mapOutput, thresholdOutput,
  scaleOutput, blinkOutput, Network, Simulation, systemValue, tracePoints, liveOptions,
} from '../quillon-viewer.js';

const here = path.dirname(fileURLToPath(import.meta.url));
const golden = (name) => fs.readFileSync(path.join(here, '..', '..', 'examples', 'golden', `${name}.JDF`), 'latin1');

test('expressions: precedence, operands, texts and truth', () => {
  const cases = [
    ['1+2*3', [], 7],
    ['(1+2)*3', [], 9],
    ['10-4-3', [], 3],
    ['8/2/2', [], 2],
    ['-2*3', [], -6],
    ['1/0', [], 0],
    ['$0>950AND$1==1', [951, 1], 1],
    ['$0>950AND$1==1', [951, 0], 0],
    ['$0>950AND$1==1', [900, 1], 0],
    ['1 OR 0 AND 0', [], 1],          // AND binds tighter than OR
    ['1 XOR 1 OR 1', [], 1],          // XOR tighter than OR
    ['1 OR 1 XOR 1', [], 1],
    ['NOT 0 AND 1', [], 1],
    ['NOT 1 OR 1', [], 1],
    ['NOT($0=5)', [5], 0],             // a single = compares
    ['$0<>5', [4], 1],
    ['$0+1>=$1*2', [3, 2], 1],
    ['$0<=$1', [3, 2], 0],
    ['$0==\\"OK  \\"', ['OK'], 1],   // status text with the blanks the converter adds
    ['$0=="HI"', ['LO'], 0],
    ['$0', [undefined], 0],            // no value yet counts as 0
    ['$0*2', ['21'], 42],              // a numeric text is a number
  ];
  for (const [text, values, expected] of cases) {
    assert.equal(compileExpression(text).evaluate(values), expected, text);
  }
  assert.equal(compileExpression('$0+$3').operands, 4);
});

test('expressions: bad ones are refused with what and where', () => {
  const cases = [
    ['', /empty/],
    ['1+', /ends where an operand is expected at character 3/],
    ['(1+2', /"\(" without its closing "\)"/],
    ['1+2)', /unexpected "\)"/],
    ['$x', /"\$" without an operand number/],
    ['1 FOO 2', /unknown word FOO/],
    ['1 ; 2', /unexpected character ";"/],
    ['"abc', /without its closing quote/],
    ['1 2', /unexpected operand/],
    ['*3', /"\*" where an operand is expected at character 1/],
  ];
  for (const [text, message] of cases) {
    assert.throws(() => compileExpression(text), (error) => error instanceof ExpressionError && message.test(error.message), text);
  }
});

test('format masks', () => {
  const cases = [
    ['###.##', 65, '65.00'],
    ['#####.#', 311.26, '311.3'],
    ['###', 64.6, '65'],
    ['###', 'pump running', 'pum'],
    ['#d', 12.7, '12'],
    ['#x', 255, 'ff'],
    ['#X', 255, 'FF'],
    ['#o', 8, '10'],
    ['#.3f', 2, '2.000'],
    ['#f', 1.5, '1.500000'],
    ['#e', 1234.5, '1.234500e+03'],
    ['#s', 'text', 'text'],
    ['#.2s', 'text', 'te'],
    ['#', 'as is', 'as is'],
    ['###.##', 'n/a', 'n/a'],
    ['?', 5, '5'],
  ];
  for (const [mask, value, expected] of cases) assert.equal(formatValue(mask, value), expected, `${mask} ${value}`);
});

test('exact maps, range maps with gap and closing entries, scales, blinkers', () => {
  const exact = { default: '0x808080', map: [['0', '0x808080'], ['1', '0x00ff00'], ['2', '0xff0000']] };
  assert.deepEqual([0, 1, 2, 3, 1.5, '1'].map((v) => mapOutput(exact, v)),
    ['0x808080', '0x00ff00', '0xff0000', '0x808080', '0x808080', '0x00ff00']);
  const images = { default: 'P1.JPG', map: [['0', 'P1.JPG'], ['1', 'P2.JPG']] };
  assert.equal(mapOutput(images, 1), 'P2.JPG');
  // Levels [0,10] -> A and [20,30] -> B as the converter writes them: a gap
  // entry at 10 and a closing entry at 30 give the default.
  const ranges = { default: 'D', map: [['0', 'A'], ['10', 'D'], ['20', 'B'], ['30', 'D']] };
  assert.deepEqual([-1, 0, 9.99, 10, 15, 20, 29, 30, 99].map((v) => thresholdOutput(ranges, v)),
    ['D', 'A', 'A', 'D', 'D', 'B', 'B', 'D', 'D']);
  assert.equal(thresholdOutput(ranges, 'text'), 'D');
  const scale = { inMin: '0', inMax: '1000', outMin: '0', outMax: '100' };
  assert.deepEqual(scaleOutput(scale, 655), { outFloat: 65.5, out: 66 });
  assert.deepEqual(scaleOutput(scale, 2000), { outFloat: 100, out: 100 });   // held in range
  assert.deepEqual(scaleOutput(scale, -5), { outFloat: 0, out: 0 });
  assert.deepEqual(scaleOutput({ inMin: '0', inMax: '10', outMin: '130', outMax: '30' }, 2.5), { outFloat: 105, out: 105 });
  assert.deepEqual(scaleOutput({ inMin: '5', inMax: '5', outMin: '1', outMax: '2' }, 5), { outFloat: 1, out: 1 });
  const blink = { rate: '500' };
  const inputs = { in: 1, OnValue: 'on', OffValue: 'off' };
  assert.deepEqual([0, 499, 500, 999, 1000].map((ms) => blinkOutput(blink, inputs, ms)), ['on', 'on', 'off', 'off', 'on']);
  assert.equal(blinkOutput(blink, { ...inputs, in: 0 }, 0), 'off');
  assert.equal(blinkOutput({ rate: '500', OnValue: '0xffff00' }, { in: 1 }, 0), '0xffff00');
});

test('the example plant: dependency order, drawn properties, data fields through their masks', () => {
  let ms = 0;
  const network = new Network(parseJdf(golden('Overview')), { now: () => ms });
  assert.deepEqual(network.problems, []);
  const order = network.order.map((n) => n.name);
  // The blinker comes after the three maps that feed it, the lamp's colour
  // after the expression.
  for (const before of ['Tank1Alarm5', 'Tank1Alarm2', 'Tank1Alarm3']) {
    assert.ok(order.indexOf(before) < order.indexOf('Tank1Alarm1'), before);
  }
  assert.ok(order.indexOf('Exp1') < order.indexOf('AlarmLampColor1'));
  let changes = network.setTags([
    { tag: 'NODE1:TANK1_LEVEL.F_CV', value: 960 }, { tag: 'NODE1:PUMP1.F_CV', value: 1 },
  ]);
  assert.equal(changes.get('Area1.Tank1Group.Tank1').props.fillPercentVert, 96);
  assert.equal(changes.get('Area1.Tank1Group.Tank1Level').props.text, '960.0');
  assert.equal(changes.get('Area1.Pump1').props.fgColor, '0x00ff00');
  assert.equal(changes.get('AlarmLamp').props.fgColor, '0xff0000');
  // 960 lies in the blinking range: yellow then red.
  assert.equal(changes.get('Area1.Tank1Group.Tank1').props.fgColor, '0xffff00');
  ms = 500;
  changes = network.tick();
  assert.equal(changes.get('Area1.Tank1Group.Tank1').props.fgColor, '0xff0000');
  // Only the objects downstream of a tag are computed, each once.
  network.setTags([{ tag: 'NODE1:MARK.F_CV', value: 5 }]);
  assert.equal(network.evaluations, 1);
  network.setTags([{ tag: 'NODE1:TANK1_LEVEL.F_CV', value: 500 }]);
  assert.equal(network.evaluations, 7);   // fill, three maps, expression, blinker, lamp
  // A bad value marks what it drives.
  changes = network.setTags([{ tag: 'NODE1:TANK1_LEVEL.F_CV', value: 500, quality: 'bad' }]);
  assert.equal(changes.get('Area1.Tank1Group.Tank1').bad, true);
});

test('a cycle is reported and not computed; bad links are reported', () => {
  const page = parseJdf(`(objects
    (A TAVScale (properties (inMin 0)(inMax 10)(outMin 0)(outMax 10)))
    (B TAVScale (properties (inMin 0)(inMax 10)(outMin 0)(outMax 10)))
    (C TAVScale (properties (inMin 0)(inMax 10)(outMin 0)(outMax 10)))
    (R TAVRectangle (properties (x 0)))
    (S TAVWeb (properties (Server QEVSERV))))
  (links (A.in B.out) (B.in A.out) (C.in S.N:T.F_CV) (R.x C.outFloat) (R.y Nowhere.out) (Missing.x C.out))`);
  const network = new Network(page);
  assert.deepEqual(network.order.map((n) => n.name), ['C']);
  assert.match(network.problems.join('\n'), /cycle through A, B/);
  assert.match(network.problems.join('\n'), /\(R\.y Nowhere\.out\) on line 7: its source/);
  assert.match(network.problems.join('\n'), /no object Missing/);
  const changes = network.setTags([{ tag: 'N:T.F_CV', value: 4 }]);
  assert.equal(changes.get('R').props.x, 4);
});

test('trends, alarms and system values', () => {
  let ms = 100000;
  const network = new Network(parseJdf(golden('Trends')), { now: () => ms });
  const first = network.setTags([{ tag: 'NODE1:TANK1_LEVEL.F_CV', value: 250 }, { tag: 'NODE1:PUMP1.F_CV', value: 0 }]);
  assert.equal(first.get('LevelTrend').props['pens[1][0]'], '0x808080');
  ms += 1000;
  const changes = network.setTags([{ tag: 'NODE1:TANK1_LEVEL.F_CV', value: 500 }, { tag: 'ALARMHISTORY.A_CV', value: 'HI TANK1' }]);
  assert.equal(changes.get('Alarms').props.text, 'HI TANK1');
  const samples = network.trends.get('LevelTrend')[0];
  assert.deepEqual(samples.map((s) => s.v), [250, 500]);
  // The newest sample sits at the plot's right edge, higher than the older.
  const chart = parseJdf(golden('Trends')).byPath.get('LevelTrend');
  const points = tracePoints(chart.props, samples, ms).split(' ').map((p) => p.split(',').map(Number));
  assert.ok(points[0][0] < points[1][0]);
  assert.ok(points[1][1] < points[0][1]);
  assert.equal(systemValue('NODE1:SYSTEM.A_NTIME', 3723000, true), '01:02:03');
  assert.equal(systemValue('NODE1:SYSTEM.A_NDATE', 86400000 * 365, true), '1971-01-01');
});

test('simulated values: deterministic per seed, within what the tags drive', () => {
  const network = new Network(parseJdf(golden('Overview')));
  const a = new Simulation(network, 1);
  const b = new Simulation(network, 1);
  const c = new Simulation(network, 2);
  assert.deepEqual(a.valuesAt(12.5), b.valuesAt(12.5));
  assert.notDeepEqual(a.valuesAt(12.5), c.valuesAt(12.5));
  assert.ok(!a.signals.has('NODE1:SYSTEM.A_NTIME'));
  const seen = new Map();
  for (let t = 0; t < 120; t += 0.5) {
    for (const { tag, value } of a.valuesAt(t)) {
      if (!seen.has(tag)) seen.set(tag, new Set());
      seen.get(tag).add(value);
    }
  }
  // The pump steps through the keys of its maps; the level covers its
  // scale's input range and crosses the alarm levels.
  assert.deepEqual([...seen.get('NODE1:PUMP1.F_CV')].sort(), [0, 1, 2]);
  const level = [...seen.get('NODE1:TANK1_LEVEL.F_CV')];
  assert.ok(Math.min(...level) < 100 && Math.max(...level) > 950, `${Math.min(...level)} ${Math.max(...level)}`);
  assert.deepEqual([...seen.get('NODE1:PIPE1_OPEN.F_CV')].sort(), [0, 1]);
  assert.deepEqual(liveOptions('?seed=7&time=12.5&feed=http://x/feed'), { live: true, seed: 7, time: 12.5, feed: 'http://x/feed' });
  assert.deepEqual(liveOptions('?live=0&time=x'), { live: false, seed: 1, time: null, feed: null });
});

test('a link to a text of several lines drives each of its lines', () => {
  const page = parseJdf(`(objects
    (G TAVSymbol (properties) (objects
      (Notel0 TAVText (properties (x 0)(y 0)(text "first")))
      (Notel1 TAVText (properties (x 0)(y 20)(text "second")))))
    (S TAVWeb (properties (Server QEVSERV))))
  (links (G.Note.visibility S.N:SHOW.F_CV))`);
  const network = new Network(page);
  assert.deepEqual(network.problems, []);
  const changes = network.setTags([{ tag: 'N:SHOW.F_CV', value: 0 }]);
  assert.deepEqual([...changes.keys()], ['G.Notel0', 'G.Notel1']);
  assert.equal(changes.get('G.Notel1').props.visibility, 0);
});

// Property names come from the page: one named __proto__ stays an own
// property of the object, from the description and from the network, and
// never becomes the prototype of the viewer's objects.
test('a property named __proto__ is an own property, from the description and from the network', () => {
  const page = parseJdf([
    '(objects (R TAVRectangle (properties (x 1) (__proto__ (1 2)))) (Source1 TAVWeb (properties (UpdateRate 1))))',
    '(links (R.__proto__ Source1.N:A.F_CV) (R.constructor Source1.N:A.F_CV))',
  ].join('\r\n'));
  const props = page.byPath.get('R').props;
  assert.deepEqual(props.__proto__, ['1', '2']);
  assert.equal(Object.getPrototypeOf(props), Object.prototype);
  const prepared = prepareLive(page, { live: true, seed: 1, time: null, feed: null }, false);
  const changes = prepared.network.setTags([{ tag: 'N:A.F_CV', value: 7, quality: 'good' }]);
  assert.deepEqual(Object.keys(changes.get('R').props).sort(), ['__proto__', 'constructor']);
  // The first values written into the description's properties.
  const live = prepareLive(page, { live: true, seed: 1, time: 3, feed: null });
  const value = String(live.network.tags.get('N:A.F_CV').value);
  assert.equal(Object.getPrototypeOf(props), Object.prototype);
  assert.deepEqual([Object.getOwnPropertyDescriptor(props, '__proto__').value, Object.getOwnPropertyDescriptor(props, 'constructor').value], [value, value]);
  assert.equal(props.x, '1');
});
