// The host's objects on window.external. basewnd's hide and close, and ga's
// sendEvent, refuse a call that asks for a result: each is the only statement
// of a function of its own. start and the catalogue look-ups need a result.
// A host call that throws must not leave the user stuck, so every call is
// guarded and a failed one counts as no result.
var PRODUCT_CODE = 'QXPDF';

function object(name) {
  var external = window.external;
  return external ? external[name] : undefined;
}

function guarded(call) {
  try {
    return call();
  } catch (e) {
    return undefined;
  }
}

export function readDpi() {
  var dpi = Number(guarded(function () { return object('basewnd').getDPI(); }));
  return dpi > 0 ? dpi : 100;
}

export function showWindow(width, height) {
  guarded(function () { object('basewnd').show(width, height); });
}

export function hideAndCloseWindow() {
  guarded(function () { object('basewnd').hide(); });
  guarded(function () { object('basewnd').close(); });
}

export function startInstaller(callbacks) {
  return guarded(function () { return object('installer').start(callbacks); });
}

export function sendEvent(action, screen) {
  guarded(function () { object('ga').sendEvent(action, 'Install', screen, -1); });
}

export function mainExecutablePath() {
  return guarded(function () { return object('system').getMainExecutablePath(PRODUCT_CODE); });
}

export function installationPath() {
  return guarded(function () { return object('system').getInstallationPath(PRODUCT_CODE); });
}

export function execute(path, args) {
  return guarded(function () { return object('process').execute(path, args); });
}

export function openInDefaultBrowser(url) {
  guarded(function () { object('system').openInDefaultBrowser(url); });
}
