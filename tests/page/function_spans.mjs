// The functions of a script and the lines each spans, counted from the line of its `function`
// keyword or its arrow to the line of its closing brace (an arrow without braces: to the end of its
// expression). A scanner, not a parser: it knows comments, strings, template literals and regular
// expressions well enough to count the braces of the page's script.
export function functionSpans(source) {
  const spans = [];
  const frames = []; // one per open bracket: the function whose body it opens, or a template's ${
  const arrows = []; // arrows without braces, by the bracket depth at which their expression ends
  let pending = null; // a `function` keyword: its body is the next '{' at the same depth
  let declared = null; // the last name declared by const or let: it names an arrow on its line
  let line = 1;
  let last = ''; // the last token, which tells a regular expression's '/' from a division's
  let i = 0;
  const span = (start) => spans.push({ name: start.name, line: start.line, lines: line - start.line + 1 });
  const endArrows = () => {
    while (arrows.length && arrows[arrows.length - 1].depth >= frames.length) span(arrows.pop());
  };
  const past = (quote) => { // past the end of a string or a regular expression
    for (let inClass = false; i < source.length; i++) {
      const c = source[i];
      if (c === '\\') i++;
      else if (c === '\n') line++;
      else if (quote === '/' && c === '[') inClass = true;
      else if (c === ']') inClass = false;
      else if (c === quote && !inClass) { i++; return; }
    }
  };
  const inTemplate = () => { // past a template's end, or into one of its ${ }
    for (; i < source.length; i++) {
      const c = source[i];
      if (c === '\\') i++;
      else if (c === '\n') line++;
      else if (c === '`') { i++; last = '`'; return; }
      else if (c === '$' && source[i + 1] === '{') { i += 2; frames.push({ template: true }); last = '{'; return; }
    }
  };
  const regexpMayFollow = () => last === '' || /^[(,=:[!&|?{};+\-*%<>~^]$/.test(last)
    || /^(return|typeof|case|of|in|delete|void|throw|new)$/.test(last);
  while (i < source.length) {
    const c = source[i];
    const word = /^[A-Za-z_$][\w$]*/.exec(source.slice(i, i + 80));
    if (c === '\n') { line++; i++; }
    else if (/\s/.test(c)) i++;
    else if (source.startsWith('//', i)) { const end = source.indexOf('\n', i); i = end < 0 ? source.length : end; }
    else if (source.startsWith('/*', i)) {
      const end = source.indexOf('*/', i) + 2;
      line += source.slice(i, end).split('\n').length - 1;
      i = end;
    } else if (c === '"' || c === "'") { i++; past(c); last = 'string'; }
    else if (c === '`') { i++; inTemplate(); }
    else if (c === '/' && regexpMayFollow()) { i++; past('/'); last = 'regexp'; }
    else if (word) {
      if (word[0] === 'function') {
        pending = { name: /^function\s*\*?\s*([\w$]*)/.exec(source.slice(i))[1] || 'a function', line, depth: frames.length };
      } else if (last === 'const' || last === 'let') {
        declared = { name: word[0], line };
      }
      last = word[0];
      i += word[0].length;
    } else if (source.startsWith('=>', i)) {
      i += 2;
      const name = declared && declared.line === line ? declared.name : 'an arrow';
      const start = { name, line, depth: frames.length };
      if (/^\s*\{/.test(source.slice(i, i + 200))) pending = start;
      else arrows.push(start);
      last = '=>';
    } else if ('([{'.includes(c)) {
      const body = c === '{' && pending && pending.depth === frames.length;
      frames.push({ fn: body ? pending : null });
      if (body) pending = null;
      last = c;
      i++;
    } else if (')]}'.includes(c)) {
      endArrows();
      const frame = frames.pop() || {};
      i++;
      if (frame.template) { inTemplate(); continue; }
      if (frame.fn) span(frame.fn);
      last = c;
    } else {
      if (c === ',' || c === ';') endArrows();
      last = c;
      i++;
    }
  }
  arrows.reverse().forEach(span);
  return spans;
}
