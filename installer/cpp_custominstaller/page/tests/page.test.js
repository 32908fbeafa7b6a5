'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { launchBrowser, openPage, MAIN_EXE, INSTALL_DIR } = require('./support');

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

async function installAndStart(p) {
  await p.page.click('text=Install Now');
  await p.host('onStarted');
}

const event = (action, screen) => ['ga.sendEvent', action, 'Install', screen, -1];
const closed = [['basewnd.hide'], ['basewnd.close']];

test('the root font size and the window follow the DPI; no or zero DPI counts as 100', async (t) => {
  for (const [name, options, fontSize, calls] of [
    ['no getDPI', {}, '16px', [['basewnd.show', 640, 480]]],
    ['DPI 0', { dpi: 0 }, '16px', [['basewnd.getDPI'], ['basewnd.show', 640, 480]]],
    ['DPI 150', { dpi: 150 }, '24px', [['basewnd.getDPI'], ['basewnd.show', 960, 720]]]
  ]) {
    await t.test(name, () => withPage(options, async (p) => {
      assert.equal(await p.page.evaluate(() => document.documentElement.style.fontSize), fontSize);
      assert.deepEqual(await p.calls(), calls);
      assert.equal(await p.page.evaluate(() => !document.dispatchEvent(
        new MouseEvent('contextmenu', { bubbles: true, cancelable: true }))), true);
    }));
  }
});

test('Install Now starts with four callbacks, the panels turn every 8 s, and onCancel changes nothing', () =>
  withPage({}, async (p) => {
    await installAndStart(p);
    assert.deepEqual(await callsSince(p, 1),
      [event('InstallNow', 'Welcome'), ['installer.start', ['onStarted', 'onProgress', 'onError', 'onFinish']]]);
    const titles = [];
    for (let i = 0; i < 7; i++) {
      titles.push(await p.text('.panel-title'));
      await p.run(8000);
    }
    assert.deepEqual(titles, ['Go Paperless', 'Protect Documents', 'Digitally Sign Documents', 'Work Offline',
      'Customize Documents', 'Manage Documents', 'Go Paperless']);
    await p.host('onCancel');
    assert.equal(await p.text('.panel-title'), 'Protect Documents');
    assert.equal(await p.text('.progress-left'), 'Installing Vellix PDF Pro...');
  }));

test('the bar shows the latest progress after 300 ms, and a status change cancels a pending refresh', () =>
  withPage({}, async (p) => {
    await installAndStart(p);
    const bar = async () => [await p.text('.progress-right'),
      await p.page.locator('.progress-fill').evaluate((e) => e.style.width)];
    // The browser writes the width back without trailing zeros.
    await p.host('onProgress', 10);
    await p.run(100);
    await p.host('onProgress', 42.567);
    assert.deepEqual(await bar(), ['0% Completed', '0%']);
    await p.run(200);
    assert.deepEqual(await bar(), ['43% Completed', '42.57%']);
    await p.host('onProgress', 70);
    await p.host('onFinish');
    await p.run(300);
    assert.equal(await p.text('.title'), 'Installation Successfully completed!');
    assert.deepEqual(await bar(), ['100% Completed', '100%']);
  }));

test('Try Again after an error starts with the same callbacks, and the bar starts again at 0', () =>
  withPage({}, async (p) => {
    await installAndStart(p);
    await p.host('onProgress', 30);
    await p.run(300);
    await p.host('onProgress', 60);
    await p.host('onError');
    await p.run(300);
    assert.equal(await p.text('.title'), 'Installation was not successful');
    const before = (await p.calls()).length;
    await p.page.click('text=Try Again');
    assert.deepEqual(await callsSince(p, before),
      [event('TryAgain', 'InstallFailure'), ['installer.start', ['onStarted', 'onProgress', 'onError', 'onFinish']]]);
    assert.equal(await p.page.evaluate(() => window.hostCallbackObjects[0] === window.hostCallbackObjects[1]), true);
    await p.host('onStarted');
    await p.run(300);
    assert.equal(await p.text('.progress-right'), '0% Completed');
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
      await p.page.evaluate(() => window.closeDialogRequested());
      assert.equal(await p.text('.message-text'), c.message);
      assert.deepEqual(await p.page.locator('.message-buttons button').allInnerTexts(), c.buttons);
      await p.page.click(`.message-buttons >> text=${c.answer}`);
      assert.deepEqual(await callsSince(p, before), c.calls);
      assert.equal(await p.page.locator('.message-box').count(), 0);
    }));
  }
});

test('a status change closes an open message box as declined', () => withPage({}, async (p) => {
  await installAndStart(p);
  await p.page.click('.close');
  await p.host('onFinish');
  assert.equal(await p.page.locator('.message-box').count(), 0);
  assert.equal(await p.text('.title'), 'Installation Successfully completed!');
  assert.deepEqual((await p.calls()).filter((c) => c[0].startsWith('basewnd.') && c[0] !== 'basewnd.show'), []);
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

test('the agreement links are React elements that open their templates unfilled', async (t) => {
  for (const [link, action, type] of [['EULA', 'EULA', 'EULA'], ['Privacy Policy', 'PP', 'PPolicy']]) {
    await t.test(link, () => withPage({}, async (p) => {
      assert.deepEqual(await p.page.locator('.agreement').evaluate((e) => [e.textContent,
        Array.prototype.map.call(e.childNodes, (n) => n.nodeName).join(' ')]),
      ['By installing or using this product, you agree to its EULA and Privacy Policy', '#text A #text A']);
      await p.page.click(`.agreement >> text=${link}`);
      assert.deepEqual(await callsSince(p, 1), [event(action, 'Welcome'), ['system.openInDefaultBrowser',
        `${ORIGIN}/action/?product={{product}}&LinkType=${type}&Language={{langid}}` +
        '&BuildID={{buildid}}&UID={{uid}}&version={{version}}&dsi={{dsi}}']]);
    }));
  }
});
