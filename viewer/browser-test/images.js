// Decoders of the two image formats the browser tests compare: the PNG
// screenshots of headless Chromium and the converter's BMP image files.
import zlib from 'node:zlib';

// {width, height, pixel(x, y) -> [r, g, b]} of an 8-bit, non-interlaced
// RGB or RGBA PNG file.
export function decodePng(buffer) {
  if (buffer.readUInt32BE(0) !== 0x89504e47) throw new Error('not a PNG file');
  let offset = 8;
  let width = 0;
  let height = 0;
  let channels = 0;
  const data = [];
  while (offset < buffer.length) {
    const length = buffer.readUInt32BE(offset);
    const type = buffer.toString('latin1', offset + 4, offset + 8);
    const body = buffer.subarray(offset + 8, offset + 8 + length);
    if (type === 'IHDR') {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      const depth = body[8];
      const colourType = body[9];
      if (depth !== 8 || body[12] !== 0 || (colourType !== 2 && colourType !== 6)) {
        throw new Error(`unsupported PNG: depth ${depth}, colour type ${colourType}`);
      }
      channels = colourType === 6 ? 4 : 3;
    } else if (type === 'IDAT') {
      data.push(body);
    } else if (type === 'IEND') {
      break;
    }
    offset += 12 + length;
  }
  const raw = zlib.inflateSync(Buffer.concat(data));
  const stride = width * channels;
  const pixels = Buffer.alloc(stride * height);
  for (let y = 0; y < height; y += 1) {
    const filter = raw[y * (stride + 1)];
    const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    const out = pixels.subarray(y * stride, (y + 1) * stride);
    const prior = y > 0 ? pixels.subarray((y - 1) * stride, y * stride) : Buffer.alloc(stride);
    for (let i = 0; i < stride; i += 1) {
      const a = i >= channels ? out[i - channels] : 0;
      const b = prior[i];
      const c = i >= channels ? prior[i - channels] : 0;
      let value = line[i];
      if (filter === 1) value += a;
      else if (filter === 2) value += b;
      else if (filter === 3) value += (a + b) >> 1;
      else if (filter === 4) {
        const p = a + b - c;
        const pa = Math.abs(p - a);
        const pb = Math.abs(p - b);
        const pc = Math.abs(p - c);
        value += pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      }
      out[i] = value & 0xff;
    }
  }
  return {
    width,
    height,
    pixel(x, y) {
      const at = y * stride + x * channels;
      return [pixels[at], pixels[at + 1], pixels[at + 2]];
    },
  };
}

// The same for an uncompressed 24- or 32-bit BMP file.
export function decodeBmp(buffer) {
  if (buffer.toString('latin1', 0, 2) !== 'BM') throw new Error('not a BMP file');
  const dataOffset = buffer.readUInt32LE(10);
  const width = buffer.readInt32LE(18);
  const rawHeight = buffer.readInt32LE(22);
  const bits = buffer.readUInt16LE(28);
  const compression = buffer.readUInt32LE(30);
  if ((bits !== 24 && bits !== 32) || (compression !== 0 && compression !== 3)) {
    throw new Error(`unsupported BMP: ${bits} bits, compression ${compression}`);
  }
  const height = Math.abs(rawHeight);
  const bytes = bits / 8;
  const stride = Math.ceil((width * bytes) / 4) * 4;
  return {
    width,
    height,
    pixel(x, y) {
      const row = rawHeight > 0 ? height - 1 - y : y;
      const at = dataOffset + row * stride + x * bytes;
      return [buffer[at + 2], buffer[at + 1], buffer[at]];
    },
  };
}

export function hex(rgb) {
  return `#${rgb.map((v) => v.toString(16).padStart(2, '0')).join('')}`;
}
