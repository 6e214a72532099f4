// Prints when the program showed a notification, as the page computes it:
//   node tools/notified.mjs FOLDER|ARCHIVE.zip
// One line per notified sample, "<time stamp of its line> <monitor>", the
// format of the engine's replay (orvella_log_replay), for the rule tests.
import { readdirSync, readFileSync, statSync } from 'node:fs';
import { join } from 'node:path';

import { formatTime } from '../src/format.js';
import { MONITORS } from '../src/monitors.js';
import { logFileOf, readArchive, readLogFiles } from '../src/report.js';
import { WasmInflater } from '../src/wasmInflater.js';

const path = process.argv[2];
const report = await (statSync(path).isDirectory()
  ? readLogFiles(
      readdirSync(path)
        .filter((name) => logFileOf(name))
        .map((name) => ({ name, bytes: readFileSync(join(path, name)) })),
    )
  : readArchive(path, readFileSync(path), new WasmInflater(WasmInflater.compile(readFileSync(new URL('../inflater.wasm', import.meta.url))))));
const out = [];
report.series.forEach((s, m) => {
  if (!s) return;
  const notified = report.rules.notified[m];
  for (let i = 0; i < s.times.length; i++) if (notified[i]) out.push(`${formatTime(s.times[i])} ${MONITORS[m].id}`);
});
process.stdout.write(out.join('\n') + (out.length ? '\n' : ''));
if (report.badCount) console.error(`notified.mjs: ${report.badCount} lines that do not parse were left out`);
