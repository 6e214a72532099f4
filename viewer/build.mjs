// Bundles the page into one self-contained HTML file:
//   node build.mjs OUTPUT.html
// The script and the styles go inline; the script's hash goes into the
// page's Content Security Policy, which allows nothing else to run and no
// connection at all.
import { createHash } from 'node:crypto';
import { readFileSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

import { build } from 'esbuild';

const here = dirname(fileURLToPath(import.meta.url));
const output = process.argv[2];
if (!output) {
  console.error('usage: node build.mjs OUTPUT.html');
  process.exit(2);
}

const common = { bundle: true, minify: true, target: 'es2020', write: false, legalComments: 'inline', logLevel: 'warning' };
// The worker first: the page starts it from its own text.
const worker = await build({ ...common, entryPoints: [join(here, 'src/worker.js')], format: 'iife', outdir: 'out' });
const result = await build({
  ...common,
  define: { __ORVELLA_WORKER__: JSON.stringify(worker.outputFiles[0].text) },
  entryPoints: [join(here, 'src/main.js')],
  format: 'iife',
  outdir: 'out',
});
const file = (ext) => result.outputFiles.find((f) => f.path.endsWith(ext)).text;
// A script inside <script> must not close it early.
const script = file('.js').replaceAll('</script', '<\\/script');
const style = file('.css') + readFileSync(join(here, 'src/page.css'), 'utf8');
const hash = `sha256-${createHash('sha256').update(script, 'utf8').digest('base64')}`;
const page = readFileSync(join(here, 'src/page.html'), 'utf8')
  .replace('@SCRIPT_HASH@', hash)
  .replace('@STYLE@', () => style)
  .replace('@SCRIPT@', () => script);
writeFileSync(output, page);
