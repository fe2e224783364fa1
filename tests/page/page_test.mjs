// The pages boardsim --html writes, opened in Debian's headless Chromium through puppeteer-core:
// no console error, no request beyond the page's own file, as many bars, rows and pad cells as
// the JSON document holds, a tooltip on hover, and the header's status, time and faults as the
// text summary gives them; a mark where each fault struck. A screenshot of each page is left in
// PAGE_OUT for a person to look at. And no function of the page's script is over 80 lines.
//
// Environment: BOARDSIM (the tool), PAGE_OUT (a folder for pages and screenshots), CHROMIUM
// (default /usr/bin/chromium).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { existsSync, mkdirSync, readFileSync, statSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { functionSpans } from './function_spans.mjs';

const boardsim = process.env.BOARDSIM;
const out = process.env.PAGE_OUT;
const chromium = process.env.CHROMIUM || '/usr/bin/chromium';
const pageScript = fileURLToPath(new URL('../../tools/boardsim/render/page/page.js', import.meta.url));
assert.ok(boardsim && out, 'BOARDSIM and PAGE_OUT must name the tool and a folder');
mkdirSync(out, { recursive: true });

let puppeteer;
let browser;

before(async () => {
  if (!existsSync(chromium)) {
    throw new Error(`no browser at ${chromium}: install Debian's chromium (scripts/setup.sh does)`);
  }
  try {
    puppeteer = (await import('puppeteer-core')).default;
  } catch (error) {
    throw new Error(`puppeteer-core is missing: run 'npm ci' in tests/page (scripts/setup.sh does): ${error.message}`);
  }
  browser = await puppeteer.launch({
    executablePath: chromium,
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--disable-dev-shm-usage'],
  });
});

after(async () => {
  if (browser) await browser.close();
});

function tool(...args) {
  return execFileSync(boardsim, args, { encoding: 'utf8', maxBuffer: 64 << 20 });
}

// A value of the text summary: "status    EFI_SUCCESS" gives "EFI_SUCCESS".
function summaryLine(text, key) {
  const line = text.split('\n').find((l) => l.startsWith(`${key} `));
  assert.ok(line, `the summary has no '${key}' line`);
  return line.slice(key.length).trim();
}

// Opens a page and keeps what a person would not see: console errors, page errors, requests.
async function open(file, name) {
  const page = await browser.newPage();
  await page.setViewport({ width: 1400, height: 1000 });
  const problems = [];
  const url = pathToFileURL(file).href;
  page.on('console', (message) => {
    if (message.type() === 'error') problems.push(`console: ${message.text()}`);
  });
  page.on('pageerror', (error) => problems.push(`page error: ${error.message}`));
  await page.setRequestInterception(true);
  page.on('request', (request) => {
    if (request.url() === url) {
      request.continue();
    } else {
      problems.push(`request: ${request.url()}`);
      request.abort();
    }
  });
  await page.goto(url, { waitUntil: 'load' });
  // The document as the page holds it: its pads' detail comes in an element of its own.
  const document = await page.evaluate(() => {
    const doc = JSON.parse(window.document.getElementById('boardsim-document').textContent);
    const detail = window.document.getElementById('boardsim-pad-detail');
    if (detail) doc.pads = { ...doc.pads, detail: JSON.parse(detail.textContent) };
    return doc;
  });
  const count = (selector) => page.$$eval(selector, (nodes) => nodes.length);
  const text = (selector) => page.$eval(selector, (node) => node.textContent);
  const finish = async () => {
    await page.screenshot({ path: join(out, `${name}.png`), fullPage: true });
    await page.close();
    assert.deepEqual(problems, []);
  };
  return { page, document, count, text, finish };
}

// A copy of a page with its embedded document edited, as an older or another boardsim would give it.
function withDocument(file, name, edit) {
  const html = readFileSync(file, 'utf8');
  const embedded = html.match(/(<script type="application\/json" id="boardsim-document">)(.*?)(<\/script>)/s);
  const document = edit(JSON.parse(embedded[2]));
  const copy = join(out, `${name}.html`);
  writeFileSync(copy, html.replace(embedded[0],
    () => embedded[1] + JSON.stringify(document).replaceAll('<', '\\u003c') + embedded[3]));
  return { file: copy, document };
}

