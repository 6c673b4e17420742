// The scene's answers in the server's binary form (standin/server/scene_tracker.h):
// a uint32 (little-endian), the length of a JSON header; the header, padded
// so that the arrays start at a multiple of 8 bytes; the arrays, each at a
// multiple of 8 bytes from there. The header's "arrays" says where each is:
// {NAME: {type, offset, count}}. Decoding reads no numbers as text: each
// array is a view on the answer's own bytes.

export const SCENE_TYPE = 'application/x-elasticpull-scene';
export const NO_LINK = 0xffffffff;

const TYPES = { f64: Float64Array, f32: Float32Array, u32: Uint32Array, i32: Int32Array, u8: Uint8Array };

// The answer's header with `arrays` as typed arrays (views on `buffer`).
export function decodeScene(buffer) {
  if (buffer.byteLength < 4) throw new Error('the scene answer is cut short');
  const headerLength = new DataView(buffer).getUint32(0, true);
  const start = 4 + headerLength;
  if (start > buffer.byteLength || start % 8 !== 0) throw new Error('the scene answer has a broken header');
  const header = JSON.parse(new TextDecoder().decode(new Uint8Array(buffer, 4, headerLength)));
  const arrays = {};
  for (const [name, { type, offset, count }] of Object.entries(header.arrays ?? {})) {
    const Type = TYPES[type];
    if (!Type) throw new Error(`the scene answer's array ${name} has an unknown type ${type}`);
    if (offset % 8 !== 0 || start + offset + count * Type.BYTES_PER_ELEMENT > buffer.byteLength)
      throw new Error(`the scene answer's array ${name} lies outside it`);
    arrays[name] = new Type(buffer, start + offset, count);
  }
  header.arrays = arrays;
  return header;
}

// Which things (handles, overlay calls) follow each point: links[i] is the
// point thing i sits on, or NO_LINK. Built in one pass, in proportion to the
// links; forEach(point, f) calls f(i) for each thing linked to the point.
export class LinkIndex {
  constructor(links, pointCount) {
    this.from = new Uint32Array(pointCount + 1);
    for (let i = 0; i < links.length; i++) if (links[i] < pointCount) this.from[links[i] + 1]++;
    for (let p = 0; p < pointCount; p++) this.from[p + 1] += this.from[p];
    this.at = new Uint32Array(this.from[pointCount]);
    const next = this.from.slice(0, pointCount);
    for (let i = 0; i < links.length; i++) if (links[i] < pointCount) this.at[next[links[i]]++] = i;
  }

  forEach(point, f) {
    for (let k = this.from[point]; k < this.from[point + 1]; k++) f(this.at[k]);
  }
}
