// The calls page: the recorder's list of calls, newest first, a page at a time; search by
// number or text and dates; sort; play a call in the page; download it; supervisors change a
// call's text and delete calls (the recorder applies both on its next tick).
'use strict';

(() => {
  const { api, errorText, el, number, say } = PV;
  const pageSize = 50;
  const defaultOrder = { date: 'desc', port: 'asc', duration: 'desc' };
  const state = { page: 0, sort: 'date', order: 'desc', q: '', from: '', to: '' };
  let user = null;
  let total = 0;
  let request = 0;  // answers to older requests than the newest are dropped
  let playingId = '';

  const $ = (id) => document.getElementById(id);
  const message = () => $('action-message');

  function readLocation() {
    const p = new URLSearchParams(window.location.search);
    state.q = p.get('q') || '';
    state.from = p.get('from') || '';
    state.to = p.get('to') || '';
    const sort = p.get('sort');
    state.sort = sort in defaultOrder ? sort : 'date';
    const order = p.get('order');
    state.order = order === 'asc' || order === 'desc' ? order : defaultOrder[state.sort];
    const page = Number.parseInt(p.get('page') || '0', 10);
    state.page = Number.isFinite(page) && page > 0 ? page : 0;
  }

  function writeLocation() {
    const p = new URLSearchParams();
    if (state.q) p.set('q', state.q);
    if (state.from) p.set('from', state.from);
    if (state.to) p.set('to', state.to);
    if (state.sort !== 'date' || state.order !== 'desc') {
      p.set('sort', state.sort);
      p.set('order', state.order);
    }
    if (state.page > 0) p.set('page', String(state.page));
    const query = p.toString();
    window.history.replaceState(null, '', query ? '/calls?' + query : '/calls');
  }

  function showState() {
    $('q').value = state.q;
    $('from').value = state.from;
    $('to').value = state.to;
    $('sort').value = `${state.sort}-${state.order}`;
    for (const th of document.querySelectorAll('th[data-sort]')) {
      if (th.dataset.sort === state.sort) {
        th.setAttribute('aria-sort', state.order === 'asc' ? 'ascending' : 'descending');
      } else {
        th.removeAttribute('aria-sort');
      }
    }
  }

  function apiQuery() {
    const p = new URLSearchParams({ page: String(state.page), size: String(pageSize),
                                    sort: state.sort, order: state.order });
    if (state.q) p.set('q', state.q);
    if (state.from) p.set('from', state.from);
    if (state.to) p.set('to', state.to);
    return '/api/calls?' + p.toString();
  }

  const callPath = (id) => '/api/calls/' + encodeURIComponent(id);
  const shownText = (call) => String(call.text || '').trimEnd();
  const callName = (call) => `call ${call.item} (${call.date} ${call.time}, port ${call.port})`;
  const isWavFile = (file) => /\.wav$/i.test(file || '');

  function cell(label, content, className) {
    return el('td', { className, dataset: { label } }, content);
  }

  function actions(call) {
    const box = el('div', { className: 'actions' });
    if (call.recorded && call.file) {
      box.append(el('button', { type: 'button', className: 'play', dataset: { action: 'play' },
                                'aria-label': `Play ${callName(call)}` }, 'Play'));
      box.append(el('a', { href: callPath(call.id) + '/download?form=wav', download: '',
                           className: 'download',
                           'aria-label': `Download ${callName(call)} as WAV` }, 'WAV'));
      if (!isWavFile(call.file)) {
        const extension = (call.file.split('.').pop() || '').toUpperCase();
        box.append(el('a', { href: callPath(call.id) + '/download?form=recorded', download: '',
                             className: 'download',
                             'aria-label': `Download ${callName(call)} as recorded (${extension})` },
                      extension || 'Recorded'));
      }
    }
    if (PV.canEdit(user.role)) {
      box.append(el('span', { className: 'edit-group' },
          el('button', { type: 'button', className: 'quiet', dataset: { action: 'edit' },
                         'aria-label': `Edit the text of ${callName(call)}` }, 'Edit'),
          el('button', { type: 'button', className: 'quiet danger-text',
                         dataset: { action: 'delete' },
                         'aria-label': `Delete ${callName(call)}` }, 'Delete')));
    }
    return box;
  }

  function row(call) {
    const tr = el('tr', { dataset: { id: call.id } });
    tr.call = call;
    if (call.id === playingId) tr.classList.add('playing');
    const text = shownText(call);
    tr.append(
      cell('Item', String(call.item), 'num item'),
      cell('Date', call.date, 'date'),
      cell('Time', call.time, 'time'),
      cell('Port', String(call.port), 'port'),
      cell('Type', call.type, 'type'),
      cell('Number or text', el('span', { className: text ? 'call-text' : 'call-text empty' },
                                text || '—'), 'text wide-cell'),
      cell('Duration', call.recorded ? call.duration : 'Un-Answered', 'num duration'),
      cell('Actions', actions(call), 'actions-cell wide-cell'));
    return tr;
  }

  function showPage(answer) {
    total = Number(answer.total) || 0;
    state.page = Number(answer.page) || 0;
    const calls = Array.isArray(answer.calls) ? answer.calls : [];
    $('call-rows').replaceChildren(...calls.map(row));
    const pages = Math.max(1, Math.ceil(total / pageSize));
    const filtered = state.q || state.from || state.to;
    let count;
    if (total === 0) {
      count = filtered ? 'No calls match.' : 'No calls recorded yet.';
    } else {
      const first = state.page * pageSize + 1;
      const last = state.page * pageSize + calls.length;
      count = `${number(first)}–${number(last)} of ${number(total)}` +
              (filtered ? (total === 1 ? ' matching call' : ' matching calls') : '');
    }
    $('result-count').textContent = count;
    $('page-of').textContent = total ? `Page ${number(state.page + 1)} of ${number(pages)}` : '';
    const atStart = state.page <= 0;
    const atEnd = state.page >= pages - 1;
    for (const suffix of ['', '-2']) {
      $('first-page' + suffix).disabled = atStart;
      $('previous-page' + suffix).disabled = atStart;
      $('next-page' + suffix).disabled = atEnd;
      $('last-page' + suffix).disabled = atEnd;
    }
  }

  async function load() {
    const mine = ++request;
    showState();
    writeLocation();
    $('calls').setAttribute('aria-busy', 'true');
    let answer;
    try {
      answer = await api('GET', apiQuery());
    } catch (e) {
      if (mine === request) say($('result-count'), 'The server cannot be reached.', 'error');
      return;
    } finally {
      if (mine === request) $('calls').removeAttribute('aria-busy');
    }
    if (mine !== request) return;
    if (answer.status !== 200 || !answer.data) {
      say($('result-count'), errorText(answer, 'The calls could not be read.'), 'error');
      return;
    }
    $('result-count').classList.remove('error');
    $('result-count').hidden = false;
    const pages = Math.max(1, Math.ceil((Number(answer.data.total) || 0) / pageSize));
    if (state.page > pages - 1) {  // fewer calls than when the page was chosen
      state.page = pages - 1;
      load();
      return;
    }
    showPage(answer.data);
  }

  function goTo(page, fromBottom) {
    const pages = Math.max(1, Math.ceil(total / pageSize));
    state.page = Math.min(Math.max(0, page), pages - 1);
    load();
    if (fromBottom) $('result-count').scrollIntoView({ block: 'start' });
  }

  function search(event) {
    event.preventDefault();
    const from = $('from').value;
    const to = $('to').value;
    if (from && to && from > to) {
      say(message(), 'The From date is after the To date.', 'error');
      $('from').focus();
      return;
    }
    say(message(), '');
    state.q = $('q').value.trim();
    state.from = from;
    state.to = to;
    const [sort, order] = $('sort').value.split('-');
    state.sort = sort;
    state.order = order;
    state.page = 0;
    load();
  }

  function clearSearch() {
    state.q = '';
    state.from = '';
    state.to = '';
    state.page = 0;
    say(message(), '');
    load();
    $('q').focus();
  }

  function sortBy(sort) {
    if (state.sort === sort) {
      state.order = state.order === 'asc' ? 'desc' : 'asc';
    } else {
      state.sort = sort;
      state.order = defaultOrder[sort];
    }
    state.page = 0;
    load();
  }

  function markPlaying() {
    for (const tr of $('call-rows').rows) tr.classList.toggle('playing', tr.dataset.id === playingId);
  }

  function describePlaying(call) {
    $('player-call').textContent =
        `Call ${call.item} · ${call.date} ${call.time} · Port ${call.port} · ${call.type}` +
        (shownText(call) ? ` · ${shownText(call)}` : '') + ` · ${call.duration}`;
  }

  function closePlayer() {
    const player = $('player');
    player.pause();
    player.removeAttribute('src');
    player.load();
    $('player-panel').hidden = true;
    document.body.classList.remove('has-player');
    playingId = '';
    markPlaying();
  }

  function play(call) {
    const player = $('player');
    playingId = call.id;
    say($('player-error'), '');
    $('player-panel').hidden = false;
    document.body.classList.add('has-player');
    describePlaying(call);
    player.src = callPath(call.id) + '/audio';
    markPlaying();
    const started = player.play();
    if (started && typeof started.catch === 'function') {
      started.catch((e) => {
        // A browser that wants a click on the player itself: the controls are there.
        if (e && e.name !== 'NotAllowedError' && e.name !== 'AbortError') {
          say($('player-error'), 'This recording cannot be played.', 'error');
        }
      });
    }
  }

  function playerFailed() {
    if (!$('player').getAttribute('src')) return;
    say($('player-error'), 'This recording cannot be played.', 'error');
  }

  function startEdit(tr) {
    const call = tr.call;
    const textCell = tr.querySelector('td.text');
    if (textCell.querySelector('form')) return;
    const inputId = 'edit-' + call.id;
    const input = el('input', { id: inputId, type: 'text', maxLength: 40, autocomplete: 'off',
                                spellcheck: 'false', value: shownText(call) });
    const save = el('button', { type: 'submit' }, 'Save');
    const cancel = el('button', { type: 'button', className: 'quiet' }, 'Cancel');
    const form = el('form', { className: 'edit-form' },
                    el('label', { for: inputId, className: 'visually-hidden' },
                       `New text for ${callName(call)}`),
                    input, el('span', { className: 'buttons' }, save, cancel));
    const before = Array.from(textCell.childNodes);
    const close = () => {
      textCell.replaceChildren(...before);
      const button = tr.querySelector('button[data-action="edit"]');
      if (button) button.focus();
    };
    cancel.addEventListener('click', close);
    input.addEventListener('keydown', (e) => {
      if (e.key === 'Escape') {
        e.preventDefault();
        close();
      }
    });
    form.addEventListener('submit', async (e) => {
      e.preventDefault();
      input.disabled = save.disabled = cancel.disabled = true;
      say(message(), `Saving the text of ${callName(call)}…`);
      let answer;
      try {
        answer = await api('PUT', callPath(call.id) + '/text', { text: input.value });
      } catch (err) {
        answer = null;
      }
      input.disabled = save.disabled = cancel.disabled = false;
      if (answer && answer.status === 200 && answer.data && answer.data.call) {
        const fresh = row(answer.data.call);
        if (answer.data.call.id === playingId) describePlaying(answer.data.call);
        fresh.classList.add('changed');
        tr.replaceWith(fresh);
        say(message(), `Text of call ${answer.data.call.item} saved: ` +
                       `“${shownText(answer.data.call) || '(none)'}”.`);
        const button = fresh.querySelector('button[data-action="edit"]');
        if (button) button.focus();
        return;
      }
      if (answer && answer.status === 409) {
        say(message(), errorText(answer, 'This call changed or moved in the list meanwhile.') +
                       ' The list has been read again; please try once more.', 'error');
        load();
        return;
      }
      say(message(), answerProblem(answer, 'The text could not be saved.'), 'error');
      input.focus();
    });
    textCell.replaceChildren(form);
    input.focus();
    input.select();
  }

  function answerProblem(answer, fallback) {
    if (!answer) return 'The server cannot be reached.';
    if (answer.status === 503) return errorText(answer, 'The recorder is not running.');
    if (answer.status === 403) return 'Your role may not change calls.';
    if (answer.status === 404) return 'This call is no longer in the list.';
    return errorText(answer, fallback);
  }

  let deleting = null;

  function askDelete(tr) {
    deleting = tr.call;
    $('delete-what').textContent =
        `Call ${deleting.item}: ${deleting.date} ${deleting.time}, port ${deleting.port}, ` +
        `${deleting.type}` + (shownText(deleting) ? `, “${shownText(deleting)}”` : '') + '.';
    const dialog = $('delete-dialog');
    dialog.returnValue = '';
    dialog.showModal();
  }

  async function deleteClosed() {
    const dialog = $('delete-dialog');
    const call = deleting;
    deleting = null;
    if (!call || dialog.returnValue !== 'delete') return;
    say(message(), `Deleting ${callName(call)}…`);
    let answer;
    try {
      answer = await api('DELETE', callPath(call.id));
    } catch (e) {
      answer = null;
    }
    if (answer && answer.status === 200) {
      if (playingId === call.id) closePlayer();
      say(message(), `Call ${call.item} deleted.`);
      load();
      $('result-count').focus({ preventScroll: true });
      return;
    }
    if (answer && answer.status === 409) {
      say(message(), errorText(answer, 'This call changed or moved in the list meanwhile.') +
                     ' Nothing was deleted; the list has been read again.', 'error');
      load();
      return;
    }
    say(message(), answerProblem(answer, 'The call could not be deleted.'), 'error');
  }

  function onRowClick(event) {
    const button = event.target.closest('button[data-action]');
    if (!button) return;
    const tr = button.closest('tr');
    if (!tr || !tr.call) return;
    if (button.dataset.action === 'play') play(tr.call);
    else if (button.dataset.action === 'edit') startEdit(tr);
    else if (button.dataset.action === 'delete') askDelete(tr);
  }

  PV.start(async () => {
    readLocation();
    showState();
    $('search').addEventListener('submit', search);
    $('clear-button').addEventListener('click', clearSearch);
    $('call-rows').addEventListener('click', onRowClick);
    for (const button of document.querySelectorAll('.sort-button')) {
      button.addEventListener('click', () => sortBy(button.dataset.sort));
    }
    for (const suffix of ['', '-2']) {
      const bottom = suffix !== '';
      $('first-page' + suffix).addEventListener('click', () => goTo(0, bottom));
      $('previous-page' + suffix).addEventListener('click', () => goTo(state.page - 1, bottom));
      $('next-page' + suffix).addEventListener('click', () => goTo(state.page + 1, bottom));
      $('last-page' + suffix).addEventListener('click', () => goTo(Infinity, bottom));
    }
    $('delete-dialog').addEventListener('close', deleteClosed);
    $('player').addEventListener('error', playerFailed);
    $('player-close').addEventListener('click', closePlayer);
    $('result-count').setAttribute('tabindex', '-1');
    user = await PV.session();
    await load();
  });
})();
