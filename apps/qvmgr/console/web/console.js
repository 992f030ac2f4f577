// The console page: logs in, shows the topology tree, the list of the
// selected item, the supervision, a distribution's activity and the message
// queue, and sends the actions; everything through the console's JSON API.
'use strict';

const $ = (id) => document.getElementById(id);
const LAZY = new Set(['SGC', 'SGCFC', 'GFile']);
const DELETABLE = new Set(['Ciblen', 'Groupn', 'GC', 'File', 'FC']);
const SERIES = [['CptRead', '#3c7dd9'], ['CptSel', '#e0a100'], ['CptSnd', '#2f8f46']];
const LABELS = { CptRead: 'read', CptSel: 'selected', CptSnd: 'sent' };

const state = {
  csrf: sessionStorage.getItem('qvcsrf'),
  version: 0,
  tree: [],
  expanded: new Set(['Env', 'Cibles', 'Groups']),
  selected: null,
  dist: null,
  distInfo: null,
  samples: [],
  lastMessage: 0,
  connected: null,
  timers: [],
};

// ---- Talking to the server ----------------------------------------------------------

// Sends a request; resolves with the JSON answer, rejects with the server's
// error text.
async function api(method, path, body) {
  const options = { method, headers: {}, credentials: 'same-origin' };
  if (method === 'POST') {
    options.headers['Content-Type'] = 'application/json';
    options.headers['X-CSRF-Token'] = state.csrf || '';
    options.body = JSON.stringify(body || {});
  }
  let res;
  try {
    res = await fetch(path, options);
  } catch (e) {
    setConnected(false, 'the console does not answer');
    throw new Error('the console does not answer');
  }
  let doc = {};
  try { doc = await res.json(); } catch (e) { doc = {}; }
  if (res.status === 401 && path !== '/api/login') showLogin();
  if (res.status === 503) setConnected(false);
  if (!res.ok) throw new Error(doc.error || ('the console answered ' + res.status));
  return doc;
}

function notice(text, error) {
  const n = $('notice');
  n.textContent = text;
  n.className = error ? 'error' : '';
  n.hidden = !text;
}

// Runs an action; shows its error text on the page when it is refused.
async function act(what, fn) {
  try {
    const result = await fn();
    notice(what, false);
    return result;
  } catch (e) {
    notice(e.message, true);
    return null;
  }
}

function setConnected(up, why) {
  const c = $('conn');
  if (state.connected === up && !why) return;
  state.connected = up;
  c.textContent = up ? 'connected' : 'disconnected' + (why ? ': ' + why : '');
  c.className = 'conn ' + (up ? 'up' : 'down');
}

// ---- Login --------------------------------------------------------------------------

function showLogin() {
  for (const t of state.timers) clearInterval(t);
  state.timers = [];
  $('main').hidden = true;
  $('logout').hidden = true;
  $('login').hidden = false;
  $('who').textContent = '';
}

async function login(event) {
  event.preventDefault();
  $('login-error').textContent = '';
  try {
    const doc = await api('POST', '/api/login', {
      user: $('login-user').value,
      password: $('login-password').value,
      env: $('login-env').value,
    });
    $('login-password').value = '';
    state.csrf = doc.csrf;
    sessionStorage.setItem('qvcsrf', doc.csrf);
    started(doc);
  } catch (e) {
    $('login-error').textContent = e.message;
  }
}

async function logout() {
  try { await api('POST', '/api/logout'); } catch (e) { /* the session is gone either way */ }
  sessionStorage.removeItem('qvcsrf');
  state.csrf = null;
  showLogin();
}

function started(doc) {
  $('login').hidden = true;
  $('main').hidden = false;
  $('logout').hidden = false;
  $('who').textContent = doc.user + ' in ' + doc.env;
  setConnected(true);
  state.version = -1;
  state.lastMessage = 0;
  $('messages').tBodies[0].textContent = '';
  refreshState();
  refreshSupervision();
  refreshMessages();
  state.timers = [
    setInterval(refreshState, 2000),
    setInterval(refreshSupervision, 3000),
    setInterval(refreshMessages, 3000),
    setInterval(refreshActivity, 2000),
  ];
}

