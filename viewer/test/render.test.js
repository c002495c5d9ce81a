// The drawing as element descriptions: one element per object, the geometry
// and colours each property gives, and no markup out of page texts.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import {
  parseJdf, renderPage, renderObject, toSvgString, arcPath, ellipsePoint, fillInset,
  alarmColumns, chartPens, chartPlotArea, penPath, safeImageName, dashArray, initialText, DRAWN_CLASSES,
} from '../quillon-viewer.js';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, '..', '..');

function page(objects) {
  return parseJdf(`(properties (width 200) (height 100) (bgColor 0xffffff))\r\n(objects\r\n${objects}\r\n)`);
}

// The first object of a one-object page, drawn.
function draw(object) {
  return renderObject(page(object).objects[0]);
}

function walk(node, visit) {
  visit(node);
  for (const child of node.children) walk(child, visit);
}

function find(node, predicate) {
  const found = [];
  walk(node, (n) => { if (predicate(n)) found.push(n); });
  return found;
}

test('every drawn object of the example pages becomes exactly one element', () => {
  for (const file of ['Overview.JDF', 'Pumps.JDF', 'Trends.JDF']) {
    const parsed = parseJdf(fs.readFileSync(path.join(root, 'examples', 'golden', file), 'latin1'));
    const svg = renderPage(parsed);
    const tagged = find(svg, (n) => n.attrs['data-object'] !== undefined);
    assert.deepEqual(tagged.map((n) => n.attrs['data-object']), parsed.drawn.map((o) => o.path), file);
    assert.deepEqual([svg.attrs.width, svg.attrs.height], [String(parsed.width), String(parsed.height)]);
    assert.equal(svg.children[1].attrs.fill, parsed.bgColor);
  }
});

test('classes that draw nothing are kept out of the drawing', () => {
  const parsed = page('(S TAVScale (properties (inMin 0)))\r\n(Q TAVFuture (properties (x 1)))\r\n(R TAVRectangle (properties (x 1)))');
  assert.deepEqual(parsed.drawn.map((o) => o.name), ['R']);
  assert.deepEqual(parsed.animations.map((o) => o.name), ['S', 'Q']);
  assert.ok(DRAWN_CLASSES.includes('TAVRealTime'));
});

test('fill percentage and direction become the inset of the filled part', () => {
  const cases = [
    ['(fillPercentVert 65) (fillDirectionVert up)', 'inset(35% 0% 0% 0%)'],
    ['(fillPercentVert 65) (fillDirectionVert down)', 'inset(0% 0% 35% 0%)'],
    ['(fillPercentHoriz 25) (fillDirectionHoriz right)', 'inset(0% 75% 0% 0%)'],
    ['(fillPercentHoriz 25) (fillDirectionHoriz left)', 'inset(0% 0% 0% 75%)'],
    ['(fillPercentVert 150)', null],
    ['(fillPercentVert -20)', 'inset(100% 0% 0% 0%)'],
    ['(fillPercentVert 50) (fillPercentHoriz 50)', 'inset(50% 50% 0% 0%)'],
    ['', null],
  ];
  for (const [props, want] of cases) {
    const parsed = page(`(R TAVRectangle (properties ${props}))`);
    assert.equal(fillInset(parsed.objects[0].props), want, props);
  }
});

test('a rectangle: background for the unfilled part, foreground clipped to the fill, edge inside the box', () => {
  const node = draw('(Tank TAVRectangle (properties (x 40) (y 80) (width 120) (height 300) (fgColor 0x0000ff) (bgColor 0xc0c0c0) (lineColor 0x00ff00) (lineWidth 4) (lineStyle dash) (fillPercentVert 65) (fillDirectionVert up)))');
  assert.equal(node.tag, 'g');
  const [back, fill, edge] = node.children;
  assert.deepEqual([back.attrs.fill, back.attrs.x, back.attrs.width], ['#c0c0c0', '40', '120']);
  assert.equal(fill.attrs.fill, '#0000ff');
  // The filled part of a rectangle is a rectangle of its own: the lower 65 %.
  assert.deepEqual(['x', 'y', 'width', 'height', 'style'].map((k) => fill.attrs[k]), ['40', '185', '120', '195', undefined]);
  assert.deepEqual([edge.attrs.stroke, edge.attrs['stroke-width'], edge.attrs.x, edge.attrs.width], ['#00ff00', '4', '42', '116']);
  assert.equal(edge.attrs['stroke-dasharray'], '24 12');
  // Without a fill percentage the shape is one element in the foreground
  // colour, with an edge of one black pixel inside its box.
  const plain = draw('(R TAVRectangle (properties (x 0) (y 0) (width 10) (height 10) (fgColor 0xff0000) (bgColor 0x00ff00) (lineWidth 0)))');
  assert.deepEqual([plain.tag, plain.children.length], ['rect', 0]);
  assert.deepEqual(['fill', 'stroke', 'stroke-width', 'x', 'width'].map((k) => plain.attrs[k]), ['#ff0000', '#000000', undefined, '0.5', '9']);
  const hollow = draw('(R TAVRectangle (properties (x 0) (y 0) (width 10) (height 10)))');
  assert.equal(hollow.attrs.fill, 'none');
});