async function hoverShowsTip(page, selector, expected) {
  await page.hover(selector);
  const tip = await page.$eval('#tooltip', (node) => ({ shown: node.classList.contains('shown'), text: node.textContent }));
  assert.ok(tip.shown, `no tooltip over ${selector}`);
  assert.match(tip.text, expected);
}

// The bus of a document: a slot call's comes in two parts.
function busOf(document) {
  const parts = document.command === 'op' ? [document.selection.bus, document.call && document.call.bus] : [document.pmic_bus];
  const sum = (key) => parts.reduce((n, bus) => n + (bus ? bus[key].length : 0), 0);
  return { transactions: sum('transactions'), holds: sum('semaphore_holds'), messages: sum('sideband_messages') };
}

// What every page of a run, a slot call or a saved trace shows, counted against its document.
async function checkRunPage(view) {
  const { document, count } = view;
  const bus = busOf(document);
  const timeline = document.timeline;
  assert.ok(timeline.phases.length > 0 && bus.transactions > 0);
  assert.equal(await count('#timeline [data-kind="phase"]'), timeline.phases.length);
  assert.equal(await count('#timeline [data-kind="activity"]'), timeline.activity.length);
  assert.equal(await count('#timeline [data-kind="transaction"]'), bus.transactions);
  assert.equal(await count('#timeline [data-kind="hold"]'), bus.holds);
  assert.equal(await count('#timeline [data-kind="message"]'), bus.messages);
  assert.equal(await count('#timeline [data-kind="step"]'), (document.board_step || []).length);
  assert.equal(await count('#tables .transaction-row'), bus.transactions);
  assert.equal(await count('#pads [data-kind="pad"]'), document.pads.detail.length);
  await hoverShowsTip(view.page, '#timeline [data-kind="transaction"]', /accesses \d+-\d+\n\d+\.\d{3} ms/);
}

test('a boot: timeline, pad map and tables as the document holds them', async () => {
  const file = join(out, 'boot.html');
  const summary = tool('run', '--html', file);
  const json = JSON.parse(tool('run', '--json', '--pads'));
  const view = await open(file, 'boot');
  assert.deepEqual(view.document, json);
  await checkRunPage(view);
  assert.equal(await view.text('#status'), summaryLine(summary, 'status'));
  assert.equal(await view.text('#time'), summaryLine(summary, 'time'));
  assert.equal(await view.text('#faults'), summaryLine(summary, 'faults'));
  assert.ok(view.document.pads.detail.length >= 150, 'the pad map shows every pad the boot accessed');
  await hoverShowsTip(view.page, '#pads [data-kind="pad"].changed', /before {2}0x[0-9A-F]{8} 0x[0-9A-F]{8} {2}mode/);
  // The wheel zooms in at the pointer: the first transaction's bar grows.
  const width = () => view.page.$eval('#timeline [data-kind="transaction"]', (node) => Number(node.getAttribute('width')));
  const before = await width();
  const bar = await view.page.$('#timeline [data-kind="transaction"]');
  const box = await bar.boundingBox();
  await view.page.mouse.move(box.x + 1, box.y + box.height / 2);
  await view.page.mouse.wheel({ deltaY: -600 });
  assert.ok(await width() > before * 2, 'the wheel did not zoom');
  await view.page.click('#timeline-reset');
  await view.finish();
});

test('a slot call: its selection and call on one timeline', async () => {
  const file = join(out, 'op.html');
  const summary = tool('op', 'WriteRegister', '0x30', '0x85', '--html', file);
  const view = await open(file, 'op');
  await checkRunPage(view);
  assert.equal(await view.text('#status'), summaryLine(summary, 'returned'));
  assert.equal(await view.text('#time'), `${summaryLine(summary, 'slot bus').split(' in ').pop()} in the call`);
  await view.finish();
});

