'use strict';
// Opens the built installer page in headless Chromium with a stand-in host on
// window.external. The stand-in records every call with its arguments and
// answers as the host would; the page's timers run on the browser's fake
// clock, which stands still between the steps of a test.
const path = require('path');
const { pathToFileURL } = require('url');
const { chromium } = require('playwright-core');

const INSTALL_DIR = 'C:\\Program Files\\Vellix PDF Pro\\';
const MAIN_EXE = INSTALL_DIR + 'VellixPDF.exe';

function launchBrowser() {
  const asRoot = process.getuid && process.getuid() === 0;
  // Playwright starts the browser on a fresh temporary profile of its own.
  return chromium.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: [...(asRoot ? ['--no-sandbox'] : []), '--disable-gpu', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--no-first-run']
  });
}

// Runs in the page before its scripts. `missing` names objects the host lacks,
// `throwing` methods that raise; `noPluralRules` takes Intl.PluralRules away, as
// IE 11 lacks it; `markedTexts` gives every plain text markup to show as typed.
function installStandInHost(options) {
  var calls = [];
  var executeResults = options.executeResults.slice();
  window.hostCallbackObjects = [];
  function method(object, name, answer) {
    return function () {
      var args = Array.prototype.slice.call(arguments);
      calls.push([object + '.' + name].concat(args.map(function (a) {
        return typeof a === 'object' ? Object.keys(a) : a;
      })));
      if (options.throwing.indexOf(object + '.' + name) >= 0) throw new Error('host failure');
      return answer ? answer.apply(null, args) : undefined;
    };
  }
  var basewnd = { show: method('basewnd', 'show'), hide: method('basewnd', 'hide'), close: method('basewnd', 'close') };
  if ('dpi' in options) basewnd.getDPI = method('basewnd', 'getDPI', function () { return options.dpi; });
  window.external = {
    basewnd: basewnd,
    installer: {
      start: method('installer', 'start', function (callbacks) {
        window.hostCallbackObjects.push(callbacks);
        callbacks.onStarted();
        callbacks.onProgress(0);
        return true;
      })
    },
    ga: { sendEvent: method('ga', 'sendEvent') },
    system: {
      getMainExecutablePath: method('system', 'getMainExecutablePath', function () { return options.mainExe; }),
      getInstallationPath: method('system', 'getInstallationPath', function () { return options.installDir; }),
      openInDefaultBrowser: method('system', 'openInDefaultBrowser')
    },
    process: { execute: method('process', 'execute', function () { return executeResults.length ? executeResults.shift() : true; }) }
  };
  options.missing.forEach(function (name) { delete window.external[name]; });
  window.hostCalls = calls;
  if (options.noPluralRules) delete Intl.PluralRules;
  if (options.markedTexts) {
    // The bundle reads its texts with JSON.parse; textsMarked tells that it still does.
    var parse = JSON.parse;
    JSON.parse = function () {
      var value = parse.apply(JSON, arguments);
      if (value && value.welcomeTitle) {
        Object.keys(value).forEach(function (key) {
          if (key !== 'welcomeAgreementPrivacyPolicy') value[key] += ' <u>&amp;</u>';
        });
        window.textsMarked = true;
      }
      return value;
    };
  }
}

async function openPage(browser, options) {
  const context = await browser.newContext();
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  page.on('console', (m) => { if (m.type() === 'error' || m.type() === 'warning') errors.push(m.text()); });
  // The clock runs in real time from its install until the pause, so the pause must lie beyond
  // any delay between the two calls on a loaded machine; a day on, since when it stops does not matter.
  await page.clock.install({ time: 0 });
  await page.clock.pauseAt(24 * 60 * 60 * 1000);
  await page.addInitScript(installStandInHost,
    { executeResults: [], missing: [], throwing: [], mainExe: MAIN_EXE, installDir: INSTALL_DIR, ...options });
  await page.goto(pathToFileURL(path.join(process.env.KV_PAGE_DIR, 'index.html')).href);
  return {
    page,
    errors,
    calls: () => page.evaluate(() => window.hostCalls),
    // Calls a member of the latest callback object, as the host does: one that is missing is not called.
    host: (name, ...args) => page.evaluate(([member, values]) => {
      const callbacks = window.hostCallbackObjects[window.hostCallbackObjects.length - 1];
      if (typeof callbacks[member] === 'function') callbacks[member].apply(null, values);
    }, [name, args]),
    text: (selector) => page.locator(selector).innerText(),
    // The file an image shows, from the page's folder, once it has loaded.
    image: (selector) => page.locator(selector).evaluate((img) => new Promise((resolve) => {
      const done = () => resolve(img.naturalWidth > 0
        ? img.src.slice(img.baseURI.replace(/[^/]*$/, '').length) : `not loaded: ${img.src}`);
      if (img.complete) done();
      else ['load', 'error'].forEach((name) => img.addEventListener(name, done));
    })),
    // The colours behind an element, its own text hidden, as [r, g, b].
    backdrop: async (selector) => {
      const element = page.locator(selector);
      await element.evaluate((e) => { e.style.visibility = 'hidden'; });
      const png = await page.screenshot({ clip: await element.boundingBox() });
      await element.evaluate((e) => { e.style.visibility = ''; });
      return page.evaluate(async (data) => {
        const img = new Image();
        img.src = 'data:image/png;base64,' + data;
        await img.decode();
        const canvas = document.createElement('canvas');
        canvas.width = img.width;
        canvas.height = img.height;
        const context = canvas.getContext('2d');
        context.drawImage(img, 0, 0);
        const pixels = context.getImageData(0, 0, img.width, img.height).data;
        const colours = new Set();
        for (let i = 0; i < pixels.length; i += 4) colours.add([pixels[i], pixels[i + 1], pixels[i + 2]].join());
        return [...colours].map((c) => c.split(',').map(Number));
      }, png.toString('base64'));
    },
    run: (ms) => page.clock.runFor(ms),
    close: () => context.close()
  };
}

// The contrast ratio of two sRGB colours given as [r, g, b], from 1 to 21.
function contrastRatio(a, b) {
  const luminance = (rgb) => rgb.map((v) => v / 255)
    .map((v) => (v <= 0.03928 ? v / 12.92 : Math.pow((v + 0.055) / 1.055, 2.4)))
    .reduce((sum, v, i) => sum + v * [0.2126, 0.7152, 0.0722][i], 0);
  const [light, dark] = [luminance(a), luminance(b)].sort((x, y) => y - x);
  return (light + 0.05) / (dark + 0.05);
}

module.exports = { launchBrowser, openPage, contrastRatio, MAIN_EXE, INSTALL_DIR };
