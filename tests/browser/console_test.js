// Drives the console page in headless chromium: logs in, walks the demo
// tree, holds and releases a distribution, moves its recovery point, starts
// it and watches its counters and messages, sees a refused action's message,
// adds a table from the catalog, stops it, and saves a screenshot.
//
//   CONSOLE_URL=http://127.0.0.1:PORT/ SCREENSHOT=docs/console.png node console_test.js
'use strict';

const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { chromium } = require('playwright-core');

const url = process.env.CONSOLE_URL;
const screenshot = process.env.SCREENSHOT;
const executablePath = process.env.CHROMIUM || '/usr/bin/chromium';
const password = process.env.QV_PASSWORD || 'demo';

// Another browser's session, through the API: logs in and posts actions.
async function otherSession() {
  const login = await fetch(new URL('/api/login', url), {
    method: 'POST',
    headers: { 'Content-Type': 'application/json' },
    body: JSON.stringify({ user: 'QVADMIN', password, env: 'PR' }),
  });
  assert.equal(login.status, 200);
  const cookie = login.headers.get('set-cookie').split(';')[0];
  const { csrf } = await login.json();
  return async (path, body) => {
    const r = await fetch(new URL(path, url), {
      method: 'POST',
      headers: { 'Content-Type': 'application/json', 'X-CSRF-Token': csrf, Cookie: cookie },
      body: JSON.stringify(body),
    });
    assert.equal(r.status, 200, await r.text());
  };
}

function step(text) {
  process.stdout.write(`  ${text}\n`);
}

