// Draws the JSON document embedded in this page (the one boardsim's --json prints) into a
// header, a timeline, the pad map and tables (a run, a slot call, a saved trace), or into the
// fault matrix and failure list (a sweep). Members this script does not know are left alone, and
// those it knows may be missing: a document of an older boardsim still renders.
'use strict';
// A block, not a function, keeps these names out of the page's global scope: in strict code a
// function declared in a block belongs to the block.
{
  const SvgNs = 'http://www.w3.org/2000/svg';
  const doc = JSON.parse(document.getElementById('boardsim-document').textContent);
  // The pads' detail comes beside the document, in its own element: it goes back in its place.
  const padDetail = document.getElementById('boardsim-pad-detail');
  if (padDetail) doc.pads = Object.assign({}, doc.pads, { detail: JSON.parse(padDetail.textContent) });

  // ---- small helpers ------------------------------------------------------------------------

  function h(tag, attrs, ...children) {
    const node = document.createElement(tag);
    for (const [name, value] of Object.entries(attrs || {})) {
      if (value !== undefined && value !== null) node.setAttribute(name, value);
    }
    for (const child of children.flat()) {
      if (child !== undefined && child !== null) {
        node.append(child instanceof Node ? child : String(child));
      }
    }
    return node;
  }

  function s(tag, attrs) {
    const node = document.createElementNS(SvgNs, tag);
    for (const [name, value] of Object.entries(attrs || {})) {
      if (value !== undefined && value !== null) node.setAttribute(name, value);
    }
    return node;
  }

  // As the summaries write times: "100.398 ms".
  function ms(ns) {
    const whole = Math.floor(ns / 1e6);
    const frac = String(Math.floor(ns / 1000) % 1000).padStart(3, '0');
    return `${whole}.${frac} ms`;
  }

  function at(ns) {
    return `${ms(ns)} (${ns} ns)`;
  }

  function hex(value, digits) {
    if (value === null || value === undefined) return '--';
    return '0x' + Number(value).toString(16).toUpperCase().padStart(digits, '0');
  }

  function seqs(first, last) {
    if (first === null || first === undefined) return 'none';
    return last === undefined || last === first ? `access ${first}` : `accesses ${first}-${last}`;
  }

  function table(headers, rows, rowClass) {
    return h('table', {},
      h('thead', {}, h('tr', {}, headers.map((text) => h('th', {}, text)))),
      h('tbody', {}, rows.map((cells) => h('tr', { class: rowClass },
        cells.map((cell) => (cell instanceof Node && cell.tagName === 'TD' ? cell : h('td', {}, cell)))))));
  }

  function folded(title, count, content) {
    const box = h('details', { open: count <= 200 ? '' : null }, h('summary', {}, `${title} (${count})`), content);
    return box;
  }

  // ---- tooltip ------------------------------------------------------------------------------

  const tooltip = h('div', { id: 'tooltip', role: 'tooltip' });
  document.body.append(tooltip);
  function placeTip(event) {
    const pad = 14;
    let x = event.clientX + pad;
    let y = event.clientY + pad;
    const box = tooltip.getBoundingClientRect();
    if (x + box.width > window.innerWidth) x = Math.max(0, event.clientX - box.width - pad);
    if (y + box.height > window.innerHeight) y = Math.max(0, event.clientY - box.height - pad);
    tooltip.style.left = `${x}px`;
    tooltip.style.top = `${y}px`;
  }
  document.addEventListener('mouseover', (event) => {
    const target = event.target.closest ? event.target.closest('[data-tip]') : null;
    if (!target) return;
    tooltip.textContent = target.getAttribute('data-tip');
    tooltip.classList.add('shown');
    placeTip(event);
  });
  document.addEventListener('mousemove', (event) => {
    if (tooltip.classList.contains('shown')) placeTip(event);
  });
  document.addEventListener('mouseout', (event) => {
    const to = event.relatedTarget;
    if (!to || !to.closest || !to.closest('[data-tip]')) tooltip.classList.remove('shown');
  });

  const main = h('main');
  document.body.prepend(main);

  // ---- a run, a slot call or a saved trace ----------------------------------------------------

  function moduleText(module) {
    if (!module) return null;
    return module.form === 'image' ? `image ${module.image}` : 'host build';
  }

  function busOf(d) {
    const empty = { transactions: [], semaphore_holds: [], sideband_messages: [] };
    const parts = d.command === 'op'
      ? [['selection', d.selection && d.selection.bus], ['call', d.call && d.call.bus]]
      : [[null, d.pmic_bus]];
    const bus = { transactions: [], semaphore_holds: [], sideband_messages: [] };
    for (const [part, b] of parts) {
      const from = b || empty;
      for (const key of Object.keys(bus)) {
        for (const item of from[key] || []) bus[key].push(Object.assign({ part }, item));
      }
    }
    return bus;
  }

  // A fault as the text summary names it: a board file's by its key and value, a point as typed.
  function faultName(fault) {
    return fault.source === 'board-file' ? `${fault.key} ${JSON.stringify(fault.value)}` : `--fault ${fault.point}`;
  }

  // Where a fault struck, in the text summary's words; null where the document does not say.
  function describeStrike(struck) {
    if (struck === undefined) return null;
    if (struck === null) return 'did not strike';
    if (struck.access === null || struck.access === undefined) {
      return `struck at ${ms(struck.time_ns)}, after the module's last access: it could not see it`;
    }
    return `struck at access ${struck.access} (${ms(struck.time_ns)})`;
  }

  // The header's faults: how many from where ("none" for a fault-free run), then each fault with
  // where it struck. A document without faults (a saved trace) has no such line.
  function faultRows(faults, add) {
    if (!Array.isArray(faults)) return;
    const from = (count, where) => (count ? `${count} from ${where}` : null);
    const fromFile = faults.filter((f) => f.source === 'board-file').length;
    const counts = [from(fromFile, 'the board file'), from(faults.length - fromFile, '--fault')].filter(Boolean);
    add('faults', counts.length ? counts.join(', ') : 'none', { id: 'faults' });
    if (faults.length === 0) return;
    add('', faults.map((f) => {
      const strike = describeStrike(f.struck);
      return h('div', { class: `fault${f.struck === null ? ' missed' : ''}`, 'data-kind': 'fault' },
        h('span', {}, faultName(f)), h('span', {}, strike));
    }), { id: 'fault-list' });
  }

  // What a slot call's header says it returned, and whether that is good news.
  function opStatus(d) {
    const call = d.call;
    if (!d.selection.returned) return { text: `did not return: ${d.selection.failure}`, good: false };
    if (!call) return { text: 'GetActivePmic only', good: true };
    if (!call.offered) return { text: 'not offered', good: false };
    if (call.returned) return { text: call.returned.text, good: true };
    return { text: `did not return: ${call.failure}`, good: false };
  }

  function runHeader(d) {
    const rows = [];
    const add = (term, value, attrs) => rows.push(h('dt', {}, term), h('dd', attrs || {}, value));
    const title = d.command === 'decode' ? 'boardsim decode: a saved trace'
      : d.command === 'op' ? 'boardsim op: one PMIC slot call' : 'boardsim run: a boot';
    if (d.board) add('board', `${d.board.name} (${d.board.path})`);
    if (d.trace) add('trace', d.trace.path);
    if (d.module) add('form', moduleText(d.module));
    faultRows(d.faults, add);
    if (d.command === 'run') {
      const ok = d.status.returned;
      add('status', ok ? d.status.name : `did not return: ${d.status.failure}`,
        { id: 'status', class: ok && d.status.value === 0 ? 'status-good' : 'status-bad' });
      add('time', `${ms(d.time_ns)} of virtual time`, { id: 'time' });
    } else if (d.command === 'op') {
      const status = opStatus(d);
      if (d.call) add('call', d.call.text);
      add('status', status.text, { id: 'status', class: status.good ? 'status-good' : 'status-bad' });
      if (d.call && d.call.returned) add('time', `${ms(d.call.time_ns)} in the call`, { id: 'time' });
      add('run time', `${ms(d.time_ns)} of virtual time`, { id: 'run-time' });
    } else {
      add('time', `the last access at ${ms(d.trace.last_ns)} of virtual time`, { id: 'time' });
    }
    if (d.accesses) add('accesses', `${d.accesses.total} (${d.accesses.pause_hints} pause hints)`, { id: 'accesses' });
    if (d.trace) add('accesses', String(d.trace.accesses), { id: 'accesses' });
    if (d.pads && d.pads.changed !== undefined) {
      add('pads', `${d.pads.changed} changed: ${d.pads.changed_configuration} in configuration, `
        + `${d.pads.changed_direction} in direction, ${d.pads.changed_level} in level`);
    }
    return [h('h1', {}, title), h('dl', { class: 'header' }, rows)];
  }

  // Time on the page: piecewise linear, each idle stretch longer than IdleNs drawn as a short
  // break, so that a long wait does not squeeze the rest to a line.
  const IdleNs = 500000;

  function buildScale(busy, endNs, compress) {
    const spans = busy.filter(([a, b]) => b >= a).sort((x, y) => x[0] - y[0]);
    const merged = [];
    for (const [a, b] of spans) {
      const last = merged[merged.length - 1];
      if (last && a <= last[1]) last[1] = Math.max(last[1], b);
      else merged.push([a, b]);
    }
    const gaps = [];
    let cursor = 0;
    for (const [a, b] of merged) {
      if (a - cursor > IdleNs) gaps.push([cursor, a]);
      cursor = Math.max(cursor, b);
    }
    if (endNs - cursor > IdleNs) gaps.push([cursor, endNs]);
    const idle = gaps.reduce((sum, [a, b]) => sum + (b - a), 0);
    const shown = compress ? Math.max((endNs - idle) * 0.06, 1000) : 0;
    const pieces = [];
    let t = 0;
    let u = 0;
    for (const [a, b] of compress ? gaps : []) {
      if (a > t) { pieces.push({ t0: t, t1: a, u0: u, u1: u + (a - t), gap: false }); u += a - t; }
      pieces.push({ t0: a, t1: b, u0: u, u1: u + shown, gap: true });
      u += shown;
      t = b;
    }
    if (endNs > t || pieces.length === 0) {
      pieces.push({ t0: t, t1: Math.max(endNs, t + 1), u0: u, u1: u + Math.max(endNs - t, 1), gap: false });
    }
    const total = pieces[pieces.length - 1].u1;
    const toU = (ns) => {
      for (const p of pieces) {
        if (ns <= p.t1) return p.u0 + (Math.max(ns, p.t0) - p.t0) * (p.u1 - p.u0) / (p.t1 - p.t0 || 1);
      }
      return total;
    };
    const toT = (units) => {
      for (const p of pieces) {
        if (units <= p.u1) return p.t0 + (units - p.u0) * (p.t1 - p.t0) / (p.u1 - p.u0 || 1);
      }
      return endNs;
    };
    return { pieces, total, toU, toT };
  }

  const LaneNames = {
    faults: 'faults struck',
    parts: 'parts of the run',
    'gpio-pads': 'pad block',
    'legacy-gpio': 'legacy GPIO ports',
    'pm-timer': 'PM timer',
    'pci-config': 'PCI configuration',
    'i2c-controller': 'I2C controller',
    sideband: 'P-Unit sideband',
    other: 'PMC and others',
  };
  const LaneOrder = ['faults', 'parts', 'gpio-pads', 'legacy-gpio', 'pm-timer', 'pci-config', 'i2c-controller', 'sideband'];
  const PhaseColours = ['#54aeff', '#4ac26b', '#d4a72c', '#a475f9', '#ff8182', '#3fb8af', '#e085c2', '#8ca6c8'];

  function describeTransaction(t) {
    return `${t.read ? 'read ' : 'write'} ${hex(t.device, 2)} reg ${hex(t.register, 2)} ${t.read ? '->' : '<-'} ${hex(t.value, 2)}`
      + (t.aborted ? '  aborted (no acknowledge)' : '') + (t.under_semaphore ? '  under semaphore' : '');
  }

  // A sideband message as the text names it; read is 'read' or, to line up with 'write', 'read '.
  function describeMessage(m, read) {
    return `${m.write ? 'write' : read} port ${hex(m.port, 2)} reg ${hex(m.register, 2)} ${m.write ? '<-' : '->'} ${hex(m.value, 8)}`;
  }

  // A community by its offset, as the text summary names it; older documents give it as a number.
  function community(value) {
    return typeof value === 'string' ? value : hex(value < 16 ? value * 0x1000 : value, 4);
  }

  function describeStep(item) {
    const level = item.level;
    switch (item.kind) {
      case 'pmic-read': return `PMIC ${hex(item.device, 2)} register ${hex(item.register, 2)} read ${item.value === null ? '(no answer)' : hex(item.value, 2)}`;
      case 'pmic-write': return `PMIC ${hex(item.device, 2)} register ${hex(item.register, 2)} written ${item.value === null ? '(no answer)' : hex(item.value, 2)}`;
      case 'pad-read': return `pad ${item.pad} of ${community(item.community)} reads ${level}`;
      default: return `pad ${item.pad} of ${community(item.community)} driven ${level}`;
    }
  }

  function timelineItems(d, bus) {
    const items = [];
    const timeline = d.timeline || { phases: [], activity: [] };
    const end = d.time_ns !== undefined ? d.time_ns : (d.trace ? d.trace.last_ns : 0);
    timeline.phases.forEach((p, i) => items.push({
      lane: 'parts', kind: 'phase', t0: p.start_ns, t1: p.end_ns, colour: PhaseColours[i % PhaseColours.length],
      label: p.name,
      tip: `${p.name}\n${ms(p.start_ns)} to ${ms(p.end_ns)}\n${p.first_seq <= p.last_seq ? seqs(p.first_seq, p.last_seq) : 'no access'}`,
    }));
    for (const a of timeline.activity) {
      const alike = a.stretches ? `\n${a.stretches} stretches alike, folded` : '';
      items.push({
        lane: a.lane, kind: 'activity', t0: a.start_ns, t1: a.end_ns,
        tip: `${LaneNames[a.lane] || a.lane}: ${a.reads} reads, ${a.writes} writes${alike}\n${seqs(a.first_seq, a.last_seq)}\n${at(a.start_ns)} to ${at(a.end_ns)}`,
      });
    }
    for (const t of bus.transactions) {
      items.push({
        lane: `pmic ${hex(t.device, 2)}`, kind: 'transaction', t0: t.time_ns, t1: t.last_ns, cls: t.aborted ? 'aborted' : null,
        tip: `${describeTransaction(t)}\n${seqs(t.first_seq, t.last_seq)}\n${at(t.time_ns)} to ${at(t.last_ns)}`,
      });
    }
    for (const hold of bus.semaphore_holds) {
      const start = hold.requested ? hold.request_ns : hold.acquire_ns;
      const stop = hold.released ? hold.release_ns : end;
      const lines = ['semaphore hold'];
      if (hold.requested) lines.push(`requested at ${at(hold.request_ns)}, access ${hold.request_seq}`);
      lines.push(hold.granted ? `granted at ${at(hold.acquire_ns)}, access ${hold.acquire_seq}` : 'never granted');
      lines.push(hold.released ? `released at ${at(hold.release_ns)}, access ${hold.release_seq}` : 'still held at the end');
      items.push({ lane: 'sideband', kind: 'hold', t0: start, t1: stop, tip: lines.join('\n') });
    }
    for (const m of bus.sideband_messages) {
      const message = `sideband ${describeMessage(m, 'read')}`;
      items.push({
        lane: 'sideband', kind: 'message', t0: m.time_ns, t1: m.repeat ? m.last_ns : m.time_ns,
        tip: m.repeat
          ? `${m.repeat} x ${message}\naccesses ${m.seq} to ${m.last_seq}\n${at(m.time_ns)} to ${at(m.last_ns)}`
          : `${message}\naccess ${m.seq}\n${at(m.time_ns)}`,
      });
    }
    for (const step of d.board_step || []) {
      const lane = step.kind.startsWith('pmic') ? `pmic ${hex(step.device, 2)}` : 'gpio-pads';
      items.push({
        lane, kind: 'step', t0: step.time_ns, t1: step.time_ns,
        tip: `board step: ${describeStep(step)}\naccess ${step.seq}\n${at(step.time_ns)}`,
      });
    }
    const strikes = strikeItems(d.faults);
    // A fault can strike after the last access (the bus finishing what the module left queued):
    // the time drawn reaches it.
    const last = strikes.reduce((t, item) => Math.max(t, item.t0), end);
    return { items: items.concat(strikes), end: last };
  }

  // Each fault that struck, at the time it struck, on a lane of their own above the others. A lane
  // and not a line over the lanes: the marker stays clear of the bars it would otherwise cover and
  // of their tooltips, two faults striking close together stay apart, and a guide line, which takes
  // no pointer, still carries the time down through the lanes. A fault struck after the module's
  // last access is drawn hollow, with a dashed guide: the module could not see it.
  function strikeItems(faults) {
    return (Array.isArray(faults) ? faults : []).filter((f) => f.struck).map((f) => {
      const seen = f.struck.access !== null && f.struck.access !== undefined;
      return {
        lane: 'faults', kind: 'strike', t0: f.struck.time_ns, t1: f.struck.time_ns, cls: seen ? null : 'after-last',
        tip: `${faultName(f)}\n${seen ? `struck at access ${f.struck.access}` : "struck after the module's last access: it could not see it"}\n${at(f.struck.time_ns)}`,
      };
    });
  }

  // The lanes the items use, in a fixed order: faults, the parts of the run, each device, each
  // PMIC, the rest.
  function laneList(items) {
    const lanes = [];
    const seen = new Set(items.map((i) => i.lane));
    for (const lane of LaneOrder) if (lane === 'parts' || seen.has(lane)) lanes.push(lane);
    [...seen].filter((l) => l.startsWith('pmic ')).sort().forEach((l) => lanes.push(l));
    if (seen.has('other')) lanes.push('other');
    return lanes;
  }

  function timelineGeometry(lanes) {
    const labelWidth = 150;
    const laneHeight = 24;
    const axisHeight = 22;
    // The box's inner width (main's less its padding, less the box's border): the right end of the
    // run, where a fault that ended it struck, must not fall outside it.
    const style = getComputedStyle(main);
    const inner = main.clientWidth - parseFloat(style.paddingLeft) - parseFloat(style.paddingRight);
    const width = Math.max(720, Math.min(1560, (inner || 1200) - 2));
    return {
      lanes, laneIndex: new Map(lanes.map((l, i) => [l, i])), labelWidth, laneHeight, width,
      plotWidth: width - labelWidth - 8, top: lanes.length * laneHeight, height: lanes.length * laneHeight + axisHeight + 4,
    };
  }

  // What the timeline shows of the time: the scale (idle stretches short or to scale), zoomed and
  // panned; where a time is drawn, and which time is drawn at an x.
  function timelineView(g, busy, end) {
    const view = { compress: true, zoom: 1, pan: 0, scale: null };
    view.rescale = () => {
      view.scale = buildScale(busy, end, view.compress);
      view.zoom = 1;
      view.pan = 0;
    };
    view.xOf = (ns) => g.labelWidth + (view.scale.toU(ns) / view.scale.total) * g.plotWidth * view.zoom - view.pan;
    view.tAt = (x) => view.scale.toT(((x - g.labelWidth + view.pan) / (g.plotWidth * view.zoom)) * view.scale.total);
    view.rescale();
    return view;
  }

  // The lanes' bands and names, and the clip that keeps the marks right of the names.
  function drawLanes(svg, g) {
    const clip = s('clipPath', { id: 'plot-clip' });
    clip.append(s('rect', { x: g.labelWidth, y: 0, width: g.plotWidth, height: g.height }));
    const defs = s('defs');
    defs.append(clip);
    svg.append(defs);
    g.lanes.forEach((lane, i) => {
      if (i % 2 === 1) svg.append(s('rect', { class: 'lane-band', x: 0, y: i * g.laneHeight, width: g.width, height: g.laneHeight }));
      const label = s('text', { class: 'lane-label', x: 6, y: i * g.laneHeight + 16 });
      label.textContent = LaneNames[lane] || lane.replace('pmic', 'PMIC');
      svg.append(label);
    });
  }

  // One mark per item, placed later by placeItems: a tick, a diamond, a strike or a bar.
  function drawItems(plot, items, g) {
    const drawn = [];
    for (const item of items) {
      const y = g.laneIndex.get(item.lane) * g.laneHeight;
      let node;
      let guide = null;
      if (item.kind === 'message') {
        node = s('line', { y1: y + 4, y2: y + g.laneHeight - 4 });
      } else if (item.kind === 'step' || item.kind === 'strike') {
        node = s('path', {});
      } else {
        const inset = item.kind === 'hold' ? 3 : item.kind === 'phase' ? 2 : 6;
        node = s('rect', { y: y + inset, height: g.laneHeight - 2 * inset });
        if (item.colour) node.setAttribute('fill', item.colour);
      }
      if (item.kind === 'strike') {
        node.setAttribute('data-ns', item.t0);
        guide = s('line', { class: `strike-line${item.cls ? ` ${item.cls}` : ''}`, y1: y + g.laneHeight - 4, y2: g.top, 'pointer-events': 'none' });
      }
      node.setAttribute('data-kind', item.kind);
      node.setAttribute('data-tip', item.tip);
      if (item.cls) node.setAttribute('class', item.cls);
      plot.append(node);
      let text = null;
      if (item.label) {
        text = s('text', { y: y + 16, 'pointer-events': 'none' });
        text.textContent = item.label;
        plot.append(text);
      }
      drawn.push({ item, node, text, guide, y });
    }
    // The guides over every bar, so that none hides them; they take no pointer.
    drawn.filter((d) => d.guide).forEach((d) => plot.append(d.guide));
    return drawn;
  }

  function placeItems(drawn, view, g) {
    for (const { item, node, text, guide, y } of drawn) {
      const x0 = view.xOf(item.t0);
      const x1 = view.xOf(item.t1);
      const cy = y + g.laneHeight / 2;
      if (item.kind === 'message') {
        node.setAttribute('x1', x0); node.setAttribute('x2', x0);
      } else if (item.kind === 'step') {
        node.setAttribute('d', `M${x0} ${cy - 7}L${x0 + 5} ${cy}L${x0} ${cy + 7}L${x0 - 5} ${cy}Z`);
      } else if (item.kind === 'strike') {
        node.setAttribute('d', `M${x0 - 6} ${cy - 7}L${x0 + 6} ${cy - 7}L${x0} ${cy + 7}Z`);
        guide.setAttribute('x1', x0); guide.setAttribute('x2', x0);
      } else {
        node.setAttribute('x', x0);
        node.setAttribute('width', Math.max(2, x1 - x0));
      }
      if (text) {
        const room = x1 - x0;
        text.setAttribute('x', x0 + 3);
        text.style.display = room > item.label.length * 6.2 ? '' : 'none';
      }
    }
  }

  // Where an idle stretch is drawn short: a dashed line and its length.
  function drawBreaks(breaks, view, g) {
    breaks.replaceChildren();
    for (const p of view.scale.pieces.filter((piece) => piece.gap)) {
      const x = view.xOf((p.t0 + p.t1) / 2);
      breaks.append(s('line', { class: 'break-line', x1: x, x2: x, y1: 0, y2: g.top }));
      // Left of its line where it fits in the plot, else right of it: never cut at the lane names.
      const note = `${ms(p.t1 - p.t0)} drawn short`;
      const left = x - 4 - note.length * 6 > g.labelWidth;
      const label = s('text', { class: 'break-text', x: left ? x - 4 : x + 4, y: (g.laneIndex.get('parts') + 1.6) * g.laneHeight,
        'text-anchor': left ? 'end' : 'start' });
      label.textContent = note;
      breaks.append(label);
    }
  }

  // Nine ticks across the plot, each with the time drawn there, to as many digits as the span
  // shown needs.
  function drawAxis(axis, view, g) {
    axis.replaceChildren();
    const top = g.top;
    axis.append(s('line', { class: 'axis-line', x1: g.labelWidth, x2: g.labelWidth + g.plotWidth, y1: top, y2: top }));
    const ticks = 8;
    const left = view.tAt(g.labelWidth);
    const right = view.tAt(g.labelWidth + g.plotWidth);
    const digits = Math.min(6, Math.max(3, Math.ceil(-Math.log10(Math.max(right - left, 1) / 1e6 / ticks)) + 1));
    for (let i = 0; i <= ticks; i++) {
      const x = g.labelWidth + (i * g.plotWidth) / ticks;
      axis.append(s('line', { class: 'axis-line', x1: x, x2: x, y1: top, y2: top + 4 }));
      const label = s('text', { class: 'axis-text', x, y: top + 15, 'text-anchor': i === 0 ? 'start' : i === ticks ? 'end' : 'middle' });
      label.textContent = `${(view.tAt(x) / 1e6).toFixed(digits)} ms`;
      axis.append(label);
    }
  }

  // The wheel zooms at the pointer, a drag pans; neither goes past either end of the run.
  function panAndZoom(svg, box, view, g, layout) {
    const clamp = (pan) => Math.min(Math.max(0, pan), g.plotWidth * (view.zoom - 1));
    svg.addEventListener('wheel', (event) => {
      event.preventDefault();
      const mx = event.clientX - svg.getBoundingClientRect().left;
      const share = (mx - g.labelWidth + view.pan) / (g.plotWidth * view.zoom);
      view.zoom = Math.min(1e6, Math.max(1, view.zoom * Math.exp(-event.deltaY * 0.0015)));
      view.pan = clamp(share * g.plotWidth * view.zoom - (mx - g.labelWidth));
      layout();
    }, { passive: false });
    let drag = null;
    svg.addEventListener('mousedown', (event) => {
      drag = { x: event.clientX, pan: view.pan };
      box.classList.add('dragging');
    });
    window.addEventListener('mousemove', (event) => {
      if (!drag) return;
      view.pan = clamp(drag.pan - (event.clientX - drag.x));
      layout();
    });
    window.addEventListener('mouseup', () => { drag = null; box.classList.remove('dragging'); });
  }

  // 'whole run' and the check box that draws time to scale.
  function timelineControls(view, layout) {
    const reset = h('button', { type: 'button', id: 'timeline-reset' }, 'whole run');
    reset.addEventListener('click', () => { view.zoom = 1; view.pan = 0; layout(); });
    const toggle = h('input', { type: 'checkbox', id: 'timeline-compress', checked: '' });
    toggle.addEventListener('change', () => {
      view.compress = toggle.checked;
      view.rescale();
      layout();
    });
    return h('div', { class: 'controls' }, reset,
      h('label', {}, toggle, ` draw idle stretches over ${ms(IdleNs)} short`),
      h('span', { class: 'hint' }, 'wheel: zoom at the pointer; drag: pan; hover: access numbers and times'));
  }

  function renderTimeline(d, bus) {
    const { items, end } = timelineItems(d, bus);
    const g = timelineGeometry(laneList(items));
    // The scale shortens what no device was busy in: the PM timer's reads (the waits themselves),
    // the parts of the run and the faults' strikes do not count.
    const busy = items.filter((i) => !(i.kind === 'activity' && i.lane === 'pm-timer') && i.kind !== 'phase' && i.kind !== 'strike')
      .map((i) => [i.t0, i.t1]);
    const view = timelineView(g, busy, end);
    const svg = s('svg', { width: g.width, height: g.height, viewBox: `0 0 ${g.width} ${g.height}`, id: 'timeline-svg' });
    drawLanes(svg, g);
    const plot = s('g', { 'clip-path': 'url(#plot-clip)' });
    svg.append(plot);
    const axis = s('g');
    svg.append(axis);
    const drawn = drawItems(plot, items, g);
    const breaks = s('g', { 'pointer-events': 'none' });
    plot.append(breaks);
    const layout = () => {
      placeItems(drawn, view, g);
      drawBreaks(breaks, view, g);
      drawAxis(axis, view, g);
    };
    const box = h('div', { id: 'timeline-view' }, svg);
    panAndZoom(svg, box, view, g, layout);
    const controls = timelineControls(view, layout);
    layout();
    return [h('h2', {}, 'Timeline'), controls, box];
  }

  // ---- the pad map --------------------------------------------------------------------------

  const PadColours = {
    function: '#8250df', outHigh: '#d9480f', outLow: '#1c5fb8', inHigh: '#6bbf3a', inLow: '#216e39',
    off: '#8c959f', other: '#d4a72c', unknown: '#eaeef2',
  };

  function padColour(fields) {
    if (!fields) return PadColours.unknown;
    if (!fields.gpio) return PadColours.function;
    if (fields.direction === 0) return fields.level === 'high' ? PadColours.outHigh : PadColours.outLow;
    if (fields.direction === 2) return fields.level === 'high' ? PadColours.inHigh : PadColours.inLow;
    if (fields.direction === 6) return PadColours.off;
    return PadColours.other;
  }

  function describeFields(f) {
    if (!f) return 'fields unknown';
    const direction = { 0: 'output', 2: 'input', 6: 'off' }[f.direction] || `direction ${f.direction}`;
    const pull = f.pull !== null ? `pull ${f.pull}` : (f.pull_bits & 3) === 0 ? 'pull off' : `pull bits ${hex(f.pull_bits, 1)}`;
    return `mode ${f.mode}${f.gpio ? ' (GPIO)' : ''}, ${direction}, ${f.level}, ${pull}, nibble ${f.nibble}`;
  }

  function describeWords(w) {
    return `${hex(w.config, 8)} ${hex(w.value, 8)}  ${describeFields(w.fields)}`;
  }

  function describeRow(pad) {
    const r = pad.table_row;
    if (!r) return 'no table row names this pad';
    return `row ${r.row} of PadTable${pad.community.slice(2)}: direction ${hex(r.direction, 2)}, output level ${hex(r.output_level, 2)}, mode ${r.mode}, nibble ${r.nibble}, pull ${r.pull}`;
  }

  function registerName(offset) {
    return offset === 0 ? 'configuration' : offset === 8 ? 'value' : `word +${hex(offset, 1)}`;
  }

  function renderPads(pads) {
    const detail = h('div', { id: 'pad-detail' });
    const show = (pad, node) => {
      main.querySelectorAll('[data-kind="pad"].selected').forEach((n) => n.classList.remove('selected'));
      node.classList.add('selected');
      detail.replaceChildren(
        h('h3', {}, `pad ${pad.community}:${pad.pad}: configuration ${hex(pad.config_address, 8)}, value ${hex(pad.value_address, 8)}`),
        h('div', { class: 'mono' }, `before  ${describeWords(pad.before)}`),
        h('div', { class: 'mono' }, `after   ${describeWords(pad.after)}`),
        h('div', { class: 'mono' }, `table   ${describeRow(pad)}`),
        pad.accesses.length === 0 ? h('p', {}, 'no access') : table(['access', 'time', 'op', 'register', 'value', 'part of the run'],
          pad.accesses.map((a) => [String(a.seq), at(a.time_ns), a.op, registerName(a.offset), hex(a.value, a.width / 4),
            a.part + (a.row !== null ? `, row ${a.row}` : '')])));
    };
    const maps = h('div', { class: 'pad-maps' });
    const columns = 16;
    const cell = 24;
    for (const community of ['0x0000', '0x1000', '0x2000']) {
      const mine = pads.filter((p) => p.community === community);
      const highest = mine.reduce((m, p) => Math.max(m, p.pad), 0);
      const rows = Math.max(1, Math.ceil((highest + 1) / columns));
      const svg = s('svg', { width: columns * cell + 2, height: rows * cell + 2, class: 'pad-grid', 'data-community': community });
      for (let i = 0; i < rows * columns; i++) {
        svg.append(s('rect', { class: 'pad-slot', x: 1 + (i % columns) * cell, y: 1 + Math.floor(i / columns) * cell, width: cell - 2, height: cell - 2 }));
      }
      for (const pad of mine) {
        const x = 1 + (pad.pad % columns) * cell;
        const y = 1 + Math.floor(pad.pad / columns) * cell;
        const colour = padColour(pad.after.fields);
        const node = s('rect', {
          x: x + 1, y: y + 1, width: cell - 4, height: cell - 4, rx: 3, fill: colour, 'data-kind': 'pad',
          class: pad.changed ? 'changed' : null,
          'data-tip': `pad ${community}:${pad.pad}${pad.changed ? '  changed' : ''}\nbefore  ${describeWords(pad.before)}\nafter   ${describeWords(pad.after)}\n${describeRow(pad)}\n${pad.accesses.length} accesses${pad.accesses.length ? ` (${pad.accesses.map((a) => a.seq).slice(0, 8).join(', ')}${pad.accesses.length > 8 ? ', ...' : ''})` : ''}\nclick for every access`,
        });
        node.addEventListener('click', () => show(pad, node));
        svg.append(node);
        const number = s('text', { class: `pad-number${colour === PadColours.unknown ? ' dark' : ''}`, x: x + cell / 2 - 1, y: y + cell / 2 + 3, 'text-anchor': 'middle' });
        number.textContent = pad.pad;
        svg.append(number);
      }
      maps.append(h('div', { class: 'pad-map' }, h('h3', {}, `community ${community} (${mine.length} pads)`), svg));
    }
    const swatch = (name, colour, cls) => h('span', { style: `--swatch:${colour}`, class: cls }, name);
    if (pads.length === 0) return [h('h2', {}, 'Pad map'), h('p', { class: 'hint' }, 'The run accessed no pad.')];
    return [
      h('h2', {}, 'Pad map'),
      h('p', { class: 'hint' }, 'Each pad the run accessed, coloured by what the run left it as; outlined: changed. Hover for the fields before and after, click for every access.'),
      h('div', { class: 'legend' },
        swatch('function (mode 1-7)', PadColours.function), swatch('GPIO output high', PadColours.outHigh),
        swatch('GPIO output low', PadColours.outLow), swatch('GPIO input high', PadColours.inHigh),
        swatch('GPIO input low', PadColours.inLow), swatch('GPIO off', PadColours.off),
        swatch('other direction', PadColours.other), swatch('not known', PadColours.unknown),
        swatch('changed', '#fff', 'changed')),
      maps, detail,
    ];
  }

  // ---- the tables ---------------------------------------------------------------------------

  function renderTables(d, bus) {
    const out = [h('h2', {}, 'Tables')];
    const selection = d.command === 'op' ? d.selection && d.selection.pmic : d.pmic;
    if (selection) {
      out.push(h('h3', {}, `PMIC selection: variant ${selection.variant === null ? 'unknown' : selection.variant}, ${selection.source}`));
      out.push(table(['variant', 'device', 'register', 'answer', 'accepted'],
        selection.identification_reads.map((r) => [String(r.variant), hex(r.device, 2), hex(r.register, 2),
          r.answer === null ? (r.cut_short ? 'cut short' : 'no answer') : hex(r.answer, 2), r.accepted ? 'accepted' : ''])));
    }
    const withPart = d.command === 'op';
    const partCell = (item) => (withPart ? [item.part] : []);
    const partHead = withPart ? ['part'] : [];
    out.push(folded('Transactions', bus.transactions.length, table(
      [...partHead, 'time', 'accesses', 'transaction', 'until'],
      bus.transactions.map((t) => [...partCell(t), ms(t.time_ns), `${t.first_seq}-${t.last_seq}`, describeTransaction(t), ms(t.last_ns)]),
      'transaction-row')));
    out.push(folded('Semaphore holds', bus.semaphore_holds.length, table(
      [...partHead, 'requested', 'granted', 'released', 'accesses'],
      bus.semaphore_holds.map((x) => [...partCell(x), x.requested ? ms(x.request_ns) : '--', x.granted ? ms(x.acquire_ns) : 'never',
        x.released ? ms(x.release_ns) : 'still held', [x.request_seq, x.acquire_seq, x.release_seq].map((n) => (n === null ? '--' : n)).join(', ')]),
      'hold-row')));
    // A folded message (alike ones in a row, as the text folds them) stands for m.repeat.
    const messages = bus.sideband_messages.reduce((n, m) => n + (m.repeat || 1), 0);
    out.push(folded('Sideband messages', messages, table(
      [...partHead, 'time', 'access', 'message'],
      bus.sideband_messages.map((m) => [...partCell(m),
        m.repeat ? `${ms(m.time_ns)} to ${ms(m.last_ns)}` : ms(m.time_ns),
        m.repeat ? `${m.seq}-${m.last_seq}` : String(m.seq),
        `${m.repeat ? `${m.repeat} x ` : ''}${describeMessage(m, 'read ')}`]),
      'message-row')));
    if (d.board_step) {
      out.push(folded('Board step', d.board_step.length, table(['time', 'access', 'item'],
        d.board_step.map((x) => [ms(x.time_ns), String(x.seq), describeStep(x)]), 'step-row')));
    }
    return out;
  }

  function renderRun(d) {
    const bus = busOf(d);
    main.append(...runHeader(d));
    main.append(h('section', { id: 'timeline' }, renderTimeline(d, bus)));
    main.append(h('section', { id: 'pads' }, renderPads((d.pads && d.pads.detail) || [])));
    main.append(h('section', { id: 'tables' }, renderTables(d, bus)));
  }

  // ---- a sweep ------------------------------------------------------------------------------

  function copyText(text, button) {
    const done = () => { button.textContent = 'copied'; setTimeout(() => { button.textContent = 'copy'; }, 1500); };
    const fallback = () => {
      const area = h('textarea', { style: 'position:fixed;left:-9999px' });
      area.value = text;
      document.body.append(area);
      area.select();
      try { document.execCommand('copy'); } catch (error) { /* the text stays selectable */ }
      area.remove();
      done();
    };
    if (navigator.clipboard && navigator.clipboard.writeText) {
      navigator.clipboard.writeText(text).then(done, fallback);
    } else {
      fallback();
    }
  }

  // As the text summary's last line: passed, no effect (a point whose run changed nothing is not
  // counted as passed) and failed, and in how many points the fault struck.
  function sweepStatus(d, points) {
    if (d.no_effect === undefined) return `${d.passed} passed, ${d.failed} failed`;
    const run = points - d.kinds.reduce((sum, k) => sum + (k.not_run || 0), 0);
    return `${d.passed} passed, ${d.no_effect} no effect, ${d.failed} failed; the fault struck in ${d.struck} of the ${run} points run`;
  }

  function sweepHeader(d) {
    const boots = d.targets.filter((t) => t.run === 'boot').length;
    const points = d.targets.reduce((sum, t) => sum + t.points, 0);
    return [h('h1', {}, 'boardsim sweep: every fault at every point'),
      h('dl', { class: 'header' },
        h('dt', {}, 'form'), h('dd', {}, d.module),
        h('dt', {}, 'targets'), h('dd', {}, `${boots} boots, ${d.targets.length - boots} slot calls`),
        h('dt', {}, 'points'), h('dd', {}, `${points} points in ${d.seconds.toFixed(1)} s with ${d.jobs} jobs`),
        sweepParts(d),
        h('dt', {}, 'status'), h('dd', { id: 'status', class: d.failed === 0 ? 'status-good' : 'status-bad' }, sweepStatus(d, points)))];
  }

  // A shard's part of its sweep, or a merge's shards and the slowest against the mean.
  function sweepParts(d) {
    if (d.shard) {
      return [h('dt', {}, 'shard'), h('dd', {}, `${d.shard.index} of ${d.shard.count}: `
        + `${d.shard.points.length} of ${d.shard.total_points} points`)];
    }
    if (d.merged) {
      const slowest = d.merged.slowest_seconds.toFixed(1);
      return [h('dt', {}, 'shards'), h('dd', {}, `${d.merged.shards.length} merged, the slowest `
        + `${slowest} s against a mean of ${d.merged.mean_seconds.toFixed(1)} s`)];
    }
    return [];
  }

  const kindOf = (fault) => fault.split(/[:@]/)[0];

  // One failure: its point, why it failed, where its fault struck, and the command that gives it.
  function failureItem(f) {
    const bad = f.bad_writes[0];
    const why = bad ? `${bad.kind === 'stray' ? 'stray write' : 'write built on a failed read'} at access ${bad.seq}: ${bad.write}`
      + (f.bad_writes.length > 1 ? ` (and ${f.bad_writes.length - 1} more)` : '') : `${f.class}: ${f.detail || ''}`;
    const strike = describeStrike(f.struck);
    const button = h('button', { type: 'button', class: 'copy' }, 'copy');
    button.addEventListener('click', () => copyText(f.reproduce, button));
    return h('div', { class: 'failure', 'data-kind': 'failure' },
      h('div', {}, h('strong', {}, 'FAIL '), `${f.fault} on ${f.board}, ${f.run}: ${why}`),
      strike ? h('div', { class: 'strike' }, `the fault ${strike}`) : null,
      h('div', {}, h('code', {}, f.reproduce), button));
  }

  // The failures, all or those of the cell picked, with a line that says which.
  function failureList(d) {
    const list = h('div', { id: 'failures' });
    const note = h('p', { class: 'hint' });
    const show = (filter) => {
      const shown = d.failures.filter((f) => !filter || (f.board === filter.board && f.run === filter.run && kindOf(f.fault) === filter.kind));
      note.textContent = filter ? `${shown.length} of ${d.failures.length} failures: ${filter.kind} on ${filter.board}, ${filter.run} (click the cell again for all)`
        : d.failures.length ? `${d.failures.length} failures; click a cell of the matrix to see its own` : 'No point failed.';
      list.replaceChildren(...shown.map(failureItem));
    };
    return { nodes: [note, list], show };
  }

  // A cell: the points of one kind at one target; its tooltip says in how many the fault struck
  // and how many had no effect, where the document counts them, or why it has none.
  function matrixCell(c, where, emptyWhy) {
    const share = c.points ? c.failed / c.points : 0;
    const cls = c.points === 0 ? 'empty' : c.failed ? 'failed' : 'passed';
    const struck = c.struck !== undefined && c.no_effect !== undefined ? `; ${c.struck} struck, ${c.no_effect} no effect` : '';
    const tip = c.points ? `${where}: ${c.points} points tried, ${c.failed} failed${struck}` : `${where}: ${emptyWhy(c.listed)}`;
    return h('td', {
      'data-kind': 'cell', class: cls, style: c.failed ? `--heat: hsl(0, 70%, ${Math.round(60 - share * 25)}%)` : null,
      'data-tip': tip,
    }, c.points ? `${c.failed}/${c.points}` : '');
  }

  // Why a cell has no point, from how many its fault-free run lists (a kind the run lists none of
  // has no cell in the document): a whole sweep tries every point listed, a sampled or sharded one
  // those --sample drew or the shard took. An older boardsim's document does not count them.
  function emptyReason(d) {
    const drawn = d.sweep && d.sweep.sample !== null && d.sweep.sample !== undefined;
    const counted = d.targets.every((t) => (t.by_kind || []).every((k) => k.listed !== undefined));
    const how = drawn && d.shard ? 'drawn by --sample into this shard' : drawn ? 'drawn by --sample' : 'in this shard';
    return (listed) => {
      if (!counted && (drawn || d.shard)) {
        return `no point tried here: none of this kind was ${drawn ? 'drawn by --sample' : 'in this shard'}, or the run reaches none`;
      }
      if (!listed) return 'no point of this kind: the fault-free run reaches none here';
      return listed === 1 ? `the one point listed here was not ${how}` : `none of the ${listed} points listed here was ${how}`;
    };
  }

  // Targets against kinds; a click on a cell shows its failures only, a second click all again.
  function renderMatrix(d, showFailures) {
    const kinds = d.kinds.map((k) => k.kind);
    const emptyWhy = emptyReason(d);
    let picked = null;
    let lastBoard = null;
    const rows = d.targets.map((target) => {
      const byKind = new Map((target.by_kind || []).map((k) => [k.kind, k]));
      const cells = kinds.map((kind) => {
        const td = matrixCell(byKind.get(kind) || { listed: 0, points: 0, failed: 0 }, `${kind} on ${target.board}, ${target.run}`, emptyWhy);
        td.addEventListener('click', () => {
          main.querySelectorAll('td.picked').forEach((n) => n.classList.remove('picked'));
          picked = picked && picked.td === td ? null : { td, board: target.board, run: target.run, kind };
          if (picked) td.classList.add('picked');
          showFailures(picked);
        });
        return td;
      });
      const first = target.board !== lastBoard;
      lastBoard = target.board;
      const reference = target.reference === 'returned' || target.reference === 'not-offered' ? ''
        : ` (reference ${target.reference})`;
      return h('tr', { class: first ? 'board-first' : null },
        h('td', {}, first ? target.board : ''), h('td', {}, target.run + reference), cells);
    });
    return h('table', { class: 'matrix' },
      h('thead', {}, h('tr', {}, h('th', {}, 'board'), h('th', {}, 'run'), kinds.map((k) => h('th', { class: 'kind' }, k)))),
      h('tbody', {}, rows));
  }

  // Per kind: the points, where they struck, what became of them and the statuses returned.
  function kindTable(d) {
    const columns = [['points', 'points'], ['struck', 'struck'], ['no effect', 'no_effect'], ['returned', 'returned'],
      ['not offered', 'not_offered'], ['stuck', 'stuck'], ['crashed', 'crashed'], ['stray', 'stray_writes'],
      ['failed read', 'writes_on_failed_reads'], ['not run', 'not_run'], ['failed', 'failed']];
    // Each value with the run that returned it (boot or slot); older documents give values alone.
    const byRun = (kind) => (d.returned || []).filter((r) => r.kind === kind)
      .map((r) => h('span', { class: 'chip' }, `${r.run}: ${r.value} × ${r.points}`));
    const chips = (k) => (d.returned ? byRun(k.kind)
      : Object.entries(k.statuses || {}).map(([status, count]) => h('span', { class: 'chip' }, `${status} × ${count}`)));
    const rows = d.kinds.map((k) => [k.kind,
      ...columns.map(([, key]) => h('td', { class: 'num' }, k[key] === undefined ? '--' : String(k[key]))),
      h('td', {}, chips(k))]);
    return table(['kind', ...columns.map(([head]) => head), 'statuses'], rows, 'kind-row');
  }

  function renderSweep(d) {
    main.append(...sweepHeader(d));
    const failures = failureList(d);
    main.append(
      h('section', { id: 'matrix' }, h('h2', {}, 'Fault kinds against targets'),
        h('p', { class: 'hint' }, 'Each cell: points failed / points tried; hover for how many struck and how many had no effect. Green: none failed; red: some did, darker the larger their share.'),
        renderMatrix(d, failures.show)),
      h('section', { id: 'failure-section' }, h('h2', {}, 'Failures'), failures.nodes),
      h('section', { id: 'kinds' }, h('h2', {}, 'Statuses returned per kind'), kindTable(d)));
    failures.show(null);
  }

  if (doc.command === 'sweep') renderSweep(doc);
  else renderRun(doc);
}
