// Which handle a press grabs. The nearest on the screen within the radius
// (geometry.js's pickNearest); when other handles sit on the same spot of the
// screen (a pair seen end-on in an orthographic view: the handle end right
// over its anchor end), the pair's current handle end comes first, then the
// end nearer to the camera, then the higher index (the host's priority).
import { pickNearest, project, screenProjector } from './geometry.js';

// Handles this close on the screen to the nearest one tie with it (pixels).
export const TIE_PIXELS = 0.5;

const at = (flat, i) => [flat[3 * i], flat[3 * i + 1], flat[3 * i + 2]];

// `isCurrentEnd(i)`: whether handle i is its pair's current handle end.
// `near(sx, sy, radius)`: the handles that may lie within `radius` pixels of
// a screen position (a grid's answer, screen_grid.js), or null for all.
// `nearest(sx, sy, radius)`: the nearest handle as pickNearest finds it (a
// grid's answer), or null to look at what `near` gives.
export function pickHandle(view, handles, sx, sy, radius, isCurrentEnd = () => false, near = () => null, nearest = () => null) {
  const best = nearest(sx, sy, radius) ?? pickNearest(view, handles, sx, sy, radius, near(sx, sy, radius));
  if (best < 0) return best;
  const spot = project(view, at(handles, best));
  let chosen = null;
  // The screen position first (the same numbers project() gives), the depth
  // only for the few that tie.
  const toScreen = screenProjector(view);
  const s = [0, 0];
  const consider = (i) => {
    const x = handles[3 * i];
    if (x === null || Number.isNaN(x)) return;
    if (!toScreen(x, handles[3 * i + 1], handles[3 * i + 2], s)) return;
    if (Math.hypot(s[0] - spot[0], s[1] - spot[1]) > TIE_PIXELS) return;
    const depth = i === best ? spot[2] : project(view, at(handles, i))[2];
    const candidate = { i, current: isCurrentEnd(i), depth };
    if (chosen === null || prefer(candidate, chosen)) chosen = candidate;
  };
  const tied = near(spot[0], spot[1], TIE_PIXELS);
  if (tied) for (const i of tied) consider(i);
  else for (let i = 0, n = Math.floor(handles.length / 3); i < n; i++) consider(i);
  return chosen.i;
}

function prefer(a, b) {
  if (a.current !== b.current) return a.current;
  if (a.depth !== b.depth) return a.depth < b.depth;
  return a.i > b.i;
}

// Whether handle i is the current handle end of its pair (handles 2k and
// 2k + 1 are pair k's ends): the end nearer to the overlay's circle of pair k,
// which the tool draws at its handle end. `circle(k)` is that circle's centre,
// or null.
export function currentEndTest(handles, circle) {
  return (i) => {
    const centre = circle(i >> 1);
    const other = i ^ 1;
    if (!centre || 3 * other + 2 >= handles.length) return false;
    const d = (j) => Math.hypot(handles[3 * j] - centre[0], handles[3 * j + 1] - centre[1], handles[3 * j + 2] - centre[2]);
    return d(i) < d(other);
  };
}
