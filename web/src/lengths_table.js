// The lengths table: each pair's length as the file has it and now, sortable
// by any column. A length typed in a pair's row stretches that pair to it;
// one typed below the table stretches the checked pairs (every pair when none
// is checked); a row's "=" makes the checked pairs (every other pair when none
// is checked) as long as that pair. Each is the session's `length` or
// `match-pair` command, so the tool itself does the stretching.
import { pairsOf, selectionText } from './pairs_panel.js';
import { shown } from './panel.js';
import { element } from './dom.js';

// A length in the table's narrow column (the title holds it whole): six
// digits, at most ten characters (longer ones, such as 0.00000123457 or
// 123457000000000000000, in five digits with an exponent).
export const SHORT_CHARACTERS = 10;
export function short(value) {
  const text = Number.parseFloat(value.toPrecision(6)).toString();
  return text.length <= SHORT_CHARACTERS ? text : value.toExponential(4).replace(/\.?0+e/, 'e');
}

// More rows than this are not drawn (the rest are counted).
export const MAX_ROWS = 300;

// Each pair's row: { pair, handle, anchor, before, now }.
export function pairLengths(points, original, selected) {
  // (geometry.js's distance, without its arrays: half a million pairs are common.)
  const between = (flat, i, j) => {
    const d0 = flat[3 * i] - flat[3 * j];
    const d1 = flat[3 * i + 1] - flat[3 * j + 1];
    const d2 = flat[3 * i + 2] - flat[3 * j + 2];
    return Math.sqrt(d0 * d0 + d1 * d1 + d2 * d2);
  };
  const rows = new Array(Math.floor(selected.length / 2));
  for (let pair = 0; pair < rows.length; pair++) {
    const handle = selected[2 * pair];
    const anchor = selected[2 * pair + 1];
    rows[pair] = { pair, handle, anchor, before: between(original, handle, anchor), now: between(points, handle, anchor) };
  }
  return rows;
}

// Rows sorted by a column, ascending or not; ties keep the pairs' order.
export function sortRows(rows, column, ascending) {
  if (column === 'pair' && ascending) return rows; // (as pairLengths lists them)
  const sign = ascending ? 1 : -1;
  return [...rows].sort((a, b) => sign * (a[column] - b[column]) || a.pair - b.pair);
}

export class LengthsTable {
  // send(command, fields) posts a session command.
  constructor(root, send) {
    this.root = root;
    this.send = send;
    this.sort = { column: 'pair', ascending: true };
    this.checked = new Set();
    this.rows = [];
    this.body = root.querySelector('tbody');
    this.more = root.querySelector('#lengths-more');
    for (const b of root.querySelectorAll('thead button[data-column]')) {
      b.addEventListener('click', () => {
        const column = b.dataset.column;
        this.sort = { column, ascending: this.sort.column === column ? !this.sort.ascending : true };
        this.draw();
      });
    }
    const all = root.querySelector('#lengths-length');
    const setChecked = () => {
      const length = Number.parseFloat(all.value);
      if (!(length > 0)) return this.send(null, null, 'Type a length greater than 0');
      this.send('length', { length, ...this.only([...this.checked]) });
    };
    root.querySelector('#lengths-set').addEventListener('click', setChecked);
    all.addEventListener('keydown', (e) => e.key === 'Enter' && setChecked());
  }

  // "only" for the pairs numbered (none: every pair, no field).
  only(pairs) {
    return pairs.length === 0 ? {} : { only: selectionText([...pairs].sort((a, b) => a - b)) };
  }

  update(scene) {
    this.rows = pairLengths(scene.points, scene.original, scene.selected);
    for (const k of [...this.checked]) if (k >= this.rows.length) this.checked.delete(k);
    this.draw();
  }

  draw() {
    for (const b of this.root.querySelectorAll('thead button[data-column]')) {
      const on = b.dataset.column === this.sort.column;
      b.closest('th').setAttribute('aria-sort', on ? (this.sort.ascending ? 'ascending' : 'descending') : 'none');
    }
    // An input being typed in is not replaced.
    const typing = this.root.contains(document.activeElement) && document.activeElement.closest('tbody');
    if (typing) return;
    const rows = sortRows(this.rows, this.sort.column, this.sort.ascending);
    this.body.replaceChildren(...rows.slice(0, MAX_ROWS).map((r) => this.row(r)));
    this.more.textContent = rows.length > MAX_ROWS ? `… and ${rows.length - MAX_ROWS} more pairs` : '';
    this.root.querySelector('#lengths-count').textContent = `${this.checked.size} of ${this.rows.length} checked`;
  }

  row(r) {
    const k = r.pair;
    const check = element('input', { type: 'checkbox', 'aria-label': `Check pair ${k}` });
    check.checked = this.checked.has(k);
    check.addEventListener('change', () => {
      if (check.checked) this.checked.add(k);
      else this.checked.delete(k);
      this.root.querySelector('#lengths-count').textContent = `${this.checked.size} of ${this.rows.length} checked`;
    });
    const now = element('input', {
      type: 'number',
      min: '0',
      step: 'any',
      class: 'length-now',
      'aria-label': `Length of pair ${k}`,
      title: shown(r.now),
      value: short(r.now),
    });
    now.addEventListener('keydown', (e) => {
      if (e.key === 'Escape') return now.blur();
      if (e.key !== 'Enter') return;
      const length = Number.parseFloat(now.value);
      now.blur();
      if (length > 0) this.send('length', { length, only: String(k) });
      else this.send(null, null, 'Type a length greater than 0');
    });
    now.addEventListener('blur', () => queueMicrotask(() => this.draw()));
    const match = element('button', {
      type: 'button',
      class: 'mini',
      text: '=',
      title: `Make the checked pairs (or every other pair) as long as pair ${k}`,
      'aria-label': `Make the checked pairs as long as pair ${k}`,
    });
    match.addEventListener('click', () => {
      const others = this.checked.size > 0 ? [...this.checked] : this.rows.map((row) => row.pair);
      const pairs = others.filter((p) => p !== k);
      if (pairs.length > 0) this.send('match-pair', { pair: k, ...this.only(pairs) });
    });
    return element(
      'tr',
      { 'data-pair': k },
      element('td', {}, check),
      element('td', { class: 'num', text: `${k}` }),
      element('td', { class: 'ends', text: `${r.handle}:${r.anchor}` }),
      element('td', { class: 'num', text: short(r.before), title: shown(r.before) }),
      element('td', {}, now),
      element('td', {}, match),
    );
  }
}
