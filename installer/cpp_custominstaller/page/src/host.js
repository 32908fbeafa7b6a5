// The host's objects on window.external. basewnd's hide and close, and ga's
// sendEvent, refuse a call that asks for a result: each is the only statement
// of a function of its own. start and the catalogue look-ups need a result.
var PRODUCT_CODE = 'QXPDF';

function object(name) {
  var external = window.external;
  return external ? external[name] : undefined;
}

export function readDpi() {
  var basewnd = object('basewnd');
  var dpi = 0;
  if (basewnd) {
    try {
      dpi = Number(basewnd.getDPI());
    } catch (e) {
      dpi = 0; // a host without getDPI raises here; that counts as no DPI
    }
  }
  return dpi > 0 ? dpi : 100;
}

export function showWindow(width, height) {
  object('basewnd').show(width, height);
}

function hideWindow() {
  object('basewnd').hide();
}

function closeWindow() {
  object('basewnd').close();
}

export function hideAndCloseWindow() {
  hideWindow();
  closeWindow();
}

export function startInstaller(callbacks) {
  return object('installer').start(callbacks);
}

export function sendEvent(action, screen) {
  object('ga').sendEvent(action, 'Install', screen, -1);
}

export function mainExecutablePath() {
  return object('system').getMainExecutablePath(PRODUCT_CODE);
}

export function installationPath() {
  return object('system').getInstallationPath(PRODUCT_CODE);
}

export function execute(path, args) {
  return object('process').execute(path, args);
}

export function openInDefaultBrowser(url) {
  object('system').openInDefaultBrowser(url);
}