// The filled part of a rectangle, by fill percentage and direction: a
// rectangle of its own; other shapes are clipped to it.
test('fill levels: a rectangle\'s filled part, the clip of other shapes', () => {
  const box = '(x 10) (y 20) (width 200) (height 100) (fgColor 0x0000ff) (bgColor 0xc0c0c0)';
  const cases = [
    ['(fillPercentVert 30) (fillDirectionVert up)', ['10', '90', '200', '30']],
    ['(fillPercentVert 30) (fillDirectionVert down)', ['10', '20', '200', '30']],
    ['(fillPercentHoriz 25) (fillDirectionHoriz right)', ['10', '20', '50', '100']],
    ['(fillPercentHoriz 25) (fillDirectionHoriz left)', ['160', '20', '50', '100']],
    ['(fillPercentVert 50) (fillPercentHoriz 50)', ['10', '70', '100', '50']],
    ['(fillPercentVert 0)', ['10', '120', '200', '0']],
    ['(fillPercentVert 12.5)', ['10', '107.5', '200', '12.5']],
  ];
  for (const [fill, wanted] of cases) {
    const node = draw(`(T TAVRectangle (properties ${box} (lineStyle dash) ${fill}))`);
    const part = node.children.find((child) => child.attrs.class === 'fill');
    assert.deepEqual(['x', 'y', 'width', 'height'].map((k) => part.attrs[k]), wanted, fill);
    assert.equal(part.attrs.style, undefined, fill);
  }
  // A solid edge (width 2 here) is drawn first, on the background colour;
  // the filled part lies inside it.
  const inside = [
    ['(fillPercentVert 30) (fillDirectionVert up)', ['12', '90', '196', '28']],
    ['(fillPercentHoriz 25) (fillDirectionHoriz left)', ['160', '22', '48', '96']],
    ['(fillPercentVert 99)', ['12', '22', '196', '96']],
    ['(fillPercentVert 1)', ['12', '119', '196', '0']],
  ];
  for (const [fill, wanted] of inside) {
    const node = draw(`(T TAVRectangle (properties ${box} (lineWidth 2) ${fill}))`);
    assert.deepEqual(node.children.map((c) => [c.attrs.class, c.attrs.fill]), [['edge', '#c0c0c0'], ['fill', '#0000ff']], fill);
    assert.deepEqual(['x', 'y', 'width', 'height'].map((k) => node.children[1].attrs[k]), wanted, fill);
  }
  for (const cls of ['TAVRoundRect', 'TAVEllipse']) {
    const node = draw(`(T ${cls} (properties ${box} (diameter 20) (fillPercentVert 30)))`);
    const part = node.children.find((child) => child.attrs.class === 'fill');
    assert.equal(part.attrs.style, 'clip-path: inset(70% 0% 0% 0%)', cls);
  }
});

test('round rectangle corners, ellipse radii and edges', () => {
  const round = draw('(P TAVRoundRect (properties (x 10) (y 10) (width 100) (height 40) (diameter 12) (fgColor 0xe0e0e0)))');
  assert.equal(round.attrs.rx, '5.5');
  const huge = draw('(P TAVRoundRect (properties (x 10) (y 10) (width 100) (height 40) (diameter 500)))');
  assert.equal(huge.attrs.rx, '19.5');
  const oval = draw('(O TAVEllipse (properties (x 220) (y 300) (width 60) (height 40) (fgColor 0x808080)))');
  assert.deepEqual(['cx', 'cy', 'rx', 'ry', 'fill'].map((k) => oval.attrs[k]), ['250', '320', '29.5', '19.5', '#808080']);
  const filling = draw('(O TAVEllipse (properties (x 0) (y 0) (width 60) (height 40) (fgColor 0x808080) (fillPercentHoriz 50)))');
  assert.deepEqual(filling.children.map((c) => [c.attrs.rx, c.attrs.fill]), [['30', '#808080'], ['29.5', 'none']]);
});