// ---- The tree -----------------------------------------------------------------------

const kindOf = (node) => (node.tag || '').slice(1);
const isLazy = (node) => LAZY.has(kindOf(node)) && (node.tag || '')[0] !== 'X';

function findNode(nodes, key) {
  for (const n of nodes) {
    if (n.key === key) return n;
    const found = findNode(n.children || [], key);
    if (found) return found;
  }
  return null;
}

function renderTree() {
  const ul = $('tree');
  ul.textContent = '';
  for (const n of state.tree) ul.appendChild(treeItem(n));
}

function treeItem(node) {
  const li = document.createElement('li');
  li.setAttribute('role', 'treeitem');
  const children = node.children || [];
  const open = state.expanded.has(node.key);
  const twisty = document.createElement('span');
  twisty.className = 'twisty';
  twisty.textContent = children.length || isLazy(node) ? (open ? '\u25be' : '\u25b8') : '';
  twisty.addEventListener('click', () => toggle(node));
  const label = document.createElement('span');
  label.className = 'label' + (state.selected === node.key ? ' selected' : '');
  label.textContent = node.text;
  label.dataset.key = node.key;
  label.addEventListener('click', () => select(node.key));
  label.addEventListener('dblclick', () => toggle(node));
  li.append(twisty, label);
  if (open && children.length) {
    const sub = document.createElement('ul');
    for (const c of children) sub.appendChild(treeItem(c));
    li.appendChild(sub);
  }
  return li;
}

async function loadTree() {
  const doc = await api('GET', '/api/tree');
  state.tree = doc.tree.nodes;
  // Folders open on the page that the server has not loaded yet are loaded again.
  for (const key of state.expanded) {
    const n = findNode(state.tree, key);
    if (n && isLazy(n)) state.tree = (await api('GET', '/api/tree/children?key=' + encodeURIComponent(key))).tree.nodes;
  }
  renderTree();
}

async function toggle(node) {
  if (state.expanded.has(node.key)) {
    state.expanded.delete(node.key);
  } else {
    state.expanded.add(node.key);
    if (isLazy(node)) {
      const ok = await act('', async () => {
        state.tree = (await api('GET', '/api/tree/children?key=' + encodeURIComponent(node.key))).tree.nodes;
      });
      if (ok === null) state.expanded.delete(node.key);
    }
  }
  renderTree();
}

// ---- The selected item --------------------------------------------------------------

function distOf(node) {
  const kind = kindOf(node);
  if (!['GC', 'SGCFC', 'SGCSpv', 'FC'].includes(kind)) return null;
  return node.key.split('/')[0].split(':').slice(0, 2).join(':');
}

function modelOf(node) {
  const kind = kindOf(node);
  if (kind === 'Groupn') return node.key.slice(1);
  if (kind === 'GFile') return node.key.split('/')[0];
  return null;
}

async function select(key) {
  state.selected = key;
  renderTree();
  await showSelected();
}

async function showSelected() {
  const node = state.selected && findNode(state.tree, state.selected);
  if (!node) {
    state.selected = null;
    $('list-title').textContent = 'Select an item';
    fillTable($('list'), [], []);
    $('dist-actions').hidden = $('delete').hidden = $('add-table').hidden = $('activity').hidden = true;
    $('dist-state').textContent = '';
    state.dist = null;
    return;
  }
  $('list-title').textContent = node.text;
  $('delete').hidden = !DELETABLE.has(kindOf(node));
  const dist = distOf(node);
  if (dist !== state.dist) state.samples = [];
  state.dist = dist;
  $('dist-actions').hidden = !dist;
  $('activity').hidden = !dist;
  if (dist) {
    $('activity-dist').textContent = dist;
    await refreshDist();
    refreshActivity();
  } else {
    $('dist-state').textContent = '';
  }
  const model = modelOf(node);
  $('add-table').hidden = !model;
  if (model) prepareAddTable(model);
  try {
    const doc = await api('GET', '/api/list?node=' + encodeURIComponent(node.key));
    if (doc.kind === 'messages') {
      fillTable($('list'), [], []);
      $('messages-pane').scrollIntoView({ block: 'nearest' });
      return;
    }
    const columns = doc.list.columns.map((c) => c.text);
    const rows = doc.list.items.map((i) => [i.text, ...(i.subItems || [])]);
    fillTable($('list'), columns, rows);
  } catch (e) {
    notice(e.message, true);
  }
}

