'use strict';
// The page's webpack build for Internet Explorer 11. Every output file has the
// fixed name that the program's resource table gives it (resources.json).
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

// Writes index.html and asset-manifest.json from what the build emitted.
class PageFilesPlugin {
  apply(compiler) {
    compiler.hooks.thisCompilation.tap('PageFilesPlugin', (compilation) => {
      compilation.hooks.processAssets.tap(
        { name: 'PageFilesPlugin', stage: webpack.Compilation.PROCESS_ASSETS_STAGE_REPORT },
        () => {
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
    // The maps name the sources without carrying them: they are shipped inside
    // the setup program, where every byte is downloaded by every user.
    devtool: 'nosources-source-map',
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
            { loader: 'css-loader', options: { sourceMap: true } }]
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
        extractComments: true,
        // No inlining: the host calls must stay where host.js puts them.
        terserOptions: { ecma: 5, compress: { inline: false } }
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
