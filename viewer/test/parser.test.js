// The JDF parser: the writer's whole grammar, the page model kept for the
// animation network, and malformed input reported with line and column.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import { parseJdf, JdfError, parseColor, parseNumber, MAX_DEPTH } from '../quillon-viewer.js';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, '..', '..');
// The converter writes Latin-1; the page hands the viewer the decoded text.
const golden = (name) => fs.readFileSync(path.join(root, 'examples', 'golden', name), 'latin1');

test('malformed page descriptions are reported with what and where', () => {
  const cases = JSON.parse(fs.readFileSync(path.join(here, 'malformed-cases.json'), 'utf8'));
  assert.ok(cases.length > 20);
  for (const c of cases) {
    assert.throws(() => parseJdf(c.jdf), (error) => {
      assert.ok(error instanceof JdfError, `${JSON.stringify(c.jdf)} gave ${error}`);
      assert.deepEqual([error.line, error.column, error.what], [c.line, c.column, c.what],
        JSON.stringify(c.jdf));
      assert.equal(error.message, `line ${c.line}, column ${c.column}: ${c.what}`);
      return true;
    });
  }
});

test('lists nested up to the limit are read', () => {
  const deep = `(objects (A TAVText (properties (points ${'('.repeat(MAX_DEPTH - 4)}1${')'.repeat(MAX_DEPTH - 4)})))) `;
  assert.equal(parseJdf(deep).objects.length, 1);
});

test('the example pages: header, objects in drawing order, animations and links', () => {
  const expected = {
    'Overview.JDF': { width: 800, height: 600, bg: '#c0c0c0', drawn: 18, animations: 11, links: 23 },
    'Pumps.JDF': { width: 640, height: 400, bg: '#f0f0f0', drawn: 5, animations: 2, links: 2 },
    'Trends.JDF': { width: 800, height: 500, bg: '#ffffff', drawn: 2, animations: 4, links: 7 },
    '../../tests/reader/data/shapes.JDF': { width: 400, height: 300, bg: '#c0c0c0', drawn: 12, animations: 0, links: 0 },
  };
  for (const [file, want] of Object.entries(expected)) {
    const page = parseJdf(golden(file));
    assert.deepEqual(
      [page.width, page.height, page.bgColor, page.drawn.length, page.animations.length, page.links.length],
      [want.width, want.height, want.bg, want.drawn, want.animations, want.links], file);
    assert.equal(page.version, '1.0');
  }
});

test('groups nest their members and every object is found by its dotted path', () => {
  const page = parseJdf(golden('Overview.JDF'));
  const tank = page.byPath.get('Area1.Tank1Group.Tank1');
  assert.equal(tank.className, 'TAVRectangle');
  assert.equal(tank.parent.path, 'Area1.Tank1Group');
  assert.deepEqual(page.byPath.get('Area1').children.map((c) => c.name), ['Tank1Group', 'Pump1']);
  assert.equal(tank.props.fillPercentVert, '65');
  assert.equal(tank.props.fillDirectionVert, 'up');
  // Every link target names an object of the page (or an animation object).
  for (const link of page.links) {
    const owner = link.target.slice(0, link.target.lastIndexOf('.'));
    const object = owner.replace(/\.(expval|in|OnValue|OffValue)(\[\d+\])?$/, '');
    assert.ok(page.byPath.has(owner) || page.byPath.has(object), link.target);
  }
});

