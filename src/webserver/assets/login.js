// The login page: name and password, the server's answer in words, and the wait it asks for
// after too many wrong attempts.
'use strict';

(() => {
  const $ = (id) => document.getElementById(id);
  let waitTimer = 0;

  // Only one of the recorder's own pages, never another site or a path of the API.
  function nextPage() {
    const next = new URLSearchParams(window.location.search).get('next') || '';
    return /^\/(calls|lines|admin)(\?[^#]*)?$/.test(next) ? next : '/calls';
  }

  function showError(text) {
    PV.say($('login-error'), text, 'error');
  }

  function waitFor(seconds) {
    const button = $('login-button');
    let left = Math.max(1, Math.ceil(seconds));
    window.clearInterval(waitTimer);
    const tell = () => {
      showError(`Too many failed attempts. Try again in ${left} second${left === 1 ? '' : 's'}.`);
    };
    button.disabled = true;
    tell();
    waitTimer = window.setInterval(() => {
      left -= 1;
      if (left > 0) {
        // Counting down in the button, so that a screen reader is not told every second.
        button.textContent = `Wait ${left} s`;
        return;
      }
      window.clearInterval(waitTimer);
      button.disabled = false;
      button.textContent = 'Log in';
      showError('You may try again now.');
    }, 1000);
    button.textContent = `Wait ${left} s`;
  }

  async function submit(event) {
    event.preventDefault();
    const name = $('name').value.trim();
    const password = $('password').value;
    if (!name || !password) {
      showError(!name ? 'Enter your name.' : 'Enter your password.');
      (!name ? $('name') : $('password')).focus();
      return;
    }
    const button = $('login-button');
    button.disabled = true;
    showError('');
    let answer;
    try {
      answer = await PV.api('POST', '/api/login', { name, password }, { keep401: true });
    } catch (e) {
      button.disabled = false;
      showError('The server cannot be reached.');
      return;
    }
    if (answer.status === 200) {
      window.location.assign(nextPage());
      return;
    }
    button.disabled = false;
    $('password').value = '';
    if (answer.status === 429) {
      const header = Number.parseInt(answer.headers.get('Retry-After') || '', 10);
      const seconds = Number((answer.data && answer.data.retryAfter) || header || 1);
      waitFor(seconds);
      return;
    }
    if (answer.status === 401) {
      showError(PV.errorText(answer, 'Wrong name or password.'));
    } else {
      showError(PV.errorText(answer, `The server refused the login (${answer.status}).`));
    }
    $('password').focus();
  }

  PV.start(async () => {
    $('login').addEventListener('submit', submit);
    $('name').focus();
    // Already signed in: straight on.
    const answer = await PV.api('GET', '/api/session', undefined, { keep401: true });
    if (answer.status === 200) window.location.replace(nextPage());
  });
})();
