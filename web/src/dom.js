// Building the page's elements: a tag, its attributes ('class' and 'text'
// set the class name and the text), and its children.
export function element(tag, attributes = {}, ...children) {
  const e = document.createElement(tag);
  for (const [key, value] of Object.entries(attributes)) {
    if (key === 'class') e.className = value;
    else if (key === 'text') e.textContent = value;
    else e.setAttribute(key, value);
  }
  e.append(...children);
  return e;
}
