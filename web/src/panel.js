// The tool's options panel, generated from the stand-in host's panel model as
// the server sends it: each control with its type, value, enabled state (and
// the message shown while disabled), choices and bounds. Edits and button
// presses go back to the server as session commands named by the control's
// label (panelCommand), which it passes to the tool's `set` and click
// handlers.
//
// Control types: iChoice (a row of buttons, a radio group for the keyboard:
// Tab reaches the chosen one, the arrow keys choose another), percent (the value x 100 with
// a % sign), distance / float / integer (a number field), iBoolean (a
// switch), vButton (a button). Hidden controls are not shown.
import { element } from './dom.js';

const NUMBER_TYPES = new Set(['percent', 'distance', 'float', 'integer']);

// Ten significant digits, as the host's panel shows a value.
export function shown(value) {
  return Number.parseFloat(value.toPrecision(10)).toString();
}

// The session command for an edit of control `c` (a value) or a press of it
// (no value): named by the first word of its label ("Factor", "Invert
// Handle"); the unlabelled choice is the mode, by its item's name.
export function panelCommand(c, value) {
  if (c.type === 'iChoice') return ['mode', { mode: c.choices[value].toLowerCase() }];
  const name = c.label.split(' ')[0].toLowerCase();
  if (value === undefined) return [name, {}];
  if (c.type === 'iBoolean') return [name, { on: Boolean(value) }];
  return [name, { value }];
}

export class OptionsPanel {
  // onEdit(control, value) for a field or switch; onPress(control) for a button.
  constructor(root, onEdit, onPress) {
    this.root = root;
    this.onEdit = onEdit;
    this.onPress = onPress;
    this.rows = new Map();
  }

  // Shows the panel; rebuilds the rows when the set of controls changed.
  // `force` shows the values also in a field being typed in.
  update(panel, force = false) {
    const visible = panel.controls.filter((c) => !c.hidden && !c.thumbnail);
    const shape = visible.map((c) => `${c.id}:${c.type}:${c.choices.join('|')}`).join(',');
    if (shape !== this.shape) {
      this.shape = shape;
      this.rows.clear();
      const rows = visible.map((c) => this.row(c));
      this.root.replaceChildren(element('h2', { class: 'panel-title', text: panel.title || 'Options' }), ...rows);
      this.note = element('p', { class: 'panel-note' });
      this.root.append(this.note);
    }
    let message = '';
    for (const c of visible) {
      this.refresh(c, force);
      if (!c.enabled && c.disabledMessage && !message) message = c.disabledMessage;
    }
    this.note.textContent = message;
    this.note.hidden = message === '';
  }

  row(c) {
    const id = `control-${c.id}`;
    const label = element('label', { class: 'control-label', for: id, text: c.label });
    let input;
    if (c.type === 'iChoice') {
      input = element('div', { class: 'choice', role: 'radiogroup', id, 'aria-label': c.label || 'Mode' });
      c.choices.forEach((choice, index) => {
        const b = element('button', { type: 'button', role: 'radio', 'data-index': index, text: choice });
        b.addEventListener('click', () => this.onEdit(c, index));
        b.addEventListener('keydown', (e) => {
          const step = { ArrowRight: 1, ArrowDown: 1, ArrowLeft: -1, ArrowUp: -1 }[e.key];
          if (step === undefined) return;
          e.preventDefault();
          const next = (index + step + c.choices.length) % c.choices.length;
          input.querySelector(`[data-index="${next}"]`).focus();
          this.onEdit(this.rows.get(c.id).control, next);
        });
        input.append(b);
      });
    } else if (c.type === 'iBoolean') {
      input = element('input', { type: 'checkbox', id, class: 'switch' });
      input.addEventListener('change', () => this.onEdit(c, input.checked));
    } else if (c.button || c.type === 'vButton') {
      input = element('button', { type: 'button', id, class: 'panel-button', text: c.label });
      input.addEventListener('click', () => this.onPress(c));
      const row = element('div', { class: 'control button-row', 'data-id': c.id }, input);
      this.rows.set(c.id, { row, input, control: c });
      return row;
    } else if (NUMBER_TYPES.has(c.type)) {
      input = element('input', { type: 'number', id, step: 'any', inputmode: 'decimal' });
      input.addEventListener('change', () => {
        const typed = Number.parseFloat(input.value);
        if (!Number.isFinite(typed)) return this.refresh(this.rows.get(c.id).control, true);
        this.onEdit(c, c.type === 'percent' ? typed / 100 : typed);
      });
      input.addEventListener('keydown', (e) => {
        if (e.key === 'Escape') this.refresh(this.rows.get(c.id).control, true);
      });
    } else {
      input = element('span', { class: 'unsupported', text: `(${c.type})` });
    }
    const unit = c.type === 'percent' ? element('span', { class: 'unit', text: '%' }) : '';
    const row = element('div', { class: 'control', 'data-id': c.id, 'data-type': c.type }, label, input, unit);
    this.rows.set(c.id, { row, input, control: c });
    return row;
  }

  // Shows a control's value and state; a field being typed in keeps its text
  // unless `force`.
  refresh(c, force = false) {
    const entry = this.rows.get(c.id);
    if (!entry) return;
    entry.control = c;
    const { row, input } = entry;
    row.classList.toggle('disabled', !c.enabled);
    row.title = !c.enabled && c.disabledMessage ? c.disabledMessage : '';
    if (c.type === 'iChoice') {
      for (const b of input.querySelectorAll('button')) {
        b.disabled = !c.enabled;
        b.classList.toggle('selected', Number(b.dataset.index) === c.value);
        b.setAttribute('aria-checked', String(Number(b.dataset.index) === c.value));
        b.tabIndex = Number(b.dataset.index) === c.value ? 0 : -1;
      }
      return;
    }
    input.disabled = !c.enabled;
    if (c.type === 'iBoolean') input.checked = c.value !== 0;
    if (!NUMBER_TYPES.has(c.type) || c.value === null) return;
    const value = c.type === 'percent' ? c.value * 100 : c.value;
    if (c.min !== null) input.min = String(c.min);
    if (c.max !== null) input.max = String(c.max);
    if (force || document.activeElement !== input) input.value = shown(value);
  }
}
