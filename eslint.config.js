// The web application's scripts and their tests: plain ES modules, the
// browser's globals in the page and Node's in the tests.
import js from '@eslint/js';
import globals from 'globals';
import importPlugin from 'eslint-plugin-import';

const web = './resources/web/js';
// Lower layers never reach up: the records' rules stay testable without a
// page, and a screen can be rewritten without touching them.
const above = {
  core: ['rules', 'output', 'shell', 'ui', 'views'],
  rules: ['output', 'shell', 'ui', 'views'],
  output: ['shell', 'ui', 'views'],
  shell: ['ui', 'views'],
  ui: ['views'],
};
const layers = Object.entries(above).map(([layer, higher]) => ({
  target: `${web}/${layer}`,
  from: higher.map((h) => `${web}/${h}`),
  message: `${layer} is below ${higher.join(', ')} and must not import from them.`,
}));

export default [
  js.configs.recommended,
  {
    files: ['resources/web/**/*.js'],
    languageOptions: { ecmaVersion: 2023, sourceType: 'module', globals: globals.browser },
  },
  {
    files: ['tests/web/**/*.mjs'],
    languageOptions: {
      ecmaVersion: 2023,
      sourceType: 'module',
      globals: { ...globals.node, ...globals.browser },
    },
  },
  {
    files: ['resources/web/**/*.js', 'tests/web/**/*.mjs'],
    plugins: { import: importPlugin },
    settings: { 'import/resolver': { node: { extensions: ['.js', '.mjs'] } } },
    rules: {
      'import/no-unresolved': 'error',
      'import/named': 'error',
      'import/no-cycle': 'error',
      'import/no-restricted-paths': ['error', { zones: layers }],
    },
  },
];
