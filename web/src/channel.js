// The page's one line to the server: actions are sent in order, one at a
// time. Drag positions that pile up while a request is out are merged into
// the newest, so the tool follows the hand and never lags behind it.
//
// Each action is a session command, posted to /api/command as its JSON form
// ({"command": name, ...fields}). Each request carries the scene version the
// page holds; the server answers with what changed since (or the whole scene
// when the page is behind), and with the boxes the tool showed for it.

export class Channel {
  // onAnswer(answer, action) for each answer; onError(message, action, status)
  // for each refusal.
  constructor(onAnswer, onError) {
    this.onAnswer = onAnswer;
    this.onError = onError;
    this.version = -1;
    this.queue = [];
    this.busy = false;
    this.waiters = [];
    this.sent = 0;
  }

  // Queues an action. With `merge`, it replaces a queued action of the same
  // name at the end of the queue (the newest mouse position wins).
  send(action, body = {}, { merge = false } = {}) {
    const last = this.queue[this.queue.length - 1];
    if (merge && last && last.action === action) last.body = body;
    else this.queue.push({ action, body });
    this.pump();
  }

  async load() {
    const response = await fetch('/api/state', { cache: 'no-store' });
    const answer = await response.json();
    if (!response.ok) throw new Error(answer.error || `state: ${response.status}`);
    this.version = answer.version;
    this.onAnswer(answer, 'state');
  }

  async pump() {
    if (this.busy) return;
    this.busy = true;
    while (this.queue.length > 0) {
      const { action, body } = this.queue.shift();
      this.sent += 1;
      try {
        const response = await fetch('/api/command', {
          method: 'POST',
          headers: { 'Content-Type': 'application/json' },
          body: JSON.stringify({ command: action, ...body, version: this.version }),
        });
        const answer = await response.json();
        if (response.ok) {
          this.version = answer.version;
          this.onAnswer(answer, action);
        } else {
          this.onError(answer.error || `${action}: ${response.status}`, action, response.status);
        }
      } catch (error) {
        this.onError(`${action}: ${error.message}`, action, 0);
      }
    }
    this.busy = false;
    for (const resolve of this.waiters.splice(0)) resolve();
  }

  // Resolves when nothing is queued or out.
  idle() {
    if (!this.busy && this.queue.length === 0) return Promise.resolve();
    return new Promise((resolve) => this.waiters.push(resolve));
  }
}