test('lines, polylines and polygons', () => {
  const line = draw('(L TAVLine (properties (x0 30) (y0 140) (x1 190) (y1 140) (lineStyle dot) (lineColor 0xff0000)))');
  assert.deepEqual([line.tag, line.attrs.x1, line.attrs.y2, line.attrs.stroke, line.attrs['stroke-dasharray']], ['line', '30.5', '140.5', '#ff0000', '1 2']);
  const pipe = draw('(P TAVPolyline (properties (lineColor 0x808080) (lineWidth 4) (points ((160 330) (220 330) ))))');
  assert.deepEqual([pipe.tag, pipe.attrs.points, pipe.attrs.fill, pipe.attrs['stroke-width']], ['polyline', '160,330 220,330', 'none', '4']);
  const thin = draw('(P TAVPolyline (properties (lineWidth 0) (points ((1 2) (3 4) ))))');
  assert.equal(thin.attrs.points, '1.5,2.5 3.5,4.5');
  const valve = draw('(V TAVPolygon (properties (fgColor 0xff0000) (points ((300 320) (320 330) (300 340) ))))');
  assert.deepEqual([valve.tag, valve.attrs.points, valve.attrs.fill], ['polygon', '300,320 320,330 300,340', '#ff0000']);
  const many = Array.from({ length: 200000 }, (_, k) => `(${k % 500} ${Math.floor(k / 500)})`).join(' ');
  const big = draw(`(V TAVPolyline (properties (rotateAngle 90) (points (${many}))))`);
  assert.equal(big.attrs.transform, 'rotate(90 249.5 199.5)');
  const empty = draw('(V TAVPolygon (properties (points ())))');
  assert.equal(empty.attrs.points, '');
  assert.equal(dashArray('dashdotdot', 2), '12 6 2 6 2 6');
  assert.equal(dashArray('solid', 3), null);
  assert.equal(dashArray('unknown', 3), null);
});

test('arcs: angles counter-clockwise from three o\'clock, negative lengths clockwise', () => {
  const box = { x: 0, y: 0, width: 100, height: 100 };
  assert.deepEqual(ellipsePoint(box, 90).map(Math.round), [50, 0]);
  assert.equal(arcPath(box, 0, 90, true), 'M50,50L100,50A50,50 0 0 0 50,0Z');
  assert.equal(arcPath(box, 0, 180, false), 'M100,50A50,50 0 0 0 0,50');
  assert.equal(arcPath(box, 89, -179, false).split(' ')[3], '1');  // clockwise sweep
  assert.equal(arcPath(box, 0, 270, false).split(' ')[2], '1');    // the large arc
  assert.match(arcPath(box, 0, 360, true), /^M100,50A50,50 0 1 0 0,50A50,50 0 1 0 100,50Z$/);
  assert.equal(arcPath(box, 0, 0, true), '');
  // A pie (foreground colour) is filled; an arc without one is a line.
  const pie = draw('(S TAVArc (properties (fgColor 0xffff00) (startAngle 0) (arcLength 89) (x 580) (y 120) (width 80) (height 80)))');
  assert.equal(pie.attrs.fill, '#ffff00');
  assert.match(pie.attrs.d, /^M620,160L660,160A40,40 0 0 0 /);
  const arc = draw('(G TAVArc (properties (lineWidth 3) (startAngle 0) (arcLength 180) (x 460) (y 160) (width 80) (height 80)))');
  assert.deepEqual([arc.tag, arc.attrs.fill, arc.attrs.stroke, arc.attrs.d], ['path', 'none', '#000000', 'M540.5,200.5A40,40 0 0 0 460.5,200.5']);
});

