// The page's one line to the server: actions are sent in order, one at a
// time. Drag positions that pile up while a request is out are merged into
// the newest, so the tool follows the hand and never lags behind it.
//
// Each action is a session command, posted to /api/command as its JSON form
// ({"command": name, ...fields}). Each request carries the scene version the
// page holds (body "version"); the server answers with what changed since (or
// the whole scene when the page is behind), and with the boxes the tool showed
// for it. The page asks for the scene's binary form (Accept: SCENE_TYPE):
// arrays of numbers as bytes behind a JSON header (scene_binary.js); each
// answer is handed over as the header with `arrays` as typed arrays.
//
// Pages that agree: the server counts the session's changes (every action it
// carried out) and says the count with every answer (header
// Session-Version). Each action carries the count this page holds, so one
// based on a scene another page has changed since is refused (409 with
// "stale") instead of carried out on what the user did not see; the channel
// then fetches the scene. The server also pushes the count after every change
// (server-sent events on /api/events); a push newer than what the page shows
// makes the channel fetch the scene and hand it over like any answer (action
// 'sync'), so every open page shows the same state.
//
// The interface the page uses:
//   new Channel(onAnswer, onError)  onAnswer(answer, action) for each answer
//                                   (action 'state' for load(), 'sync' after a
//                                   push); onError(message, action, status,
//                                   answer) for each refusal (answer: its body)
//   send(action, body, { merge })   queues the command `action` with its fields
//                                   (POST /api/command)
//   load()                          fetches the whole scene (GET /api/state)
//   listen()                        subscribes to the pushes
//   onPush                          optional: (version) => {}, for each push
//   idle()                          resolves when nothing is queued or out
//   stateVersion                    the session's change count the page shows

import { SCENE_TYPE, decodeScene } from './scene_binary.js';

// A release ends what its press began, whatever changed meanwhile: it never
// waits on the page being up to date.
const UNVERSIONED = new Set(['release']);
// Commands posted to their own route (/api/NAME, the body without "command"):
// a mesh file's text is larger than /api/command takes.
const ROUTED = new Set(['open']);

// An answer's body: the binary form decoded, or JSON (refusals are JSON).
async function readAnswer(response) {
  const type = response.headers.get('Content-Type') ?? '';
  if (type.startsWith(SCENE_TYPE)) return decodeScene(await response.arrayBuffer());
  return response.json();
}

export class Channel {
  constructor(onAnswer, onError) {
    this.onAnswer = onAnswer;
    this.onError = onError;
    this.onPush = null;
    this.version = -1;
    this.stateVersion = -1;
    this.pushed = -1;
    this.events = null;
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

  async load(action = 'state') {
    const response = await fetch('/api/state', { cache: 'no-store', headers: { Accept: SCENE_TYPE } });
    const answer = await readAnswer(response);
    if (!response.ok) throw new Error(answer.error || `state: ${response.status}`);
    this.version = answer.version;
    this.noteVersion(response);
    this.onAnswer(answer, action);
  }

  listen() {
    if (this.events) return;
    this.events = new EventSource('/api/events');
    this.events.onmessage = (event) => {
      const { version } = JSON.parse(event.data);
      this.pushed = Math.max(this.pushed, version);
      if (this.onPush) this.onPush(version);
      if (version > this.stateVersion) this.queueSync();
    };
  }

  noteVersion(response) {
    const header = response.headers.get('Session-Version');
    if (header !== null) this.stateVersion = Number(header);
  }

  // Fetches the scene once what is queued before has gone out, unless an
  // answer brings the page up to date first.
  queueSync() {
    if (!this.queue.some((item) => item.sync)) this.queue.push({ sync: true });
    this.pump();
  }

  async sync() {
    try {
      await this.load('sync');
    } catch (error) {
      this.onError(`state: ${error.message}`, 'sync', 0, null);
    }
  }

  async post(action, body) {
    const headers = { 'Content-Type': 'application/json', Accept: SCENE_TYPE };
    if (!UNVERSIONED.has(action) && this.stateVersion >= 0) headers['Session-Version'] = String(this.stateVersion);
    const routed = ROUTED.has(action);
    const response = await fetch(routed ? `/api/${action}` : '/api/command', {
      method: 'POST',
      headers,
      body: JSON.stringify({ ...(routed ? {} : { command: action }), ...body, version: this.version }),
    });
    const answer = await readAnswer(response);
    if (response.ok) {
      this.version = answer.version;
      this.noteVersion(response);
      this.onAnswer(answer, action);
      return;
    }
    // A page told that its scene is old gets the new one first, so that what
    // it shows for the refusal is the server's.
    if (answer.stale) {
      this.pushed = Math.max(this.pushed, answer.version);
      await this.sync();
    }
    this.onError(answer.error || `${action}: ${response.status}`, action, response.status, answer);
  }

  async pump() {
    if (this.busy) return;
    this.busy = true;
    while (this.queue.length > 0) {
      const item = this.queue.shift();
      if (item.sync) {
        if (this.pushed > this.stateVersion) await this.sync();
        continue;
      }
      this.sent += 1;
      try {
        await this.post(item.action, item.body);
      } catch (error) {
        this.onError(`${item.action}: ${error.message}`, item.action, 0, null);
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
