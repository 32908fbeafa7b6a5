'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { launchBrowser, openPage, contrastRatio, MAIN_EXE, INSTALL_DIR } = require('./support');
const texts = require('../src/locales/en.json');

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

// The host calls onStarted and onProgress(0) from within start.
const installAndStart = (p) => p.page.click('text=Install Now');
const openBox = (p) => p.page.evaluate(() => window.closeDialogRequested());

// The images by the files the program writes out for them.
const media = (name) => `static/media/${name}.svg`;
const SUCCESS_IMAGE = media('success.078a4d36b2e13efb91dbf907c6fadcc7');
const FAILURE_IMAGE = media('error.c9bbb83eda3a6e2cd9b200e62ab6d209');
const PANELS = [
  ['Go Paperless', 'screen-1.7f49a557c4f1a5fc1936903f9e107c3f'],
  ['Protect Documents', 'screen-2.84c9c98c798cee57ccdd3ce906c3812d'],
  ['Digitally Sign Documents', 'screen-3.1297bdd4206f3c56e9acde7fa9623296'],
  ['Work Offline', 'screen-4.5214002d4a5a91bc644fa5c4a394ec44'],
  ['Customize Documents', 'screen-5.b929c432cce60fdf663faf46ec26c2f1'],
  ['Manage Documents', 'screen-6.7ffd1d1151d49eb960db82bf07b750f2']
].map(([title, image], i) => [title, texts[`progressScreenContent${i + 1}`], media(image)]);

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
  const shown = async () => [await p.text('.panel-title'), await p.text('.panel-text'), await p.image('.panel-image')];
  const panel = await shown();
  await p.run(7999);
  assert.deepEqual(await shown(), panel);
  await p.run(1);
  return panel;
}

test('Install Now starts with four callbacks (no onCancel), and the panels turn every 8 s', () =>
  withPage({}, async (p) => {
    await installAndStart(p);
    assert.deepEqual(await callsSince(p, 1),
      [event('InstallNow', 'Welcome'), ['installer.start', ['onStarted', 'onProgress', 'onError', 'onFinish']]]);
    const panels = [];
    for (let i = 0; i < 7; i++) panels.push(await panelTurn(p));
    assert.deepEqual(panels, [...PANELS, PANELS[0]]);
    assert.equal(await p.text('.progress-left'), 'Installing Vellix PDF Pro...');
  }));

test('the bar shows the latest progress after 300 ms, rounded, within 0..100; a status change cancels a refresh, ' +
  'and a report after the end changes nothing shown', () =>
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
    for (const [value, label, width] of [[61.234, 61, '61.23%'], [1000, 100, '100%'], [-5, 0, '0%'],
      [Infinity, 100, '100%'], [NaN, 0, '0%']]) {
      await p.host('onProgress', value);
      await p.run(300);
      assert.deepEqual(await bar(), [`${label}% Completed`, width], `progress ${value}`);
    }
    await p.host('onProgress', 70);
    await p.host('onFinish');
    for (const late of [false, true]) {
      if (late) await p.host('onProgress', 55);
      await p.run(300);
      assert.deepEqual(await p.page.locator('.title').allInnerTexts(), ['Installation Successfully completed!']);
      assert.equal(await p.image('.result-image'), SUCCESS_IMAGE);
      assert.deepEqual(await bar(), ['100% Completed', '100%']);
    }
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
    assert.equal(await p.image('.result-image'), FAILURE_IMAGE);
    const before = (await p.calls()).length;
    await p.page.click('text=Try Again');
    assert.deepEqual(await callsSince(p, before),
      [event('TryAgain', 'InstallFailure'), ['installer.start', ['onStarted', 'onProgress', 'onError', 'onFinish']]]);
    assert.equal(await p.page.evaluate(() => window.hostCallbackObjects[0] === window.hostCallbackObjects[1]), true);
    assert.equal(await p.text('.progress-right'), '0% Completed');
    assert.deepEqual(await panelTurn(p), PANELS[1]);
    assert.equal(await p.text('.panel-title'), PANELS[2][0]);
  }));

