import { Component, createRef } from 'react';
import { withTranslation } from 'react-i18next';
import * as host from './host';
import ProgressThrottle from './ProgressThrottle';
import { FailureScreen, Frame, MessageBox, ProgressScreen, SuccessScreen, WelcomeScreen } from './Screens';

var SCREEN_NAMES = { initial: 'Welcome', progress: 'ProgressScreen', error: 'InstallFailure', finish: 'InstallSuccess' };
var PANEL_COUNT = 6;
var PANEL_INTERVAL_MS = 8000;
var PROGRESS_INTERVAL_MS = 300;
var GUIDE_FILE = 'Vellix PDF Pro User Guide.pdf';

// The host passes what it measured: below 0, above 100 or not a number at all.
function shownProgress(value) {
  var n = Number(value);
  return n > 100 ? 100 : n > 0 ? n : 0;
}

// The host's opener fills the placeholders; they stay as they are here.
function linkTemplate(linkType) {
  return ACTION_LINK_ORIGIN + '/action/?product={{product}}&LinkType=' + linkType +
    '&Language={{langid}}&BuildID={{buildid}}&UID={{uid}}&version={{version}}&dsi={{dsi}}';
}

class App extends Component {
  constructor(props) {
    super(props);
    var self = this;
    self.state = { status: 'initial', panel: 1, progress: 0, box: null };
    self.wrapper = createRef();
    self.boxNode = createRef();
    self.panelTimer = null;
    self.throttle = new ProgressThrottle(function (value) { self.setState({ progress: value }); }, PROGRESS_INTERVAL_MS);
    // The host looks the members up by name; there is deliberately no onCancel.
    self.callbacks = {
      onStarted: function () { self.changeStatus('progress'); },
      onProgress: function (value) { self.throttle.push(shownProgress(value)); },
      onError: function () {
        self.changeStatus('error');
        self.setState({ progress: 0 });
      },
      onFinish: function () { self.changeStatus('finish'); }
    };
    self.requestClose = self.requestClose.bind(self);
    self.install = self.install.bind(self);
    self.tryAgain = self.tryAgain.bind(self);
    self.startProduct = self.startProduct.bind(self);
    self.openEula = self.openLink.bind(self, 'EULA', 'EULA');
    self.openPrivacyPolicy = self.openLink.bind(self, 'PP', 'PPolicy');
    self.confirmBox = self.closeBox.bind(self, true);
    self.declineBox = self.closeBox.bind(self, false);
    self.keepFocusInBox = self.keepFocusInBox.bind(self);
  }

  componentDidMount() {
    window.closeDialogRequested = this.requestClose;
    document.addEventListener('keydown', this.keepFocusInBox);
    var wrapper = this.wrapper.current;
    host.showWindow(wrapper.offsetWidth, wrapper.offsetHeight);
  }

  componentDidUpdate() {
    var self = this;
    var installing = self.state.status === 'progress';
    if (installing && self.panelTimer === null) {
      self.panelTimer = setInterval(function () {
        self.setState(function (state) { return { panel: state.panel % PANEL_COUNT + 1 }; });
      }, PANEL_INTERVAL_MS);
    } else if (!installing && self.panelTimer !== null) {
      clearInterval(self.panelTimer);
      self.panelTimer = null;
    }
  }

  // The overlay stops the mouse only: Tab must not reach the controls behind
  // it, nor leave the page, while a box is open.
  keepFocusInBox(event) {
    var box = this.boxNode.current;
    if (!box || event.keyCode !== 9) return;
    event.preventDefault();
    var buttons = box.getElementsByTagName('button');
    var at = Array.prototype.indexOf.call(buttons, document.activeElement);
    var step = event.shiftKey ? buttons.length - 1 : 1;
    buttons[at < 0 ? 0 : (at + step) % buttons.length].focus();
  }

  changeStatus(status) {
    this.throttle.cancel();
    this.closeBox(false, true);
    this.setState({ status: status });
  }

  screenName() {
    var state = this.state;
    return SCREEN_NAMES[state.status] + (state.status === 'progress' ? state.panel : '');
  }

  showBox(box, onResult) {
    this.onBoxResult = onResult;
    this.setState({ box: box });
  }

  closeBox(confirmed, cancelled) {
    if (!this.state.box) return;
    var onResult = this.onBoxResult;
    this.onBoxResult = null;
    this.setState({ box: null });
    onResult({ confirmed: confirmed, cancelled: !!cancelled });
  }

  install() {
    host.sendEvent('InstallNow', this.screenName());
    host.startInstaller(this.callbacks);
  }

  tryAgain() {
    host.sendEvent('TryAgain', this.screenName());
    host.startInstaller(this.callbacks);
  }

  openLink(action, linkType) {
    host.sendEvent(action, this.screenName());
    host.openInDefaultBrowser(linkTemplate(linkType));
  }

  startProduct() {
    host.sendEvent('RunApp', this.screenName());
    var path = host.mainExecutablePath();
    var folder = host.installationPath();
    var started = host.execute(path, '--first-start-after-install --open --in="' + folder + GUIDE_FILE + '"');
    host.execute(path, '--open-post-install-url');
    if (started) host.hideAndCloseWindow();
  }

  requestClose() {
    var t = this.props.t;
    var status = this.state.status;
    var screen = this.screenName();
    if (this.state.box) return;
    host.sendEvent('Close', screen);
    if (status === 'progress') {
      this.showBox({ icon: 'warning', message: t('quitAppErrorMessage'), confirm: t('ok'), decline: '' }, function () {});
      return;
    }
    this.showBox({ icon: 'info', message: t('quitAppConfirmMessage'), confirm: t('yes'), decline: t('no') }, function (result) {
      if (!result.confirmed) return;
      if (status === 'finish') host.execute(host.mainExecutablePath(), '--open-post-install-url');
      else host.sendEvent('InstallerCancelW', screen);
      host.hideAndCloseWindow();
    });
  }

  renderScreen() {
    var t = this.props.t;
    var state = this.state;
    switch (state.status) {
      case 'progress': return <ProgressScreen t={t} panel={state.panel} progress={state.progress} />;
      case 'finish': return <SuccessScreen t={t} onStart={this.startProduct} />;
      case 'error': return <FailureScreen t={t} onTryAgain={this.tryAgain} />;
      default: return <WelcomeScreen t={t} onInstall={this.install} onEula={this.openEula} onPrivacyPolicy={this.openPrivacyPolicy} />;
    }
  }

  render() {
    var box = this.state.box;
    return (
      <Frame wrapperRef={this.wrapper} onClose={this.requestClose}
        box={box ? <MessageBox box={box} boxRef={this.boxNode} onConfirm={this.confirmBox} onDecline={this.declineBox} /> : null}>
        {this.renderScreen()}
      </Frame>
    );
  }
}

export default withTranslation()(App);
