// An archive's log files read by workers, one per processor (at most four),
// each inflating and parsing its share while the others do theirs; the page
// joins them. Where workers cannot start, the page reads everything itself.
import { bestInflater } from './inflate.js';
import { archiveEntries, buildReport, classify, readArchive, ReportError, stepTimes } from './report.js';

const MAX_WORKERS = 4;

// The largest files first, each to the worker with the least to do.
function share(logs, count) {
  const jobs = Array.from({ length: count }, () => []);
  const load = new Array(count).fill(0);
  for (const log of [...logs].sort((a, b) => b.entry.size - a.entry.size)) {
    const k = load.indexOf(Math.min(...load));
    jobs[k].push({ name: log.entry.name, monitor: log.monitor.id });
    load[k] += log.entry.size;
  }
  return jobs;
}

function run(worker, message) {
  return new Promise((resolve, reject) => {
    worker.onmessage = ({ data }) => {
      if (data.error) reject(data.expected ? new ReportError(data.error) : new Error(data.error));
      else resolve(data);
    };
    worker.onerror = (event) => {
      event.preventDefault();
      reject(new Error(event.message || 'a worker could not run'));
    };
    worker.postMessage(message);
  });
}

// module: the WebAssembly inflater's compiled module, or undefined. Resolves
// to the report and the name of the inflater that read it.
export async function readArchiveInWorkers(title, bytes, workerSource, module) {
  // The page's own reads the trace, or everything where workers fail.
  const inflater = bestInflater(module);
  const entries = archiveEntries(title, bytes, inflater);
  const { logs } = classify(title, entries, true);
  const count = Math.max(1, Math.min(navigator.hardwareConcurrency || 2, MAX_WORKERS, logs.length));
  let url;
  const workers = [];
  try {
    url = URL.createObjectURL(new Blob([workerSource], { type: 'text/javascript' }));
    for (let k = 0; k < count; k++) workers.push(new Worker(url));
    const replies = await Promise.all(share(logs, count).map((jobs, k) => run(workers[k], { title, bytes, jobs, module })));
    for (const step of Object.keys(stepTimes)) stepTimes[step] = 0;
    const parsed = new Map();
    for (const reply of replies) {
      for (const { name, read } of reply.results) parsed.set(name, read);
      for (const [step, ms] of Object.entries(reply.steps)) stepTimes[step] += ms;
    }
    return { report: await buildReport(title, entries, true, parsed), inflater: replies[0].inflater };
  } catch (error) {
    if (error instanceof ReportError) throw error;
    console.warn(`reading the archive in this page's thread: ${error.message}`);
    return { report: await readArchive(title, bytes, inflater), inflater: inflater.name };
  } finally {
    for (const worker of workers) worker.terminate();
    if (url) URL.revokeObjectURL(url);
  }
}
