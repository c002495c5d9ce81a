// The HTML5 viewer of quillon page descriptions (NAME.JDF): a parser that
// turns the JDF text into plain objects (no DOM), a renderer that draws those
// objects as SVG through a small element factory (element descriptions in
// Node, the document's own elements in a browser), and the small part that
// puts the drawing into a page and keeps it up to date.
//
// Plain JavaScript, no dependency, no network access: the page that embeds
// this module hands it the JDF text; images are referenced by their relative
// file names.

// ---------------------------------------------------------------------------
// Parser
// ---------------------------------------------------------------------------

// Lists nested deeper than this are refused, so that a hostile file cannot
// exhaust the stack of the code that walks the tree.
export const MAX_DEPTH = 256;

// A malformed page description: `message` says what is wrong, `line` and
// `column` (both from 1, columns counted in characters) where.
export class JdfError extends Error {
  constructor(what, line, column) {
    super(`line ${line}, column ${column}: ${what}`);
    this.name = 'JdfError';
    this.what = what;
    this.line = line;
    this.column = column;
  }
}

const SECTION_NAMES = ['properties', 'objects', 'links'];

// Line and column (both from 1) of an offset into `text`: lines end at line
// feeds, columns count characters (a surrogate pair is one character).
export function locate(text, offset, lineStarts) {
  let line = 1;
  let lineStart = 0;
  if (lineStarts) {
    let low = 0;
    let high = lineStarts.length - 1;
    while (low < high) {
      const middle = (low + high + 1) >> 1;
      if (lineStarts[middle] <= offset) low = middle; else high = middle - 1;
    }
    line = low + 1;
    lineStart = lineStarts[low];
  } else {
    for (let k = text.indexOf('\n'); k !== -1 && k < offset; k = text.indexOf('\n', k + 1)) {
      line += 1;
      lineStart = k + 1;
    }
  }
  let column = 1;
  for (let k = lineStart; k < offset; k += 1) {
    const code = text.charCodeAt(k);
    if (code >= 0xd800 && code <= 0xdbff && k + 1 < offset) {
      const next = text.charCodeAt(k + 1);
      if (next >= 0xdc00 && next <= 0xdfff) k += 1;
    }
    column += 1;
  }
  return { line, column };
}

function lineStartsOf(text) {
  const starts = [0];
  for (let k = text.indexOf('\n'); k !== -1; k = text.indexOf('\n', k + 1)) starts.push(k + 1);
  return starts;
}

function failAt(text, what, offset, lineStarts) {
  const { line, column } = locate(text, offset, lineStarts);
  return new JdfError(what, line, column);
}

// Character classes of the first 128 codes: 1 blank, 2 "(", 3 ")", 4 '"'.
const CHAR_CLASS = new Uint8Array(128);
for (const code of [32, 9, 10, 11, 12, 13]) CHAR_CLASS[code] = 1;
CHAR_CLASS[40] = 2;
CHAR_CLASS[41] = 3;
CHAR_CLASS[34] = 4;

// The end of the quoted text that starts at `start` (the offset after its
// closing quote), or -1 when it is not closed. A backslash takes the next
// character as it is.
function quotedEnd(text, start) {
  const n = text.length;
  for (let k = start + 1; k < n; k += 1) {
    const c = text.charCodeAt(k);
    if (c === 34) return k + 1;
    if (c === 92) k += 1;
  }
  return -1;
}

// The text of the quoted text from `start` to `end`, escapes undone.
function unquote(text, start, end) {
  const body = text.slice(start + 1, end - 1);
  return body.indexOf('\\') === -1 ? body : body.replace(/\\([\s\S])/g, '$1');
}

function atomEnd(text, start) {
  const n = text.length;
  let k = start + 1;
  while (k < n) {
    const c = text.charCodeAt(k);
    if (c < 128 && CHAR_CLASS[c] !== 0) break;
    k += 1;
  }
  return k;
}

// The parentheses, quoted texts and nesting of the whole text, without
// building anything. Throws a JdfError for text outside lists, unbalanced
// parentheses, an unterminated quoted text, lists nested deeper than
// MAX_DEPTH and a text without any list. A problem of this kind is reported
// before any problem of the sections; parseJdf runs this pass only when
// reading fails.
function checkLists(text) {
  const open = [];
  const n = text.length;
  let lists = 0;
  let i = 0;
  while (i < n) {
    const code = text.charCodeAt(i);
    const kind = code < 128 ? CHAR_CLASS[code] : 0;
    if (kind === 1) {
      i += 1;
    } else if (kind === 2) {
      if (open.length >= MAX_DEPTH) throw failAt(text, `lists nested deeper than ${MAX_DEPTH}`, i);
      open.push(i);
      lists += 1;
      i += 1;
    } else if (kind === 3) {
      if (open.length === 0) throw failAt(text, "')' without a matching '('", i);
      open.pop();
      i += 1;
    } else {
      const end = kind === 4 ? quotedEnd(text, i) : atomEnd(text, i);
      if (end < 0) throw failAt(text, 'quoted text without its closing \'"\'', i);
      if (open.length === 0) throw failAt(text, 'text outside parentheses', i);
      i = end;
    }
  }
  if (open.length > 0) throw failAt(text, "'(' without its closing ')'", open[open.length - 1]);
  if (lists === 0) throw failAt(text, 'the page description is empty', n);
}

// Thrown by Tokens for a problem of the lists (unbalanced parentheses, an
// unterminated quoted text, too deep a nesting): parseJdf then reports the
// problem as checkLists finds it.
const LIST_PROBLEM = new Error('malformed lists');

// Tokens of the text: `type` is "(", ")", "atom", "string" or "end", `at`
// the offset where the token starts, `text` the text of an atom or a quoted
// text. Throws LIST_PROBLEM where checkLists would report a problem.
class Tokens {
  constructor(text) {
    this.source = text;
    this.i = 0;
    this.depth = 0;
    this.type = 'end';
    this.at = 0;
    this.text = '';
    this.next();
  }

