'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { launchBrowser, openPage, contrastRatio, MAIN_EXE, INSTALL_DIR } = require('./support');

const ORIGIN = process.env.KV_ACTION_LINK_ORIGIN;
let browser;
test.before(async () => { browser = await launchBrowser(); });
test.after(() => browser.close());

async function withPage(options, body) {
  const p = await openPage(browser, options);
  try {
    await body(p);
    assert.deepEqual(p.errors, []);
  } finally {
    await p.close();
  }
}

// The calls after the first `from`, dropping the DPI and show calls of the load.
async function callsSince(p, from) {
  return (await p.calls()).slice(from);
}

// The host calls onStarted from within start.
const installAndStart = (p) => p.page.click('text=Install Now');
const openBox = (p) => p.page.evaluate(() => window.closeDialogRequested());

const event = (action, screen) => ['ga.sendEvent', action, 'Install', screen, -1];
const closed = [['basewnd.hide'], ['basewnd.close']];

test('the root font size and the window follow the DPI; no or zero DPI counts as 100', async (t) => {
  for (const [name, options, fontSize, calls] of [
    ['no getDPI', {}, '16px', [['basewnd.show', 640, 480]]],
    ['DPI 0', { dpi: 0 }, '16px', [['basewnd.getDPI'], ['basewnd.show', 640, 480]]],
    ['DPI 150', { dpi: 150 }, '24px', [['basewnd.getDPI'], ['basewnd.show', 960, 720]]],
    ['no Intl.PluralRules, as in IE 11', { noPluralRules: true }, '16px', [['basewnd.show', 640, 480]]]
  ]) {
    await t.test(name, () => withPage(options, async (p) => {
      assert.equal(await p.page.evaluate(() => document.documentElement.style.fontSize), fontSize);
      assert.deepEqual(await p.calls(), calls);
      assert.equal(await p.page.evaluate(() => !document.dispatchEvent(
        new MouseEvent('contextmenu', { bubbles: true, cancelable: true }))), true);
    }));
  }
});

// Checks that the panel holds for just under 8 s and then turns.
async function panelTurn(p) {
  const title = await p.text('.panel-title');
  await p.run(7999);
  assert.equal(await p.text('.panel-title'), title);
  await p.run(1);
  return title;
}

test('Install Now starts with four callbacks (no onCancel), and the panels turn every 8 s', () =>
  withPage({}, async (p) => {
    await installAndStart(p);
    assert.deepEqual(await callsSince(p, 1),
      [event('InstallNow', 'Welcome'), ['installer.start', ['onStarted', 'onProgress', 'onError', 'onFinish']]]);
    const titles = [];
    for (let i = 0; i < 7; i++) titles.push(await panelTurn(p));
    assert.deepEqual(titles, ['Go Paperless', 'Protect Documents', 'Digitally Sign Documents', 'Work Offline',
      'Customize Documents', 'Manage Documents', 'Go Paperless']);
    assert.equal(await p.text('.progress-left'), 'Installing Vellix PDF Pro...');
  }));

test('the bar shows the latest progress after 300 ms, within 0..100, and a status change cancels a refresh', () =>
  withPage({}, async (p) => {
    await installAndStart(p);
    const bar = async () => [await p.text('.progress-right'),
      await p.page.locator('.progress-fill').evaluate((e) => e.style.width)];
    // The browser writes the width back without trailing zeros.
    await p.host('onProgress', 10);
    await p.run(100);
    await p.host('onProgress', 42.567);
    await p.run(199);
    assert.deepEqual(await bar(), ['0% Completed', '0%']);
    await p.run(1);
    assert.deepEqual(await bar(), ['43% Completed', '42.57%']);
    // Infinity is what a download with a Content-Length of 0 reports.
    for (const [value, shown] of [[1000, 100], [-5, 0], [Infinity, 100], [NaN, 0]]) {
      await p.host('onProgress', value);
      await p.run(300);
      assert.deepEqual(await bar(), [`${Math.round(shown)}% Completed`, `${shown}%`], `progress ${value}`);
    }
    await p.host('onProgress', 70);
    await p.host('onFinish');
    await p.run(300);
    assert.equal(await p.text('.title'), 'Installation Successfully completed!');
    assert.deepEqual(await bar(), ['100% Completed', '100%']);
  }));

