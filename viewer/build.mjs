// Bundles the page into one self-contained HTML file:
//   node build.mjs OUTPUT.html INFLATER.wasm
// The script and the styles go inline, the WebAssembly inflater (made by
// scripts/build-wasm-inflater) into the script as base64, its library's
// licence into a comment; the script's hash goes into the page's Content
// Security Policy, which allows nothing else to run and no connection at all.
import { createHash } from 'node:crypto';
import { readFileSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

import { build } from 'esbuild';

const here = dirname(fileURLToPath(import.meta.url));
const [output, inflater] = process.argv.slice(2);
if (!output || !inflater) {
  console.error('usage: node build.mjs OUTPUT.html INFLATER.wasm');
  process.exit(2);
}

const common = { bundle: true, minify: true, target: 'es2020', write: false, legalComments: 'inline', logLevel: 'warning' };
// The worker first: the page starts it from its own text.
const worker = await build({ ...common, entryPoints: [join(here, 'src/worker.js')], format: 'iife', outdir: 'out' });
const result = await build({
  ...common,
  define: {
    __ORVELLA_WORKER__: JSON.stringify(worker.outputFiles[0].text),
    __ORVELLA_INFLATER__: JSON.stringify(readFileSync(inflater).toString('base64')),
  },
  entryPoints: [join(here, 'src/main.js')],
  format: 'iife',
  outdir: 'out',
});
const file = (ext) => result.outputFiles.find((f) => f.path.endsWith(ext)).text;
// A script inside <script> must not close it early.
const script = file('.js').replaceAll('</script', '<\\/script');
const style = file('.css') + readFileSync(join(here, 'src/page.css'), 'utf8');
const hash = `sha256-${createHash('sha256').update(script, 'utf8').digest('base64')}`;
const licence = readFileSync(`${inflater}.COPYING`, 'utf8').replaceAll('--', '- -');
const page = readFileSync(join(here, 'src/page.html'), 'utf8')
  .replace('@INFLATER_LICENCE@', () => licence)
  .replace('@SCRIPT_HASH@', hash)
  .replace('@STYLE@', () => style)
  .replace('@SCRIPT@', () => script);
writeFileSync(output, page);
