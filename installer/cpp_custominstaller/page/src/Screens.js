import { Trans } from 'react-i18next';
import closeIcon from './images/close.svg';
import errorImage from './images/error.svg';
import infoIcon from './images/info.svg';
import productLogo from './images/product-logo.svg';
import screen1 from './images/screen-1.svg';
import screen2 from './images/screen-2.svg';
import screen3 from './images/screen-3.svg';
import screen4 from './images/screen-4.svg';
import screen5 from './images/screen-5.svg';
import screen6 from './images/screen-6.svg';
import successImage from './images/success.svg';
import warningIcon from './images/warning.svg';

var PANEL_IMAGES = [screen1, screen2, screen3, screen4, screen5, screen6];

function clicked(handler) {
  return function (event) {
    event.preventDefault();
    handler();
  };
}

export function WelcomeScreen(props) {
  var t = props.t;
  return (
    <div className="screen welcome">
      <h1 className="title">{t('welcomeTitle')}</h1>
      <p className="agreement">
        <Trans t={t} i18nKey="welcomeAgreementPrivacyPolicy" components={[
          <a key="eula" href="#" className="eula-link" onClick={clicked(props.onEula)} />,
          <a key="privacy" href="#" className="privacy-link" onClick={clicked(props.onPrivacyPolicy)} />
        ]} />
      </p>
      <button className="action" onClick={props.onInstall}>{t('installActionBtn')}</button>
    </div>
  );
}

export function ProgressBar(props) {
  var t = props.t;
  return (
    <div className="progress">
      <div className="progress-labels">
        <span className="progress-left">{t('progressBarLeftLabel')}</span>
        <span className="progress-right">{t('progressBarRightLabel', { progress: Math.round(props.value) })}</span>
      </div>
      <div className="progress-track">
        <div className="progress-fill" style={{ width: props.value.toFixed(2) + '%' }} />
      </div>
    </div>
  );
}

export function ProgressScreen(props) {
  var t = props.t;
  var n = props.panel;
  return (
    <div className="screen installing">
      <div className={'panel panel-' + n}>
        <img className="panel-image" src={PANEL_IMAGES[n - 1]} alt="" />
        <h2 className="panel-title">{t('progressScreenTitle' + n)}</h2>
        <p className="panel-text">{t('progressScreenContent' + n)}</p>
      </div>
      <ProgressBar t={t} value={props.progress} />
    </div>
  );
}

function ResultScreen(props) {
  return (
    <div className={'screen ' + props.kind}>
      <img className="result-image" src={props.image} alt="" />
      <h1 className="title">{props.title}</h1>
      <button className="action" onClick={props.onAction}>{props.action}</button>
      {props.children}
    </div>
  );
}

export function SuccessScreen(props) {
  var t = props.t;
  return (
    <ResultScreen kind="success" image={successImage} title={t('resultScreenSuccessTitle')}
      action={t('resultScreenSuccessActionBtn')} onAction={props.onStart}>
      <ProgressBar t={t} value={100} />
    </ResultScreen>
  );
}

export function FailureScreen(props) {
  var t = props.t;
  return (
    <ResultScreen kind="failure" image={errorImage} title={t('resultScreenFailTitle')}
      action={t('resultScreenFailActionBtn')} onAction={props.onTryAgain} />
  );
}

export function Frame(props) {
  return (
    <div className="wrapper" ref={props.wrapperRef}>
      <button className="close" onClick={props.onClose}><img src={closeIcon} alt="" /></button>
      {props.children}
      <footer className="footer"><img className="logo" src={productLogo} alt="" /></footer>
      {props.box}
    </div>
  );
}

export function MessageBox(props) {
  var box = props.box;
  return (
    <div className="overlay">
      <div className={'message-box ' + box.icon} ref={props.boxRef}>
        <img className="message-icon" src={box.icon === 'warning' ? warningIcon : infoIcon} alt="" />
        <p className="message-text">{box.message}</p>
        <div className="message-buttons">
          <button className="message-confirm" autoFocus onClick={props.onConfirm}>{box.confirm}</button>
          {box.decline ? <button className="message-decline" onClick={props.onDecline}>{box.decline}</button> : null}
        </div>
      </div>
    </div>
  );
}
