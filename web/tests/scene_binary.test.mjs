// The binary answers as the page reads them (no browser): the framing, the
// links from points to what follows them, and an overlay kept by links.
import assert from 'node:assert/strict';
import { describe, test } from 'node:test';
import { LinkIndex, NO_LINK, decodeScene } from '../src/scene_binary.js';
import { OverlayModel } from '../src/overlay_model.js';

// An answer framed as the server frames it (standin/server/scene_tracker.h).
function frame(header, arrays) {
  const index = {};
  let size = 0;
  for (const [name, a] of Object.entries(arrays)) {
    const type = { Float64Array: 'f64', Float32Array: 'f32', Uint32Array: 'u32', Int32Array: 'i32', Uint8Array: 'u8' }[a.constructor.name];
    size = Math.ceil(size / 8) * 8;
    index[name] = { type, offset: size, count: a.length };
    size += a.byteLength;
  }
  let text = JSON.stringify({ ...header, arrays: index });
  while ((4 + new TextEncoder().encode(text).length) % 8 !== 0) text += ' ';
  const head = new TextEncoder().encode(text);
  const buffer = new ArrayBuffer(4 + head.length + size);
  new DataView(buffer).setUint32(0, head.length, true);
  new Uint8Array(buffer, 4, head.length).set(head);
  for (const [name, a] of Object.entries(arrays))
    new Uint8Array(buffer, 4 + head.length + index[name].offset, a.byteLength).set(new Uint8Array(a.buffer, a.byteOffset, a.byteLength));
  return buffer;
}

describe('the binary form', () => {
  test('arrays come back as typed views with the header fields; a broken answer is refused', () => {
    const points = new Float64Array([0, 2, 0, 0.1, 0, 1e300]);
    const buffer = frame({ version: 7, full: true, name: 'é.obj' }, { points, ops: new Uint8Array([0, 1, 3]), links: new Uint32Array([1, NO_LINK]) });
    const s = decodeScene(buffer);
    assert.equal(s.version, 7);
    assert.equal(s.name, 'é.obj');
    assert.deepEqual(Array.from(s.arrays.points), Array.from(points));
    assert.deepEqual(Array.from(s.arrays.ops), [0, 1, 3]);
    assert.deepEqual(Array.from(s.arrays.links), [1, NO_LINK]);
    assert.throws(() => decodeScene(buffer.slice(0, buffer.byteLength - 4)), /outside/);
    assert.throws(() => decodeScene(buffer.slice(0, 3)), /cut short/);
    const bad = buffer.slice(0);
    new DataView(bad).setUint32(0, 5, true);
    assert.throws(() => decodeScene(bad), /broken header/);
  });

  test('a link index lists, for each point, what is linked to it', () => {
    const index = new LinkIndex(new Uint32Array([2, NO_LINK, 0, 2, 9]), 3);
    const of = (p) => {
      const out = [];
      index.forEach(p, (i) => out.push(i));
      return out;
    };
    assert.deepEqual([of(0), of(1), of(2)], [[2], [], [0, 3]], 'a link past the points is none');
  });
});

describe('the overlay by links', () => {
  // One pair as the tool draws it: H (point 0), A (point 1), V (0, 3, 0) and -V.
  const H = 0;
  const A = 1;
  const pair = {
    ops: new Uint8Array([0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 3]),
    modes: new Int32Array([0, 0, 1, 101, 1, 101, 1, 101, 1, 101, 0, 101]),
    links: new Uint32Array([H, A, H, NO_LINK, H, NO_LINK, A, NO_LINK, A, NO_LINK, H, NO_LINK]),
    xyz: new Float32Array([0, 3, 0, 0, -3, 0, 0, 3, 0, 0, -3, 0]),
    radii: new Float64Array([0.5]),
  };
  const none = { ops: [], modes: [], links: [], xyz: [], radii: [] };

  test('calls follow the points they are linked to, as floats; the others keep their numbers', () => {
    const m = new OverlayModel();
    const points = [0, 2, 0, 0, 0, 0];
    m.setCallList(pair, points);
    assert.deepEqual(Array.from(m.calls.slice(0, 10)), [0, 0, 2, 0, 0, 1, 0, 0, 0, 0]);
    points[1] = 2.1; // H moves up
    const touched = m.applyChanges([H], points, 12, new Uint32Array(0), none);
    assert.deepEqual(touched, { segments: [0, 3], circles: [0, 1] }, 'the line and the marks at H, and the circle');
    assert.deepEqual(Array.from(m.segA.slice(0, 3)), [0, Math.fround(2.1), 0]);
    assert.deepEqual(Array.from(m.segBRel.slice(3, 6)), [0, 3, 0], 'the marks keep V');
    assert.deepEqual(m.circleCentre(0).anchor, [0, Math.fround(2.1), 0]);
    assert.deepEqual(Array.from(m.segB.slice(0, 3)), [0, 0, 0], 'A stays');
  });

  test('named calls replace theirs and their links; another kind or length lays everything out anew', () => {
    const m = new OverlayModel();
    const points = [0, 2, 0, 0, 0, 0];
    m.setCallList(pair, points);
    // Call 1 (the line to A) now goes to its own place, unlinked.
    const named = { ops: new Uint8Array([1]), modes: new Int32Array([0]), links: new Uint32Array([NO_LINK]), xyz: new Float32Array([5, 5, 5]), radii: [] };
    assert.notEqual(m.applyChanges([], points, 12, new Uint32Array([1]), named), null);
    assert.deepEqual(Array.from(m.segB.slice(0, 3)), [5, 5, 5]);
    points[4] = 7; // A moves: the unlinked call stays, the marks at A follow
    m.applyChanges([A], points, 12, new Uint32Array(0), none);
    assert.deepEqual(Array.from(m.segB.slice(0, 3)), [5, 5, 5]);
    assert.deepEqual(Array.from(m.segA.slice(9, 12)), [0, 7, 0]);
    const circle = { ops: new Uint8Array([3]), modes: new Int32Array([101]), links: new Uint32Array([NO_LINK]), xyz: [], radii: new Float64Array([2]) };
    assert.equal(m.applyChanges([], points, 12, new Uint32Array([1]), circle), null);
    assert.equal(m.segDashed.length, 4);
    assert.equal(m.circleRadius.length, 2);
    assert.equal(m.applyChanges([], points, 2, new Uint32Array(0), none), null);
    assert.equal(m.callCount, 2);
  });
});
