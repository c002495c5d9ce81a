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

// Sets a property of an object's properties: a property named __proto__ is
// an own property like any other, never the object's prototype.
function setProperty(props, name, value) {
  if (name === '__proto__') {
    Object.defineProperty(props, name, { value, writable: true, enumerable: true, configurable: true });
  } else {
    props[name] = value;
  }
}

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
    setProperty(into, name, tokens.type === ')' ? '' : readValue(tokens));
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
    // A plain object, which the engine keeps compact and fast to read (one
    // without a prototype is a hash table); readProperties() stores a
    // property named __proto__ as an own property, and the viewer reads
    // only the names it knows.
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

// The entry `key` of one of the viewer's own tables, or undefined: names
// from the page such as "constructor" never reach the tables' prototypes.
function own(table, key) {
  return typeof key === 'string' && Object.prototype.hasOwnProperty.call(table, key)
    ? table[key] : undefined;
}

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

// Font families for the font names the writer emits. The pages name the
// fonts of the HMI's platform, which a Linux machine does not have: each
// name maps to the installed face of the same metrics first (Liberation),
// then the platform's own names, then the generic family, so that the
// browser finds the face at its first try instead of searching its
// fallbacks for each name and style. Dialog is drawn as Helvetica: one face
// fewer, and texts in either inherit the drawing's font.
export const FONT_FAMILIES = {
  Helvetica: '"Liberation Sans", Arial, Helvetica, sans-serif',
  TimesRoman: '"Liberation Serif", "Times New Roman", Times, serif',
  Courier: '"Liberation Mono", "Courier New", Courier, monospace',
  Dialog: '"Liberation Sans", Arial, Helvetica, sans-serif',
};

export function fontFamily(name) {
  return own(FONT_FAMILIES, name) || FONT_FAMILIES.Helvetica;
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
  const pattern = own(DASH_PATTERNS, style);
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
  // Objects without a box of their own (groups, lines, polygons) move when
  // the network gives them an x or y: the left or top of their box goes
  // there.
  if (MOVED_BY_OFFSET.has(object.className) && object.box
      && (props.x !== undefined || props.y !== undefined)) {
    const dx = parseNumber(props.x, object.box.x) - object.box.x;
    const dy = parseNumber(props.y, object.box.y) - object.box.y;
    if (dx !== 0 || dy !== 0) {
      attrs.transform = `translate(${fmt(dx)} ${fmt(dy)})${attrs.transform ? ` ${attrs.transform}` : ''}`;
    }
  }
  return attrs;
}

const MOVED_BY_OFFSET = new Set(['TAVSymbol', 'TAVLine', 'TAVPolyline', 'TAVPolygon']);

function boxOf(props) {
  return {
    x: parseNumber(props.x, 0),
    y: parseNumber(props.y, 0),
    width: Math.max(0, parseNumber(props.width, 0)),
    height: Math.max(0, parseNumber(props.height, 0)),
  };
}

// How much of a shape's bounding box its fill percentage leaves empty on
// each side, in percent; null when the fill covers it all.
function fillMargins(props) {
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
  return { top, right, bottom, left };
}

// The part of a shape that its fill colour covers, as a CSS inset of its
// bounding box; null when the fill covers it all.
export function fillInset(props) {
  const m = fillMargins(props);
  return m === null ? null : `inset(${fmt(m.top)}% ${fmt(m.right)}% ${fmt(m.bottom)}% ${fmt(m.left)}%)`;
}

// The box of a rectangle's filled part: a plain rectangle, which the browser
// draws more cheaply than a clipped one. With a solid edge the part lies
// inside the edge (the edge is drawn first, on the unfilled colour).
function filledBox(box, props) {
  const m = fillMargins(props) || { top: 0, right: 0, bottom: 0, left: 0 };
  const within = dashArray(props.lineStyle, 1) === null ? lineWidthOf(props) : 0;
  const x = Math.max(box.x + within, box.x + (box.width * m.left) / 100);
  const y = Math.max(box.y + within, box.y + (box.height * m.top) / 100);
  const right = Math.min(box.x + box.width - within, box.x + box.width - (box.width * m.right) / 100);
  const bottom = Math.min(box.y + box.height - within, box.y + box.height - (box.height * m.bottom) / 100);
  return {
    x: fmt(x),
    y: fmt(y),
    width: fmt(Math.max(0, right - x)),
    height: fmt(Math.max(0, bottom - y)),
  };
}

