import i18n from 'i18next';
import { initReactI18next } from 'react-i18next';
import en from './locales/en.json';

// React escapes what it renders as text, so the translation layer does not.
i18n.use(initReactI18next).init({
  lng: 'en',
  fallbackLng: 'en',
  resources: { en: { translation: en } },
  // IE 11 has no Intl.PluralRules, which the newer plural format needs; the texts use no plurals.
  compatibilityJSON: 'v3',
  keySeparator: false,
  nsSeparator: false,
  initImmediate: false,
  interpolation: { escapeValue: false },
  react: { useSuspense: false }
});

export default i18n;
