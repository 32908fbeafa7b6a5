'use strict';
// The page's webpack build for Internet Explorer 11. Every output file has the
// fixed name that the program's resource table gives it (resources.json).
const fs = require('fs');
const path = require('path');
const webpack = require('webpack');
const MiniCssExtractPlugin = require('mini-css-extract-plugin');
const TerserPlugin = require('terser-webpack-plugin');
const resources = require('./resources.json');

const files = resources.map((r) => r.file);

function tableFile(pattern) {
  const found = files.filter((f) => pattern.test(f));
  if (found.length !== 1) throw new Error(`resources.json must name exactly one file like ${pattern}`);
  return found[0];
}

const mediaFiles = new Map(files.filter((f) => f.startsWith('static/media/'))
  .map((f) => [path.basename(f).split('.')[0], f]));

function mediaFile(pathData) {
  const name = path.basename(pathData.filename, '.svg');
  if (!mediaFiles.has(name)) throw new Error(`no resource for the image ${pathData.filename}`);
  return mediaFiles.get(name);
}

// The package that holds a module's file, or null for the page's own code.
function packageDir(resource) {
  const parts = resource ? resource.split(path.sep) : [];
  const at = parts.lastIndexOf('node_modules');
  if (at < 0) return null;
  const depth = parts[at + 1].startsWith('@') ? 3 : 2;
  return parts.slice(0, at + depth).join(path.sep);
}

function chunkPackages(compilation, chunk) {
  const dirs = new Set();
  for (const module of compilation.chunkGraph.getChunkModulesIterable(chunk)) {
    for (const inner of module.modules || [module]) {
      const dir = packageDir(inner.resource);
      if (dir) dirs.add(dir);
    }
  }
  return [...dirs].map(licensedPackage).sort((a, b) => (a.name < b.name ? -1 : 1));
}

function licensedPackage(dir) {
  const meta = JSON.parse(fs.readFileSync(path.join(dir, 'package.json'), 'utf8'));
  const file = fs.readdirSync(dir).find((f) => /^licen[cs]e(\.md|\.txt)?$/i.test(f));
  if (!file) throw new Error(`${meta.name} carries no licence file to ship with the page`);
  const text = fs.readFileSync(path.join(dir, file), 'utf8').trim();
  const copyright = text.split('\n').map((l) => l.trim()).filter((l) => /^(\(c\)|copyright)/i.test(l));
  return { name: meta.name, version: meta.version, license: meta.license, copyright: copyright, text: text };
}

