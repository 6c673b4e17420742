// The pairs the tool stretches, as the user chooses them: the list of pairs
// (handle end : anchor end, in the order the tool takes them), each of which
// can be moved up or down, swapped (the anchor end becomes the handle end)
// or removed; pairs from the mesh file's edges, with an axis and a
// tolerance; and the mouse's role in the views: stretching (the tool's own
// mouse) or choosing pairs (click a handle end, then its anchor end; drag a
// box around points). Every change is one session command that closes the
// tool (keeping its result) and picks it on the new pairs, so it is one step
// of the history and one line of the log.
import { element } from './dom.js';

// The pairs of a selection in the tool's order: [[handle, anchor], ...].
export function pairsOf(selected) {
  const pairs = [];
  for (let k = 0; 2 * k + 1 < selected.length; k++) pairs.push([selected[2 * k], selected[2 * k + 1]]);
  return pairs;
}

const sameNumbers = (a, b) => {
  if (a === b) return true;
  if (a.length !== b.length) return false;
  for (let i = 0; i < a.length; i++) if (a[i] !== b[i]) return false;
  return true;
};

export const pairsText = (pairs) => pairs.map(([h, a]) => `${h}:${a}`).join(',');

// Ascending indices as the shortest selection text: [0, 1, 2, 5] is "0-2,5".
export function selectionText(indices) {
  const parts = [];
  for (let i = 0; i < indices.length; ) {
    let j = i;
    while (j + 1 < indices.length && indices[j + 1] === indices[j] + 1) j++;
    parts.push(j > i ? `${indices[i]}-${indices[j]}` : `${indices[i]}`);
    i = j + 1;
  }
  return parts.join(',');
}

export class PairsPanel {
  // send(command, fields) posts a session command; onMode(mode) is told the mouse's role.
  constructor(root, { send, onMode }) {
    this.root = root;
    this.send = send;
    this.onMode = onMode;
    this.mode = 'stretch';
    this.selected = [];
    this.cachedPairs = null;
    this.pairCount = 0;
    this.list = root.querySelector('#pair-list');
    this.count = root.querySelector('#pair-count');
    for (const b of root.querySelectorAll('#mouse-mode [role="radio"]')) {
      b.addEventListener('click', () => this.setMode(b.dataset.mode));
      b.addEventListener('keydown', (e) => {
        if (!['ArrowLeft', 'ArrowRight', 'ArrowUp', 'ArrowDown'].includes(e.key)) return;
        e.preventDefault();
        const next = this.mode === 'stretch' ? 'choose' : 'stretch';
        this.setMode(next);
        root.querySelector(`#mouse-mode [data-mode="${next}"]`).focus();
      });
    }
    const axis = root.querySelector('#edge-axis');
    const within = root.querySelector('#edge-within');
    axis.addEventListener('change', () => (within.disabled = axis.value === ''));
    root.querySelector('#btn-edges').addEventListener('click', () => {
      const fields = { pick: true };
      if (axis.value !== '') {
        fields.axis = axis.value;
        const degrees = Number.parseFloat(within.value);
        if (Number.isFinite(degrees)) fields.within = degrees;
      }
      this.send('pairs-from-edges', fields);
    });
    this.setMode('stretch');
  }

  setMode(mode) {
    this.mode = mode;
    for (const b of this.root.querySelectorAll('#mouse-mode [role="radio"]')) {
      const on = b.dataset.mode === mode;
      b.setAttribute('aria-checked', String(on));
      b.classList.toggle('selected', on);
      b.tabIndex = on ? 0 : -1;
    }
    this.onMode(mode);
  }

  // The pairs to choose: the tool picked on them at once.
  choose(pairs) {
    this.send('pairs', { pairs: pairsText(pairs), pick: true });
  }

  // Shows the selection's pairs.
  update(selected) {
    if (sameNumbers(selected, this.selected)) return;
    // (The answers' selections are new arrays, never changed in place.)
    this.selected = selected;
    this.cachedPairs = null;
    this.pairCount = Math.floor(selected.length / 2);
    this.count.textContent = `· ${this.pairCount}`;
    const shown = Math.min(this.pairCount, 200);
    const rows = [];
    for (let k = 0; k < shown; k++) rows.push(this.row(selected[2 * k], selected[2 * k + 1], k));
    if (this.pairCount > shown) rows.push(element('li', { class: 'more', text: `… and ${this.pairCount - shown} more` }));
    this.list.replaceChildren(...rows);
  }

  // The pairs as [[handle, anchor], ...], made when an edit needs them (not for every answer).
  get pairs() {
    this.cachedPairs ??= pairsOf(this.selected);
    return this.cachedPairs;
  }

  row(h, a, k) {
    const last = this.pairCount - 1;
    const button = (text, label, disabled, act) => {
      const b = element('button', { type: 'button', class: 'mini', 'aria-label': label, title: label, text });
      b.disabled = disabled;
      b.addEventListener('click', act);
      return b;
    };
    const edit = (change) => () => {
      const pairs = this.pairs.map((p) => [...p]);
      change(pairs);
      this.choose(pairs);
    };
    return element(
      'li',
      { 'data-pair': k },
      element('span', { class: 'pair-name', text: `${k}` }),
      element('span', { class: 'pair-ends', text: `${h} : ${a}` }),
      button('↑', `Move pair ${k} up`, k === 0, edit((p) => p.splice(k - 1, 2, p[k], p[k - 1]))),
      button('↓', `Move pair ${k} down`, k === last, edit((p) => p.splice(k, 2, p[k + 1], p[k]))),
      button('⇄', `Swap the ends of pair ${k}`, false, edit((p) => p[k].reverse())),
      button('✕', last === 0 ? 'The last pair stays: choose others first' : `Remove pair ${k}`, last === 0, edit((p) => p.splice(k, 1))),
    );
  }
}