function fillTable(table, columns, rows, classes) {
  const head = table.tHead;
  head.textContent = '';
  const hr = head.insertRow();
  for (const c of columns) {
    const th = document.createElement('th');
    th.textContent = c;
    hr.appendChild(th);
  }
  const body = table.tBodies[0];
  body.textContent = '';
  rows.forEach((cells, i) => {
    const tr = body.insertRow();
    if (classes && classes[i]) tr.className = classes[i];
    for (let c = 0; c < Math.max(columns.length, 1); ++c) tr.insertCell().textContent = cells[c] == null ? '' : cells[c];
  });
}

// ---- Distributions ------------------------------------------------------------------

function recoveryText(r) {
  if (!r) return '';
  const where = (r.library ? r.library + '/' : '') + r.receiver;
  return (r.type || '-') + ' ' + (where || '(no receiver)') + ' entry ' + (r.point || '0');
}

async function refreshDist() {
  if (!state.dist) return;
  try {
    const d = await api('GET', '/api/dist?dist=' + encodeURIComponent(state.dist));
    state.distInfo = d;
    $('dist-state').textContent = (d.running ? 'running' : 'stopped') + (d.hold ? ', held' : '') +
      '; recovery ' + recoveryText(d.recovery);
  } catch (e) {
    $('dist-state').textContent = e.message;
  }
}

async function distAction(action) {
  const dist = state.dist;
  const done = { hold: 'Held', release: 'Released', start: 'Started', stop: 'Stopped' }[action];
  if (action === 'start') state.samples = [];
  await act(done + ' the distribution ' + dist, () => api('POST', '/api/dist/' + action, { dist }));
  await refreshDist();
  refreshSupervision();
}

// Asks for confirmation in a dialog; resolves true when confirmed.
function confirmDialog(title, build) {
  return new Promise((resolve) => {
    const d = $('confirm');
    $('confirm-title').textContent = title;
    const body = $('confirm-body');
    body.textContent = '';
    build(body);
    d.returnValue = '';
    d.addEventListener('close', () => resolve(d.returnValue === 'ok'), { once: true });
    d.showModal();
  });
}

function para(parent, text) {
  const p = document.createElement('p');
  p.textContent = text;
  parent.appendChild(p);
  return p;
}

async function openRecovery() {
  const dist = state.dist;
  await refreshDist();
  $('recovery-dist').textContent = dist;
  $('recovery-old').textContent = recoveryText(state.distInfo && state.distInfo.recovery);
  const select = $('recovery-receiver');
  select.textContent = '';
  try {
    const doc = await api('GET', '/api/receivers');
    $('recovery-library').value = doc.library;
    for (const r of doc.receivers) {
      const o = document.createElement('option');
      o.value = r.receiver;
      o.textContent = r.receiver + ' (' + r.first + ' to ' + r.last + ')';
      select.appendChild(o);
    }
  } catch (e) {
    notice(e.message, true);
    return;
  }
  $('recovery-point').value = (state.distInfo && state.distInfo.recovery.point) || '1';
  $('recovery').returnValue = '';
  $('recovery').showModal();
}