test('Try Again after an error starts with the same callbacks, the bar at 0 and the panel where it stopped', () =>
  withPage({}, async (p) => {
    await installAndStart(p);
    await p.run(8000);
    await p.host('onProgress', 30);
    await p.run(300);
    await p.host('onProgress', 60);
    await p.host('onError');
    // The panel timer must stand still outside the installation.
    await p.run(24000);
    assert.equal(await p.text('.title'), 'Installation was not successful');
    const before = (await p.calls()).length;
    await p.page.click('text=Try Again');
    assert.deepEqual(await callsSince(p, before),
      [event('TryAgain', 'InstallFailure'), ['installer.start', ['onStarted', 'onProgress', 'onError', 'onFinish']]]);
    assert.equal(await p.page.evaluate(() => window.hostCallbackObjects[0] === window.hostCallbackObjects[1]), true);
    assert.equal(await p.text('.progress-right'), '0% Completed');
    assert.equal(await panelTurn(p), 'Protect Documents');
    assert.equal(await p.text('.panel-title'), 'Digitally Sign Documents');
  }));

test('closing asks first, and closes only when allowed', async (t) => {
  const toPanel3 = async (p) => { await installAndStart(p); await p.run(16000); };
  const toSuccess = async (p) => { await installAndStart(p); await p.host('onFinish'); };
  const toFailure = async (p) => { await installAndStart(p); await p.host('onError'); };
  const confirm = 'Are you sure you want to quit Vellix PDF Pro?';
  for (const c of [
    { name: 'during the installation', setup: toPanel3, message: 'Please wait for the installation to be completed',
      buttons: ['OK'], answer: 'OK', calls: [event('Close', 'ProgressScreen3')] },
    { name: 'declined on the welcome screen', message: confirm, buttons: ['Yes', 'No'], answer: 'No',
      calls: [event('Close', 'Welcome')] },
    { name: 'confirmed on the welcome screen', message: confirm, buttons: ['Yes', 'No'], answer: 'Yes',
      calls: [event('Close', 'Welcome'), event('InstallerCancelW', 'Welcome'), ...closed] },
    { name: 'confirmed after a failure', setup: toFailure, message: confirm, buttons: ['Yes', 'No'], answer: 'Yes',
      calls: [event('Close', 'InstallFailure'), event('InstallerCancelW', 'InstallFailure'), ...closed] },
    { name: 'confirmed after success', setup: toSuccess, message: confirm, buttons: ['Yes', 'No'], answer: 'Yes',
      calls: [event('Close', 'InstallSuccess'), ['system.getMainExecutablePath', 'QXPDF'],
        ['process.execute', MAIN_EXE, '--open-post-install-url'], ...closed] }
  ]) {
    await t.test(c.name, () => withPage({}, async (p) => {
      if (c.setup) await c.setup(p);
      const before = (await p.calls()).length;
      // A second request while the box is open, as from Alt+F4, neither stacks a box nor sends an event.
      await openBox(p);
      await openBox(p);
      assert.equal(await p.text('.message-text'), c.message);
      assert.deepEqual(await p.page.locator('.message-buttons button').allInnerTexts(), c.buttons);
      // Neither the footer logo nor, from the keyboard, the controls behind show through the overlay.
      assert.equal(await p.page.locator('.logo').evaluate((logo) => {
        const r = logo.getBoundingClientRect();
        return document.elementFromPoint(r.left + r.width / 2, r.top + r.height / 2).closest('.overlay') !== null;
      }), true);
      for (const key of ['Tab', 'Tab', 'Tab', 'Shift+Tab', 'Shift+Tab']) {
        await p.page.keyboard.press(key);
        assert.equal(await p.page.evaluate(() => document.activeElement.closest('.message-buttons') !== null), true, key);
      }
      await p.page.click(`.message-buttons >> text=${c.answer}`);
      assert.deepEqual(await callsSince(p, before), c.calls);
      assert.equal(await p.page.locator('.message-box').count(), 0);
    }));
  }
});

