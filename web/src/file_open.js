// Opening a mesh file of the user's: by the file picker or by dropping the
// file on the page. The page reads the file (at most MAX_OPEN_BYTES, what the
// server takes, and only UTF-8 text: the server keeps the text exactly, and a
// replay of the session checks the file's checksum) and hands its name and
// text on; the server's session opens it (an `open` command). A mistake in
// the file comes back from the server naming its line.
export const MAX_OPEN_BYTES = 32 * 1024 * 1024;

const mib = (bytes) => `${(bytes / 1024 / 1024).toFixed(1)} MiB`;

export class FileOpener {
  // onText(name, text) opens it; onProblem(title, text) tells why not.
  constructor({ input, dropZone, onText, onProblem }) {
    this.onText = onText;
    this.onProblem = onProblem;
    input.addEventListener('change', () => {
      const file = input.files[0];
      input.value = '';
      this.open(file);
    });
    const dragsFiles = (e) => e.dataTransfer && [...e.dataTransfer.types].includes('Files');
    dropZone.addEventListener('dragover', (e) => {
      if (!dragsFiles(e)) return;
      e.preventDefault();
      e.dataTransfer.dropEffect = 'copy';
      document.body.classList.add('dropping');
    });
    dropZone.addEventListener('dragleave', (e) => {
      if (e.relatedTarget === null) document.body.classList.remove('dropping');
    });
    dropZone.addEventListener('drop', (e) => {
      document.body.classList.remove('dropping');
      if (!dragsFiles(e)) return;
      e.preventDefault();
      this.open(e.dataTransfer.files[0]);
    });
  }

  async open(file) {
    if (!file) return;
    if (file.size > MAX_OPEN_BYTES) {
      return this.onProblem(`Cannot open ${file.name}`, `It is ${mib(file.size)}: the playground opens mesh files of up to ${mib(MAX_OPEN_BYTES)}.`);
    }
    let text;
    try {
      text = new TextDecoder('utf-8', { fatal: true }).decode(await file.arrayBuffer());
    } catch (error) {
      return this.onProblem(`Cannot open ${file.name}`, 'It is not UTF-8 text: an OBJ file is text (ASCII or UTF-8).');
    }
    this.onText(file.name, text);
  }
}