test('texts: position, font, style, colour, justification and the mask shown before data', () => {
  const text = draw('(T TAVText (properties (x 20) (y 48) (text "Operator overview") (font TimesRoman) (fontStyle bolditalic) (textColor 0x0000ff) (justify left) (height 16)))');
  assert.deepEqual([text.tag, text.text, text.attrs.x, text.attrs.y, text.attrs.fill], ['text', 'Operator overview', '20', '60.8', '#0000ff']);
  assert.match(text.attrs['font-family'], /Times New Roman/);
  assert.deepEqual([text.attrs['font-weight'], text.attrs['font-style'], text.attrs['font-size']], ['bold', 'italic', '16']);
  const centred = draw('(T TAVText (properties (x 20) (y 0) (width 100) (text "a") (justify center) (underline 1)))');
  assert.deepEqual([centred.attrs.x, centred.attrs['text-anchor'], centred.attrs['text-decoration']], ['70', 'middle', 'underline']);
  const right = draw('(T TAVText (properties (x 20) (y 0) (width 100) (text "a") (justify right)))');
  assert.deepEqual([right.attrs.x, right.attrs['text-anchor']], ['120', 'end']);
  const unboxed = draw('(T TAVText (properties (x 20) (y 0) (text "a") (justify right)))');
  assert.deepEqual([unboxed.attrs.x, unboxed.attrs['text-anchor']], ['20', undefined]);
  const cases = [
    ['(text "####.#") (format "#####.#")', '####.#'],
    ['(text "") (format "##.#")', '##.#'],
    ['(text "") (format "#")', ''],
    ['(text "\r")', ''],
    ['', ''],
  ];
  for (const [props, want] of cases) {
    assert.equal(initialText(page(`(T TAVText (properties ${props}))`).objects[0].props), want, props);
  }
});

test('texts from the page never become markup', () => {
  const hostile = '</script><img src=x onerror="alert(1)"> & \'q\'';
  const parsed = page(`(T TAVText (properties (text "${hostile.replace(/"/g, '\\"')}")))`);
  assert.equal(parsed.objects[0].props.text, hostile);
  const svg = toSvgString(renderPage(parsed));
  assert.ok(!svg.includes('<img'));
  assert.ok(!svg.includes('</script'));
  assert.ok(svg.includes('&lt;/script&gt;&lt;img src=x onerror=&quot;alert(1)&quot;&gt; &amp; &#39;q&#39;'));
});

test('images: box and relative file names only', () => {
  const image = draw('(I TAVImage (properties (x 40) (y 60) (width 24) (height 24) (file Pumps_P1.BMP)))');
  assert.deepEqual([image.tag, image.attrs.href, image.attrs.width, image.attrs.preserveAspectRatio], ['image', 'Pumps_P1.BMP', '24', 'none']);
  const names = [
    ['Pumps_Pump1Symbol_P1.JPG', true], ['images/a.bmp', true], ['a b.png', true],
    ['http://example.invalid/a.png', false], ['//host/a.png', false], ['/etc/passwd', false],
    ['../secret.bmp', false], ['a/../../b.png', false], ['C:\\a.bmp', false], ['a.png?x', false],
    ['javascript:alert(1)', false], ['', false], [undefined, false],
  ];
  for (const [name, ok] of names) assert.equal(safeImageName(name), ok, String(name));
  const outside = draw('(I TAVImage (properties (x 1) (y 1) (file http://example.invalid/a.png)))');
  assert.equal(outside.attrs.href, undefined);
});

test('buttons: caption centred, a disabled button greyed', () => {
  const on = draw('(B TAVButton (properties (x 40) (y 120) (width 90) (height 28) (text "Start pump 1") (disable 0) (textColor 0x000000)))');
  const caption = on.children.at(-1);
  assert.deepEqual([caption.text, caption.attrs.x, caption.attrs.fill, caption.attrs['text-anchor']], ['Start pump 1', '85', '#000000', 'middle']);
  const off = draw('(B TAVButton (properties (x 40) (y 120) (width 90) (height 28) (text "Stop") (disable 1) (textColor 0x000000)))');
  assert.equal(off.children.at(-1).attrs.fill, '#808080');
  assert.equal(off.attrs['data-disabled'], '1');
});

