import './polyfills';
import { render } from 'react-dom';
import './i18n';
import './styles.css';
import App from './App';
import { readDpi } from './host';

document.documentElement.style.fontSize = 16 * readDpi() / 100 + 'px';
document.addEventListener('contextmenu', function (event) { event.preventDefault(); });
render(<App />, document.getElementById('root'));