test('closing asks first, and closes only when allowed', async (t) => {
  const toPanel3 = async (p) => { await installAndStart(p); await p.run(16000); };
  const toSuccess = async (p) => { await installAndStart(p); await p.host('onFinish'); };
  const toFailure = async (p) => { await installAndStart(p); await p.host('onError'); };
  // The box as it opens, and the button that has the focus after each key.
  const keys = ['Escape', 'a', 'Tab', 'Tab', 'Tab', 'Shift+Tab', 'Shift+Tab'];
  const wait = { icon: media('warning.7ffdd70cf8b8059d2c5e79172bbcf3b9'),
    message: 'Please wait for the installation to be completed', buttons: ['OK'], focus: keys.map(() => 'OK') };
  const ask = { icon: media('info.7d8c80d06facdffa020c52b173712ec5'),
    message: 'Are you sure you want to quit Vellix PDF Pro?', buttons: ['Yes', 'No'],
    focus: ['Yes', 'Yes', 'No', 'Yes', 'No', 'Yes', 'No'] };
  // An answer is a key for the focused button or a click on a named one.
  for (const c of [
    { name: 'during the installation', setup: toPanel3, screen: 'ProgressScreen3', box: wait, answer: 'Enter',
      calls: [] },
    { name: 'declined on the welcome screen', screen: 'Welcome', box: ask, answer: 'Space', calls: [] },
    { name: 'confirmed on the welcome screen', screen: 'Welcome', box: ask, answer: 'text=Yes',
      calls: [event('InstallerCancelW', 'Welcome'), ...closed] },
    { name: 'confirmed after a failure', setup: toFailure, screen: 'InstallFailure', box: ask, answer: 'text=Yes',
      calls: [event('InstallerCancelW', 'InstallFailure'), ...closed] },
    { name: 'confirmed after success', setup: toSuccess, screen: 'InstallSuccess', box: ask, answer: 'text=Yes',
      calls: [['system.getMainExecutablePath', 'QXPDF'], ['process.execute', MAIN_EXE, '--open-post-install-url'],
        ...closed] }
  ]) {
    await t.test(c.name, () => withPage({}, async (p) => {
      if (c.setup) await c.setup(p);
      assert.deepEqual([await p.image('.close img'), await p.image('.logo')],
        [media('close.59447f87397972547d7ee862119c1888'), media('product-logo.6bc6e7db422df5f94f1dce2a7d655af9')]);
      const before = (await p.calls()).length;
      const focused = () => p.page.evaluate(() => (document.activeElement.closest('.message-buttons')
        ? document.activeElement.textContent : document.activeElement.tagName));
      // The page's own button; then a second request while the box is open, as from Alt+F4, neither
      // stacks a box nor sends an event.
      await p.page.click('.close');
      await openBox(p);
      assert.deepEqual({ icon: await p.image('.message-icon'), message: await p.text('.message-text'),
        buttons: await p.page.locator('.message-buttons button').allInnerTexts(), focus: await focused() },
      { ...c.box, focus: c.box.buttons[0] });
      // Neither the footer logo nor, from the keyboard, the controls behind show through the overlay.
      assert.equal(await p.page.locator('.logo').evaluate((logo) => {
        const r = logo.getBoundingClientRect();
        return document.elementFromPoint(r.left + r.width / 2, r.top + r.height / 2).closest('.overlay') !== null;
      }), true);
      const focus = [];
      for (const key of keys) {
        await p.page.keyboard.press(key);
        focus.push(await focused());
      }
      assert.deepEqual(focus, c.box.focus);
      // Nothing goes to the host before the answer.
      assert.deepEqual(await callsSince(p, before), [event('Close', c.screen)]);
      assert.equal(await p.page.locator('.message-box').count(), 1);
      if (c.answer.startsWith('text=')) await p.page.click(`.message-buttons >> ${c.answer}`);
      else await p.page.keyboard.press(c.answer);
      assert.deepEqual(await callsSince(p, before), [event('Close', c.screen), ...c.calls]);
      assert.equal(await p.page.locator('.message-box').count(), 0);
    }));
  }
});

test('a status change closes an open box as cancelled; onProgress, even after the outcome, changes only the progress',
  () => withPage({}, async (p) => {
    const box = () => p.page.locator('.message-text').allInnerTexts();
    await installAndStart(p);
    const before = (await p.calls()).length;
    await openBox(p);
    await p.host('onProgress', 20);
    await p.run(300);
    assert.deepEqual(await box(), ['Please wait for the installation to be completed']);
    assert.equal(await p.text('.progress-right'), '20% Completed');
    await p.host('onError');
    assert.deepEqual(await box(), []);
    await p.page.click('.close');
    await p.host('onProgress', 80);
    await p.run(300);
    assert.deepEqual(await box(), ['Are you sure you want to quit Vellix PDF Pro?']);
    assert.deepEqual(await p.page.locator('.title').allInnerTexts(), ['Installation was not successful']);
    assert.equal(await p.page.locator('.progress').count(), 0);
    await p.host('onStarted');
    assert.deepEqual(await box(), []);
    assert.equal(await p.text('.progress-left'), 'Installing Vellix PDF Pro...');
    assert.deepEqual(await callsSince(p, before),
      [event('Close', 'ProgressScreen1'), event('Close', 'InstallFailure')]);
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
      assert.equal(await p.text('.welcome .title'), 'Welcome to Vellix PDF Pro Installer');
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
