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
  await page.clock.install({ time: 0 });
  await page.clock.pauseAt(1000);
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
    run: (ms) => page.clock.runFor(ms),
    close: () => context.close()
  };
}

module.exports = { launchBrowser, openPage, MAIN_EXE, INSTALL_DIR };
