// The HTML5 viewer of quillon page descriptions (NAME.JDF): a parser that
// turns the JDF text into plain objects (no DOM), a renderer that turns those
// objects into a tree of SVG element descriptions, and the small part that
// puts that tree into a browser document and keeps it up to date.
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

function isSpace(code) {
  // blank, tab, line feed, vertical tab, form feed, carriage return
  return code === 32 || (code >= 9 && code <= 13);
}

// Reads the text into a tree of nodes: {kind: 'list', items}, {kind: 'atom',
// text} and {kind: 'string', text}, each with its line and column. Throws a
// JdfError for text outside lists, unbalanced parentheses, an unterminated
// quoted text and lists nested deeper than MAX_DEPTH.
export function readTree(text) {
  const top = [];
  const stack = [];
  let line = 1;
  let column = 1;
  let i = 0;
  const n = text.length;
  // Moves past one character (a surrogate pair counts as one column).
  const advance = () => {
    const code = text.charCodeAt(i);
    if (code === 10) {
      line += 1;
      column = 1;
      i += 1;
      return;
    }
    if (code >= 0xd800 && code <= 0xdbff && i + 1 < n) {
      const next = text.charCodeAt(i + 1);
      if (next >= 0xdc00 && next <= 0xdfff) i += 1;
    }
    i += 1;
    column += 1;
  };
  const place = (node) => {
    if (stack.length === 0) {
      if (node.kind !== 'list') {
        throw new JdfError('text outside parentheses', node.line, node.column);
      }
      top.push(node);
    } else {
      stack[stack.length - 1].items.push(node);
    }
  };
  while (i < n) {
    const code = text.charCodeAt(i);
    if (isSpace(code)) {
      advance();
    } else if (code === 40) {  // (
      if (stack.length >= MAX_DEPTH) {
        throw new JdfError(`lists nested deeper than ${MAX_DEPTH}`, line, column);
      }
      const list = { kind: 'list', items: [], line, column };
      place(list);
      stack.push(list);
      advance();
    } else if (code === 41) {  // )
      if (stack.length === 0) throw new JdfError("')' without a matching '('", line, column);
      stack.pop();
      advance();
    } else if (code === 34) {  // "
      const node = { kind: 'string', text: '', line, column };
      advance();
      let value = '';
      let closed = false;
      while (i < n) {
        const c = text.charCodeAt(i);
        if (c === 34) {
          advance();
          closed = true;
          break;
        }
        if (c === 92) {  // a backslash takes the next character as it is
          advance();
          if (i >= n) break;
        }
        const start = i;
        advance();
        value += text.slice(start, i);
      }
      if (!closed) throw new JdfError('quoted text without its closing \'"\'', node.line, node.column);
      node.text = value;
      place(node);
    } else {
      const node = { kind: 'atom', text: '', line, column };
      const start = i;
      while (i < n) {
        const c = text.charCodeAt(i);
        if (isSpace(c) || c === 40 || c === 41 || c === 34) break;
        advance();
      }
      node.text = text.slice(start, i);
      place(node);
    }
  }
  if (stack.length > 0) {
    const open = stack[stack.length - 1];
    throw new JdfError("'(' without its closing ')'", open.line, open.column);
  }
  if (top.length === 0) throw new JdfError('the page description is empty', line, column);
  return top;
}

// The value of a node as the renderer uses it: an atom or a quoted text is
// its text, a list an array of the values of its items.
export function nodeValue(node) {
  if (node.kind === 'list') return node.items.map(nodeValue);
  return node.text;
}

// Classes that draw something; every other class (the animation objects and
// the data source) is kept for the animation network.
export const DRAWN_CLASSES = [
  'TAVRectangle', 'TAVEllipse', 'TAVRoundRect', 'TAVLine', 'TAVPolyline', 'TAVPolygon',
  'TAVArc', 'TAVText', 'TAVImage', 'TAVSymbol', 'TAVButton', 'TAVAlarmDisplay', 'TAVRealTime',
];

function readProperties(list, into) {
  for (let k = 1; k < list.items.length; k += 1) {
    const entry = list.items[k];
    if (entry.kind !== 'list' || entry.items.length === 0 || entry.items[0].kind !== 'atom') {
      throw new JdfError('a property must be a list that starts with its name', entry.line,
        entry.column);
    }
    const name = entry.items[0].text;
    // "(name)" is a property whose value is empty; "(name a b)" keeps the
    // first value, as the writer writes one value per property.
    const value = entry.items.length > 1 ? nodeValue(entry.items[1]) : '';
    // A property given twice takes its last value.
    into[name] = value;
  }
}