  next() {
    const text = this.source;
    const n = text.length;
    let i = this.i;
    while (i < n) {
      const c = text.charCodeAt(i);
      if (c >= 128 || CHAR_CLASS[c] !== 1) break;
      i += 1;
    }
    this.at = i;
    if (i >= n) {
      if (this.depth > 0) throw LIST_PROBLEM;
      this.type = 'end';
      this.i = i;
      return;
    }
    const c = text.charCodeAt(i);
    const kind = c < 128 ? CHAR_CLASS[c] : 0;
    if (kind === 2) {
      this.depth += 1;
      if (this.depth > MAX_DEPTH) throw LIST_PROBLEM;
      this.type = '(';
      this.i = i + 1;
    } else if (kind === 3) {
      if (this.depth === 0) throw LIST_PROBLEM;
      this.depth -= 1;
      this.type = ')';
      this.i = i + 1;
    } else if (kind === 4) {
      const end = quotedEnd(text, i);
      if (end < 0) throw LIST_PROBLEM;
      this.type = 'string';
      this.text = unquote(text, i, end);
      this.i = end;
    } else {
      const end = atomEnd(text, i);
      this.type = 'atom';
      this.text = text.slice(i, end);
      this.i = end;
    }
  }

  // Moves past the rest of the current list and its closing ")".
  skipList() {
    let depth = 1;
    while (depth > 0) {
      if (this.type === '(') depth += 1;
      else if (this.type === ')') depth -= 1;
      this.next();
    }
  }
}

// The value at the current token: an atom or a quoted text is its text, a
// list an array of the values of its items.
function readValue(tokens) {
  if (tokens.type !== '(') {
    const text = tokens.text;
    tokens.next();
    return text;
  }
  tokens.next();
  const items = [];
  while (tokens.type !== ')') items.push(readValue(tokens));
  tokens.next();
  return items;
}

// Classes that draw something; every other class (the animation objects and
// the data source) is kept for the animation network.
export const DRAWN_CLASSES = [
  'TAVRectangle', 'TAVEllipse', 'TAVRoundRect', 'TAVLine', 'TAVPolyline', 'TAVPolygon',
  'TAVArc', 'TAVText', 'TAVImage', 'TAVSymbol', 'TAVButton', 'TAVAlarmDisplay', 'TAVRealTime',
];
const DRAWN = new Set(DRAWN_CLASSES);

// Reads the entries of a properties list up to its ")" into `into`; the
// current token is the first entry.
function readProperties(tokens, into, source) {
  while (tokens.type !== ')') {
    const at = tokens.at;
    if (tokens.type !== '(') {
      throw source.fail('a property must be a list that starts with its name', at);
    }
    tokens.next();
    if (tokens.type !== 'atom') {
      throw source.fail('a property must be a list that starts with its name', at);
    }
    const name = tokens.text;
    tokens.next();
    // "(name)" is a property whose value is empty; "(name a b)" keeps the
    // first value, as the writer writes one value per property. A property
    // given twice takes its last value.
    into[name] = tokens.type === ')' ? '' : readValue(tokens);
    tokens.skipList();
  }
  tokens.next();
}

// Reads one object; the current token is its "(" (or what stands in its
// place).
function readObject(tokens, parent, page, source) {
  const at = tokens.at;
  const malformed = 'an object must be a list that starts with its name and its class';
  if (tokens.type !== '(') throw source.fail(malformed, at);
  tokens.next();
  if (tokens.type !== 'atom') throw source.fail(malformed, at);
  const name = tokens.text;
  tokens.next();
  if (tokens.type !== 'atom') throw source.fail(malformed, at);
  const object = {
    name,
    path: parent ? `${parent.path}.${name}` : name,
    className: tokens.text,
    props: {},
    children: [],
    parent: parent || null,
    at,
  };
  tokens.next();
  while (tokens.type !== ')') {
    const partAt = tokens.at;
    if (tokens.type !== '(') throw source.fail(`unexpected text in object ${name}`, partAt);
    tokens.next();
    if (tokens.type !== 'atom') throw source.fail(`unexpected text in object ${name}`, partAt);
    const word = tokens.text;
    tokens.next();
    if (word === 'properties') {
      readProperties(tokens, object.props, source);
    } else if (word === 'objects') {
      while (tokens.type !== ')') object.children.push(readObject(tokens, object, page, source));
      tokens.next();
    } else {
      // Other lists of an object are not used by the viewer.
      tokens.skipList();
    }
  }
  tokens.next();
  // The first object of a path wins, as the first drawn is the one a link
  // names.
  if (!page.byPath.has(object.path)) page.byPath.set(object.path, object);
  return object;
}

// Parses a page description into
//   {width, height, bgColor, version, properties, objects, drawn, animations,
//    links, byPath, where(at)}
// where `objects` is the object tree in drawing order (TAVSymbol objects hold
// their members in `children`), `drawn` every drawn object in drawing order,
// `animations` the objects of other classes (maps, thresholds, blinkers,
// scales, expressions, the data source), `links` the list of {target,
// source, at}, and `byPath` every object by its dotted path (Group.Member).
// Objects and links carry the offset `at` of their text; where(at) gives its
// line and column. Throws a JdfError for malformed input.
export function parseJdf(text) {
  const jdf = String(text);
  try {
    return readPage(jdf);
  } catch (error) {
    if (error !== LIST_PROBLEM && !(error instanceof JdfError)) throw error;
    // The problem that comes first for the rules: those of the lists, then
    // those of the sections in reading order.
    checkLists(jdf);
    return readPage(jdf);
  }
}