test('the animation network stays available: classes, properties and links', () => {
  const page = parseJdf(golden('Overview.JDF'));
  const byName = Object.fromEntries(page.animations.map((o) => [o.name, o]));
  assert.equal(byName.Source1.className, 'TAVWeb');
  assert.equal(byName.Source1.props.UpdateRate, '2');
  assert.equal(byName.Exp1.props.expression, '$0>950AND$1==1');
  assert.deepEqual(byName.Tank1Alarm5.props.map[0], ['-0.001', '0xff0000']);
  assert.equal(byName.Tank1Fill1.props.inMax, '1000');
  assert.equal(byName.Tank1Alarm1.className, 'TAVBlink');
  // The alarm text link of the trend page runs on without a line end.
  const trends = parseJdf(golden('Trends.JDF'));
  const last = trends.links.at(-1);
  assert.deepEqual([last.target, last.source], ['Alarms.text', 'Source1.ALARMHISTORY.A_CV']);
  assert.deepEqual(trends.where(last.at), { line: 81, column: 2 });
  assert.deepEqual(trends.where(trends.byPath.get('Alarms').at), { line: 32, column: 2 });
  assert.equal(trends.links[3].target, 'LevelTrend.values[1]');
  assert.equal(trends.links[5].target, 'LevelTrend.pens[1][0]');
});

test('values: quoted texts with escapes, lists, empty values, repeated properties', () => {
  const page = parseJdf([
    '(properties \r\n\t(version 1.0)\r\n\t(width 100)\r\n\t(height 50)\r\n\t(bgColor 0x123abc)\r\n)',
    '(objects',
    '\t(T TAVText (properties (text "Tank \\"A\\" \\\\ it\\\'s") (format "#")))',
    '\t(E TAVText (properties (text "") (x  )))',
    '\t(Cr TAVText (properties (text "\r")))',
    '\t(Tab TAVAlarmDisplay (properties (bgColor 0x00ff00) (order ( 0 1 2)) (bgColor 0x000000)',
    '\t\t(columns ((DATE 9)(TIME 9)(UNITS 0)))))',
    '\t(M TAVMap (properties (map((0 Pumps_P1.JPG)(1 "x y")))))',
    ')',
    '(links\r\n\t(T.text Source1.NODE1:TANK1.F_CV)\t(E.text Source1.ALARMHISTORY.A_CV)\r\n)',
  ].join('\r\n'));
  assert.equal(page.bgColor, '#123abc');
  const t = page.byPath.get('T').props;
  assert.equal(t.text, 'Tank "A" \\ it\'s');
  assert.equal(page.byPath.get('E').props.text, '');
  assert.equal(page.byPath.get('E').props.x, '');
  assert.equal(page.byPath.get('Cr').props.text, '\r');
  const table = page.byPath.get('Tab').props;
  assert.equal(table.bgColor, '0x000000');
  assert.deepEqual(table.order, ['0', '1', '2']);
  assert.deepEqual(table.columns, [['DATE', '9'], ['TIME', '9'], ['UNITS', '0']]);
  assert.deepEqual(page.byPath.get('M').props.map, [['0', 'Pumps_P1.JPG'], ['1', 'x y']]);
  assert.deepEqual(page.links.map((l) => [l.target, l.source]),
    [['T.text', 'Source1.NODE1:TANK1.F_CV'], ['E.text', 'Source1.ALARMHISTORY.A_CV']]);
});

test('a page without header properties takes the writer defaults', () => {
  const page = parseJdf('(objects\n)');
  assert.deepEqual([page.width, page.height, page.bgColor], [1000, 1000, '#ffffff']);
  const odd = parseJdf('(properties (width -5) (height abc) (bgColor red))');
  assert.deepEqual([odd.width, odd.height, odd.bgColor], [1000, 1000, '#ffffff']);
});

test('colours and numbers', () => {
  const colours = [
    ['0xff0000', '#ff0000'], ['0X00FF00', '#00ff00'], ['0x8b8b', '#008b8b'], [' 0xabcdef ', '#abcdef'],
    ['0x1234567', null], ['255', null], ['', null], [undefined, null], [['0xff0000'], null],
  ];
  for (const [value, want] of colours) assert.equal(parseColor(value, null), want, String(value));
  const numbers = [['65', 65], [' 1000.0', 1000], ['-0.001', -0.001], ['', 7], ['1e3', 1000], ['abc', 7], ['12px', 7]];
  for (const [value, want] of numbers) assert.equal(parseNumber(value, 7), want, value);
});
