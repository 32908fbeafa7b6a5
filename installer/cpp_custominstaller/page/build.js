'use strict';
// Builds the installer page into OUT_DIR, checks that it wrote exactly the
// files of resources.json and that every script is ES5, and prints the sizes.
//   NODE_PATH=<node_modules> node build.js OUT_DIR ACTION_LINK_ORIGIN
const fs = require('fs');
const path = require('path');
const { execFileSync } = require('child_process');
const webpack = require('webpack');
const config = require('./webpack.config');
const resources = require('./resources.json');

const modulesDir = path.resolve(require.resolve('webpack/package.json'), '../..');

const [outDir, linkOrigin] = process.argv.slice(2).map((a, i) => (i === 0 ? path.resolve(a) : a));
if (!outDir || !linkOrigin) {
  console.error('usage: node build.js OUT_DIR ACTION_LINK_ORIGIN');
  process.exit(2);
}

function listFiles(dir, prefix = '') {
  return fs.readdirSync(dir, { withFileTypes: true }).flatMap((e) => (e.isDirectory()
    ? listFiles(path.join(dir, e.name), prefix + e.name + '/') : [prefix + e.name]));
}

function fail(message) {
  console.error(message);
  process.exit(1);
}

webpack(config({ outDir, linkOrigin, modulesDir }), (err, stats) => {
  if (err) fail(err.stack || String(err));
  if (stats.hasErrors()) fail(stats.toString('errors-only'));

  const expected = resources.map((r) => r.file).sort();
  const written = listFiles(outDir).sort();
  const missing = expected.filter((f) => !written.includes(f));
  const extra = written.filter((f) => !expected.includes(f));
  if (missing.length || extra.length) {
    fail(`the page build does not match resources.json\n  missing: ${missing.join(' ')}\n  extra: ${extra.join(' ')}`);
  }

  const scripts = written.filter((f) => f.endsWith('.js')).map((f) => path.join(outDir, f));
  const esCheckDir = path.join(modulesDir, 'es-check');
  const esCheck = path.join(esCheckDir, JSON.parse(fs.readFileSync(path.join(esCheckDir, 'package.json'))).bin['es-check']);
  try {
    execFileSync(process.execPath, [esCheck, 'es5', ...scripts], { stdio: 'inherit' });
  } catch (e) {
    fail('a page script is not ES5');
  }

  let total = 0;
  for (const f of written) {
    const size = fs.statSync(path.join(outDir, f)).size;
    total += size;
    console.log(`${String(size).padStart(9)}  ${f}`);
  }
  console.log(`${String(total).padStart(9)}  installer page in total`);
});