// A wait that never ends makes tens of thousands of alike sideband messages and activity stretches:
// the page folds them, stays under its bound (docs/pages.md) and still counts every message.
test('a long wait: alike items folded, the page under 1 MB, every message counted', async () => {
  const file = join(out, 'long-wait.html');
  const args = ['op', '--host', '--board', 'variant1-id1f-rb1', '--fault', 'semaphore-never-granted', 'InitStep1'];
  const whole = JSON.parse(execFileSync(boardsim, [...args, '--json'], { encoding: 'utf8', maxBuffer: 1 << 30 }));
  tool(...args, '--html', file);
  assert.ok(statSync(file).size < 1 << 20, `the page is ${statSync(file).size} bytes`);
  const view = await open(file, 'long-wait');
  const messages = whole.selection.bus.sideband_messages.length + whole.call.bus.sideband_messages.length;
  assert.ok(messages > 100000);
  assert.ok(await view.count('.message-row') < 1000);
  const headings = await view.page.$$eval('summary', (nodes) => nodes.map((n) => n.textContent));
  assert.ok(headings.includes(`Sideband messages (${messages})`), headings.join(', '));
  await view.finish();
});

test('a saved trace: the same views from the trace alone', async () => {
  const trace = join(out, 'boot.trace');
  tool('run', '--trace', trace);
  const file = join(out, 'decode.html');
  const summary = tool('decode', trace, '--html', file);
  const view = await open(file, 'decode');
  await checkRunPage(view);
  assert.equal(await view.text('#time'), `the last access at ${summaryLine(summary, 'accesses').split(' at ').pop()}`);
  await view.finish();
});

// Points with no effect are counted apart from those passed: in the status line, in the kind
// table beside where the faults struck, and in the tooltip of a cell that has one.
async function checkNoEffect(view) {
  const { page, document } = view;
  assert.ok(document.no_effect > 0, 'the sample has a point with no effect');
  assert.match(await view.text('#status'), new RegExp(`^${document.passed} passed, ${document.no_effect} no effect, ${document.failed} failed`));
  const [head, ...rows] = await page.$eval('#kinds table', (t) => [...t.rows].map((r) => [...r.cells].map((c) => c.textContent)));
  const column = (name) => rows.map((row) => Number(row[head.indexOf(name)]));
  assert.deepEqual(column('struck'), document.kinds.map((k) => k.struck));
  assert.deepEqual(column('no effect'), document.kinds.map((k) => k.no_effect));
  const cells = document.targets.flatMap((t) => t.by_kind.map((c) => [t, c]));
  for (const key of ['struck', 'no_effect']) {
    assert.deepEqual(document.kinds.map((k) => cells.reduce((n, [, c]) => n + (c.kind === k.kind ? c[key] : 0), 0)),
      document.kinds.map((k) => k[key]), `the cells' ${key} add up to their kind's`);
  }
  const [target, cell] = cells.find(([, c]) => c.no_effect > 0);
  const tip = await page.$eval(`[data-kind="cell"][data-tip^="${cell.kind} on ${target.board}, ${target.run}:"]`, (n) => n.dataset.tip);
  assert.ok(tip.endsWith(`, ${cell.failed} failed; ${cell.struck} struck, ${cell.no_effect} no effect`), tip);
}

// Each empty cell's tooltip gives the one reason its document's count of listed points gives: the
// fault-free run lists none, or (How) --sample or the shard left out all it lists. The reasons met.
async function emptyReasons(view, how) {
  const cells = new Map(view.document.targets.flatMap((t) => t.by_kind.map((c) => [`${c.kind} on ${t.board}, ${t.run}`, c])));
  const tips = await view.page.$$eval('[data-kind="cell"].empty', (nodes) => nodes.map((n) => n.dataset.tip));
  const met = new Set();
  for (const tip of tips) {
    const where = tip.slice(0, tip.indexOf(': '));
    const listed = cells.has(where) ? cells.get(where).listed : 0;
    assert.equal(cells.has(where) ? cells.get(where).points : 0, 0, tip);
    met.add(listed ? 'left out' : 'none listed');
    assert.equal(tip, `${where}: ${listed === 0 ? 'no point of this kind: the fault-free run reaches none here'
      : listed === 1 ? `the one point listed here was not ${how}` : `none of the ${listed} points listed here was ${how}`}`);
  }
  return [...met].sort();
}

// Shards of a small sweep, whole and sampled: each empty cell names its shard.
const shardPages = [
  { name: 'sweep-shard', args: ['--shard', '1/2'], how: 'in this shard' },
  { name: 'sweep-sampled-shard', args: ['--sample', '6', '--shard', '2/2'], how: 'drawn by --sample into this shard' },
];

