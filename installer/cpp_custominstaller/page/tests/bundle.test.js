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
