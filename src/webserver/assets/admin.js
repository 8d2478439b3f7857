// The admin page: the users of the web pages (add, change the role, set a password, remove)
// and the audit log, newest first. Administrators only: the server refuses everyone else.
'use strict';

(() => {
  const { api, errorText, el, say, roleTitle } = PV;
  const $ = (id) => document.getElementById(id);
  const roles = ['listener', 'supervisor', 'admin'];
  let me = null;
  let removing = '';

  const userPath = (name) => '/api/users/' + encodeURIComponent(name);
  const tell = (text, kind) => say($('user-message'), text, kind);

  function problem(answer, fallback) {
    if (!answer) return 'The server cannot be reached.';
    if (answer.status === 403) return 'Only administrators manage users.';
    return errorText(answer, fallback);
  }

  async function call(method, path, body) {
    try {
      return await api(method, path, body);
    } catch (e) {
      return null;
    }
  }

  function roleSelect(user) {
    const id = 'role-' + user.name;
    const select = el('select', { id }, ...roles.map((r) => el('option', { value: r }, roleTitle(r))));
    select.value = user.role;
    return [el('label', { for: id, className: 'visually-hidden' }, `Role of ${user.name}`), select];
  }

  function userRow(user) {
    const tr = el('tr', { dataset: { name: user.name } });
    const [label, select] = roleSelect(user);
    const save = el('button', { type: 'button', className: 'quiet', dataset: { action: 'role' },
                                'aria-label': `Save the role of ${user.name}` }, 'Save role');
    const roleCell = el('td', { className: 'wide-cell', dataset: { label: 'Role' } },
                        el('span', { className: 'inline' }, label, select, save));
    const password = el('button', { type: 'button', className: 'quiet',
                                    dataset: { action: 'password' },
                                    'aria-label': `Set a password for ${user.name}` }, 'Set password');
    const remove = el('button', { type: 'button', className: 'quiet danger-text',
                                  dataset: { action: 'remove' },
                                  'aria-label': `Remove ${user.name}` }, 'Remove');
    const nameCell = el('th', { scope: 'row', className: 'wide-cell', dataset: { label: 'Name' } },
                        user.name);
    if (me && user.name === me.name) nameCell.append(el('span', { className: 'you' }, ' (you)'));
    tr.append(nameCell, roleCell,
              el('td', { className: 'actions-cell wide-cell', dataset: { label: 'Actions' } },
                 el('div', { className: 'actions' }, password, remove)));
    tr.user = user;
    return tr;
  }

  async function loadUsers() {
    const answer = await call('GET', '/api/users');
    if (!answer || answer.status !== 200 || !answer.data) {
      tell(problem(answer, 'The users could not be read.'), 'error');
      return;
    }
    const users = Array.isArray(answer.data.users) ? answer.data.users : [];
    users.sort((a, b) => a.name.localeCompare(b.name));
    $('user-rows').replaceChildren(...users.map(userRow));
  }

  async function saveRole(tr) {
    const name = tr.user.name;
    const role = tr.querySelector('select').value;
    if (role === tr.user.role) {
      tell(`${name} is already ${roleTitle(role).toLowerCase()}.`);
      return;
    }
    const answer = await call('PUT', userPath(name), { role });
    if (answer && answer.status === 200) {
      tr.user.role = role;
      tell(`${name} is now ${roleTitle(role).toLowerCase()}.`);
      loadAudit();
    } else {
      tr.querySelector('select').value = tr.user.role;
      tell(problem(answer, 'The role could not be changed.'), 'error');
    }
  }

  function askPassword(tr) {
    const cell = tr.querySelector('td.actions-cell');
    if (cell.querySelector('form')) return;
    const name = tr.user.name;
    const id = 'password-' + name;
    const input = el('input', { id, type: 'password', autocomplete: 'new-password',
                                minLength: 10, maxLength: 1024, required: true });
    const save = el('button', { type: 'submit' }, 'Set');
    const cancel = el('button', { type: 'button', className: 'quiet' }, 'Cancel');
    const form = el('form', { className: 'edit-form' },
                    el('label', { for: id, className: 'visually-hidden' }, `New password for ${name}`),
                    input, el('span', { className: 'buttons' }, save, cancel));
    const before = Array.from(cell.childNodes);
    const close = () => {
      cell.replaceChildren(...before);
      tr.querySelector('button[data-action="password"]').focus();
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
      if (input.value.length < 10) {
        tell('A password has at least 10 characters.', 'error');
        input.focus();
        return;
      }
      save.disabled = true;
      const answer = await call('PUT', userPath(name), { password: input.value });
      save.disabled = false;
      if (answer && answer.status === 200) {
        close();
        tell(`The password of ${name} is set.`);
        loadAudit();
      } else {
        tell(problem(answer, 'The password could not be set.'), 'error');
        input.focus();
      }
    });
    input.setAttribute('placeholder', 'New password');
    cell.replaceChildren(form);
    input.focus();
  }

  function askRemove(tr) {
    removing = tr.user.name;
    $('remove-what').textContent =
        `${removing} (${roleTitle(tr.user.role)}) can no longer log in; ` +
        'their sessions end at once.';
    const dialog = $('remove-dialog');
    dialog.returnValue = '';
    dialog.showModal();
  }

  async function removeClosed() {
    const name = removing;
    removing = '';
    if (!name || $('remove-dialog').returnValue !== 'remove') return;
    const answer = await call('DELETE', userPath(name));
    if (answer && (answer.status === 204 || answer.status === 200)) {
      tell(`${name} removed.`);
      await loadUsers();
      loadAudit();
      $('users-title').setAttribute('tabindex', '-1');
      $('users-title').focus();
    } else {
      tell(problem(answer, 'The user could not be removed.'), 'error');
    }
  }

  async function addUser(event) {
    event.preventDefault();
    const name = $('new-name').value.trim();
    const role = $('new-role').value;
    const password = $('new-password').value;
    if (!/^[A-Za-z0-9._-]{1,32}$/.test(name)) {
      tell('A name is 1 to 32 letters, digits, “.”, “_” or “-”.', 'error');
      $('new-name').focus();
      return;
    }
    if (password.length < 10) {
      tell('A password has at least 10 characters.', 'error');
      $('new-password').focus();
      return;
    }
    if (password !== $('new-password-2').value) {
      tell('The two passwords differ.', 'error');
      $('new-password-2').focus();
      return;
    }
    $('add-button').disabled = true;
    const answer = await call('POST', '/api/users', { name, role, password });
    $('add-button').disabled = false;
    if (answer && (answer.status === 201 || answer.status === 200)) {
      $('add-user').reset();
      tell(`${name} added as ${roleTitle(role).toLowerCase()}.`);
      await loadUsers();
      loadAudit();
      $('new-name').focus();
    } else {
      tell(problem(answer, 'The user could not be added.'), 'error');
    }
  }

  function onUserClick(event) {
    const button = event.target.closest('button[data-action]');
    if (!button) return;
    const tr = button.closest('tr');
    if (!tr || !tr.user) return;
    if (button.dataset.action === 'role') saveRole(tr);
    else if (button.dataset.action === 'password') askPassword(tr);
    else if (button.dataset.action === 'remove') askRemove(tr);
  }

  async function loadAudit() {
    const answer = await call('GET', '/api/audit?limit=200');
    if (!answer || answer.status !== 200 || !answer.data) {
      say($('audit-count'), problem(answer, 'The audit log could not be read.'), 'error');
      return;
    }
    const entries = Array.isArray(answer.data.entries) ? answer.data.entries : [];
    $('audit-rows').replaceChildren(...entries.map((e) => el('tr', null,
        el('td', { className: 'nowrap', dataset: { label: 'Time' } }, PV.dateTime(e.time)),
        el('td', { dataset: { label: 'User' } }, String(e.user || '')),
        el('td', { dataset: { label: 'Action' } }, String(e.action || '')),
        el('td', { className: 'break wide-cell', dataset: { label: 'Call' } }, String(e.call || '—')),
        el('td', { dataset: { label: 'Address' } }, String(e.address || '')),
        el('td', { dataset: { label: 'Outcome' } }, String(e.outcome || '—')))));
    say($('audit-count'), entries.length
        ? `The latest ${PV.number(entries.length)} entries, newest first.`
        : 'No entries yet.');
  }

  PV.start(async () => {
    me = await PV.session();
    if (me.role !== 'admin') {
      $('not-admin').hidden = false;
      return;
    }
    $('admin-content').hidden = false;
    $('user-rows').addEventListener('click', onUserClick);
    $('add-user').addEventListener('submit', addUser);
    $('remove-dialog').addEventListener('close', removeClosed);
    $('audit-refresh').addEventListener('click', loadAudit);
    await Promise.all([loadUsers(), loadAudit()]);
  });
})();