test('a shard\'s sweep: an empty cell says whether its points were left to another shard', async () => {
  for (const { name, args, how } of shardPages) {
    const file = join(out, `${name}.html`);
    tool('sweep', '--host', '--board', 'variant6', '--op', 'ReadVoltage', '--jobs', '2', ...args, '--html', file);
    const view = await open(file, name);
    assert.ok((await emptyReasons(view, how)).includes('left out'), name);
    await view.finish();
  }
});

test('a sweep: the matrix of kinds against targets, the failures and the statuses', async () => {
  const file = join(out, 'sweep.html');
  const summary = tool('sweep', '--board', 'default', '--board', 'variant6', '--sample', '60', '--jobs', '2',
    '--html', file);
  let view = await open(file, 'sweep');
  const { document } = view;
  const lines = summary.trim().split('\n');
  assert.equal(await view.text('#status'), lines[lines.length - 1]);
  assert.equal(await view.count('[data-kind="cell"]'), document.targets.length * document.kinds.length);
  const tried = await view.page.$$eval('[data-kind="cell"]', (cells) =>
    cells.reduce((n, cell) => n + Number((cell.textContent.split('/')[1]) || 0), 0));
  assert.equal(tried, document.targets.reduce((n, t) => n + t.points, 0));
  assert.equal(await view.count('[data-kind="failure"]'), document.failures.length);
  assert.equal(await view.count('#kinds .kind-row'), document.kinds.length);
  await hoverShowsTip(view.page, '[data-kind="cell"].passed', /points tried, 0 failed/);
  // An empty cell of a sampled sweep says why it is empty; each status names the run it came from.
  assert.deepEqual(await emptyReasons(view, 'drawn by --sample'), ['left out', 'none listed']);
  const chips = await view.page.$$eval('#kinds .chip', (nodes) => nodes.map((n) => n.textContent));
  assert.deepEqual(chips, document.returned.map((r) => `${r.run}: ${r.value} × ${r.points}`));
  await checkNoEffect(view);
  await view.finish();

  // The built-in boards give no failure: one is put into the document to see how it is shown.
  const { file: withFailure, document: failed } = withDocument(file, 'sweep-failure', (failed) => {
    const target = failed.targets[0];
    const kind = target.by_kind[0];
    kind.failed = 1;
    failed.failed = 1;
    failed.failures.push({
      fault: `${kind.kind}@1`, board: target.board, run: target.run, class: 'stuck', detail: 'past the time budget',
      struck: { access: 1234, time_ns: 567800 }, bad_writes: [],
      reproduce: `boardsim run --board ${target.board} --fault ${kind.kind}@1`,
    });
    return failed;
  });
  view = await open(withFailure, 'sweep-failure');
  assert.equal(await view.count('[data-kind="failure"]'), 1);
  assert.equal(await view.text('[data-kind="failure"] code'), failed.failures[0].reproduce);
  assert.equal(await view.text('[data-kind="failure"] .strike'), 'the fault struck at access 1234 (0.567 ms)');
  await view.page.click('[data-kind="failure"] button.copy');
  await view.page.waitForFunction(() => document.querySelector('[data-kind="failure"] button.copy').textContent === 'copied');
  await view.page.click('[data-kind="cell"].failed');
  assert.equal(await view.count('[data-kind="failure"]'), 1);
  await view.finish();

  // A sweep of an older boardsim, which did not tell no effect apart nor count the points listed.
  const old = withDocument(file, 'sweep-old', (d) => withoutStrikes(d, ['no_effect', 'struck', 'listed']));
  view = await open(old.file, 'sweep-old');
  assert.equal(await view.text('#status'), `${document.passed} passed, ${document.failed} failed`);
  assert.ok((await view.page.$$eval('[data-kind="cell"].empty', (nodes) => nodes.map((n) => n.dataset.tip)))
    .every((tip) => tip.endsWith(': no point tried here: none of this kind was drawn by --sample, or the run reaches none')));
  await view.finish();
});

// A document as a boardsim from before strikes were noted wrote it: without the members named.
function withoutStrikes(document, members) {
  return JSON.parse(JSON.stringify(document, (key, value) => (members.includes(key) ? undefined : value)));
}

// The summary's faults, each as [the fault, where it struck]: the lines below its 'faults' line.
function summaryFaults(text) {
  const lines = text.split('\n');
  const below = lines.slice(lines.findIndex((l) => l.startsWith('faults ')) + 1);
  return below.slice(0, below.findIndex((l) => !l.startsWith('  '))).map((l) => l.trim().split(/\s{2,}/));
}