async function recoveryChosen() {
  if ($('recovery').returnValue !== 'go') return;
  const dist = state.dist;
  const next = { type: 'P', receiver: $('recovery-receiver').value, library: $('recovery-library').value,
    point: $('recovery-point').value.trim() };
  const ok = await confirmDialog('Move the recovery point of ' + dist + '?', (body) => {
    para(body, 'From: ' + recoveryText(state.distInfo && state.distInfo.recovery));
    para(body, 'To: ' + recoveryText(next));
  });
  if (!ok) return;
  await act('Moved the recovery point of ' + dist + ' to ' + recoveryText(next),
    () => api('POST', '/api/dist/recovery', { dist, receiver: next.receiver, library: next.library, point: next.point }));
  await refreshDist();
}

// ---- Add and delete -----------------------------------------------------------------

async function prepareAddTable(model) {
  $('add-model').textContent = model;
  $('add-table').dataset.model = model;
  const libs = $('add-library');
  if (libs.options.length) return;
  try {
    const doc = await api('GET', '/api/catalog/files');
    // Fills the list once, whatever requests crossed this one.
    if (libs.options.length) return;
    for (const name of doc.names) libs.add(new Option(name, name));
    await loadFiles();
  } catch (e) {
    notice(e.message, true);
  }
}

async function loadFiles() {
  const library = $('add-library').value;
  if (!library) return;
  const doc = await api('GET', '/api/catalog/files?library=' + encodeURIComponent(library));
  if (library !== $('add-library').value) return;
  const files = $('add-file');
  const chosen = files.value;
  files.textContent = '';
  for (const name of doc.names) files.add(new Option(name, name));
  // Keeps the file chosen while the list was read again.
  if (doc.names.includes(chosen)) files.value = chosen;
}

async function addTable(event) {
  event.preventDefault();
  const model = $('add-table').dataset.model;
  const body = { model, library: $('add-library').value, file: $('add-file').value,
    description: $('add-description').value };
  const doc = await act('Added ' + body.library + '/' + body.file + ' to the model ' + model,
    () => api('POST', '/api/table/add', body));
  if (doc) {
    $('add-description').value = '';
    await reloadAll();
  }
}

async function deleteSelected() {
  const key = state.selected;
  let below;
  try {
    below = await api('GET', '/api/item/below?key=' + encodeURIComponent(key));
  } catch (e) {
    notice(e.message, true);
    return;
  }
  const ok = await confirmDialog('Delete ' + below.text + '?', (body) => {
    if (!below.below.length) {
      para(body, 'Nothing lies below it.');
      return;
    }
    para(body, 'These go with it:');
    const ul = document.createElement('ul');
    for (const b of below.below) {
      const li = document.createElement('li');
      li.textContent = '\u00a0'.repeat((b.depth - 1) * 3) + b.text;
      ul.appendChild(li);
    }
    body.appendChild(ul);
  });
  if (!ok) return;
  const doc = await act('Deleted ' + below.text, () => api('POST', '/api/item/delete', { key }));
  if (doc) {
    state.selected = null;
    await reloadAll();
  }
}

// ---- Refreshing ---------------------------------------------------------------------

async function reloadAll() {
  try {
    await loadTree();
  } catch (e) {
    notice(e.message, true);
  }
  await showSelected();
}

async function refreshState() {
  try {
    const s = await api('GET', '/api/state');
    setConnected(s.connected);
    if (s.connected && s.version !== state.version) {
      state.version = s.version;
      await reloadAll();
    } else if (s.connected) {
      await refreshDist();
    }
  } catch (e) {
    if (!/log in/.test(e.message)) setConnected(false);
  }
}

const SHOWN = ['distribution', 'status', 'run', 'repriseType', 'repriseReceiver', 'receiver', 'entry', 'step',
  'read', 'selected', 'sent', 'errors', 'refreshDate'];