test('alarm tables: columns in their order, widths by characters, colours', () => {
  const props = parseJdf('(objects (A TAVAlarmDisplay (properties (order ( 0 1 9 9 4)) (columns ((DATE 9)(TIME 9)(NODE 9)(TAG 11)(STATUS 8)(AREA 16)(PRIORITY 7)(VALUE 11)(UNITS 0)(DESC 41))))))').objects[0].props;
  assert.deepEqual(alarmColumns(props).map((c) => c.name), ['DATE', 'TIME', 'DESC', 'STATUS']);
  const all = parseJdf('(objects (A TAVAlarmDisplay (properties (columns ((A 1)(B 0)(C 2))))))').objects[0].props;
  assert.deepEqual(alarmColumns(all).map((c) => c.name), ['A', 'C']);
  const table = draw('(A TAVAlarmDisplay (properties (x 0) (y 0) (width 300) (height 100) (bgColor 0x000000) (fgColor 0xffffff) (order ( 0 1)) (lines 4) (headerColor 0x000080) (textColor 0x00ff00) (columns ((DATE 1)(TIME 2)))))');
  const headings = find(table, (n) => n.attrs.class === 'heading');
  assert.deepEqual(headings.map((n) => [n.text, n.attrs.fill]), [['DATE', '#ffffff'], ['TIME', '#ffffff']]);
  // Short headings need no viewport; they start 3 pixels into their column.
  assert.deepEqual(find(table, (n) => n.tag === 'svg'), []);
  assert.deepEqual(headings.map((n) => n.attrs.x), ['3', '103']);
  assert.deepEqual(table.children.slice(0, 2).map((n) => n.attrs.fill), ['#000000', '#000080']);
  // The frame on the outermost pixels, the heading row inside it.
  assert.deepEqual(['x', 'y', 'width', 'height', 'stroke'].map((k) => table.children[0].attrs[k]), ['0.5', '0.5', '299', '99', '#ffffff']);
  assert.deepEqual(['x', 'y', 'width', 'height'].map((k) => table.children[1].attrs[k]), ['1', '1', '298', '16']);
  const rows = find(table, (n) => n.attrs.class === 'rows')[0];
  assert.equal(rows.attrs['data-rows'], '4');
  assert.equal(rows.attrs.d.split('M').length - 1, 3);
  assert.equal(find(table, (n) => n.attrs.class === 'columns')[0].attrs.d, 'M100.5,1V99');
  // Body and frame, heading row, two headings, column lines, row lines.
  assert.equal(find(table, () => true).length, 7);
  // A heading that may be wider than its column is cut at its edge.
  const narrow = draw('(A TAVAlarmDisplay (properties (x 10) (y 0) (width 100) (height 60) (columns ((DESCRIPTION 1)(T 9)))))');
  const viewports = find(narrow, (n) => n.tag === 'svg');
  assert.deepEqual(viewports.map((n) => [n.attrs.x, n.attrs.width, n.children[0].text, n.children[0].attrs.x]), [['10', '9', 'DESCRIPTION', '3']]);
  assert.deepEqual(find(narrow, (n) => n.attrs.class === 'heading' && n.text === 'T')[0].attrs.x, '23');
});

test('charts: pens, plot area, divisions and labels', () => {
  const props = parseJdf('(objects (C TAVRealTime (properties (pens ((0x0000ff 2)(0xff0000 1)(bad)(0x00ff00))))))').objects[0].props;
  assert.deepEqual(chartPens(props), [
    { color: '#0000ff', width: 2 }, { color: '#ff0000', width: 1 }, { color: '#000000', width: 1 }, { color: '#00ff00', width: 1 },
  ]);
  const chart = draw('(C TAVRealTime (properties (x 20) (y 20) (width 500) (height 260) (span 600) (fgColor 0x000000) (bgColor 0xffffff) (pens ((0x0000ff 2)(0xff0000 1))) (maxValue  1000.0) (minValue     0.0) (majorValueDivColor 0xcccccc) (minorValueDivColor 0xdddddd) (minorTimeDivColor 0x999999) (majorTimeDivColor 0x888888) (timeLabelColor 0x0000ff) (valueLabelColor 0x00ff00) (timeDivsPerLabel 1) (majorTimeDivs 5) (valueDivsPerLabel 2) (majorValueDivs 4)))');
  const labels = find(chart, (n) => n.tag === 'text');
  const valueLabels = labels.filter((n) => n.attrs.fill === '#00ff00').map((n) => n.text);
  const timeLabels = labels.filter((n) => n.attrs.fill === '#0000ff').map((n) => n.text);
  assert.deepEqual(valueLabels, ['0', '500', '1000']);
  assert.deepEqual(timeLabels, ['-10:00', '-8:00', '-6:00', '-4:00', '-2:00', '0:00']);
  const grid = find(chart, (n) => n.attrs['data-division'] !== undefined);
  // Lines of each division colour: the segments of its path.
  const count = (colour) => grid.filter((n) => n.attrs.stroke === colour)
    .reduce((sum, n) => sum + n.attrs.d.split('M').length - 1, 0);
  assert.deepEqual([count('#cccccc'), count('#dddddd'), count('#888888'), count('#999999')], [3, 4, 4, 5]);
  // Grid lines run between the axes (x 64 and 509), dotted ones in the
  // pattern that starts on the axis.
  assert.equal(grid.find((n) => n.attrs.stroke === '#cccccc').attrs.d.split('M')[1], '65,206.5H509');
  assert.deepEqual(grid.filter((n) => n.attrs['stroke-dasharray']).map((n) => n.attrs['stroke-dashoffset']), ['1', '1']);
  // The frame and the axes, drawn before the grid.
  assert.deepEqual(chart.children.slice(0, 2).map((n) => [n.attrs.class, n.attrs.x, n.attrs.width, n.attrs.fill]),
    [['frame', '20.5', '499', '#ffffff'], ['axes', '64.5', '445', 'none']]);
  // One path per pen: its key above the plot; its trace follows once values arrive.
  const pens = find(chart, (n) => n.attrs['data-pen'] !== undefined);
  assert.deepEqual(pens.map((n) => [n.tag, n.attrs.d, n.attrs.stroke, n.attrs['stroke-width']]), [
    ['path', 'M64,28H86', '#0000ff', '2'], ['path', 'M94,28.5H116', '#ff0000', '1'],
  ]);
  const penProps = parseJdf('(objects (C TAVRealTime (properties (x 20) (y 20) (pens ((0x0000ff 2))))))').objects[0].props;
  assert.equal(penPath(penProps, 0, '70,40 80,50'), 'M64,28H86M70,40 80,50');
  assert.equal(penPath(penProps, 0, ''), 'M64,28H86');
  // Root, frame, axes, 4 grid paths, 3 + 6 labels, 2 pens.
  assert.equal(find(chart, () => true).length, 18);
  const hidden = parseJdf('(objects (C TAVRealTime (properties (x 0) (y 0) (width 100) (height 100) (labelVert none) (labelHoriz none))))').objects[0];
  assert.equal(find(renderObject(hidden), (n) => n.tag === 'text').length, 0);
  assert.deepEqual(chartPlotArea(hidden.props), { x: 6, y: 16, width: 84, height: 78 });
});