const faultName = (f) => (f.source === 'board-file' ? `${f.key} ${JSON.stringify(f.value)}` : `--fault ${f.point}`);
const strikeForm = (f) => (f.struck === null ? 'none' : f.struck.access === null ? 'after the last access' : 'seen');

// Faulted runs: each page names its faults in the header as the summary does, and marks where each
// struck on the timeline, at its time (inside the part of the run it struck in), with a tooltip
// naming the fault and the access; hollow where it struck after the module's last access.
const faulted = [
  { name: 'fault-boot', args: ['run', '--fault', 'byte-refused@5', '--fault', 'byte-refused@7', '--fault', 'timer-frozen@50'],
    forms: ['after the last access', 'none', 'seen'] },
  { name: 'fault-op', args: ['op', '--board', 'variant6', '--fault', 'byte-refused@5', 'ReadVoltage'], forms: ['seen'] },
  { name: 'fault-board', args: ['run', '--board', 'flaky-pads'], forms: ['seen', 'seen', 'seen'] },
];

test('a faulted run or slot call: its faults in the header and where they struck on the timeline', async () => {
  for (const { name, args, forms } of faulted) {
    const file = join(out, `${name}.html`);
    const summary = tool(...args, '--html', file);
    const view = await open(file, name);
    const { page, document } = view;
    assert.deepEqual(document.faults.map(strikeForm), forms, name);
    assert.equal(await view.text('#faults'), summaryLine(summary, 'faults'));
    const rows = await page.$$eval('[data-kind="fault"]', (nodes) => nodes.map((n) => [...n.children].map((c) => c.textContent)));
    assert.deepEqual(rows, summaryFaults(summary));
    const marks = await page.$$eval('#timeline [data-kind="strike"]', (nodes) => nodes.map((n) => {
      const box = n.getBoundingClientRect();
      return { ns: Number(n.dataset.ns), tip: n.dataset.tip, hollow: n.classList.contains('after-last'), x: box.x + box.width / 2 };
    }));
    const parts = await page.$$eval('#timeline [data-kind="phase"]', (nodes) => nodes.map((n) => n.getBoundingClientRect().toJSON()));
    const struck = document.faults.filter((f) => f.struck);
    assert.equal(marks.length, struck.length);
    struck.forEach(({ struck: { access, time_ns: ns }, ...f }, i) => {
      const said = access === null ? "struck after the module's last access: it could not see it" : `struck at access ${access}`;
      assert.deepEqual([marks[i].ns, marks[i].hollow], [ns, access === null]);
      assert.ok(marks[i].tip.startsWith(`${faultName(f)}\n${said}\n`) && marks[i].tip.endsWith(` (${ns} ns)`), marks[i].tip);
      const part = parts[document.timeline.phases.findIndex((p) => p.start_ns <= ns && ns <= p.end_ns)];
      assert.ok(part.left - 1 <= marks[i].x && marks[i].x <= part.right + 1, `${name}: the mark of ${faultName(f)} is outside its part of the run`);
    });
    await hoverShowsTip(page, '#timeline [data-kind="strike"]', new RegExp(`^${faultName(struck[0]).replace(/[^\w ]/g, '\\$&')}\n`));
    await view.finish();
  }
  // A run of an older boardsim, which did not say where its faults struck: the faults, no marks.
  const old = withDocument(join(out, `${faulted[0].name}.html`), 'fault-old', (d) => withoutStrikes(d, ['struck']));
  const view = await open(old.file, 'fault-old');
  assert.deepEqual(await view.page.$$eval('[data-kind="fault"]', (nodes) => nodes.map((n) => n.textContent)),
    old.document.faults.map(faultName));
  assert.equal(await view.count('#timeline [data-kind="strike"]'), 0);
  await view.finish();
});

test('no function of the page script is over 80 lines', () => {
  const spans = functionSpans(readFileSync(pageScript, 'utf8'));
  assert.ok(spans.some((f) => f.name === 'renderTimeline' && f.lines > 10), 'the scanner finds the script\'s functions');
  assert.deepEqual(spans.filter((f) => f.lines > 80).map((f) => `${f.name}, line ${f.line}: ${f.lines} lines`), []);
});