async function refreshSupervision() {
  try {
    const doc = await api('GET', '/api/supervision');
    const keys = ['distribution', 'run', 'status', 'repriseType', 'repriseReceiver', 'receiver', 'entry',
      'entryType', 'entryDate', 'entryJob', 'entryProgram', 'entryFile', 'entryRrn', 'processDate', 'step',
      'read', 'selected', 'sent', 'ignored', 'added', 'modified', 'deleted', 'memberOps', 'repaired', 'errors',
      'refreshDate'];
    const columns = SHOWN.map((k) => doc.columns[keys.indexOf(k)] || k);
    fillTable($('supervision'), columns, doc.distributions.map((d) => SHOWN.map((k) => d[k])),
      doc.distributions.map((d) => 'state-' + d.state));
  } catch (e) { /* the state poll tells the connection */ }
}

async function refreshMessages() {
  try {
    const doc = await api('GET', '/api/messages?after=' + state.lastMessage);
    const table = $('messages');
    if (!table.tHead.rows.length) {
      const hr = table.tHead.insertRow();
      for (const c of doc.columns) {
        const th = document.createElement('th');
        th.textContent = c;
        hr.appendChild(th);
      }
    }
    const body = table.tBodies[0];
    for (const m of doc.messages) {
      const tr = body.insertRow(0);
      tr.className = 'new';
      for (const c of m.cells) tr.insertCell().textContent = c;
    }
    state.lastMessage = doc.last;
  } catch (e) { /* the state poll tells the connection */ }
}

async function refreshActivity() {
  if (!state.dist || $('activity').hidden) return;
  const dist = state.dist;
  try {
    const doc = await api('GET', '/api/activity?dist=' + encodeURIComponent(dist));
    if (dist !== state.dist) return;
    state.samples.push(SERIES.map(([k]) => Number(doc.activity[k]) || 0));
    if (state.samples.length > 40) state.samples.shift();
    drawChart(doc.activity);
  } catch (e) { /* a distribution without a job has no activity */ }
}

function drawChart(activity) {
  const svg = $('chart');
  const ns = 'http://www.w3.org/2000/svg';
  svg.textContent = '';
  const max = Math.max(1, ...state.samples.flat());
  const n = state.samples.length;
  SERIES.forEach(([, colour], s) => {
    const line = document.createElementNS(ns, 'polyline');
    const points = state.samples.map((v, i) =>
      `${n > 1 ? (i * 400) / (n - 1) : 0},${115 - (v[s] * 110) / max}`);
    line.setAttribute('points', points.join(' '));
    line.setAttribute('fill', 'none');
    line.setAttribute('stroke', colour);
    line.setAttribute('stroke-width', '2');
    line.setAttribute('vector-effect', 'non-scaling-stroke');
    svg.appendChild(line);
  });
  const counters = $('counters');
  counters.textContent = '';
  for (const [k, colour] of SERIES) {
    const span = document.createElement('span');
    span.className = 'counter';
    span.dataset.name = k;
    const sw = document.createElement('span');
    sw.className = 'swatch';
    sw.style.background = colour;
    span.append(sw, `${LABELS[k]} ${Number(activity[k]) || 0}`);
    counters.appendChild(span);
  }
}

// ---- Start --------------------------------------------------------------------------

async function boot() {
  $('login').addEventListener('submit', login);
  $('logout').addEventListener('click', logout);
  $('dist-actions').addEventListener('click', (e) => {
    const a = e.target.dataset && e.target.dataset.action;
    if (a) distAction(a);
  });
  $('recovery-open').addEventListener('click', openRecovery);
  $('recovery').addEventListener('close', recoveryChosen);
  $('delete').addEventListener('click', deleteSelected);
  $('add-table').addEventListener('submit', addTable);
  $('add-library').addEventListener('change', () => loadFiles().catch((e) => notice(e.message, true)));
  try {
    const config = await api('GET', '/api/config');
    $('source').textContent = config.source;
    $('login-env').value = config.env;
    $('login-user').value = config.user;
  } catch (e) {
    notice(e.message, true);
  }
  try {
    const s = await api('GET', '/api/state');
    started(s);
  } catch (e) {
    showLogin();
  }
}

document.addEventListener('DOMContentLoaded', boot);