function readObject(node, parent, page) {
  const items = node.items;
  if (node.kind !== 'list' || items.length < 2 || items[0].kind !== 'atom' ||
      items[1].kind !== 'atom') {
    throw new JdfError('an object must be a list that starts with its name and its class',
      node.line, node.column);
  }
  const name = items[0].text;
  const object = {
    name,
    path: parent ? `${parent.path}.${name}` : name,
    className: items[1].text,
    props: {},
    children: [],
    parent: parent || null,
    line: node.line,
    column: node.column,
  };
  for (let k = 2; k < items.length; k += 1) {
    const part = items[k];
    if (part.kind !== 'list' || part.items.length === 0 || part.items[0].kind !== 'atom') {
      throw new JdfError(`unexpected text in object ${name}`, part.line, part.column);
    }
    const word = part.items[0].text;
    if (word === 'properties') {
      readProperties(part, object.props);
    } else if (word === 'objects') {
      for (let m = 1; m < part.items.length; m += 1) {
        object.children.push(readObject(part.items[m], object, page));
      }
    }
    // Other lists of an object are not used by the viewer.
  }
  // The first object of a path wins, as the first drawn is the one a link
  // names.
  if (!page.byPath.has(object.path)) page.byPath.set(object.path, object);
  return object;
}

// Parses a page description into
//   {width, height, bgColor, version, properties, objects, drawn, animations,
//    links, byPath}
// where `objects` is the object tree in drawing order (TAVSymbol objects hold
// their members in `children`), `animations` the objects of other classes
// (maps, thresholds, blinkers, scales, expressions, the data source), `links`
// the list of {target, source, line, column}, and `byPath` every object by
// its dotted path (Group.Member). Throws a JdfError for malformed input.
export function parseJdf(text) {
  const tree = readTree(String(text));
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
  };
  for (const section of tree) {
    const head = section.items[0];
    if (!head || head.kind !== 'atom') {
      throw new JdfError('a section must start with its name (properties, objects or links)',
        section.line, section.column);
    }
    if (!SECTION_NAMES.includes(head.text)) {
      throw new JdfError(`unknown section ${head.text} (expected properties, objects or links)`,
        head.line, head.column);
    }
    if (head.text === 'properties') {
      readProperties(section, page.properties);
    } else if (head.text === 'objects') {
      for (let k = 1; k < section.items.length; k += 1) {
        const object = readObject(section.items[k], null, page);
        if (DRAWN_CLASSES.includes(object.className)) {
          page.objects.push(object);
        } else {
          page.animations.push(object);
        }
      }
    } else {
      for (let k = 1; k < section.items.length; k += 1) {
        const link = section.items[k];
        if (link.kind !== 'list' || link.items.length !== 2 || link.items[0].kind !== 'atom' ||
            link.items[1].kind !== 'atom') {
          throw new JdfError('a link must be a list of its target and its source', link.line,
            link.column);
        }
        page.links.push({
          target: link.items[0].text,
          source: link.items[1].text,
          line: link.line,
          column: link.column,
        });
      }
    }
  }
  const p = page.properties;
  page.version = typeof p.version === 'string' ? p.version : '';
  page.width = positiveNumber(p.width, 1000);
  page.height = positiveNumber(p.height, 1000);
  page.bgColor = parseColor(p.bgColor, '#ffffff');
  const collect = (objects) => {
    for (const object of objects) {
      if (!DRAWN_CLASSES.includes(object.className)) continue;
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
  for (const [key, value] of Object.entries(attrs || {})) {
    if (value !== null && value !== undefined) node.attrs[key] = String(value);
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

// DOM elements of an element description. Texts are set as text content,
// never parsed as markup.
export function toDom(node, doc) {
  const element = doc.createElementNS(SVG_NS, node.tag);
  for (const [key, value] of Object.entries(node.attrs)) element.setAttribute(key, value);
  if (node.text !== undefined) element.textContent = node.text;
  for (const child of node.children) element.appendChild(toDom(child, doc));
  return element;
}

// Every object's element carries its path and class, so that the drawing
// can be matched to the page description.
function objectElement(object, tag, attrs, children, text) {
  const node = el(tag, attrs, children, text);
  node.attrs['data-object'] = object.path;
  node.attrs['data-class'] = object.className;
  const props = object.props;
  if (props.visibility !== undefined && parseNumber(props.visibility, 1) === 0) {
    node.attrs.display = 'none';
  }
  const angle = parseNumber(props.rotateAngle, 0);
  if (angle !== 0) {
    const box = object.box;
    if (box) {
      const cx = box.x + box.width / 2 + parseNumber(props.rotateOffsetX, 0);
      const cy = box.y + box.height / 2 + parseNumber(props.rotateOffsetY, 0);
      node.attrs.transform = `rotate(${fmt(angle)} ${fmt(cx)} ${fmt(cy)})`;
    }
  }
  return node;
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

// A filled shape: the unfilled part in the background colour (when the fill
// does not cover it all), the filled part in the foreground colour, and the
// edge. `shape(inset)` gives the element for an edge inset by `inset` pixels.
function filledShape(object, shape) {
  const props = object.props;
  const fg = parseColor(props.fgColor, null);
  const bg = parseColor(props.bgColor, null);
  const edgeColor = parseColor(props.lineColor, '#000000');
  const width = lineWidthOf(props);
  const inset = fillInset(props);
  const parts = [];
  if (inset !== null && bg !== null) parts.push(shape(0, { fill: bg }));
  if (fg !== null) {
    const filled = shape(0, { fill: fg });
    if (inset !== null) filled.attrs.style = `clip-path: ${inset}`;
    parts.push(filled);
  }
  const edge = shape(width / 2, {
    fill: 'none',
    stroke: edgeColor,
    'stroke-width': fmt(width),
    'stroke-dasharray': dashArray(props.lineStyle, width),
  });
  edge.attrs.class = 'edge';
  parts.push(edge);
  return parts;
}

function drawRectangle(object, rounded) {
  const box = boxOf(object.props);
  object.box = box;
  const radius = rounded ? Math.min(parseNumber(object.props.diameter, 0) / 2, box.width / 2,
    box.height / 2) : 0;
  const parts = filledShape(object, (inset, attrs) => el('rect', {
    x: fmt(box.x + inset),
    y: fmt(box.y + inset),
    width: fmt(Math.max(0, box.width - 2 * inset)),
    height: fmt(Math.max(0, box.height - 2 * inset)),
    rx: radius > 0 ? fmt(Math.max(0, radius - inset)) : null,
    ...attrs,
  }));
  return objectElement(object, 'g', {}, parts);
}

function drawEllipse(object) {
  const box = boxOf(object.props);
  object.box = box;
  const parts = filledShape(object, (inset, attrs) => el('ellipse', {
    cx: fmt(box.x + box.width / 2),
    cy: fmt(box.y + box.height / 2),
    rx: fmt(Math.max(0, box.width / 2 - inset)),
    ry: fmt(Math.max(0, box.height / 2 - inset)),
    ...attrs,
  }));
  return objectElement(object, 'g', {}, parts);
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
    'stroke-width': fmt(width),
    'stroke-dasharray': dashArray(props.lineStyle, width),
  };
}

function drawPolygon(object) {
  const points = pointsOf(object.props);
  object.box = boxOfPoints(points);
  // A polygon's edge runs along its points: it cannot be inset.
  const parts = filledShape(object, (inset, attrs) => el('polygon', {
    points: pointList(points),
    ...attrs,
  }));
  return objectElement(object, 'g', {}, parts);
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
    const parts = filledShape(object, (inset, attrs) => el('path', {
      d: arcPath(box, start, length, true),
      'stroke-linejoin': 'round',
      ...attrs,
    }));
    return objectElement(object, 'g', {}, parts);
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

function textAttrs(props, size) {
  const style = FONT_STYLES[props.fontStyle] || FONT_STYLES.plain;
  return {
    'font-family': fontFamily(props.font),
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
    fill: parseColor(props.textColor, '#000000'),
    style: 'white-space: pre',
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
    el('rect', { x: fmt(x), y: fmt(y), width: fmt(w), height: fmt(h), fill: BUTTON_FACE }),
    el('polyline', {
      points: `${fmt(x + 0.5)},${fmt(y + h - 1)} ${fmt(x + 0.5)},${fmt(y + 0.5)} ${fmt(x + w - 1)},${fmt(y + 0.5)}`,
      fill: 'none', stroke: '#ffffff', 'stroke-width': '1',
    }),
    el('polyline', {
      points: `${fmt(x)},${fmt(y + h - 0.5)} ${fmt(x + w - 0.5)},${fmt(y + h - 0.5)} ${fmt(x + w - 0.5)},${fmt(y)}`,
      fill: 'none', stroke: '#404040', 'stroke-width': '1',
    }),
  ];
  const points = parseNumber(props.fontSize, 0);
  const size = points > 0 ? (points * 4) / 3 : 12;
  parts.push(el('text', {
    x: fmt(x + w / 2),
    y: fmt(y + h / 2 + size * 0.35),
    'text-anchor': 'middle',
    fill: disabled ? '#808080' : parseColor(props.textColor, '#000000'),
    style: 'white-space: pre',
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
    el('rect', { x: fmt(x), y: fmt(y), width: fmt(w), height: fmt(h), fill: background }),
    el('rect', { x: fmt(x), y: fmt(y), width: fmt(w), height: fmt(headerHeight), fill: header }),
  ];
  const columns = alarmColumns(props);
  const total = columns.reduce((sum, column) => sum + column.chars, 0);
  let left = x;
  const headings = [];
  columns.forEach((column, index) => {
    const columnWidth = total > 0 ? (w * column.chars) / total : 0;
    // Each heading is clipped to its column by a nested viewport.
    headings.push(el('svg', {
      x: fmt(left), y: fmt(y), width: fmt(Math.max(0, columnWidth - 1)),
      height: fmt(headerHeight), overflow: 'hidden',
    }, [el('text', {
      x: '3',
      y: fmt(headerHeight - 4),
      fill: headingColor,
      'font-family': FONT_FAMILIES.Helvetica,
      'font-size': fmt(TABLE_FONT),
      'font-weight': 'bold',
      class: 'heading',
    }, [], column.name)]));
    if (index > 0) {
      headings.push(el('line', {
        x1: fmt(left + 0.5), y1: fmt(y), x2: fmt(left + 0.5), y2: fmt(y + h),
        stroke: headingColor, 'stroke-width': '1', 'stroke-opacity': '0.4',
      }));
    }
    left += columnWidth;
  });
  parts.push(el('g', { class: 'headings' }, headings));
  // The rows: empty until alarms arrive.
  const rowHeight = (h - headerHeight) / rows;
  const rowLines = [];
  for (let r = 1; r < rows; r += 1) {
    const rowY = y + headerHeight + r * rowHeight;
    rowLines.push(el('line', {
      x1: fmt(x), y1: fmt(rowY), x2: fmt(x + w), y2: fmt(rowY),
      stroke: textColor, 'stroke-width': '1', 'stroke-opacity': '0.15',
    }));
  }
  parts.push(el('g', { class: 'rows', 'data-rows': rows, fill: textColor }, rowLines));
  parts.push(el('rect', {
    x: fmt(x + 0.5), y: fmt(y + 0.5), width: fmt(Math.max(0, w - 1)),
    height: fmt(Math.max(0, h - 1)), fill: 'none', stroke: headingColor, 'stroke-width': '1',
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
  const parts = [el('rect', {
    x: fmt(box.x + 0.5), y: fmt(box.y + 0.5), width: fmt(Math.max(0, box.width - 1)),
    height: fmt(Math.max(0, box.height - 1)), fill: bg, stroke: fg, 'stroke-width': '1',
    class: 'frame',
  })];
  const grid = [];
  const labels = [];
  const line = (x1, y1, x2, y2, color, minor) => el('line', {
    x1: fmt(x1), y1: fmt(y1), x2: fmt(x2), y2: fmt(y2), stroke: color, 'stroke-width': '1',
    'stroke-dasharray': minor ? '1 3' : null,
  });
  // Value divisions: horizontal lines, a minor one half-way between majors.
  for (let d = 0; d <= valueDivs; d += 1) {
    const lineY = Math.round(plot.y + plot.height - (plot.height * d) / valueDivs) + 0.5;
    if (d > 0 && d < valueDivs) {
      grid.push(line(plot.x, lineY, plot.x + plot.width, lineY, colors.majorValue, false));
    }
    if (d < valueDivs) {
      const minorY = Math.round(plot.y + plot.height - (plot.height * (d + 0.5)) / valueDivs) + 0.5;
      grid.push(line(plot.x, minorY, plot.x + plot.width, minorY, colors.minorValue, true));
    }
    if (props.labelHoriz !== 'none' && d % valuesPerLabel === 0) {
      labels.push(el('text', {
        x: fmt(plot.x - 4), y: fmt(lineY + CHART_FONT * 0.35), 'text-anchor': 'end',
        fill: colors.valueLabel, 'font-family': FONT_FAMILIES.Helvetica,
        'font-size': fmt(CHART_FONT),
      }, [], valueLabel(minValue + ((maxValue - minValue) * d) / valueDivs)));
    }
  }
  // Time divisions: vertical lines, from `span` seconds ago to now.
  for (let d = 0; d <= timeDivs; d += 1) {
    const lineX = Math.round(plot.x + (plot.width * d) / timeDivs) + 0.5;
    if (d > 0 && d < timeDivs) {
      grid.push(line(lineX, plot.y, lineX, plot.y + plot.height, colors.majorTime, false));
    }
    if (d < timeDivs) {
      const minorX = Math.round(plot.x + (plot.width * (d + 0.5)) / timeDivs) + 0.5;
      grid.push(line(minorX, plot.y, minorX, plot.y + plot.height, colors.minorTime, true));
    }
    if (props.labelVert !== 'none' && d % timesPerLabel === 0) {
      labels.push(el('text', {
        x: fmt(lineX), y: fmt(plot.y + plot.height + 4 + CHART_FONT * 0.8),
        'text-anchor': d === 0 ? 'start' : d === timeDivs ? 'end' : 'middle',
        fill: colors.timeLabel, 'font-family': FONT_FAMILIES.Helvetica,
        'font-size': fmt(CHART_FONT),
      }, [], timeLabel(-span + (span * d) / timeDivs)));
    }
  }
  parts.push(el('g', { class: 'grid' }, grid));
  parts.push(el('rect', {
    x: fmt(plot.x + 0.5), y: fmt(plot.y + 0.5), width: fmt(Math.max(0, plot.width - 1)),
    height: fmt(Math.max(0, plot.height - 1)), fill: 'none', stroke: fg, 'stroke-width': '1',
    class: 'axes',
  }));
  parts.push(el('g', { class: 'labels' }, labels));
  // The pens: a key above the plot, one short line per pen in its colour
  // and width, and each pen's trace, empty until values arrive.
  const pens = chartPens(props);
  const key = [];
  const traces = [];
  pens.forEach((pen, index) => {
    const keyX = plot.x + index * 30;
    // Odd widths sit on the pixel centre, so that the key line is crisp.
    const keyY = box.y + 8 + (Math.round(pen.width) % 2 === 1 ? 0.5 : 0);
    key.push(el('line', {
      x1: fmt(keyX), y1: fmt(keyY), x2: fmt(keyX + 22), y2: fmt(keyY),
      stroke: pen.color, 'stroke-width': fmt(pen.width), 'data-pen': index,
    }));
    traces.push(el('polyline', {
      points: '', fill: 'none', stroke: pen.color, 'stroke-width': fmt(pen.width),
      'data-pen': index, 'stroke-linejoin': 'round',
    }));
  });
  parts.push(el('g', { class: 'pen-key' }, key));
  parts.push(el('g', { class: 'pens' }, traces));
  return objectElement(object, 'g', {}, parts);
}

function drawSymbol(object) {
  const children = [];
  for (const child of object.children) {
    const node = renderObject(child);
    if (node) children.push(node);
  }
  const node = objectElement(object, 'g', {}, children);
  delete node.attrs.transform;
  return node;
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
export function renderObject(object) {
  const draw = DRAWERS[object.className];
  return draw ? draw(object) : null;
}

// The whole drawing: an SVG element of the page's size and background
// colour holding one element per drawn object.
export function renderPage(page) {
  const children = [el('rect', {
    x: '0', y: '0', width: fmt(page.width), height: fmt(page.height), fill: page.bgColor,
    class: 'page-background',
  })];
  for (const object of page.objects) {
    const node = renderObject(object);
    if (node) children.push(node);
  }
  return el('svg', {
    xmlns: SVG_NS,
    width: fmt(page.width),
    height: fmt(page.height),
    viewBox: `0 0 ${fmt(page.width)} ${fmt(page.height)}`,
    class: 'quillon-page',
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
  const svg = toDom(renderPage(page), doc);
  const elements = new Map();
  const index = (root) => {
    if (root.getAttribute && root.hasAttribute('data-object')) {
      elements.set(root.getAttribute('data-object'), root);
    }
    for (const found of root.querySelectorAll('[data-object]')) {
      elements.set(found.getAttribute('data-object'), found);
    }
  };
  index(svg);
  container.appendChild(svg);
  const find = (path) => {
    const object = page.byPath.get(path);
    return object && DRAWN_CLASSES.includes(object.className) ? object : null;
  };
  return {
    page,
    svg,
    element: (path) => elements.get(path) || null,
    setProperty(path, property, value) {
      const object = find(path);
      const old = object ? elements.get(path) : null;
      if (!object || !old) return false;
      object.props[property] = Array.isArray(value) ? value : String(value);
      const fresh = toDom(renderObject(object), doc);
      old.replaceWith(fresh);
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
  try {
    const text = JSON.parse(source ? source.textContent : '""');
    page = parseJdf(text);
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
  if (typeof performance !== 'undefined') {
    view.firstFrameMs = performance.now() - start;
  }
  if (typeof window !== 'undefined') window.quillonView = view;
  return view;
}