test('a status change closes an open Yes/No box as declined', () => withPage({}, async (p) => {
  await installAndStart(p);
  await p.host('onError');
  const before = (await p.calls()).length;
  await openBox(p);
  await p.host('onStarted');
  assert.equal(await p.page.locator('.message-box').count(), 0);
  assert.equal(await p.text('.progress-left'), 'Installing Vellix PDF Pro...');
  assert.deepEqual(await callsSince(p, before), [event('Close', 'InstallFailure')]);
}));

test('the start button starts the product twice and closes only when the first start worked', async (t) => {
  const open = `--first-start-after-install --open --in="${INSTALL_DIR}Vellix PDF Pro User Guide.pdf"`;
  for (const [name, first, after] of [['started', true, closed], ['first start failed', false, []]]) {
    await t.test(name, () => withPage({ executeResults: [first, true] }, async (p) => {
      await installAndStart(p);
      await p.host('onFinish');
      const before = (await p.calls()).length;
      await p.page.click('text=Let\u2019s Start');
      assert.deepEqual(await callsSince(p, before), [event('RunApp', 'InstallSuccess'),
        ['system.getMainExecutablePath', 'QXPDF'], ['system.getInstallationPath', 'QXPDF'],
        ['process.execute', MAIN_EXE, open], ['process.execute', MAIN_EXE, '--open-post-install-url'], ...after]);
    }));
  }
});

test('the agreement links are React elements, legible, that open their templates unfilled', async (t) => {
  for (const [link, action, type] of [['EULA', 'EULA', 'EULA'], ['Privacy Policy', 'PP', 'PPolicy']]) {
    await t.test(link, () => withPage({}, async (p) => {
      assert.deepEqual(await p.page.locator('.agreement').evaluate((e) => [e.textContent,
        Array.prototype.map.call(e.childNodes, (n) => n.nodeName).join(' ')]),
      ['By installing or using this product, you agree to its EULA and Privacy Policy', '#text A #text A']);
      // Text this small needs 4.5:1 against all that lies behind it.
      const selector = `.agreement >> text=${link}`;
      const colour = (await p.page.locator(selector).evaluate((e) => getComputedStyle(e).color))
        .match(/\d+/g).map(Number);
      const contrast = Math.min(...(await p.backdrop(selector)).map((behind) => contrastRatio(colour, behind)));
      assert.ok(contrast >= 4.5, `contrast ${contrast.toFixed(2)}:1`);
      const address = p.page.url();
      await p.page.click(selector);
      assert.equal(p.page.url(), address);
      assert.deepEqual(await callsSince(p, 1), [event(action, 'Welcome'), ['system.openInDefaultBrowser',
        `${ORIGIN}/action/?product={{product}}&LinkType=${type}&Language={{langid}}` +
        '&BuildID={{buildid}}&UID={{uid}}&version={{version}}&dsi={{dsi}}']]);
    }));
  }
});

test('a host call that throws or a missing host object never keeps the window from closing', async (t) => {
  for (const [name, options] of [
    ['no ga', { missing: ['ga'] }], ['no system', { missing: ['system'] }], ['no process', { missing: ['process'] }],
    ['sendEvent throws', { throwing: ['ga.sendEvent'] }], ['execute throws', { throwing: ['process.execute'] }],
    ['hide throws', { throwing: ['basewnd.hide'] }]
  ]) {
    await t.test(name, () => withPage(options, async (p) => {
      await installAndStart(p);
      await p.host('onFinish');
      await openBox(p);
      await p.page.click('.message-buttons >> text=Yes');
      assert.deepEqual((await p.calls()).slice(-2), closed);
    }));
  }
});

test('texts show as typed, markup and all', () => withPage({ markedTexts: true }, async (p) => {
  assert.equal(await p.page.evaluate(() => window.textsMarked), true);
  const marked = () => p.page.evaluate(() => {
    const root = document.getElementById('root');
    return [root.getElementsByTagName('u').length, root.textContent.split('<u>&amp;</u>').length - 1];
  });
  for (const [step, texts] of [
    [async () => {}, 2],
    [openBox, 5],
    [async () => { await p.page.click('.message-decline'); await installAndStart(p); }, 4],
    [openBox, 6],
    [async () => { await p.page.click('.message-confirm'); await p.host('onError'); }, 2],
    [async () => { await p.page.click('.action'); await p.host('onFinish'); }, 4]
  ]) {
    await step(p);
    assert.deepEqual(await marked(), [0, texts]);
  }
}));