function readPage(jdf) {
  let lineStarts = null;
  const where = (at) => {
    if (lineStarts === null) lineStarts = lineStartsOf(jdf);
    return locate(jdf, at, lineStarts);
  };
  const source = { fail: (what, at) => failAt(jdf, what, at) };
  const page = {
    version: '',
    width: 1000,
    height: 1000,
    bgColor: '#ffffff',
    properties: {},
    objects: [],
    drawn: [],
    animations: [],
    links: [],
    byPath: new Map(),
    where,
  };
  const tokens = new Tokens(jdf);
  if (tokens.type === 'end') throw LIST_PROBLEM;
  while (tokens.type !== 'end') {
    const sectionAt = tokens.at;
    if (tokens.type !== '(') throw LIST_PROBLEM;
    tokens.next();
    if (tokens.type !== 'atom') {
      throw source.fail('a section must start with its name (properties, objects or links)',
        sectionAt);
    }
    const head = tokens.text;
    if (!SECTION_NAMES.includes(head)) {
      throw source.fail(`unknown section ${head} (expected properties, objects or links)`,
        tokens.at);
    }
    tokens.next();
    if (head === 'properties') {
      readProperties(tokens, page.properties, source);
    } else if (head === 'objects') {
      while (tokens.type !== ')') {
        const object = readObject(tokens, null, page, source);
        if (DRAWN.has(object.className)) {
          page.objects.push(object);
        } else {
          page.animations.push(object);
        }
      }
      tokens.next();
    } else {
      while (tokens.type !== ')') {
        const at = tokens.at;
        const malformed = 'a link must be a list of its target and its source';
        if (tokens.type !== '(') throw source.fail(malformed, at);
        tokens.next();
        if (tokens.type !== 'atom') throw source.fail(malformed, at);
        const target = tokens.text;
        tokens.next();
        if (tokens.type !== 'atom') throw source.fail(malformed, at);
        const sourceName = tokens.text;
        tokens.next();
        if (tokens.type !== ')') throw source.fail(malformed, at);
        tokens.next();
        page.links.push({ target, source: sourceName, at });
      }
      tokens.next();
    }
  }
  const p = page.properties;
  page.version = typeof p.version === 'string' ? p.version : '';
  page.width = positiveNumber(p.width, 1000);
  page.height = positiveNumber(p.height, 1000);
  page.bgColor = parseColor(p.bgColor, '#ffffff');
  const collect = (objects) => {
    for (const object of objects) {
      if (!DRAWN.has(object.className)) continue;
      page.drawn.push(object);
      collect(object.children);
    }
  };
  collect(page.objects);
  return page;
}

// ---------------------------------------------------------------------------
// Values
// ---------------------------------------------------------------------------

// A number from a property value, or `fallback` when the value is missing or
// not a number.
export function parseNumber(value, fallback) {
  if (typeof value !== 'string') return fallback;
  const trimmed = value.trim();
  if (trimmed === '') return fallback;
  const number = Number(trimmed);
  return Number.isFinite(number) ? number : fallback;
}

function positiveNumber(value, fallback) {
  const number = parseNumber(value, fallback);
  return number > 0 ? number : fallback;
}

// "#rrggbb" from a colour value written 0xRRGGBB (red first), or `fallback`.
export function parseColor(value, fallback) {
  if (typeof value !== 'string') return fallback;
  const match = /^\s*0[xX]([0-9a-fA-F]{1,6})\s*$/.exec(value);
  if (!match) return fallback;
  return `#${match[1].toLowerCase().padStart(6, '0')}`;
}

// Font families for the font names the writer emits.
export const FONT_FAMILIES = {
  Helvetica: 'Helvetica, Arial, "Liberation Sans", "DejaVu Sans", sans-serif',
  TimesRoman: '"Times New Roman", Times, "Liberation Serif", "DejaVu Serif", serif',
  Courier: '"Courier New", Courier, "Liberation Mono", "DejaVu Sans Mono", monospace',
  Dialog: 'Arial, "Liberation Sans", "DejaVu Sans", sans-serif',
};

export function fontFamily(name) {
  return FONT_FAMILIES[name] || FONT_FAMILIES.Helvetica;
}

// Dash patterns of the line styles, in multiples of the line width.
export const DASH_PATTERNS = {
  solid: null,
  dash: [6, 3],
  dot: [1, 2],
  dashdot: [6, 3, 1, 3],
  dashdotdot: [6, 3, 1, 3, 1, 3],
};

export function dashArray(style, width) {
  const pattern = DASH_PATTERNS[style];
  if (!pattern) return null;
  return pattern.map((length) => length * width).join(' ');
}

// The drawn width of an edge or line: 0 and missing widths draw the thinnest
// line, one pixel.
function lineWidthOf(props) {
  const width = parseNumber(props.lineWidth, 1);
  return width >= 1 ? width : 1;
}

function percent(value) {
  const number = parseNumber(value, 100);
  return Math.min(100, Math.max(0, number));
}

function fmt(number) {
  // Short, stable numbers in the drawing: at most three decimals.
  const rounded = Math.round(number * 1000) / 1000;
  return Object.is(rounded, -0) ? '0' : String(rounded);
}

