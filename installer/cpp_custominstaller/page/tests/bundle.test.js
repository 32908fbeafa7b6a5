'use strict';
// The host refuses some calls when a result is asked for and others when it
// is not; a statement call passes no result. Checks the minified script.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const path = require('path');
const acorn = require('acorn');

// Method names that only the page's host calls use in the bundle.
const STATEMENT_ONLY = ['hide', 'close', 'sendEvent'];
const RESULT_NEEDED = ['getDPI', 'start', 'getMainExecutablePath', 'getInstallationPath'];

function hostCalls(node, parents, found) {
  if (!node || typeof node.type !== 'string') return found;
  const callee = node.type === 'CallExpression' ? node.callee : null;
  if (callee && callee.type === 'MemberExpression' && !callee.computed) {
    found.push({ name: callee.property.name, parents: parents.slice() });
  }
  parents.push(node);
  for (const value of Object.values(node)) {
    for (const child of Array.isArray(value) ? value : [value]) hostCalls(child, parents, found);
  }
  parents.pop();
  return found;
}

test('host calls that refuse a result are lone statements, and calls that need one give their value', () => {
  const script = fs.readFileSync(path.join(process.env.KV_PAGE_DIR, 'static/js/main.8a53156e.js'), 'utf8');
  const calls = hostCalls(acorn.parse(script, { ecmaVersion: 5 }), [], []);
  for (const name of [...STATEMENT_ONLY, ...RESULT_NEEDED]) {
    const sites = calls.filter((c) => c.name === name);
    assert.ok(sites.length > 0, `${name} is called`);
    for (const { parents } of sites) {
      const [fn, body, statement] = parents.slice(-3);
      const asStatement = statement.type === 'ExpressionStatement';
      const alone = asStatement && body.body.length === 1 && /Function/.test(fn.type);
      assert.equal(STATEMENT_ONLY.includes(name) ? alone : !asStatement, true, `${name} at ${statement.start}`);
    }
  }
});

test('each script opens with the notices of the libraries it carries, and the licence file has their texts', () => {
  const read = (file) => fs.readFileSync(path.join(process.env.KV_PAGE_DIR, 'static/js', file), 'utf8');
  const licences = read('main.8a53156e.js.LICENSE.txt');
  const main = ['react', 'react-dom', 'scheduler', 'object-assign', 'i18next', 'react-i18next',
    'html-parse-stringify', 'void-elements', '@babel/runtime'];
  for (const [script, packages] of [['main.8a53156e.js', main], ['787.783e5fb6.chunk.js', ['core-js']]]) {
    const notice = read(script).match(/^\/\*![^]*?\*\//);
    assert.ok(notice, `${script} opens with a kept comment`);
    for (const name of packages) {
      const dir = path.join(process.env.NODE_PATH, name);
      const { version } = JSON.parse(fs.readFileSync(path.join(dir, 'package.json'), 'utf8'));
      const text = fs.readFileSync(path.join(dir, fs.readdirSync(dir).find((f) => /^licen[cs]e/i.test(f))), 'utf8');
      const copyright = text.split('\n').find((l) => /^copyright/i.test(l.trim())).trim();
      assert.ok(notice[0].includes(`${name} ${version} (MIT) ${copyright}`), `${script} names ${name}`);
      assert.ok(licences.includes(text.trim()), `the licence file has the text of ${name}`);
    }
  }
});