// The libraries' licences ask for their notices in every copy: each script
// names the packages it carries, and the licence file holds their full texts.
function licenceBanner(packages, licenceFile) {
  const lines = packages.map((p) => ` * ${p.name} ${p.version} (${p.license}) ${p.copyright.join(' ')}`
    .replace(/\*\//g, '* /'));
  return [`/*! This script carries code of these packages; their licences are in ${licenceFile}:`, ...lines, ' */', '']
    .join('\n');
}

// Writes the licence notices, the source maps' stand-ins, index.html and
// asset-manifest.json from what the build emitted.
class PageFilesPlugin {
  apply(compiler) {
    compiler.hooks.thisCompilation.tap('PageFilesPlugin', (compilation) => {
      compilation.hooks.processAssets.tap(
        { name: 'PageFilesPlugin', stage: webpack.Compilation.PROCESS_ASSETS_STAGE_REPORT },
        () => {
          const licenceFile = tableFile(/\.LICENSE\.txt$/);
          const licensed = new Map();
          for (const chunk of compilation.chunks) {
            const packages = chunkPackages(compilation, chunk);
            packages.forEach((p) => licensed.set(p.name, p));
            for (const file of chunk.files) {
              if (!file.endsWith('.js')) continue;
              compilation.updateAsset(file, (source) =>
                new webpack.sources.ConcatSource(licenceBanner(packages, path.basename(licenceFile)), source));
            }
          }
          const texts = [...licensed.values()].sort((a, b) => (a.name < b.name ? -1 : 1))
            .map((p) => `${p.name} ${p.version}\n\n${p.text}\n`);
          compilation.emitAsset(licenceFile, new webpack.sources.RawSource(texts.join('\n' + '-'.repeat(72) + '\n\n')));
          // Maps are useless to the users who download them; the table still names them.
          files.filter((f) => f.endsWith('.map')).forEach((f) => {
            const map = { version: 3, file: path.basename(f, '.map'), sources: [], names: [], mappings: '' };
            compilation.emitAsset(f, new webpack.sources.RawSource(JSON.stringify(map) + '\n'));
          });

          const entry = compilation.entrypoints.get('main').getFiles();
          const scripts = entry.filter((f) => f.endsWith('.js')).map((f) => `<script src="${f}"></script>`);
          const styles = entry.filter((f) => f.endsWith('.css')).map((f) => `<link href="${f}" rel="stylesheet">`);
          const html = '<!DOCTYPE html><html lang="en"><head><meta charset="utf-8">' +
            '<meta http-equiv="X-UA-Compatible" content="IE=edge"><title>Vellix PDF Pro Setup</title>' +
            styles.join('') + '</head><body><div id="root"></div>' + scripts.join('') + '</body></html>\n';
          const manifest = { files: {}, entrypoints: entry };
          Object.keys(compilation.assets).sort().forEach((f) => { manifest.files[f] = './' + f; });
          manifest.files['index.html'] = './index.html';
          compilation.emitAsset('index.html', new webpack.sources.RawSource(html));
          compilation.emitAsset('asset-manifest.json',
            new webpack.sources.RawSource(JSON.stringify(manifest, null, 2) + '\n'));
        });
    });
  }
}

module.exports = function config(options) {
  const modulesDir = options.modulesDir;
  return {
    mode: 'production',
    context: __dirname,
    entry: { main: './src/index.js' },
    target: ['web', 'es5'],
    // Every byte is shipped inside the setup program, which every user downloads.
    devtool: false,
    cache: false,
    output: {
      path: options.outDir,
      publicPath: '',
      filename: tableFile(/^static\/js\/main\.\w+\.js$/),
      clean: true
    },
    resolve: { modules: [modulesDir] },
    resolveLoader: { modules: [modulesDir] },
    module: {
      rules: [
        {
          test: /\.js$/,
          include: path.join(__dirname, 'src'),
          loader: 'babel-loader',
          options: {
            babelrc: false,
            configFile: false,
            cacheDirectory: false,
            presets: [
              [require.resolve('@babel/preset-env'), { targets: 'ie 11' }],
              [require.resolve('@babel/preset-react'), { runtime: 'automatic' }]
            ]
          }
        },
        {
          test: /\.css$/,
          use: [{ loader: MiniCssExtractPlugin.loader, options: { publicPath: '../../' } },
            'css-loader']
        },
        { test: /\.svg$/, type: 'asset/resource', generator: { filename: mediaFile } }
      ]
    },
    optimization: {
      splitChunks: {
        cacheGroups: {
          polyfills: {
            test: /[\\/]node_modules[\\/]core-js[\\/]/,
            chunks: 'initial',
            filename: tableFile(/^static\/js\/\w+\.\w+\.chunk\.js$/),
            enforce: true
          }
        }
      },
      minimizer: [new TerserPlugin({
        // The licence notices are added after minifying, once per script.
        extractComments: false,
        // No inlining: the host calls must stay where host.js puts them.
        terserOptions: { ecma: 5, compress: { inline: false }, format: { comments: false } }
      })]
    },
    performance: { hints: false },
    plugins: [
      new MiniCssExtractPlugin({ filename: tableFile(/^static\/css\/main\.\w+\.css$/) }),
      new webpack.DefinePlugin({ ACTION_LINK_ORIGIN: JSON.stringify(options.linkOrigin) }),
      new PageFilesPlugin()
    ]
  };
};
