// The lines page: the recorder's 16 lines as its window shows them, the capacity used and the
// recent problems, read from the server twice a second. Only the summary line is announced to
// screen readers, and only when it changes.
'use strict';

(() => {
  const { api, el, number, dateTime, setText } = PV;
  const $ = (id) => document.getElementById(id);
  const period = 500;
  const cells = [];  // per line (index 0-15): { item, status, detail, badge }
  let timer = 0;
  let inFlight = false;
  let lastProblems = '';

  function buildGrid() {
    const units = $('units');
    for (let unit = 0; unit < 4; ++unit) {
      const list = el('ul', { className: 'line-grid', 'aria-labelledby': `unit-${unit}` });
      for (let port = 0; port < 4; ++port) {
        const line = unit * 4 + port + 1;
        const c = {
          item: el('li', { className: 'line unserved', id: `line-${line}` }),
          name: el('span', { className: 'line-name' }, `Port ${line}`),
          badge: el('span', { className: 'line-badge' }, 'Not in use'),
          status: el('span', { className: 'line-status' }, ''),
          detail: el('span', { className: 'line-detail' }, ''),
        };
        c.item.append(el('span', { className: 'line-top' }, c.name, c.badge), c.status, c.detail);
        cells.push(c);
        list.append(c.item);
      }
      units.append(el('section', { className: 'unit' },
                      el('h3', { id: `unit-${unit}`, className: 'unit-title' }, `Unit ${unit + 1}`),
                      list));
    }
  }

  function setIf(node, text) {
    if (node.textContent !== text) node.textContent = text;
  }

  function showLine(c, line, running) {
    const served = running && !!line.served;
    const inCall = served && !!line.inCall;
    c.item.classList.toggle('unserved', !served);
    c.item.classList.toggle('in-call', inCall);
    setIf(c.badge, !served ? 'Not in use' : inCall ? 'In call' : '');
    c.badge.hidden = served && !inCall;
    setIf(c.status, String(line.status || ''));
    setIf(c.detail, String(line.detail || ''));
  }

  function showCapacity(capacity) {
    if (!capacity) return;
    setText('calls-text', String(capacity.callsText || `Logged Items: ${capacity.calls}`).trim());
    setText('space-text', String(capacity.spaceText || `Logged Space: ${capacity.megabytes}`).trim());
    const bar = (id, value, limit) => {
      const node = $(id);
      const max = Math.max(1, Number(limit) || 0);
      node.max = max;
      node.value = Math.min(max, Math.max(0, Number(value) || 0));
    };
    bar('calls-bar', capacity.calls, capacity.callLimit);
    bar('space-bar', capacity.megabytes, capacity.megabyteLimit);
    setText('free-text', capacity.free ? `Recording disk: ${capacity.free}` : '');
  }

  function showProblems(problems) {
    const list = Array.isArray(problems) ? problems : [];
    const key = JSON.stringify(list);
    if (key === lastProblems) return;
    lastProblems = key;
    $('problem-rows').replaceChildren(...list.map((p) => el('tr', null,
        el('td', { className: 'nowrap' },
           typeof p.time === 'number' ? dateTime(p.time) : String(p.time || '')),
        el('td', null, String(p.text || '')),
        el('td', { className: 'num' }, number(p.count || 1)))));
    $('problems').hidden = list.length === 0;
    $('no-problems').hidden = list.length !== 0;
  }

  function show(state) {
    const running = state.recorder === 'running';
    // Without the recorder nothing is known of the lines: the summary says so, in its place.
    $('summary').classList.toggle('notice', !running);
    $('lines-section').hidden = !running;
    const lines = Array.isArray(state.lines) ? state.lines : [];
    for (let i = 0; i < cells.length; ++i) {
      const line = lines.find((l) => Number(l.line) === i + 1) || lines[i] || {};
      showLine(cells[i], line, running);
    }
    const served = lines.filter((l) => l.served).length;
    const busy = lines.filter((l) => l.served && l.inCall).length;
    setText('summary', running
        ? `Recorder running: ${busy} of ${served} line${served === 1 ? '' : 's'} in a call.`
        : 'The recorder is not running.');
    setText('updated', state.updated ? `Updated ${dateTime(state.updated).slice(11)}` : '');
    showCapacity(state.capacity);
    showProblems(state.problems);
  }

  async function poll() {
    timer = 0;
    if (inFlight) return;
    inFlight = true;
    try {
      const answer = await api('GET', '/api/lines');
      if (answer.status === 200 && answer.data) {
        show(answer.data);
      } else {
        setText('summary', PV.errorText(answer, 'The lines could not be read.'));
      }
    } catch (e) {
      setText('summary', 'The server cannot be reached. Trying again…');
    } finally {
      inFlight = false;
    }
    schedule();
  }

  function schedule() {
    if (!timer && !document.hidden) timer = window.setTimeout(poll, period);
  }

  PV.start(async () => {
    buildGrid();
    await PV.session();
    document.addEventListener('visibilitychange', () => {
      if (!document.hidden && !timer) poll();
    });
    await poll();
  });
})();
