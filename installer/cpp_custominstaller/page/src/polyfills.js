// What the page's libraries call that Internet Explorer 11 lacks: i18next,
// react-i18next and its HTML parser. React and the page's own code need
// nothing beyond IE 11, and the libraries' code is ES5 already.
import 'core-js/modules/es.promise.js';
import 'core-js/modules/es.object.assign.js';
import 'core-js/modules/es.array.find.js';
import 'core-js/modules/es.array.includes.js';
import 'core-js/modules/es.string.starts-with.js';
import 'core-js/modules/es.string.ends-with.js';
import 'core-js/modules/es.number.is-nan.js';