// An image file name the page may load: relative, inside the page's folder
// or below it, and naming no scheme.
export function safeImageName(name) {
  if (typeof name !== 'string' || name === '') return false;
  if (/[:\\?#%]/.test(name) || name.startsWith('/')) return false;
  return !name.split('/').some((part) => part === '..' || part === '');
}

// ---------------------------------------------------------------------------
// Drawing: element descriptions {tag, attrs, children, text}
// ---------------------------------------------------------------------------

export function el(tag, attrs, children, text) {
  const node = { tag, attrs: {}, children: children || [] };
  if (attrs) {
    for (const key in attrs) {
      const value = attrs[key];
      if (value !== null && value !== undefined) node.attrs[key] = String(value);
    }
  }
  if (text !== undefined) node.text = String(text);
  return node;
}

function escapeXml(text) {
  return text.replace(/[&<>"']/g, (c) => ({
    '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;', "'": '&#39;',
  })[c]);
}

// SVG markup of an element description (for tests and saved drawings).
export function toSvgString(node) {
  let out = `<${node.tag}`;
  for (const [key, value] of Object.entries(node.attrs)) out += ` ${key}="${escapeXml(value)}"`;
  if (node.children.length === 0 && node.text === undefined) return `${out}/>`;
  out += '>';
  if (node.text !== undefined) out += escapeXml(node.text);
  for (const child of node.children) out += toSvgString(child);
  return `${out}</${node.tag}>`;
}

const SVG_NS = 'http://www.w3.org/2000/svg';

// What the drawing functions build their elements with: element
// descriptions by default, or the DOM elements of a document (domMaker).
let make = el;

// make() for a browser document: the elements themselves, texts set as text
// content, never parsed as markup.
export function domMaker(doc) {
  return (tag, attrs, children, text) => {
    const element = doc.createElementNS(SVG_NS, tag);
    if (attrs) {
      for (const key in attrs) {
        const value = attrs[key];
        if (value !== null && value !== undefined) element.setAttribute(key, value);
      }
    }
    if (text !== undefined) element.textContent = text;
    if (children) for (let k = 0; k < children.length; k += 1) element.appendChild(children[k]);
    return element;
  };
}

function withMaker(maker, draw) {
  const previous = make;
  make = maker || el;
  try {
    return draw();
  } finally {
    make = previous;
  }
}

// Every object's element carries its path and class, so that the drawing
// can be matched to the page description.
function objectElement(object, tag, attrs, children, text) {
  return make(tag, { ...attrs, ...objectAttrs(object) }, children, text);
}

// The attributes every object's element carries: its path and class, and
// its visibility and rotation. The object's box is known by then.
function objectAttrs(object) {
  const props = object.props;
  const attrs = { 'data-object': object.path };
  if (props.visibility !== undefined && parseNumber(props.visibility, 1) === 0) {
    attrs.display = 'none';
  }
  const angle = parseNumber(props.rotateAngle, 0);
  if (angle !== 0 && object.box) {
    const box = object.box;
    const cx = box.x + box.width / 2 + parseNumber(props.rotateOffsetX, 0);
    const cy = box.y + box.height / 2 + parseNumber(props.rotateOffsetY, 0);
    attrs.transform = `rotate(${fmt(angle)} ${fmt(cx)} ${fmt(cy)})`;
  }
  return attrs;
}

function boxOf(props) {
  return {
    x: parseNumber(props.x, 0),
    y: parseNumber(props.y, 0),
    width: Math.max(0, parseNumber(props.width, 0)),
    height: Math.max(0, parseNumber(props.height, 0)),
  };
}

// The part of a shape that its fill colour covers, as a CSS inset of its
// bounding box; null when the fill covers it all.
export function fillInset(props) {
  let top = 0;
  let right = 0;
  let bottom = 0;
  let left = 0;
  if (props.fillPercentVert !== undefined) {
    const empty = 100 - percent(props.fillPercentVert);
    if (props.fillDirectionVert === 'down') bottom = empty; else top = empty;
  }
  if (props.fillPercentHoriz !== undefined) {
    const empty = 100 - percent(props.fillPercentHoriz);
    if (props.fillDirectionHoriz === 'left') left = empty; else right = empty;
  }
  if (top === 0 && right === 0 && bottom === 0 && left === 0) return null;
  return `inset(${fmt(top)}% ${fmt(right)}% ${fmt(bottom)}% ${fmt(left)}%)`;
}

// A filled shape. Filled all over, it is one element: the shape inset by
// half its edge width, filled with the foreground colour and stroked with
// the edge, which together cover the shape's box. A fill percentage makes it
// a group: the unfilled part in the background colour, the filled part in
// the foreground colour clipped to the fill, and the edge.
// `shape(inset, attrs)` gives the element for an edge inset by `inset`.
function filledShape(object, shape) {
  const props = object.props;
  const fg = parseColor(props.fgColor, null);
  const bg = parseColor(props.bgColor, null);
  const width = lineWidthOf(props);
  const edge = {
    stroke: parseColor(props.lineColor, '#000000'),
    'stroke-width': width === 1 ? null : fmt(width),
    'stroke-dasharray': dashArray(props.lineStyle, width),
  };
  const inset = fillInset(props);
  if (inset === null) {
    return shape(width / 2, { fill: fg || 'none', ...edge, ...objectAttrs(object) });
  }
  const parts = [];
  if (bg !== null) parts.push(shape(0, { fill: bg }));
  if (fg !== null) {
    parts.push(shape(0, { fill: fg, style: `clip-path: ${inset}` }));
  }
  parts.push(shape(width / 2, { fill: 'none', ...edge, class: 'edge' }));
  return objectElement(object, 'g', {}, parts);
}

function drawRectangle(object, rounded) {
  const box = boxOf(object.props);
  object.box = box;
  const radius = rounded ? Math.min(parseNumber(object.props.diameter, 0) / 2, box.width / 2,
    box.height / 2) : 0;
  return filledShape(object, (inset, attrs) => make('rect', {
    x: fmt(box.x + inset),
    y: fmt(box.y + inset),
    width: fmt(Math.max(0, box.width - 2 * inset)),
    height: fmt(Math.max(0, box.height - 2 * inset)),
    rx: radius > 0 ? fmt(Math.max(0, radius - inset)) : null,
    ...attrs,
  }));
}

function drawEllipse(object) {
  const box = boxOf(object.props);
  object.box = box;
  return filledShape(object, (inset, attrs) => make('ellipse', {
    cx: fmt(box.x + box.width / 2),
    cy: fmt(box.y + box.height / 2),
    rx: fmt(Math.max(0, box.width / 2 - inset)),
    ry: fmt(Math.max(0, box.height / 2 - inset)),
    ...attrs,
  }));
}

function pointsOf(props) {
  const list = Array.isArray(props.points) ? props.points : [];
  const points = [];
  for (const item of list) {
    if (!Array.isArray(item) || item.length < 2) continue;
    const x = parseNumber(item[0], NaN);
    const y = parseNumber(item[1], NaN);
    if (Number.isFinite(x) && Number.isFinite(y)) points.push([x, y]);
  }
  return points;
}

function boxOfPoints(points) {
  if (points.length === 0) return { x: 0, y: 0, width: 0, height: 0 };
  const xs = points.map((p) => p[0]);
  const ys = points.map((p) => p[1]);
  const x = Math.min(...xs);
  const y = Math.min(...ys);
  return { x, y, width: Math.max(...xs) - x, height: Math.max(...ys) - y };
}

function pointList(points) {
  return points.map((p) => `${fmt(p[0])},${fmt(p[1])}`).join(' ');
}

function strokeAttrs(props) {
  const width = lineWidthOf(props);
  return {
    fill: 'none',
    stroke: parseColor(props.lineColor, '#000000'),
    'stroke-width': width === 1 ? null : fmt(width),
    'stroke-dasharray': dashArray(props.lineStyle, width),
  };
}

function drawPolygon(object) {
  const points = pointsOf(object.props);
  object.box = boxOfPoints(points);
  // A polygon's edge runs along its points: it cannot be inset.
  return filledShape(object, (inset, attrs) => make('polygon', {
    points: pointList(points),
    ...attrs,
  }));
}

// Lines of an odd width are centred on the pixels their points name, so
// that a one-pixel line covers exactly one row or column of pixels.
function pixelCentre(props) {
  return Math.round(lineWidthOf(props)) % 2 === 1 ? 0.5 : 0;
}

function drawPolyline(object) {
  const points = pointsOf(object.props);
  object.box = boxOfPoints(points);
  const shift = pixelCentre(object.props);
  return objectElement(object, 'polyline', {
    points: pointList(points.map(([x, y]) => [x + shift, y + shift])),
    'stroke-linejoin': 'round',
    ...strokeAttrs(object.props),
  });
}

function drawLine(object) {
  const props = object.props;
  const x0 = parseNumber(props.x0, 0);
  const y0 = parseNumber(props.y0, 0);
  const x1 = parseNumber(props.x1, 0);
  const y1 = parseNumber(props.y1, 0);
  object.box = boxOfPoints([[x0, y0], [x1, y1]]);
  const shift = pixelCentre(props);
  return objectElement(object, 'line', {
    x1: fmt(x0 + shift), y1: fmt(y0 + shift), x2: fmt(x1 + shift), y2: fmt(y1 + shift),
    ...strokeAttrs(props),
  });
}

// The point of the ellipse in `box` at `degrees`, counted counter-clockwise
// from the positive x axis as seen on the screen.
export function ellipsePoint(box, degrees) {
  const radians = (degrees * Math.PI) / 180;
  return [
    box.x + box.width / 2 + (box.width / 2) * Math.cos(radians),
    box.y + box.height / 2 - (box.height / 2) * Math.sin(radians),
  ];
}

// Path data of an arc of the ellipse in `box` from `start` over `length`
// degrees (positive counter-clockwise, negative clockwise); a pie adds the
// two radii to the centre.
export function arcPath(box, start, length, pie) {
  const cx = box.x + box.width / 2;
  const cy = box.y + box.height / 2;
  const rx = box.width / 2;
  const ry = box.height / 2;
  if (length === 0 || rx <= 0 || ry <= 0) return '';
  const full = Math.abs(length) >= 360;
  const sweep = length > 0 ? 0 : 1;  // counter-clockwise on the screen is SVG's negative sweep
  if (full) {
    const a = ellipsePoint(box, start);
    const b = ellipsePoint(box, start + 180);
    return `M${fmt(a[0])},${fmt(a[1])}` +
      `A${fmt(rx)},${fmt(ry)} 0 1 ${sweep} ${fmt(b[0])},${fmt(b[1])}` +
      `A${fmt(rx)},${fmt(ry)} 0 1 ${sweep} ${fmt(a[0])},${fmt(a[1])}Z`;
  }
  const from = ellipsePoint(box, start);
  const to = ellipsePoint(box, start + length);
  const large = Math.abs(length) > 180 ? 1 : 0;
  const arc = `A${fmt(rx)},${fmt(ry)} 0 ${large} ${sweep} ${fmt(to[0])},${fmt(to[1])}`;
  if (pie) return `M${fmt(cx)},${fmt(cy)}L${fmt(from[0])},${fmt(from[1])}${arc}Z`;
  return `M${fmt(from[0])},${fmt(from[1])}${arc}`;
}

// An arc object with a foreground colour is a pie (a filled slice); one
// without is an open arc drawn with its line.
function drawArc(object) {
  const props = object.props;
  const box = boxOf(props);
  object.box = box;
  const start = parseNumber(props.startAngle, 0);
  const length = parseNumber(props.arcLength, 0);
  if (parseColor(props.fgColor, null) !== null) {
    return filledShape(object, (inset, attrs) => make('path', {
      d: arcPath(box, start, length, true),
      'stroke-linejoin': 'round',
      ...attrs,
    }));
  }
  const shift = pixelCentre(props);
  const centred = { x: box.x + shift, y: box.y + shift, width: box.width, height: box.height };
  return objectElement(object, 'path', {
    d: arcPath(centred, start, length, false),
    ...strokeAttrs(props),
  });
}

// The baseline of a text line whose top is at 0, as a share of its height.
const ASCENT = 0.8;

const FONT_STYLES = {
  plain: { weight: null, style: null },
  bold: { weight: 'bold', style: null },
  italic: { weight: null, style: 'italic' },
  bolditalic: { weight: 'bold', style: 'italic' },
};

// The text a text object shows before data arrives: its own text, else its
// format mask; line ends are not drawn (the writer gives one object per line).
export function initialText(props) {
  let text = typeof props.text === 'string' ? props.text : '';
  if (text === '' && typeof props.format === 'string' && props.format !== '#') text = props.format;
  return text.replace(/[\r\n]/g, '');
}

// A text's colour; black, the SVG default, is left out.
function textFill(value) {
  const colour = parseColor(value, '#000000');
  return colour === '#000000' ? null : colour;
}

function textAttrs(props, size) {
  const style = FONT_STYLES[props.fontStyle] || FONT_STYLES.plain;
  return {
    // Helvetica, the most common font, is the drawing's own font.
    'font-family': props.font === undefined || props.font === 'Helvetica' ? null : fontFamily(props.font),
    'font-size': fmt(size),
    'font-weight': style.weight,
    'font-style': style.style,
    'text-decoration': parseNumber(props.underline, 0) !== 0 ? 'underline' : null,
  };
}

function drawText(object) {
  const props = object.props;
  const x = parseNumber(props.x, 0);
  const y = parseNumber(props.y, 0);
  const size = Math.max(1, parseNumber(props.height, 13));
  const width = parseNumber(props.width, 0);
  const text = initialText(props);
  object.box = { x, y, width: width > 0 ? width : text.length * size * 0.6, height: size };
  let anchorX = x;
  let anchor = 'start';
  // Justification needs a box: without a width the text starts at x.
  if (width > 0 && props.justify === 'center') {
    anchorX = x + width / 2;
    anchor = 'middle';
  } else if (width > 0 && props.justify === 'right') {
    anchorX = x + width;
    anchor = 'end';
  }
  return objectElement(object, 'text', {
    x: fmt(anchorX),
    y: fmt(y + size * ASCENT),
    'text-anchor': anchor === 'start' ? null : anchor,
    fill: textFill(props.textColor),
    ...textAttrs(props, size),
  }, [], text);
}

function drawImage(object) {
  const props = object.props;
  const box = boxOf(props);
  object.box = box;
  const file = typeof props.file === 'string' ? props.file : '';
  const attrs = {
    x: fmt(box.x),
    y: fmt(box.y),
    width: box.width > 0 ? fmt(box.width) : null,
    height: box.height > 0 ? fmt(box.height) : null,
    preserveAspectRatio: 'none',
    href: safeImageName(file) ? file : null,
  };
  return objectElement(object, 'image', attrs);
}

const BUTTON_FACE = '#d4d0c8';

function drawButton(object) {
  const props = object.props;
  const box = boxOf(props);
  object.box = box;
  const disabled = parseNumber(props.disable, 0) !== 0;
  const { x, y, width: w, height: h } = box;
  // A raised button: light upper and left edges, dark lower and right ones.
  const parts = [
    make('rect', { x: fmt(x), y: fmt(y), width: fmt(w), height: fmt(h), fill: BUTTON_FACE }),
    make('polyline', {
      points: `${fmt(x + 0.5)},${fmt(y + h - 1)} ${fmt(x + 0.5)},${fmt(y + 0.5)} ${fmt(x + w - 1)},${fmt(y + 0.5)}`,
      fill: 'none', stroke: '#ffffff',
    }),
    make('polyline', {
      points: `${fmt(x)},${fmt(y + h - 0.5)} ${fmt(x + w - 0.5)},${fmt(y + h - 0.5)} ${fmt(x + w - 0.5)},${fmt(y)}`,
      fill: 'none', stroke: '#404040',
    }),
  ];
  const points = parseNumber(props.fontSize, 0);
  const size = points > 0 ? (points * 4) / 3 : 12;
  parts.push(make('text', {
    x: fmt(x + w / 2),
    y: fmt(y + h / 2 + size * 0.35),
    'text-anchor': 'middle',
    fill: disabled ? '#808080' : parseColor(props.textColor, '#000000'),
    ...textAttrs(props, size),
  }, [], initialText(props)));
  return objectElement(object, 'g', { 'data-disabled': disabled ? '1' : null }, parts);
}

// Columns of an alarm table: [{name, chars}] in the order the table shows
// them. Without an order every column of non-zero width is shown.
export function alarmColumns(props) {
  const columns = [];
  if (Array.isArray(props.columns)) {
    for (const column of props.columns) {
      if (Array.isArray(column) && column.length >= 2 && typeof column[0] === 'string') {
        columns.push({ name: column[0], chars: Math.max(0, parseNumber(column[1], 0)) });
      }
    }
  }
  let indexes;
  if (Array.isArray(props.order)) {
    indexes = props.order.map((value) => parseNumber(value, -1));
  } else {
    indexes = columns.map((column, index) => index);
  }
  const shown = [];
  for (const index of indexes) {
    const column = columns[index];
    if (column && column.chars > 0 && !shown.includes(column)) shown.push(column);
  }
  return shown;
}

const TABLE_FONT = 11;

function drawAlarmDisplay(object) {
  const props = object.props;
  const box = boxOf(props);
  object.box = box;
  const { x, y, width: w, height: h } = box;
  const background = parseColor(props.bgColor, '#000000');
  const header = parseColor(props.headerColor, background);
  const textColor = parseColor(props.textColor, '#ffffff');
  const headingColor = parseColor(props.fgColor, textColor);
  const rows = Math.max(1, Math.round(parseNumber(props.lines, 10)));
  const headerHeight = Math.min(h, TABLE_FONT + 6);
  const parts = [
    make('rect', { x: fmt(x), y: fmt(y), width: fmt(w), height: fmt(h), fill: background }),
    make('rect', { x: fmt(x), y: fmt(y), width: fmt(w), height: fmt(headerHeight), fill: header }),
  ];
  const columns = alarmColumns(props);
  const total = columns.reduce((sum, column) => sum + column.chars, 0);
  let left = x;
  const headings = [];
  columns.forEach((column, index) => {
    const columnWidth = total > 0 ? (w * column.chars) / total : 0;
    // Each heading is clipped to its column by a nested viewport.
    headings.push(make('svg', {
      x: fmt(left), y: fmt(y), width: fmt(Math.max(0, columnWidth - 1)),
      height: fmt(headerHeight), overflow: 'hidden',
    }, [make('text', {
      x: '3',
      y: fmt(headerHeight - 4),
      fill: headingColor,
      'font-size': fmt(TABLE_FONT),
      'font-weight': 'bold',
      class: 'heading',
    }, [], column.name)]));
    if (index > 0) {
      headings.push(make('line', {
        x1: fmt(left + 0.5), y1: fmt(y), x2: fmt(left + 0.5), y2: fmt(y + h),
        stroke: headingColor, 'stroke-opacity': '0.4',
      }));
    }
    left += columnWidth;
  });
  parts.push(make('g', { class: 'headings' }, headings));
  // The rows: empty until alarms arrive, divided by faint lines.
  const rowHeight = (h - headerHeight) / rows;
  let rowLines = '';
  for (let r = 1; r < rows; r += 1) {
    rowLines += `M${fmt(x)},${fmt(y + headerHeight + r * rowHeight)}H${fmt(x + w)}`;
  }
  parts.push(make('g', { class: 'rows', 'data-rows': rows, fill: textColor }, rowLines === '' ? [] : [
    make('path', { d: rowLines, stroke: textColor, 'stroke-opacity': '0.15' }),
  ]));
  parts.push(make('rect', {
    x: fmt(x + 0.5), y: fmt(y + 0.5), width: fmt(Math.max(0, w - 1)),
    height: fmt(Math.max(0, h - 1)), fill: 'none', stroke: headingColor,
  }));
  return objectElement(object, 'g', {}, parts);
}

// The pens of a chart: [{color, width}].
export function chartPens(props) {
  const pens = [];
  if (Array.isArray(props.pens)) {
    for (const pen of props.pens) {
      if (!Array.isArray(pen) || pen.length < 1) continue;
      pens.push({
        color: parseColor(pen[0], '#000000'),
        width: Math.max(1, parseNumber(pen[1], 1)),
      });
    }
  }
  return pens;
}

function valueLabel(value) {
  return String(Math.round(value * 100) / 100);
}

function timeLabel(seconds) {
  const sign = seconds < 0 ? '-' : '';
  const total = Math.round(Math.abs(seconds));
  const minutes = Math.floor(total / 60);
  const rest = String(total % 60).padStart(2, '0');
  return `${sign}${minutes}:${rest}`;
}

const CHART_FONT = 10;

// The plot area of a chart inside its box: room on the left for the value
// labels, below for the time labels, above for the pens' key.
export function chartPlotArea(props) {
  const box = boxOf(props);
  const valueLabels = props.labelHoriz !== 'none';
  const timeLabels = props.labelVert !== 'none';
  const left = box.x + (valueLabels ? 44 : 6);
  const top = box.y + 16;
  const right = box.x + box.width - 10;
  const bottom = box.y + box.height - (timeLabels ? 18 : 6);
  return {
    x: left,
    y: top,
    width: Math.max(0, right - left),
    height: Math.max(0, bottom - top),
  };
}

function drawRealTime(object) {
  const props = object.props;
  const box = boxOf(props);
  object.box = box;
  const fg = parseColor(props.fgColor, '#000000');
  const bg = parseColor(props.bgColor, '#ffffff');
  const plot = chartPlotArea(props);
  const minValue = parseNumber(props.minValue, 0);
  const maxValue = parseNumber(props.maxValue, 100);
  const span = parseNumber(props.span, 60);
  const valueDivs = Math.max(1, Math.round(parseNumber(props.majorValueDivs, 4)));
  const timeDivs = Math.max(1, Math.round(parseNumber(props.majorTimeDivs, 4)));
  const valuesPerLabel = Math.max(1, Math.round(parseNumber(props.valueDivsPerLabel, 1)));
  const timesPerLabel = Math.max(1, Math.round(parseNumber(props.timeDivsPerLabel, 1)));
  const colors = {
    majorValue: parseColor(props.majorValueDivColor, '#c0c0c0'),
    minorValue: parseColor(props.minorValueDivColor, '#e0e0e0'),
    majorTime: parseColor(props.majorTimeDivColor, '#c0c0c0'),
    minorTime: parseColor(props.minorTimeDivColor, '#e0e0e0'),
    valueLabel: parseColor(props.valueLabelColor, fg),
    timeLabel: parseColor(props.timeLabelColor, fg),
  };
  const parts = [make('rect', {
    x: fmt(box.x + 0.5), y: fmt(box.y + 0.5), width: fmt(Math.max(0, box.width - 1)),
    height: fmt(Math.max(0, box.height - 1)), fill: bg, stroke: fg,
    class: 'frame',
  })];
  // The grid: one path per kind of division, each line a segment of it.
  const grid = { majorValue: '', minorValue: '', majorTime: '', minorTime: '' };
  const labels = [];
  const horizontal = (y) => `M${fmt(plot.x)},${fmt(y)}H${fmt(plot.x + plot.width)}`;
  const vertical = (x) => `M${fmt(x)},${fmt(plot.y)}V${fmt(plot.y + plot.height)}`;
  // Value divisions: horizontal lines, a minor one half-way between majors.
  for (let d = 0; d <= valueDivs; d += 1) {
    const lineY = Math.round(plot.y + plot.height - (plot.height * d) / valueDivs) + 0.5;
    if (d > 0 && d < valueDivs) grid.majorValue += horizontal(lineY);
    if (d < valueDivs) {
      grid.minorValue += horizontal(
        Math.round(plot.y + plot.height - (plot.height * (d + 0.5)) / valueDivs) + 0.5);
    }
    if (props.labelHoriz !== 'none' && d % valuesPerLabel === 0) {
      labels.push(make('text', {
        x: fmt(plot.x - 4), y: fmt(lineY + CHART_FONT * 0.35), 'text-anchor': 'end',
        fill: colors.valueLabel,
      }, [], valueLabel(minValue + ((maxValue - minValue) * d) / valueDivs)));
    }
  }
  // Time divisions: vertical lines, from `span` seconds ago to now.
  for (let d = 0; d <= timeDivs; d += 1) {
    const lineX = Math.round(plot.x + (plot.width * d) / timeDivs) + 0.5;
    if (d > 0 && d < timeDivs) grid.majorTime += vertical(lineX);
    if (d < timeDivs) {
      grid.minorTime += vertical(Math.round(plot.x + (plot.width * (d + 0.5)) / timeDivs) + 0.5);
    }
    if (props.labelVert !== 'none' && d % timesPerLabel === 0) {
      labels.push(make('text', {
        x: fmt(lineX), y: fmt(plot.y + plot.height + 4 + CHART_FONT * 0.8),
        'text-anchor': d === 0 ? 'start' : d === timeDivs ? 'end' : 'middle',
        fill: colors.timeLabel,
      }, [], timeLabel(-span + (span * d) / timeDivs)));
    }
  }
  const gridPaths = [];
  for (const kind of ['minorValue', 'minorTime', 'majorValue', 'majorTime']) {
    if (grid[kind] === '') continue;
    gridPaths.push(make('path', {
      d: grid[kind], fill: 'none', stroke: colors[kind],
      'stroke-dasharray': kind.startsWith('minor') ? '1 3' : null, 'data-division': kind,
    }));
  }
  parts.push(make('g', { class: 'grid' }, gridPaths));
  parts.push(make('rect', {
    x: fmt(plot.x + 0.5), y: fmt(plot.y + 0.5), width: fmt(Math.max(0, plot.width - 1)),
    height: fmt(Math.max(0, plot.height - 1)), fill: 'none', stroke: fg,
    class: 'axes',
  }));
  parts.push(make('g', {
    class: 'labels', 'font-size': fmt(CHART_FONT),
  }, labels));
  // The pens: a key above the plot, one short line per pen in its colour
  // and width, and each pen's trace, empty until values arrive.
  const pens = chartPens(props);
  const key = [];
  const traces = [];
  pens.forEach((pen, index) => {
    const keyX = plot.x + index * 30;
    // Odd widths sit on the pixel centre, so that the key line is crisp.
    const keyY = box.y + 8 + (Math.round(pen.width) % 2 === 1 ? 0.5 : 0);
    key.push(make('line', {
      x1: fmt(keyX), y1: fmt(keyY), x2: fmt(keyX + 22), y2: fmt(keyY),
      stroke: pen.color, 'stroke-width': fmt(pen.width), 'data-pen': index,
    }));
    traces.push(make('polyline', {
      points: '', fill: 'none', stroke: pen.color, 'stroke-width': fmt(pen.width),
      'data-pen': index, 'stroke-linejoin': 'round',
    }));
  });
  parts.push(make('g', { class: 'pen-key' }, key));
  parts.push(make('g', { class: 'pens' }, traces));
  return objectElement(object, 'g', {}, parts);
}

function drawSymbol(object) {
  const children = [];
  for (const child of object.children) {
    const node = drawObject(child);
    if (node) children.push(node);
  }
  return objectElement(object, 'g', {}, children);
}

const DRAWERS = {
  TAVRectangle: (object) => drawRectangle(object, false),
  TAVRoundRect: (object) => drawRectangle(object, true),
  TAVEllipse: drawEllipse,
  TAVLine: drawLine,
  TAVPolyline: drawPolyline,
  TAVPolygon: drawPolygon,
  TAVArc: drawArc,
  TAVText: drawText,
  TAVImage: drawImage,
  TAVSymbol: drawSymbol,
  TAVButton: drawButton,
  TAVAlarmDisplay: drawAlarmDisplay,
  TAVRealTime: drawRealTime,
};

// The element description of one object (with its members for a symbol),
// or null for a class that draws nothing.
export function renderObject(object, maker) {
  return withMaker(maker, () => drawObject(object));
}

function drawObject(object) {
  const draw = DRAWERS[object.className];
  return draw ? draw(object) : null;
}

// The whole drawing: an SVG element of the page's size and background
// colour holding one element per drawn object.
export function renderPage(page, maker) {
  return withMaker(maker, () => drawPage(page));
}

function drawPage(page) {
  const children = [
    // Blanks of texts are kept as the page gives them. One rule for all texts
    // rather than a style per element, which the browser would match one by
    // one.
    make('style', {}, [], 'text { white-space: pre; }'),
    make('rect', {
      x: '0', y: '0', width: fmt(page.width), height: fmt(page.height), fill: page.bgColor,
      class: 'page-background',
    }),
  ];
  for (const object of page.objects) {
    const node = drawObject(object);
    if (node) children.push(node);
  }
  return make('svg', {
    xmlns: SVG_NS,
    width: fmt(page.width),
    height: fmt(page.height),
    viewBox: `0 0 ${fmt(page.width)} ${fmt(page.height)}`,
    class: 'quillon-page',
    'font-family': FONT_FAMILIES.Helvetica,
  }, children);
}

// ---------------------------------------------------------------------------
// The page in a browser document
// ---------------------------------------------------------------------------

// Draws `page` into `container` and returns the view:
//   view.page                   the parsed page (objects, animations, links)
//   view.svg                    the SVG element
//   view.element(path)          the element of an object, by dotted path
//   view.setProperty(path, property, value)
//                               changes one property of a drawn object (the
//                               value as the JDF file writes it, for example
//                               "0xff0000" or "65") and redraws that object;
//                               false when there is no such object
export function createView(page, container, doc) {
  const maker = domMaker(doc);
  const svg = renderPage(page, maker);
  // Each path's element, found when first asked for (the first frame does
  // not wait for it); when two objects share a path, the first drawn, as
  // page.byPath keeps the first object.
  let elements = null;
  const keep = (element) => {
    const path = element.getAttribute('data-object');
    const known = elements.get(path);
    if (!known || !known.isConnected) elements.set(path, element);
  };
  const index = (root) => {
    if (root.hasAttribute('data-object')) keep(root);
    for (const found of root.querySelectorAll('[data-object]')) keep(found);
  };
  const lookUp = (path) => {
    if (elements === null) {
      elements = new Map();
      index(svg);
    }
    return elements.get(path) || null;
  };
  container.appendChild(svg);
  const find = (path) => {
    const object = page.byPath.get(path);
    return object && DRAWN.has(object.className) ? object : null;
  };
  return {
    page,
    svg,
    element: lookUp,
    setProperty(path, property, value) {
      const object = find(path);
      const old = object ? lookUp(path) : null;
      if (!object || !old) return false;
      object.props[property] = Array.isArray(value) ? value : String(value);
      const fresh = renderObject(object, maker);
      old.replaceWith(fresh);
      elements.set(path, fresh);
      index(fresh);
      return true;
    },
  };
}

// Shows the page description embedded in the document (a JSON string in the
// element #quillon-jdf) in the element #quillon-page, or what is wrong with
// it. Returns the view, or null after showing the error.
export function bootPage(doc) {
  const start = typeof performance !== 'undefined' ? performance.now() : 0;
  const container = doc.getElementById('quillon-page');
  const source = doc.getElementById('quillon-jdf');
  let page;
  let parsedAt = start;
  try {
    const text = JSON.parse(source ? source.textContent : '""');
    page = parseJdf(text);
    parsedAt = typeof performance !== 'undefined' ? performance.now() : 0;
  } catch (error) {
    const box = doc.createElement('p');
    box.className = 'quillon-error';
    box.setAttribute('role', 'alert');
    const what = error instanceof JdfError ? error.message : `cannot be read (${error.message})`;
    box.textContent = `This page description cannot be shown: ${what}`;
    container.appendChild(box);
    doc.title = `${doc.title} (error)`;
    return null;
  }
  const view = createView(page, container, doc);
  // How long the first frame took, for measurements: parsing, building the
  // drawing, and (once the browser has drawn it) the time since the page
  // began to load.
  if (typeof performance !== 'undefined') {
    const drawnAt = performance.now();
    view.timing = {
      startedAt: start, parseMs: parsedAt - start, renderMs: drawnAt - parsedAt, firstFrameMs: drawnAt - start,
    };
    if (typeof requestAnimationFrame !== 'undefined') {
      requestAnimationFrame(() => setTimeout(() => {
        view.timing.paintedSinceLoadMs = performance.now();
      }, 0));
    }
  }
  if (typeof window !== 'undefined') window.quillonView = view;
  return view;
}