// A filled shape. Filled all over, it is one element: the shape inset by
// half its edge width, filled with the foreground colour and stroked with
// the edge, which together cover the shape's box. A fill percentage makes it
// a group: the unfilled part in the background colour, the filled part
// (class "fill") in the foreground colour clipped to the fill, and the
// edge; a rectangle with a solid edge is a group of two: its edge filled
// with the background colour, and the filled part inside the edge.
// `shape(inset, attrs)` gives the element for an edge inset by `inset`;
// `part()`, when given, the filled part's element without a clip.
function filledShape(object, shape, part) {
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
  if (part && edge['stroke-dasharray'] === null) {
    // A rectangle with a solid edge: the edge on the unfilled colour, and
    // the filled part inside the edge; one element fewer.
    parts.push(shape(width / 2, { fill: bg || 'none', ...edge, class: 'edge' }));
    if (fg !== null) parts.push(part({ fill: fg, class: 'fill' }));
    return objectElement(object, 'g', {}, parts);
  }
  if (bg !== null) parts.push(shape(0, { fill: bg }));
  if (fg !== null) {
    parts.push(part ? part({ fill: fg, class: 'fill' }) : shape(0, { fill: fg, class: 'fill', style: `clip-path: ${inset}` }));
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
  }), radius > 0 ? null : (attrs) => make('rect', { ...filledBox(box, object.props), ...attrs }));
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
  // A loop rather than Math.min(...points): a list of any length fits.
  let [left, top] = points[0];
  let right = left;
  let bottom = top;
  for (const [x, y] of points) {
    if (x < left) left = x;
    if (x > right) right = x;
    if (y < top) top = y;
    if (y > bottom) bottom = y;
  }
  return { x: left, y: top, width: right - left, height: bottom - top };
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
  const style = own(FONT_STYLES, props.fontStyle) || FONT_STYLES.plain;
  const family = props.font === undefined ? FONT_FAMILIES.Helvetica : fontFamily(props.font);
  return {
    // Helvetica, the most common font, is the drawing's own font: texts in
    // it inherit it.
    'font-family': family === FONT_FAMILIES.Helvetica ? null : family,
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
  // A raised button: light upper and left edges, dark lower and right ones
  // (drawn as polylines: a stroked face or a dashed edge would change the
  // antialiased corners).
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

// The geometry of an alarm table: its box, heading row and rows.
function alarmLayout(props) {
  const box = boxOf(props);
  const rows = Math.max(1, Math.round(parseNumber(props.lines, 10)));
  const headerHeight = Math.min(box.height, TABLE_FONT + 6);
  return { box, rows, headerHeight, rowHeight: (box.height - headerHeight) / rows };
}

// The attributes of alarm row `r` (from 0, the newest first).
function alarmRowAttrs(props, layout, r) {
  return {
    x: fmt(layout.box.x + 3),
    y: fmt(layout.box.y + layout.headerHeight + (r + 1) * layout.rowHeight - 3),
    fill: parseColor(props.textColor, '#ffffff'),
    class: 'alarm',
  };
}

// A table in few elements: the body with its frame, the heading row, the
// headings (each in a viewport that cuts it at its column's edge only when
// it may be too long for it), the column lines and the row lines as one
// path each, and a text per alarm.
function drawAlarmDisplay(object) {
  const props = object.props;
  const layout = alarmLayout(props);
  const { box, rows, headerHeight, rowHeight } = layout;
  object.box = box;
  const { x, y, width: w, height: h } = box;
  const background = parseColor(props.bgColor, '#000000');
  const header = parseColor(props.headerColor, background);
  const textColor = parseColor(props.textColor, '#ffffff');
  const headingColor = parseColor(props.fgColor, textColor);
  // The frame lies on the outermost pixels; everything else inside it.
  const parts = [
    make('rect', {
      x: fmt(x + 0.5), y: fmt(y + 0.5), width: fmt(Math.max(0, w - 1)),
      height: fmt(Math.max(0, h - 1)), fill: background, stroke: headingColor,
    }),
    make('rect', {
      x: fmt(x + 1), y: fmt(y + 1), width: fmt(Math.max(0, w - 2)),
      height: fmt(Math.max(0, headerHeight - 1)), fill: header,
    }),
  ];
  const columns = alarmColumns(props);
  const total = columns.reduce((sum, column) => sum + column.chars, 0);
  let left = x;
  let columnLines = '';
  columns.forEach((column, index) => {
    const columnWidth = total > 0 ? (w * column.chars) / total : 0;
    const heading = {
      x: fmt(left + 3), y: fmt(y + headerHeight - 4), fill: headingColor, 'font-weight': 'bold',
      class: 'heading',
    };
    // No glyph of the font is wider than its size: a heading within that
    // bound fits its column and needs no viewport.
    if (column.name.length * TABLE_FONT <= columnWidth - 4) {
      parts.push(make('text', heading, [], column.name));
    } else {
      parts.push(make('svg', {
        x: fmt(left), y: fmt(y), width: fmt(Math.max(0, columnWidth - 1)),
        height: fmt(headerHeight), overflow: 'hidden',
      }, [make('text', { ...heading, x: '3', y: fmt(headerHeight - 4) }, [], column.name)]));
    }
    if (index > 0) columnLines += `M${fmt(left + 0.5)},${fmt(y + 1)}V${fmt(y + h - 1)}`;
    left += columnWidth;
  });
  if (columnLines !== '') {
    parts.push(make('path', {
      d: columnLines, fill: 'none', stroke: headingColor, 'stroke-opacity': '0.4', class: 'columns',
    }));
  }
  // The rows: empty until alarms arrive, divided by faint lines.
  let rowLines = '';
  for (let r = 1; r < rows; r += 1) {
    rowLines += `M${fmt(x + 1)},${fmt(y + headerHeight + r * rowHeight)}H${fmt(x + w - 1)}`;
  }
  parts.push(make('path', {
    d: rowLines, fill: 'none', stroke: textColor, 'stroke-opacity': '0.15', class: 'rows', 'data-rows': rows,
  }));
  // Alarms from the network, the newest first, one per row.
  (object.alarmRows || []).forEach((text, r) => {
    parts.push(make('text', alarmRowAttrs(props, layout, r), [], text));
  });
  return objectElement(object, 'g', { 'font-size': fmt(TABLE_FONT) }, parts);
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

// The key line of pen `index` above a chart's plot, as path data.
function penKey(box, plot, pen, index) {
  const keyX = plot.x + index * 30;
  // Odd widths sit on the pixel centre, so that the key line is crisp.
  const keyY = box.y + 8 + (Math.round(pen.width) % 2 === 1 ? 0.5 : 0);
  return `M${fmt(keyX)},${fmt(keyY)}H${fmt(keyX + 22)}`;
}

// The path data of a pen: its key line, then its trace through `points`
// (as tracePoints() gives them; none before values arrive).
export function penPath(props, index, points) {
  const pens = chartPens(props);
  const pen = pens[index] || { width: 1 };
  const key = penKey(boxOf(props), chartPlotArea(props), pen, index);
  return points ? `${key}M${points}` : key;
}

// A chart in few elements: the frame, the plot's axes, one path per kind
// of division, the labels, and one path per pen (its key and
// its trace).
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
  // The frame on the chart's background, and the axes around the plot: the
  // grid lies between the axes, so that they are drawn first without being
  // covered. (Rectangles, not one path of both: a path's corners are drawn
  // differently.)
  const parts = [make('rect', {
    x: fmt(box.x + 0.5), y: fmt(box.y + 0.5), width: fmt(Math.max(0, box.width - 1)),
    height: fmt(Math.max(0, box.height - 1)), fill: bg, stroke: fg,
    class: 'frame',
  }), make('rect', {
    x: fmt(plot.x + 0.5), y: fmt(plot.y + 0.5), width: fmt(Math.max(0, plot.width - 1)),
    height: fmt(Math.max(0, plot.height - 1)), fill: 'none', stroke: fg,
    class: 'axes',
  })];
  // The grid: one path per kind of division, each line a segment of it,
  // from the pixel after the axis to the pixel before the other.
  const grid = { majorValue: '', minorValue: '', majorTime: '', minorTime: '' };
  const labels = [];
  const horizontal = (y) => `M${fmt(plot.x + 1)},${fmt(y)}H${fmt(plot.x + plot.width - 1)}`;
  const vertical = (x) => `M${fmt(x)},${fmt(plot.y + 1)}V${fmt(plot.y + plot.height - 1)}`;
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
  for (const kind of ['minorValue', 'minorTime', 'majorValue', 'majorTime']) {
    if (grid[kind] === '') continue;
    const minor = kind.startsWith('minor');
    // A dotted line's pattern starts where the axis is, one pixel before
    // the segment.
    parts.push(make('path', {
      d: grid[kind], fill: 'none', stroke: colors[kind],
      'stroke-dasharray': minor ? '1 3' : null, 'stroke-dashoffset': minor ? '1' : null,
      'data-division': kind,
    }));
  }
  for (const label of labels) parts.push(label);
  // The pens: one path each, a key line above the plot in the pen's colour
  // and width and the pen's trace, empty until values arrive.
  chartPens(props).forEach((pen, index) => {
    parts.push(make('path', {
      d: penKey(box, plot, pen, index), fill: 'none', stroke: pen.color,
      'stroke-width': fmt(pen.width), 'stroke-linejoin': 'round', class: 'pen', 'data-pen': index,
    }));
  });
  return objectElement(object, 'g', { 'font-size': fmt(CHART_FONT) }, parts);
}

function drawSymbol(object) {
  const children = [];
  let box = null;
  for (const child of object.children) {
    const node = drawObject(child);
    if (node) children.push(node);
    if (node && child.box) {
      const b = child.box;
      if (!box) {
        box = { ...b };
      } else {
        const right = Math.max(box.x + box.width, b.x + b.width);
        const bottom = Math.max(box.y + box.height, b.y + b.height);
        box.x = Math.min(box.x, b.x);
        box.y = Math.min(box.y, b.y);
        box.width = right - box.x;
        box.height = bottom - box.y;
      }
    }
  }
  // The group's box is that of its members as the description places them,
  // so that an x or y from the network moves the whole group.
  if (!object.box) object.box = box;
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
  const draw = own(DRAWERS, object.className);
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
    // Values of bad quality are shown greyed and faded.
    make('filter', { id: 'quillon-bad' }, [
      make('feColorMatrix', { type: 'saturate', values: '0' }),
      make('feComponentTransfer', {}, [make('feFuncA', { type: 'linear', slope: '0.5' })]),
    ]),
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
  // Each path's element, noted as the drawing makes it; when two objects
  // share a path, the first drawn, as page.byPath keeps the first object.
  const elements = new Map();
  const svg = renderPage(page, (tag, attrs, children, text) => {
    const element = maker(tag, attrs, children, text);
    const path = attrs ? attrs['data-object'] : undefined;
    if (path !== undefined && !elements.has(path)) elements.set(path, element);
    return element;
  });
  // An object drawn anew: its elements replace those no longer in the page.
  const keep = (element) => {
    const path = element.getAttribute('data-object');
    const known = elements.get(path);
    if (!known || !known.isConnected) elements.set(path, element);
  };
  const index = (root) => {
    if (root.hasAttribute('data-object')) keep(root);
    for (const found of root.querySelectorAll('[data-object]')) keep(found);
  };
  const lookUp = (path) => elements.get(path) || null;
  container.appendChild(svg);
  // The paths whose elements show a value of bad quality.
  const badPaths = new Set();
  const find = (path) => {
    const object = page.byPath.get(path);
    return object && DRAWN.has(object.className) ? object : null;
  };
  return {
    page,
    svg,
    element: lookUp,
    describe: (object) => renderObject(object, el),
    setProperty(path, property, value) {
      const object = find(path);
      const old = object ? lookUp(path) : null;
      if (!object || !old) return false;
      setProperty(object.props, property, Array.isArray(value) ? value : String(value));
      const fresh = renderObject(object, maker);
      old.replaceWith(fresh);
      elements.set(path, fresh);
      index(fresh);
      return true;
    },
    // Several properties of one object, redrawn once; its quality kept.
    // When the new drawing has the elements of the old one (a colour, a
    // position, a text changed), the old elements take its attributes and
    // texts, which costs the browser far less than new elements.
    setProperties(path, properties) {
      const object = find(path);
      const old = object ? lookUp(path) : null;
      if (!object || !old) return false;
      for (const property in properties) {
        const value = properties[property];
        setProperty(object.props, property, Array.isArray(value) ? value : String(value));
      }
      if (directUpdate(object, old, properties)) return true;
      if (object.className === 'TAVAlarmDisplay' && alarmRowsInPlace(object, old, properties, maker)) return true;
      const description = renderObject(object, el);
      if (sameElements(old, description)) {
        patchElements(old, description, true);
        return true;
      }
      const fresh = renderObject(object, maker);
      const quality = old.getAttribute('data-quality');
      if (quality) {
        fresh.setAttribute('data-quality', quality);
        fresh.setAttribute('filter', 'url(#quillon-bad)');
      }
      old.replaceWith(fresh);
      elements.set(path, fresh);
      index(fresh);
      return true;
    },
    // Shows an object whose value is of bad quality greyed.
    setQuality(path, quality) {
      // Most values are good and were good: nothing to look up.
      if (quality !== 'bad' && !badPaths.has(path)) return find(path) !== null;
      const element = find(path) ? lookUp(path) : null;
      if (!element) return false;
      if (quality === 'bad') {
        badPaths.add(path);
        element.setAttribute('data-quality', 'bad');
        element.setAttribute('filter', 'url(#quillon-bad)');
      } else {
        badPaths.delete(path);
        element.removeAttribute('data-quality');
        element.removeAttribute('filter');
      }
      return true;
    },
  };
}

const ONE_ELEMENT_FILLED = new Set(['TAVRectangle', 'TAVRoundRect', 'TAVEllipse', 'TAVPolygon']);
const ONE_ELEMENT_LINES = new Set(['TAVLine', 'TAVPolyline']);
const ONE_ELEMENT_BOXES = new Set(['TAVRectangle', 'TAVRoundRect', 'TAVEllipse']);

// The most frequent changes written straight onto the element, as drawing
// the object again would write them: the text of a text, the fill colour of
// a shape drawn as one element, the colour of a line, the visibility, the
// position of a box or of a moved group, line or polygon, the fill level of
// a partly filled shape. False (nothing done) for any other change.
function directUpdate(object, element, properties) {
  // No property named: the object is to be drawn again (alarm rows, pens).
  let any = false;
  const cls = object.className;
  const single = element.localName !== 'g';
  const props = object.props;
  const rotated = parseNumber(props.rotateAngle, 0) !== 0;
  let fillPart = null;
  for (const property in properties) {
    any = true;
    if (property === 'visibility') continue;
    if (property === 'text' && cls === 'TAVText' && !rotated) continue;
    if (property === 'fgColor' && single && ONE_ELEMENT_FILLED.has(cls)) continue;
    // A pie stays a pie while it has a colour (without one it is an arc).
    if (property === 'fgColor' && single && cls === 'TAVArc' && element.getAttribute('fill') !== null
        && element.getAttribute('fill') !== 'none' && parseColor(props.fgColor, null) !== null) continue;
    if (property === 'lineColor' && single && ONE_ELEMENT_LINES.has(cls)) continue;
    if (property === 'textColor' && cls === 'TAVText') continue;
    if (property === 'x' || property === 'y') {
      if (single && ONE_ELEMENT_BOXES.has(cls)) continue;
      if (!rotated && object.box && MOVED_BY_OFFSET.has(cls)) continue;
      // A partly filled rectangle that stays partly filled: its parts move.
      if (!single && cls === 'TAVRectangle' && fillInset(props) !== null) continue;
      return false;
    }
    if (FILL_LEVEL.has(property) && !single && (ONE_ELEMENT_FILLED.has(cls) || cls === 'TAVArc')) {
      // A fill level that stays partial: only the clip of the filled part
      // changes. Filled all over or not at all, the drawing changes shape.
      if (fillPart === null) fillPart = filledPartOf(element);
      if (fillPart && fillInset(props) !== null) continue;
    }
    return false;
  }
  if (!any) return false;
  let moved = false;
  let turned = false;
  for (const property in properties) {
    if (property === 'visibility') {
      if (props.visibility !== undefined && parseNumber(props.visibility, 1) === 0) {
        element.setAttribute('display', 'none');
      } else {
        element.removeAttribute('display');
      }
    } else if (property === 'text') {
      setText(element, initialText(props));
    } else if (property === 'textColor') {
      const fill = textFill(props.textColor);
      if (fill === null) element.removeAttribute('fill'); else element.setAttribute('fill', fill);
    } else if ((property === 'x' || property === 'y') && MOVED_BY_OFFSET.has(cls)) {
      moved = true;
    } else if (property === 'x' || property === 'y') {
      // The box moves; its size and edge stay; a rotation turns about the
      // moved centre.
      const box = boxOf(props);
      object.box = box;
      turned = rotated;
      if (cls === 'TAVEllipse') {
        if (property === 'x') element.setAttribute('cx', fmt(box.x + box.width / 2));
        else element.setAttribute('cy', fmt(box.y + box.height / 2));
      } else if (!single) {
        // The parts of a partly filled rectangle: the unfilled part on the
        // box, the edge inset by half its width, the filled part.
        const inset = lineWidthOf(props) / 2;
        for (const child of element.children) {
          const part = child.getAttribute('class');
          if (part === 'fill') {
            const fill = filledBox(box, props);
            for (const key in fill) {
              if (child.getAttribute(key) !== fill[key]) child.setAttribute(key, fill[key]);
            }
          } else {
            child.setAttribute(property, fmt(box[property] + (part === 'edge' ? inset : 0)));
          }
        }
      } else {
        const inset = lineWidthOf(props) / 2;
        element.setAttribute(property, fmt(box[property] + inset));
      }
    } else if (FILL_LEVEL.has(property)) {
      if (fillPart.hasAttribute('style')) {
        fillPart.setAttribute('style', `clip-path: ${fillInset(props)}`);
      } else {
        // A rectangle's filled part is a rectangle of its own.
        const part = filledBox(boxOf(props), props);
        for (const key in part) {
          if (fillPart.getAttribute(key) !== part[key]) fillPart.setAttribute(key, part[key]);
        }
      }
    } else if (property === 'fgColor') {
      element.setAttribute('fill', parseColor(props.fgColor, null) || 'none');
    } else {
      element.setAttribute('stroke', parseColor(props.lineColor, '#000000'));
    }
  }
  if (moved || turned) {
    // Moved by an offset from where the description places it, or turned
    // about a moved centre, as objectAttrs() writes it.
    const transform = objectAttrs(object).transform;
    if (transform === undefined) element.removeAttribute('transform');
    else element.setAttribute('transform', transform);
  }
  return true;
}

// New alarm rows of a table whose drawing is otherwise unchanged (no other
// property given): the rows' texts are set in place, a row added when the
// table fills up. False (nothing done) for any other change.
function alarmRowsInPlace(object, element, properties, maker) {
  for (const property in properties) return false;
  const rows = object.alarmRows || [];
  const texts = [];
  for (const child of element.children) {
    if (child.getAttribute('class') === 'alarm') texts.push(child);
  }
  if (texts.length > rows.length) return false;
  const layout = alarmLayout(object.props);
  for (let r = 0; r < rows.length; r += 1) {
    if (r < texts.length) {
      setText(texts[r], rows[r]);
    } else {
      element.appendChild(maker('text', alarmRowAttrs(object.props, layout, r), [], rows[r]));
    }
  }
  return true;
}

const FILL_LEVEL = new Set(['fillPercentVert', 'fillPercentHoriz', 'fillDirectionVert', 'fillDirectionHoriz']);

// The element of a partly filled shape's filled part, or false.
function filledPartOf(element) {
  for (const child of element.children) {
    if (child.getAttribute('class') === 'fill') return child;
  }
  return false;
}

// Sets the text of an element that holds only text: the text node itself
// changes, which costs the browser less than a new node.
function setText(element, text) {
  const node = element.firstChild;
  if (node !== null && node.nodeType === 3 && node.nextSibling === null) {
    if (node.data !== text) node.data = text;
  } else {
    element.textContent = text;
  }
}

// Whether a DOM element has the elements of a description: the same tags
// and the same number of children, all the way down.
function sameElements(element, node) {
  if (element.localName !== node.tag) return false;
  const children = element.children;
  if (children.length !== node.children.length) return false;
  for (let k = 0; k < children.length; k += 1) {
    if (!sameElements(children[k], node.children[k])) return false;
  }
  return true;
}

// Gives the elements of `element` the attributes and texts of the
// description `node` (of the same elements); only what differs is written.
// The root keeps the marks of a bad value's quality.
function patchElements(element, node, root) {
  const attrs = node.attrs;
  for (const key in attrs) {
    if (element.getAttribute(key) !== attrs[key]) element.setAttribute(key, attrs[key]);
  }
  const present = element.attributes;
  for (let k = present.length - 1; k >= 0; k -= 1) {
    const name = present[k].name;
    if (attrs[name] !== undefined) continue;
    if (root && (name === 'data-quality' || name === 'filter')) continue;
    element.removeAttribute(name);
  }
  if (node.text !== undefined && element.textContent !== node.text) setText(element, node.text);
  const children = element.children;
  for (let k = 0; k < children.length; k += 1) patchElements(children[k], node.children[k], false);
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
  // The live page's first values are computed before the drawing, which
  // then shows them at once.
  const options = liveOptions(doc.defaultView ? doc.defaultView.location.search : '');
  const prepared = options.live && doc.defaultView ? prepareLive(page, options) : null;
  const preparedAt = typeof performance !== 'undefined' ? performance.now() : 0;
  const view = createView(page, container, doc);
  // How long the first frame took, for measurements: parsing, building the
  // drawing, and (once the browser has drawn it) the time since the page
  // began to load.
  if (typeof performance !== 'undefined') {
    const drawnAt = performance.now();
    view.timing = {
      startedAt: start,
      parseMs: parsedAt - start,
      networkMs: preparedAt - parsedAt,
      renderMs: drawnAt - preparedAt,
      firstFrameMs: drawnAt - start,
    };
    if (typeof requestAnimationFrame !== 'undefined') {
      requestAnimationFrame(() => setTimeout(() => {
        view.timing.paintedSinceLoadMs = performance.now();
      }, 0));
    }
  }
  if (typeof window !== 'undefined') window.quillonView = view;
  if (prepared) view.live = startLive(view, doc, options, prepared);
  return view;
}

// ---------------------------------------------------------------------------
// Expressions
// ---------------------------------------------------------------------------

// The expressions of TAVExpression objects as the converter writes them:
// operands $0, $1, ... (the object's expval[n] inputs), numbers, quoted texts
// (\"OK\"), + - * /, comparisons (== = <> != < <= > >=), AND, OR, XOR, NOT
// and parentheses, with no blanks needed between tokens ("$0>950AND$1==1").
// Compiled once into a tree, evaluated without eval. Precedence from the
// loosest: OR, XOR, AND, comparisons, + -, * /, then NOT and unary minus.
// Truth is a number other than 0 (or a text other than ""); comparisons and
// logic give 1 or 0.
export class ExpressionError extends Error {
  constructor(what, expression, at) {
    super(`expression "${expression}": ${what} at character ${at + 1}`);
    this.name = 'ExpressionError';
  }
}

function tokenizeExpression(text) {
  const tokens = [];
  let i = 0;
  const fail = (what, at) => { throw new ExpressionError(what, text, at); };
  while (i < text.length) {
    const c = text[i];
    if (/\s/.test(c)) { i += 1; continue; }
    const at = i;
    if (c === '$') {
      const m = /^\$(\d+)/.exec(text.slice(i));
      if (!m) fail('"$" without an operand number', at);
      tokens.push({ type: 'operand', index: Number(m[1]), at });
      i += m[0].length;
    } else if (/[0-9.]/.test(c)) {
      const m = /^(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?/.exec(text.slice(i));
      if (!m) fail('a malformed number', at);
      tokens.push({ type: 'number', value: Number(m[0]), at });
      i += m[0].length;
    } else if (c === '"' || (c === '\\' && text[i + 1] === '"')) {
      // A text constant: "OK" or \"OK\" as the converter writes it.
      const open = c === '"' ? 1 : 2;
      let k = i + open;
      let value = '';
      for (;;) {
        if (k >= text.length) fail('a text without its closing quote', at);
        if (text[k] === '"') { k += 1; break; }
        if (text[k] === '\\' && text[k + 1] === '"') { k += 2; break; }
        value += text[k];
        k += 1;
      }
      tokens.push({ type: 'text', value, at });
      i = k;
    } else if (/[A-Za-z_]/.test(c)) {
      const m = /^[A-Za-z_]+/.exec(text.slice(i));
      const word = m[0].toUpperCase();
      if (!['AND', 'OR', 'XOR', 'NOT'].includes(word)) fail(`unknown word ${m[0]}`, at);
      tokens.push({ type: 'op', op: word, at });
      i += m[0].length;
    } else {
      const two = text.slice(i, i + 2);
      if (['==', '<>', '!=', '<=', '>='].includes(two)) {
        tokens.push({ type: 'op', op: two === '!=' ? '<>' : two, at });
        i += 2;
      } else if ('+-*/<>()='.includes(c)) {
        tokens.push({ type: 'op', op: c === '=' ? '==' : c, at });
        i += 1;
      } else {
        fail(`unexpected character "${c}"`, at);
      }
    }
  }
  tokens.push({ type: 'end', at: text.length });
  return tokens;
}

const BINARY_LEVELS = [['OR'], ['XOR'], ['AND'], ['==', '<>', '<', '<=', '>', '>='], ['+', '-'], ['*', '/']];

// Compiles an expression; throws an ExpressionError saying what is wrong and
// where. The result has `operands` (the highest $n + 1) and
// `evaluate(values)`.
export function compileExpression(text) {
  const source = String(text);
  const tokens = tokenizeExpression(source);
  let k = 0;
  let operands = 0;
  const peek = () => tokens[k];
  const isOp = (token, ops) => token.type === 'op' && ops.includes(token.op);
  const fail = (what, token) => { throw new ExpressionError(what, source, token.at); };
  const binary = (level) => {
    if (level === BINARY_LEVELS.length) return unary();
    let left = binary(level + 1);
    while (isOp(peek(), BINARY_LEVELS[level])) {
      const op = tokens[k].op;
      k += 1;
      left = { op, left, right: binary(level + 1) };
    }
    return left;
  };
  const unary = () => {
    const token = peek();
    if (isOp(token, ['NOT', '-', '+'])) {
      k += 1;
      return { op: token.op === 'NOT' ? 'NOT' : `u${token.op}`, left: unary() };
    }
    return primary();
  };
  const primary = () => {
    const token = peek();
    k += 1;
    if (token.type === 'number' || token.type === 'text') return { value: token.value };
    if (token.type === 'operand') {
      operands = Math.max(operands, token.index + 1);
      return { operand: token.index };
    }
    if (isOp(token, ['('])) {
      const inner = binary(0);
      if (!isOp(peek(), [')'])) fail('"(" without its closing ")"', peek());
      k += 1;
      return inner;
    }
    if (token.type === 'end') fail('the expression ends where an operand is expected', token);
    return fail(`"${token.op}" where an operand is expected`, token);
  };
  if (peek().type === 'end') fail('the expression is empty', peek());
  const tree = binary(0);
  if (peek().type !== 'end') fail(`unexpected ${peek().op ? `"${peek().op}"` : 'operand'}`, peek());
  return { source, operands, evaluate: (values) => evaluateTree(tree, values) };
}

const truth = (value) => (typeof value === 'string' ? value !== '' : value !== 0 && !Number.isNaN(value));

function evaluateTree(node, values) {
  if (node.value !== undefined) return node.value;
  if (node.operand !== undefined) return asValue(values[node.operand]);
  const a = evaluateTree(node.left, values);
  if (node.op === 'NOT') return truth(a) ? 0 : 1;
  if (node.op === 'u-') return -Number(a);
  if (node.op === 'u+') return Number(a);
  const b = evaluateTree(node.right, values);
  switch (node.op) {
    case 'OR': return truth(a) || truth(b) ? 1 : 0;
    case 'XOR': return truth(a) !== truth(b) ? 1 : 0;
    case 'AND': return truth(a) && truth(b) ? 1 : 0;
    case '==': return compareValues(a, b) === 0 ? 1 : 0;
    case '<>': return compareValues(a, b) !== 0 ? 1 : 0;
    case '<': return compareValues(a, b) < 0 ? 1 : 0;
    case '<=': return compareValues(a, b) <= 0 ? 1 : 0;
    case '>': return compareValues(a, b) > 0 ? 1 : 0;
    case '>=': return compareValues(a, b) >= 0 ? 1 : 0;
    case '+': return Number(a) + Number(b);
    case '-': return Number(a) - Number(b);
    case '*': return Number(a) * Number(b);
    // A division by zero gives 0 rather than an infinity that no property
    // can show.
    default: return Number(b) === 0 ? 0 : Number(a) / Number(b);
  }
}

// A tag value as the network computes with it: a number when it reads as
// one, else its text; nothing yet is 0.
function asValue(value) {
  if (value === undefined || value === null) return 0;
  if (typeof value === 'number') return value;
  const number = parseNumber(String(value), NaN);
  return Number.isNaN(number) ? String(value) : number;
}

// Compares numbers as numbers and anything else as text (trailing blanks of
// status texts ignored).
function compareValues(a, b) {
  if (typeof a === 'number' && typeof b === 'number') return a < b ? -1 : a > b ? 1 : 0;
  const x = String(a).trimEnd();
  const y = String(b).trimEnd();
  return x < y ? -1 : x > y ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Format masks
// ---------------------------------------------------------------------------

// The text of a value in a data field's mask:
//   "###.##"  a number with as many decimals as "#" after the point (65.00)
//   "###"     a whole number (rounded); a text value is shown cut to the
//             mask's length (text fields get one "#" per character)
//   "#d" "#x" "#X" "#o" "#.3f" "#e" "#s" ...  the letter format after "#":
//             whole, hexadecimal, octal, fixed decimals, exponent, text
//   "#"       the value as it is
// Leading blanks are not added: the field is a text of its own width.
export function formatValue(mask, value) {
  const form = maskForm(mask);
  const v = asValue(value);
  const number = typeof v === 'number' ? v : NaN;
  switch (form.kind) {
    case 'decimals': return Number.isNaN(number) ? String(v) : number.toFixed(form.precision);
    case 'whole': return Number.isNaN(number) ? String(v).slice(0, form.length) : String(Math.round(number));
    case 's': case 'c': {
      const text = String(v);
      return form.precision === undefined ? text : text.slice(0, form.precision);
    }
    case 'plain': return String(v);
    default: break;
  }
  if (Number.isNaN(number)) return String(v);
  const precision = form.precision;
  switch (form.kind) {
    case 'x': return Math.trunc(number).toString(16);
    case 'X': return Math.trunc(number).toString(16).toUpperCase();
    case 'o': return Math.trunc(number).toString(8);
    case 'f': return number.toFixed(precision === undefined ? 6 : precision);
    case 'e': case 'E': {
      const text = number.toExponential(precision === undefined ? 6 : precision)
        .replace(/e([-+])(\d)$/, 'e$10$2');
      return form.kind === 'E' ? text.toUpperCase() : text;
    }
    case 'g': case 'G': return String(Number(number.toPrecision(precision || 6)));
    default: return String(Math.trunc(number));
  }
}

// What a mask asks for, read once per mask (a page has few masks and
// formats many values).
const MASK_FORMS = new Map();

function maskForm(mask) {
  const key = typeof mask === 'string' ? mask : '';
  let form = MASK_FORMS.get(key);
  if (form) return form;
  const m = key.trim();
  let match;
  if (m === '' || m === '#') {
    form = { kind: 'plain' };
  } else if ((match = /^#+\.(#+)$/.exec(m))) {
    form = { kind: 'decimals', precision: match[1].length };
  } else if (/^#+$/.test(m)) {
    form = { kind: 'whole', length: m.length };
  } else if ((match = /^#[-+ 0#]*(\d*)(?:\.(\d+))?(?:l|h)?([diuxXofeEgGsc])$/.exec(m))) {
    form = { kind: match[3], precision: match[2] === undefined ? undefined : Number(match[2]) };
  } else {
    form = { kind: 'plain' };
  }
  if (MASK_FORMS.size < 1000) MASK_FORMS.set(key, form);
  return form;
}

// The texts of the system values: the time as HH:MM:SS and the date as
// YYYY-MM-DD, in the browser's time zone, or in UTC when the clock is frozen
// (so that a frozen page looks the same everywhere).
export function systemValue(tag, ms, utc) {
  const d = new Date(ms);
  const two = (n) => String(n).padStart(2, '0');
  const get = (local, universal) => (utc ? d[universal]() : d[local]());
  if (/A_NTIME$/i.test(tag)) {
    return `${two(get('getHours', 'getUTCHours'))}:${two(get('getMinutes', 'getUTCMinutes'))}:${two(get('getSeconds', 'getUTCSeconds'))}`;
  }
  return `${get('getFullYear', 'getUTCFullYear')}-${two(get('getMonth', 'getUTCMonth') + 1)}-${two(get('getDate', 'getUTCDate'))}`;
}

export const isSystemTag = (tag) => /(^|[:.])SYSTEM\.A_N(TIME|DATE)$/i.test(tag);

// ---------------------------------------------------------------------------
// The animation network
// ---------------------------------------------------------------------------

const ANIMATION_CLASSES = new Set(['TAVMap', 'TAVThreshold', 'TAVBlink', 'TAVScale', 'TAVExpression']);

// The output of an exact map: the entry whose key equals the value (as
// numbers when both read as numbers, else as texts), else the default.
export function mapOutput(props, value) {
  const v = asValue(value);
  for (const entry of Array.isArray(props.map) ? props.map : []) {
    if (Array.isArray(entry) && entry.length >= 2 && compareValues(asValue(entry[0]), v) === 0) return entry[1];
  }
  return props.default === undefined ? '' : props.default;
}

// The output of a range map: the entry with the greatest level at or below
// the value; below the first level, the default. The converter writes a
// gap entry (level, default) where one range ends before the next begins and
// a closing entry after the last range, so a value above every range gets
// that closing entry's output.
export function thresholdOutput(props, value) {
  const v = asValue(value);
  let out = props.default === undefined ? '' : props.default;
  if (typeof v !== 'number') return out;
  let best = -Infinity;
  for (const entry of Array.isArray(props.map) ? props.map : []) {
    if (!Array.isArray(entry) || entry.length < 2) continue;
    const level = parseNumber(entry[0], NaN);
    if (!Number.isNaN(level) && level <= v && level >= best) {
      best = level;
      out = entry[1];
    }
  }
  return out;
}

// A scale: the value mapped linearly from inMin..inMax to outMin..outMax and
// held within the output range; `out` is the whole number, `outFloat` the
// real one.
export function scaleOutput(props, value) {
  const inMin = parseNumber(props.inMin, 0);
  const inMax = parseNumber(props.inMax, 100);
  const outMin = parseNumber(props.outMin, 0);
  const outMax = parseNumber(props.outMax, 100);
  const v = asValue(value);
  const x = typeof v === 'number' ? v : 0;
  let y = inMax === inMin ? outMin : outMin + ((x - inMin) * (outMax - outMin)) / (inMax - inMin);
  y = Math.min(Math.max(y, Math.min(outMin, outMax)), Math.max(outMin, outMax));
  return { outFloat: y, out: Math.round(y) };
}

// A blinker: while its input is set (not 0), OnValue and OffValue alternate,
// each for `rate` milliseconds starting with OnValue at each whole period of
// the clock; otherwise OffValue.
export function blinkOutput(props, inputs, ms) {
  const off = inputs.OffValue !== undefined ? inputs.OffValue : (props.OffValue ?? '');
  const on = inputs.OnValue !== undefined ? inputs.OnValue : (props.OnValue ?? '');
  if (!truth(asValue(inputs.in))) return off;
  const rate = Math.max(50, parseNumber(props.rate, 500));
  return Math.floor(ms / rate) % 2 === 0 ? on : off;
}

// Splits "Path.To.Object.property" into the path and the property.
function splitTarget(target) {
  const dot = target.lastIndexOf('.');
  return dot < 0 ? null : { path: target.slice(0, dot), property: target.slice(dot + 1) };
}

// The dataflow graph of a page's animation objects: sources (tags of the
// data source objects), animation objects with their input ports (in,
// OnValue, OffValue, expval[n]) and output ports (out, outFloat), and the
// drawn objects' properties they drive. `onUpdate(changes)` receives, after
// each update, a Map from drawn object path to {property: value}, and the
// set of paths whose values are of bad quality.
export class Network {
  constructor(page, options = {}) {
    this.page = page;
    this.problems = [];
    this.now = options.now || (() => Date.now());
    this.nodes = new Map();       // animation object name -> node
    this.tags = new Map();        // tag -> {value, quality, targets: []}
    this.trends = new Map();      // chart path -> [[{t, v}] per pen]
    const sources = new Set(page.animations.filter((o) => o.className === 'TAVWeb').map((o) => o.name));
    for (const object of page.animations) {
      if (!ANIMATION_CLASSES.has(object.className)) continue;
      const node = { object, name: object.name, inputs: {}, bad: {}, outputs: {}, targets: [], dirty: true, order: -1 };
      if (object.className === 'TAVExpression') {
        try {
          node.expression = compileExpression(object.props.expression ?? '');
        } catch (error) {
          this.problems.push(`${object.name}: ${error.message}`);
        }
      }
      this.nodes.set(object.name, node);
    }
    // The lines of texts of several lines, found when a link first names
    // an object that is not there.
    let textLines = null;
    const linesOf = (path) => {
      if (textLines === null) {
        textLines = new Map();
        for (const object of page.drawn) {
          const line = object.className === 'TAVText' ? /^(.*)l\d+$/.exec(object.path) : null;
          if (!line) continue;
          if (!textLines.has(line[1])) textLines.set(line[1], []);
          textLines.get(line[1]).push(object.path);
        }
      }
      return textLines.get(path);
    };
    const where = (link) => {
      const { line } = page.where(link.at);
      return `link (${link.target} ${link.source}) on line ${line}`;
    };
    // Every target has the same fields (node and port of an animation
    // object, or path and property of a drawn object; `from`, the output
    // port that feeds it), which keeps the update's loops fast.
    const entry = (node, port, path, property, from) => ({ node, port, path, property, from });
    for (const link of page.links) {
      const from = this.resolveSource(link.source, sources);
      const to = splitTarget(link.target);
      if (!from || !to) {
        this.problems.push(`${where(link)}: its source is not a data source or an animation output`);
        continue;
      }
      const port = from.tag !== undefined ? null : from.port;
      const target = this.nodes.get(to.path);
      let entries;
      if (target) {
        entries = [entry(target, to.property, null, null, port)];
      } else if (page.byPath.has(to.path)) {
        entries = [entry(null, null, to.path, to.property, port)];
      } else if (linesOf(to.path)) {
        // A text of several lines is written as one object per line
        // (NAMEl0, NAMEl1, ...) while its links name NAME: each line follows.
        entries = linesOf(to.path).map((path) => entry(null, null, path, to.property, port));
      } else {
        this.problems.push(`${where(link)}: no object ${to.path}`);
        continue;
      }
      for (const made of entries) {
        if (from.tag !== undefined) {
          let tag = this.tags.get(from.tag);
          if (!tag) {
            tag = { value: undefined, quality: 'good', targets: [] };
            this.tags.set(from.tag, tag);
          }
          tag.targets.push(made);
        } else {
          from.node.targets.push(made);
        }
      }
    }
    this.order = this.sortNodes();
    // The system values (time and date), recomputed as the clock moves.
    this.systemTags = [...this.tags.keys()].filter(isSystemTag);
  }

  resolveSource(source, sources) {
    const dot = source.indexOf('.');
    if (dot > 0 && sources.has(source.slice(0, dot))) return { tag: source.slice(dot + 1) };
    const end = splitTarget(source);
    if (end && this.nodes.has(end.path) && (end.property === 'out' || end.property === 'outFloat')) {
      return { node: this.nodes.get(end.path), port: end.property };
    }
    return null;
  }

  // Dependency order of the animation objects (each after every object that
  // feeds it). Objects on a cycle are reported and left out, so that an
  // update never loops.
  sortNodes() {
    const incoming = new Map([...this.nodes.values()].map((n) => [n, 0]));
    for (const node of this.nodes.values()) {
      for (const t of node.targets) if (t.node) incoming.set(t.node, incoming.get(t.node) + 1);
    }
    const ready = [...this.nodes.values()].filter((n) => incoming.get(n) === 0);
    const order = [];
    for (let next = 0; next < ready.length; next += 1) {
      const node = ready[next];
      node.order = order.length;
      order.push(node);
      for (const t of node.targets) {
        if (!t.node) continue;
        incoming.set(t.node, incoming.get(t.node) - 1);
        if (incoming.get(t.node) === 0) ready.push(t.node);
      }
    }
    const cyclic = [...this.nodes.values()].filter((n) => n.order < 0).map((n) => n.name);
    if (cyclic.length > 0) {
      this.problems.push(`the links form a cycle through ${cyclic.join(', ')}: these objects are not computed`);
    }
    return order;
  }

  // The tags of the page's data sources, system values included.
  tagNames() { return [...this.tags.keys()]; }

  // Sets tag values: `values` is a list of {tag, value, quality}; then
  // recomputes what depends on them and reports the changed properties.
  setTags(values) {
    const changes = new Map();
    for (const { tag, value, quality } of values) {
      const entry = this.tags.get(tag);
      if (!entry) continue;
      entry.value = value;
      entry.quality = quality === 'bad' ? 'bad' : 'good';
      for (const target of entry.targets) this.deliver(target, value, entry.quality === 'bad', changes);
    }
    this.run(changes);
    return this.report(changes);
  }

  // The clock moved: blinkers and system values are recomputed.
  tick() {
    const changes = new Map();
    const ms = this.now();
    const system = this.systemTags.map((tag) => ({ tag, value: systemValue(tag, ms, this.frozen) }));
    for (const node of this.order) if (node.object.className === 'TAVBlink') node.dirty = true;
    for (const { tag, value } of system) {
      const entry = this.tags.get(tag);
      entry.value = value;
      for (const target of entry.targets) this.deliver(target, value, false, changes);
    }
    this.run(changes);
    return this.report(changes);
  }

  deliver(target, value, bad, changes) {
    if (target.node) {
      target.node.inputs[target.port] = value;
      target.node.bad[target.port] = bad;
      target.node.dirty = true;
      return;
    }
    let change = changes.get(target.path);
    if (!change) {
      change = { props: {}, bad: false };
      changes.set(target.path, change);
    }
    setProperty(change.props, target.property, value);
    if (bad) change.bad = true;
  }

  // Recomputes every object marked as changed, once each, in dependency
  // order; an object whose output changes marks the objects it feeds.
  run(changes) {
    this.evaluations = 0;
    const ms = this.now();
    for (const node of this.order) {
      if (!node.dirty) continue;
      node.dirty = false;
      this.evaluations += 1;
      const outputs = this.compute(node, ms);
      let bad = false;
      for (const port in node.bad) {
        if (node.bad[port]) {
          bad = true;
          break;
        }
      }
      for (const port in outputs) {
        const changed = node.outputs[port] !== outputs[port] || node.badOut !== bad || !node.computed;
        node.outputs[port] = outputs[port];
        if (!changed) continue;
        for (const target of node.targets) {
          if ((target.from || 'out') === port) this.deliver(target, outputs[port], bad, changes);
        }
      }
      node.computed = true;
      node.badOut = bad;
    }
  }

  compute(node, ms) {
    const props = node.object.props;
    const input = node.inputs.in;
    switch (node.object.className) {
      case 'TAVMap': return { out: mapOutput(props, input) };
      case 'TAVThreshold': return { out: thresholdOutput(props, input) };
      case 'TAVScale': return scaleOutput(props, input);
      case 'TAVBlink': return { out: blinkOutput(props, node.inputs, ms) };
      default: {
        if (!node.expression) return { out: 0 };
        const values = [];
        for (let n = 0; n < node.expression.operands; n += 1) values.push(node.inputs[`expval[${n}]`]);
        const value = node.expression.evaluate(values);
        return { out: value, outFloat: value };
      }
    }
  }

  // Turns the collected changes into drawn properties: a data field's text
  // through its mask, a chart's values into its pens' traces.
  report(changes) {
    const ms = this.now();
    for (const [path, change] of changes) {
      const object = this.page.byPath.get(path);
      if (!object) continue;
      const props = change.props;
      if ('text' in props && typeof object.props.format === 'string') {
        props.text = formatValue(object.props.format, props.text);
      }
      if (object.className !== 'TAVRealTime') continue;
      for (const [property, value] of Object.entries(props)) {
        const pen = /^values\[(\d+)\]$/.exec(property);
        if (pen) {
          delete change.props[property];
          this.addSample(object, Number(pen[1]), asValue(value), ms);
          change.trend = true;
        }
      }
    }
    return changes;
  }

  addSample(object, pen, value, ms) {
    if (!this.trends.has(object.path)) this.trends.set(object.path, []);
    const pens = this.trends.get(object.path);
    while (pens.length <= pen) pens.push([]);
    const samples = pens[pen];
    if (typeof value !== 'number') return;
    samples.push({ t: ms, v: value });
    // Samples older than the chart's time span are dropped.
    const span = parseNumber(object.props.span, 60) * 1000;
    while (samples.length > 2 && samples[1].t < ms - span) samples.shift();
  }
}

// Where a property value goes on a drawn object: a value the network gives
// as a number is written as the description writes it ("65", "0xff0000" for
// a colour kept as text by the maps).
function propertyValue(value) {
  if (typeof value === 'number') return Number.isFinite(value) ? String(Math.round(value * 1e6) / 1e6) : '0';
  return value === undefined || value === null ? '' : String(value);
}

// ---------------------------------------------------------------------------
// Simulated values
// ---------------------------------------------------------------------------

// 32-bit FNV-1a hash of a text.
function hashText(text) {
  let h = 0x811c9dc5;
  for (let k = 0; k < text.length; k += 1) {
    h ^= text.charCodeAt(k);
    h = Math.imul(h, 0x01000193) >>> 0;
  }
  return h;
}

// A pseudo-random number in [0, 1) for an integer and a key.
function noise(key, n) {
  let h = (key ^ Math.imul(n | 0, 0x9e3779b1)) >>> 0;
  h = Math.imul(h ^ (h >>> 16), 0x85ebca6b) >>> 0;
  h = Math.imul(h ^ (h >>> 13), 0xc2b2ae35) >>> 0;
  return ((h ^ (h >>> 16)) >>> 0) / 4294967296;
}

export const WAVEFORMS = ['sine', 'ramp', 'square', 'walk'];

// Simulated tag values: every tag gets a waveform (sine, ramp, square or a
// smooth random walk) and a period of 10 to 40 seconds, chosen from its name
// and the seed, over a range taken from what the tag drives: the input range
// of its scales, the levels of its range maps (a little beyond both ends),
// the keys of its exact maps (the value steps through them), 0 and 1 for a
// visibility, 0 to 100 otherwise.
export class Simulation {
  constructor(network, seed = 1) {
    this.signals = new Map();
    for (const [tag, entry] of network.tags) {
      if (isSystemTag(tag)) continue;
      const key = hashText(`${seed}:${tag}`);
      let low = Infinity;
      let high = -Infinity;
      const keys = new Set();
      let onOff = false;
      const widen = (a, b) => { low = Math.min(low, a, b); high = Math.max(high, a, b); };
      for (const target of entry.targets) {
        const props = target.node ? target.node.object.props : null;
        const cls = target.node ? target.node.object.className : '';
        if (cls === 'TAVScale') {
          widen(parseNumber(props.inMin, 0), parseNumber(props.inMax, 100));
        } else if (cls === 'TAVMap' || cls === 'TAVThreshold') {
          const levels = (Array.isArray(props.map) ? props.map : [])
            .map((e) => parseNumber(Array.isArray(e) ? e[0] : '', NaN)).filter((n) => !Number.isNaN(n));
          if (cls === 'TAVMap') levels.forEach((n) => keys.add(n));
          else if (levels.length > 0) {
            const a = Math.min(...levels);
            const b = Math.max(...levels);
            widen(a - (b - a) * 0.05, b + (b - a) * 0.05);
          }
        } else if (cls === 'TAVBlink' || target.property === 'visibility') {
          onOff = true;
        }
      }
      if (keys.size === 0 && onOff && low === Infinity) { keys.add(0); keys.add(1); }
      if (low === Infinity) { low = 0; high = 100; }
      this.signals.set(tag, {
        kind: WAVEFORMS[key % 4],
        period: 10 + (key >>> 3) % 31,
        phase: noise(key, 7),
        key,
        low,
        high,
        keys: [...keys].sort((a, b) => a - b),
      });
    }
  }

  // Every tag's value at `seconds` of the simulated clock.
  valuesAt(seconds) {
    const values = [];
    for (const [tag, s] of this.signals) {
      const x = seconds / s.period + s.phase;
      let unit;
      if (s.kind === 'sine') unit = 0.5 + 0.5 * Math.sin(2 * Math.PI * x);
      else if (s.kind === 'ramp') unit = x - Math.floor(x);
      else if (s.kind === 'square') unit = x - Math.floor(x) < 0.5 ? 0.95 : 0.05;
      else {
        // A smooth random walk: noise points every quarter period, joined
        // by cosine steps.
        const step = x * 4;
        const n = Math.floor(step);
        const f = (1 - Math.cos(Math.PI * (step - n))) / 2;
        unit = noise(s.key, n) * (1 - f) + noise(s.key, n + 1) * f;
      }
      let value;
      if (s.keys.length > 0) {
        // A square wave would stay on the first and last keys: keys are
        // stepped through as by a ramp instead.
        if (s.kind === 'square') unit = x - Math.floor(x);
        value = s.keys[Math.min(s.keys.length - 1, Math.floor(unit * s.keys.length))];
      } else {
        value = Math.round((s.low + unit * (s.high - s.low)) * 1000) / 1000;
      }
      values.push({ tag, value, quality: 'good' });
    }
    return values;
  }
}

// ---------------------------------------------------------------------------
// The live page
// ---------------------------------------------------------------------------

// Draws the traces of a chart from the network's samples: time runs from
// `span` seconds ago at the plot's left edge to `ms` at its right edge.
export function tracePoints(props, samples, ms) {
  const plot = chartPlotArea(props);
  const minValue = parseNumber(props.minValue, 0);
  const maxValue = parseNumber(props.maxValue, 100);
  const span = Math.max(1, parseNumber(props.span, 60)) * 1000;
  const range = maxValue === minValue ? 1 : maxValue - minValue;
  let points = '';
  for (const { t, v } of samples) {
    const x = plot.x + plot.width * (1 - (ms - t) / span);
    if (x < plot.x - plot.width) continue;
    const unit = Math.min(1, Math.max(0, (v - minValue) / range));
    const y = plot.y + plot.height * (1 - unit);
    points += `${fmt(Math.max(plot.x, Math.min(plot.x + plot.width, x)))},${fmt(y)} `;
  }
  // The last value holds until now.
  if (samples.length > 0) {
    const last = samples[samples.length - 1];
    const unit = Math.min(1, Math.max(0, (last.v - minValue) / range));
    points += `${fmt(plot.x + plot.width)},${fmt(plot.y + plot.height * (1 - unit))}`;
  }
  return points.trim();
}

// Query options of the live page: ?live=0 shows the description's own
// values, ?seed=N chooses other waveforms, ?time=T freezes the clock at T
// seconds, ?feed=URL takes the values from a server.
export function liveOptions(search) {
  const query = new URLSearchParams(search || '');
  const time = query.has('time') ? Number(query.get('time')) : NaN;
  const seed = query.has('seed') ? Number(query.get('seed')) : 1;
  return {
    live: query.get('live') !== '0',
    seed: Number.isFinite(seed) ? seed : 1,
    time: Number.isFinite(time) ? time : null,
    feed: query.get('feed') || null,
  };
}

const PANEL_STYLE = 'position:fixed;right:4px;top:4px;max-height:90vh;overflow:auto;'
  + 'background:rgba(255,255,255,0.92);border:1px solid #888;font:12px sans-serif;padding:2px 6px;z-index:10';

// Builds the network of a page and, with simulated values, computes the
// values of the first moment before anything is drawn: they are written into
// the objects' properties, so that the first drawing already shows them and
// the page is not drawn twice. Returns what startLive() goes on with.
export function prepareLive(page, options, compute = true) {
  const clock = { ms: options.time !== null ? options.time * 1000 : Date.now() };
  const network = new Network(page, { now: () => clock.ms });
  network.frozen = options.time !== null;
  const simulation = options.feed ? null : new Simulation(network, options.seed);
  const prepared = { network, simulation, clock, started: Date.now(), bad: new Set(), computed: compute };
  if (compute) {
    const first = simulation ? network.setTags(simulation.valuesAt(options.time !== null ? options.time : 0)) : new Map();
    const all = [first, network.tick()];
    // A group moved by the network keeps the box its members have in the
    // description: it is taken before any of their values change.
    for (const changes of all) {
      for (const [path, change] of changes) {
        const object = page.byPath.get(path);
        if (object && object.className === 'TAVSymbol' && !object.box
            && (change.props.x !== undefined || change.props.y !== undefined)) {
          renderObject(object, el);
        }
      }
    }
    for (const changes of all) {
      for (const [path, change] of changes) {
        const object = page.byPath.get(path);
        if (!object) continue;
        const changed = changedProperties(object, change);
        for (const property in changed) setProperty(object.props, property, changed[property]);
        if (change.bad) prepared.bad.add(path); else prepared.bad.delete(path);
      }
    }
  }
  return prepared;
}

// The drawn properties of one change of the network (values as the
// description writes them), of those that differ from the object's; alarm
// rows and pen colours are taken into the object and mark it for redrawing.
function changedProperties(object, change) {
  if (object.className === 'TAVAlarmDisplay' && change.props.text !== undefined) {
    const rows = object.alarmRows || (object.alarmRows = []);
    rows.unshift(propertyValue(change.props.text));
    rows.length = Math.min(rows.length, Math.max(1, Math.round(parseNumber(object.props.lines, 10))));
    delete change.props.text;
    change.redraw = true;
  }
  const props = {};
  const given = change.props;
  for (const property in given) {
    const value = propertyValue(given[property]);
    const pen = property.startsWith('pens[') ? /^pens\[(\d+)\]\[(\d+)\]$/.exec(property) : null;
    if (pen && Array.isArray(object.props.pens) && Array.isArray(object.props.pens[pen[1]])) {
      object.props.pens[pen[1]][pen[2]] = value;
      change.redraw = true;
    } else if (object.props[property] !== value) {
      // An unchanged value leaves the drawing alone.
      setProperty(props, property, value);
    }
  }
  return props;
}

// Runs the network of a view on simulated values or a feed, from the state
// prepareLive() left (its values already drawn). Returns the live state
// (also window.quillonLive): setTag(tag, value, quality) sets a tag by hand
// (a hand-set tag keeps its value), at(seconds) moves a frozen clock, stop()
// ends timers and the feed.
export function startLive(view, doc, options, prepared = prepareLive(view.page, options, false)) {
  const page = view.page;
  const { network, simulation, clock, started } = prepared;
  const simStart = options.time !== null ? options.time : 0;
  for (const problem of network.problems) console.warn(`quillon: ${problem}`);
  const pinned = new Map();
  const win = doc.defaultView;
  const timers = [];
  const status = doc.createElement('div');
  status.className = 'quillon-status';
  status.setAttribute('role', 'status');
  status.style.cssText = 'position:fixed;left:4px;bottom:4px;font:12px sans-serif;padding:2px 6px;'
    + 'background:#fff3c0;border:1px solid #c0a000;display:none;z-index:10';
  doc.body.appendChild(status);
  const showStatus = (text) => {
    status.textContent = text;
    status.style.display = text ? '' : 'none';
  };

  const apply = (changes) => {
    for (const [path, change] of changes) {
      const object = page.byPath.get(path);
      if (!object) continue;
      const props = changedProperties(object, change);
      let changed = change.redraw === true;
      for (const property in props) { changed = true; break; }
      if (changed) view.setProperties(path, props);
      view.setQuality(path, change.bad ? 'bad' : 'good');
      // A chart drawn again or changed in place: its pens' keys are found anew.
      if (changed) traceLines.delete(path);
      if (change.trend || change.redraw) drawTrend(path);
    }
  };
  // The trace elements of each chart, looked up again only when the chart
  // has been drawn anew.
  const traceLines = new Map();
  const drawTrend = (path) => {
    const object = page.byPath.get(path);
    const element = view.element(path);
    const pens = network.trends.get(path);
    if (!object || !element || !pens) return;
    let known = traceLines.get(path);
    if (!known || known.element !== element) {
      const lines = [...element.querySelectorAll('.pen')];
      // Each pen's key, the start of its path.
      known = { element, lines, keys: lines.map((line, index) => penPath(object.props, index, '')) };
      traceLines.set(path, known);
    }
    known.lines.forEach((line, index) => {
      const points = tracePoints(object.props, pens[index] || [], clock.ms);
      const d = points ? `${known.keys[index]}M${points}` : known.keys[index];
      if (line.getAttribute('d') !== d) line.setAttribute('d', d);
    });
  };
  const update = (values) => {
    const t0 = win.performance.now();
    const changes = network.setTags(values);
    const t1 = win.performance.now();
    apply(changes);
    // For measurements: the network's part and the drawing's part.
    live.lastNetworkMs = t1 - t0;
    live.lastUpdateMs = win.performance.now() - t0;
    refreshPanel();
  };
  const tick = () => {
    apply(network.tick());
    for (const path of network.trends.keys()) drawTrend(path);
  };
  const simulate = () => {
    const seconds = options.time !== null ? (clock.ms / 1000) : simStart + (Date.now() - started) / 1000;
    const values = simulation.valuesAt(seconds).filter((v) => !pinned.has(v.tag));
    update(values);
  };

  // The panel of tags: their current values; a value typed in is set by
  // hand and kept.
  const panel = doc.createElement('details');
  panel.className = 'quillon-tags';
  panel.style.cssText = PANEL_STYLE;
  const summary = doc.createElement('summary');
  summary.textContent = options.feed ? 'Tags (feed)' : 'Tags (simulated)';
  panel.appendChild(summary);
  // Its rows are made when it is first opened: a page of thousands of tags
  // does not build them for its first frame.
  const inputs = new Map();
  const fillPanel = () => {
    for (const tag of network.tagNames()) {
      const row = doc.createElement('label');
      row.style.display = 'block';
      const name = doc.createElement('span');
      name.textContent = `${tag} `;
      const input = doc.createElement('input');
      input.size = 10;
      input.dataset.tag = tag;
      input.addEventListener('change', () => {
        if (input.value === '') {
          pinned.delete(tag);
          return;
        }
        pinned.set(tag, input.value);
        update([{ tag, value: input.value, quality: 'good' }]);
      });
      row.append(name, input);
      panel.appendChild(row);
      inputs.set(tag, input);
    }
  };
  summary.addEventListener('click', () => {
    if (inputs.size > 0) return;
    fillPanel();
    // The click opens the panel after this: its values are shown then.
    win.setTimeout(refreshPanel, 0);
  });
  if (network.tags.size > 0) doc.body.appendChild(panel);
  const refreshPanel = () => {
    if (!panel.open) return;
    for (const [tag, input] of inputs) {
      if (doc.activeElement === input || pinned.has(tag)) continue;
      const value = network.tags.get(tag).value;
      input.value = value === undefined ? '' : String(value);
    }
  };

  const live = {
    network,
    problems: network.problems,
    lastUpdateMs: 0,
    setTag(tag, value, quality = 'good') {
      pinned.set(tag, value);
      update([{ tag, value, quality }]);
      return network.tags.has(tag);
    },
    setTags(values) { update(values); },
    at(seconds) {
      clock.ms = seconds * 1000;
      if (simulation) simulate();
      tick();
    },
    stop() {
      for (const timer of timers) win.clearInterval(timer);
      if (live.source) live.source.close();
    },
  };

  if (options.feed) {
    connectFeed(live, options.feed, network.tagNames().filter((t) => !isSystemTag(t)), win, showStatus, update);
  } else if (!prepared.computed) {
    simulate();
  }
  if (prepared.computed) {
    // The first values are drawn already: what remains are the marks of
    // bad values and the charts' traces.
    for (const path of prepared.bad) view.setQuality(path, 'bad');
    for (const path of network.trends.keys()) drawTrend(path);
  } else {
    tick();
  }
  if (options.time === null) {
    // Values follow the data source's update rate (seconds, at least one);
    // blinkers and the clock are looked at ten times a second.
    const source = page.animations.find((o) => o.className === 'TAVWeb');
    const rate = Math.max(1, parseNumber(source && source.props.UpdateRate, 1)) * 1000;
    if (simulation) timers.push(win.setInterval(simulate, rate));
    timers.push(win.setInterval(() => { clock.ms = Date.now(); tick(); }, 100));
  }
  win.quillonLive = live;
  return live;
}

// Connects to a feed of values over Server-Sent Events (http: or https:) or
// a WebSocket (ws: or wss:). The page subscribes to its tags: an SSE URL gets
// ?tags=T1,T2 added, a WebSocket is sent {"subscribe": [tags]}. Each message
// is a JSON list of {"tag", "value", "quality"} (a single object is taken as
// a list of one). A lost connection is shown and retried every 2 seconds.
function connectFeed(live, url, tags, win, showStatus, update) {
  const receive = (text) => {
    let batch;
    try {
      batch = JSON.parse(text);
    } catch (error) {
      console.warn(`quillon: feed message is not JSON: ${error.message}`);
      return;
    }
    if (!Array.isArray(batch)) batch = [batch];
    update(batch.filter((v) => v && typeof v.tag === 'string').map((v) => ({
      tag: v.tag, value: v.value, quality: v.quality === 'good' || v.quality === undefined ? 'good' : 'bad',
    })));
  };
  const lost = () => {
    showStatus(`Connection to ${url} lost; retrying`);
    // Every value received is of unknown quality while the feed is away;
    // tags that never had a value stay as they are.
    update(tags.filter((tag) => live.network.tags.get(tag).value !== undefined)
      .map((tag) => ({ tag, value: live.network.tags.get(tag).value, quality: 'bad' })));
  };
  if (/^wss?:/i.test(url)) {
    const open = () => {
      const socket = new win.WebSocket(url);
      live.source = socket;
      socket.onopen = () => { showStatus(''); socket.send(JSON.stringify({ subscribe: tags })); };
      socket.onmessage = (event) => receive(event.data);
      socket.onclose = () => { lost(); win.setTimeout(open, 2000); };
    };
    open();
    return;
  }
  const full = new URL(url, win.location.href);
  full.searchParams.set('tags', tags.join(','));
  const source = new win.EventSource(full.href);
  live.source = source;
  source.onopen = () => showStatus('');
  source.onmessage = (event) => receive(event.data);
  source.onerror = () => {
    lost();
    // The browser retries a broken stream by itself; a refused one is
    // closed, and then opened again here.
    if (source.readyState === 2) {
      win.setTimeout(() => connectFeed(live, url, tags, win, showStatus, update), 2000);
    }
  };
}