test('visibility, nested groups and rotation', () => {
  const parsed = page([
    '(Outer TAVSymbol (properties (visibility 1)) (objects',
    '  (Inner TAVSymbol (properties (visibility 0)) (objects (R TAVRectangle (properties (x 0) (y 0) (width 10) (height 10) (fgColor 0xff0000)))))',
    '  (Turned TAVRectangle (properties (x 0) (y 0) (width 20) (height 10) (rotateAngle -15) (rotateOffsetX 5) (rotateOffsetY 0)))',
    '  (Gone TAVLine (properties (x0 0) (y0 0) (x1 5) (y1 5) (visibility 0)))))',
  ].join('\r\n'));
  const outer = renderObject(parsed.objects[0]);
  const byPath = Object.fromEntries(find(outer, (n) => n.attrs['data-object']).map((n) => [n.attrs['data-object'], n]));
  assert.deepEqual(Object.keys(byPath), ['Outer', 'Outer.Inner', 'Outer.Inner.R', 'Outer.Turned', 'Outer.Gone']);
  assert.equal(byPath.Outer.attrs.display, undefined);
  assert.equal(byPath['Outer.Inner'].attrs.display, 'none');
  assert.equal(byPath['Outer.Gone'].attrs.display, 'none');
  assert.equal(byPath['Outer.Turned'].attrs.transform, 'rotate(-15 15 5)');
});

test('names from the page never reach the viewer\'s own tables', () => {
  const hostile = ['constructor', '__proto__', 'toString', 'hasOwnProperty'];
  for (const name of hostile) {
    const parsed = parseJdf([
      '(properties (width 100) (height 100))',
      `(objects (G TAVSymbol (properties (visibility 1)) (objects (X ${name} (properties (x 1))) (R TAVRectangle (properties (lineStyle ${name}) (${name} (1 2)))))))`,
      `(objects (T TAVText (properties (text "a") (font ${name}) (fontStyle ${name}))))`,
    ].join('\r\n'));
    const svg = renderPage(parsed);
    const tagged = find(svg, (n) => n.attrs['data-object'] !== undefined).map((n) => n.attrs['data-object']);
    assert.deepEqual(tagged, ['G', 'G.R', 'T'], name);
    const rect = find(svg, (n) => n.attrs['data-object'] === 'G.R')[0];
    assert.equal(rect.attrs['stroke-dasharray'], undefined, name);
    const text = find(svg, (n) => n.tag === 'text')[0];
    // An unknown font is drawn in the drawing's own font, inherited.
    assert.deepEqual([text.attrs['font-family'], text.attrs['font-weight']], [undefined, undefined], name);
    assert.deepEqual(parsed.byPath.get('G.R').props[name], ['1', '2'], name);
  }
});
