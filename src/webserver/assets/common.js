// What every page of the recorder's web pages shares: the calls to the server's API (the CSRF
// token on every change, a lost session sends the user to the login page), the signed-in
// user's name and role in the page head, Log out, and small helpers that build elements.
// Texts from the server are only ever set as text (textContent), never as markup.
'use strict';

const PV = (() => {
  let csrf = '';
  let user = null;

  // The page to come back to after logging in again: only one of the recorder's own pages.
  const pagePaths = ['/calls', '/lines', '/admin'];

  function toLogin() {
    const here = window.location.pathname;
    const next = pagePaths.includes(here) ? here + window.location.search : '';
    window.location.assign(next ? '/login?next=' + encodeURIComponent(next) : '/login');
  }

  // Calls the API. Resolves to { status, data } (data: the parsed JSON answer, or null);
  // rejects only when the server cannot be reached. A 401 ends here: the user goes to the
  // login page (unless `options.keep401`).
  async function api(method, path, body, options = {}) {
    const headers = { Accept: 'application/json' };
    const init = { method, headers, credentials: 'same-origin', cache: 'no-store' };
    if (method !== 'GET' && method !== 'HEAD') {
      if (csrf) headers['X-CSRF-Token'] = csrf;
    }
    if (body !== undefined) {
      headers['Content-Type'] = 'application/json';
      init.body = JSON.stringify(body);
    }
    const response = await fetch(path, init);
    let data = null;
    const type = response.headers.get('Content-Type') || '';
    if (type.startsWith('application/json')) {
      try {
        data = await response.json();
      } catch (e) {
        data = null;
      }
    }
    if (response.status === 401 && !options.keep401) {
      toLogin();
      // The page is going away: never resolve, so that no caller shows a stale error.
      return new Promise(() => {});
    }
    return { status: response.status, data, headers: response.headers };
  }

  // The server's own words for a failed answer, or `fallback`.
  function errorText(answer, fallback) {
    if (answer && answer.data && typeof answer.data.error === 'string' && answer.data.error) {
      return answer.data.error;
    }
    return fallback;
  }

  // el('td', { className: 'x', dataset: { label: 'Port' } }, 'text', childElement, ...)
  function el(tag, props, ...children) {
    const node = document.createElement(tag);
    if (props) {
      for (const [key, value] of Object.entries(props)) {
        if (value === undefined || value === null || value === false) continue;
        if (key === 'className') node.className = value;
        else if (key === 'dataset') Object.assign(node.dataset, value);
        else if (key === 'text') node.textContent = String(value);
        else if (key in node && typeof value !== 'string') node[key] = value;
        else node.setAttribute(key, value === true ? '' : String(value));
      }
    }
    for (const child of children) {
      if (child === undefined || child === null || child === false) continue;
      node.append(typeof child === 'string' || typeof child === 'number' ? String(child) : child);
    }
    return node;
  }

  function setText(id, text) {
    const node = document.getElementById(id);
    if (node && node.textContent !== text) node.textContent = text;
  }

  function number(n) {
    return Number(n).toLocaleString('en-US');
  }

  function roleTitle(role) {
    return { listener: 'Listener', supervisor: 'Supervisor', admin: 'Administrator' }[role] || role;
  }

  // The local date and time of a time in seconds since 1970, "2026-12-08 14:03:07".
  function dateTime(seconds) {
    const d = new Date(Number(seconds) * 1000);
    if (Number.isNaN(d.getTime())) return String(seconds);
    const two = (n) => String(n).padStart(2, '0');
    return `${d.getFullYear()}-${two(d.getMonth() + 1)}-${two(d.getDate())} ` +
           `${two(d.getHours())}:${two(d.getMinutes())}:${two(d.getSeconds())}`;
  }

  // Shows `text` in a message element: kind 'ok' (role status) or 'error' (role alert); an
  // empty text hides it.
  function say(node, text, kind = 'ok') {
    if (!node) return;
    node.classList.toggle('error', kind === 'error');
    node.classList.toggle('ok', kind !== 'error');
    node.textContent = text || '';
    node.hidden = !text;
  }

  async function logout() {
    try {
      await api('POST', '/api/logout', undefined, { keep401: true });
    } finally {
      window.location.assign('/login');
    }
  }

  function showUser() {
    setText('who-name', user.name);
    setText('who-role', roleTitle(user.role));
    document.body.classList.add('role-' + user.role);
    for (const node of document.querySelectorAll('.admin-only')) node.hidden = user.role !== 'admin';
    const here = window.location.pathname;
    for (const link of document.querySelectorAll('.site-nav a')) {
      if (link.getAttribute('href') === here) link.setAttribute('aria-current', 'page');
    }
    const button = document.getElementById('logout');
    if (button) button.addEventListener('click', logout);
    const head = document.querySelector('.site-head');
    if (head) head.hidden = false;
  }

  // The signed-in user ({ name, role, csrf, idleSeconds }); sends the user to the login page
  // when there is none. Every page but the login page starts with it.
  async function session() {
    const answer = await api('GET', '/api/session');
    if (answer.status !== 200 || !answer.data) {
      throw new Error(errorText(answer, 'The server did not answer as expected.'));
    }
    user = answer.data;
    csrf = user.csrf || '';
    showUser();
    return user;
  }

  function setCsrf(token) {
    csrf = token || '';
  }

  // Runs `main` once the page is there; a failure that nothing else showed goes into the
  // page's first message element, so that the user sees something went wrong.
  function start(main) {
    const run = async () => {
      try {
        await main();
      } catch (e) {
        const node = document.querySelector('.page-error');
        say(node, e && e.message ? e.message : 'Something went wrong.', 'error');
      }
    };
    if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', run);
    else run();
  }

  const canEdit = (role) => role === 'supervisor' || role === 'admin';

  return { api, errorText, el, setText, number, roleTitle, dateTime, say, session, setCsrf,
           start, canEdit, toLogin };
})();