async function main() {
  assert.ok(url, 'CONSOLE_URL names the console');
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'qvmgr-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath,
    headless: true,
    viewport: { width: 1440, height: 640 },
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
  const failures = [];
  const requests = [];
  let page;
  try {
    page = context.pages()[0] || (await context.newPage());
    page.setDefaultTimeout(10000);
    page.on('response', (r) => requests.push(`${r.status()} ${r.request().method()} ${r.url()}`));
    page.on('pageerror', (e) => failures.push(`page error: ${e.message}`));
    // Nothing but the console itself is ever asked for.
    const origin = new URL(url).origin;
    page.on('request', (r) => {
      if (!r.url().startsWith(origin)) failures.push(`fetched from outside: ${r.url()}`);
    });
    const label = (key) => page.locator(`#tree .label[data-key="${key}"]`);
    const twisty = (key) => label(key).locator('xpath=preceding-sibling::span[@class="twisty"]');
    const notice = page.locator('#notice');
    const distState = page.locator('#dist-state');

    step('log in');
    await page.goto(url);
    await page.locator('#login').waitFor();
    await page.fill('#login-password', 'wrong');
    await page.click('#login button[type=submit]');
    await page.locator('#login-error').filter({ hasText: /\S/ }).waitFor();
    await page.fill('#login-user', 'QVADMIN');
    await page.fill('#login-password', password);
    await page.click('#login button[type=submit]');
    await page.locator('#main').waitFor();
    assert.equal(await page.locator('#conn').textContent(), 'connected');

    step('walk the demo tree');
    await twisty('cAS1').click();
    await twisty('AS1/GC').click();
    await label('AS1:CLI').waitFor();
    await label('Groups').click();
    await page.locator('#list tbody tr').filter({ hasText: 'CLI' }).first().waitFor();
    await label('cAS1').click();
    await page.locator('#list th').filter({ hasText: 'Hold' }).waitFor();
    await label('AS1:CLI').click();
    await page.locator('#dist-actions').waitFor();
    await distState.filter({ hasText: 'stopped' }).waitFor();

    step('hold and release the distribution');
    await page.click('#dist-actions button[data-action=hold]');
    await distState.filter({ hasText: 'held' }).waitFor();
    await page.click('#dist-actions button[data-action=release]');
    await distState.filter({ hasNotText: 'held' }).waitFor();

    step('see another browser hold and release it');
    const other = await otherSession();
    await other('/api/dist/hold', { dist: 'AS1:CLI' });
    await distState.filter({ hasText: 'held' }).waitFor({ timeout: 6000 });
    await other('/api/dist/release', { dist: 'AS1:CLI' });
    await distState.filter({ hasNotText: 'held' }).waitFor({ timeout: 6000 });

    step('move the recovery point');
    await page.click('#recovery-open');
    await page.locator('#recovery[open]').waitFor();
    await page.locator('#recovery-receiver option').first().waitFor({ state: 'attached' });
    await page.fill('#recovery-point', '42');
    await page.click('#recovery-go');
    await page.locator('#confirm[open]').waitFor();
    const body = await page.locator('#confirm-body').textContent();
    assert.match(body, /From: C/);
    assert.match(body, /To: P QV_USRDATA\/QVRCV00001 entry 42/);
    await page.click('#confirm-ok');
    await notice.filter({ hasText: 'Moved the recovery point' }).waitFor();
    await distState.filter({ hasText: 'entry 0000000042' }).waitFor();

    step('start it and watch the counters and the messages');
    const read = page.locator('#counters .counter[data-name=CptRead]');
    const count = async () => Number((await read.textContent()).replace(/\D/g, ''));
    await read.waitFor();
    const before = await count();
    await page.click('#dist-actions button[data-action=start]');
    await distState.filter({ hasText: 'running' }).waitFor();
    // The new job's counters replace those its last run left, then grow.
    const grown = (n) => page.waitForFunction((m) => {
      const c = document.querySelector('#counters .counter[data-name=CptRead]');
      return c && Number(c.textContent.replace(/\D/g, '')) !== m;
    }, n, { timeout: 15000 });
    await grown(before);
    const started = await count();
    await grown(started);
    assert.ok(await count() > started, 'the counters grow while the job runs');
    await page.waitForFunction(() => document.querySelectorAll('#chart polyline').length === 3 &&
      document.querySelector('#chart polyline').getAttribute('points').split(' ').length > 2, null, { timeout: 15000 });
    await page.locator('#messages tbody tr').filter({ hasText: 'PR/AS1/CLI started' }).first().waitFor({ timeout: 15000 });
    await page.locator('#supervision tr.state-A').first().waitFor();
    await page.locator('#messages-pane').scrollIntoViewIfNeeded();
    if (screenshot) await page.screenshot({ path: screenshot, fullPage: true });

    step('see a refused action\'s message');
    await page.click('#delete');
    await page.locator('#confirm[open]').waitFor();
    assert.match(await page.locator('#confirm-body').textContent(), /go with it/);
    await page.click('#confirm-ok');
    await page.locator('#notice.error').filter({ hasText: 'active distribution' }).waitFor();
    await label('AS1:CLI').waitFor();

    step('stop it');
    await page.click('#dist-actions button[data-action=stop]');
    await distState.filter({ hasText: 'stopped' }).waitFor({ timeout: 15000 });

    step('add a table from the catalog');
    await label('gCLI').click();
    await page.locator('#add-table').waitFor();
    await page.locator('#add-library option[value=DEMOLIB]').waitFor({ state: 'attached' });
    await page.selectOption('#add-library', 'DEMOLIB');
    await page.locator('#add-file option[value=ORDERS]').waitFor({ state: 'attached' });
    await page.selectOption('#add-file', 'ORDERS');
    await page.fill('#add-description', 'Orders "open" & <b>closed</b>');
    const rows = await page.locator('#list tbody tr').count();
    await page.click('#add-table button[type=submit]');
    await notice.filter({ hasText: 'Added DEMOLIB/ORDERS' }).waitFor();
    await page.waitForFunction((n) => document.querySelectorAll('#list tbody tr').length === n + 1, rows);
    await page.locator('#list td').filter({ hasText: 'Orders "open" & <b>closed</b>' }).waitFor();

    step('log out');
    await page.click('#logout');
    await page.locator('#login').waitFor();
  } catch (e) {
    // Tells what the page said when a step failed.
    const said = page ? await page.locator('#notice').textContent().catch(() => '') : '';
    process.stderr.write(`the page said: ${said}\nlast requests:\n  ${requests.slice(-12).join('\n  ')}\n`);
    throw e;
  } finally {
    await context.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
  assert.deepEqual(failures, []);
}

main().then(
  () => process.stdout.write('console browser test: passed\n'),
  (e) => {
    process.stderr.write(`console browser test: FAILED: ${e.stack || e}\n`);
    process.exit(1);
  },
);
