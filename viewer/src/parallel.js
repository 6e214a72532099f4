// An archive's log files read by the workers of a pool, each inflating and
// parsing its share while the others do theirs; the page joins them. Where
// workers cannot start, the page reads everything itself.
import { bestInflater } from './inflate.js';
import { archiveEntries, buildReport, classify, readArchive, ReportError, resetStepTimes, stepTimes } from './report.js';

// The largest files first, each to the worker with the least to do.
function share(logs, count) {
  const jobs = Array.from({ length: count }, () => []);
  const load = new Array(count).fill(0);
  for (const log of [...logs].sort((a, b) => b.entry.size - a.entry.size)) {
    const k = load.indexOf(Math.min(...load));
    jobs[k].push({ monitor: log.monitor.id, record: log.entry.record });
    load[k] += log.entry.size;
  }
  return jobs;
}

// A worker's message: only its entries' packed bytes, copied into a buffer of
// their own that is handed over rather than copied again (a clone of the
// whole archive for each worker costs more than the copy).
function message(title, bytes, jobs, module) {
  const packed = new Uint8Array(jobs.reduce((n, job) => n + job.record.compressedSize, 0));
  let at = 0;
  const moved = jobs.map(({ monitor, record }) => {
    packed.set(bytes.subarray(record.data, record.data + record.compressedSize), at);
    at += record.compressedSize;
    return { monitor, record: { ...record, data: at - record.compressedSize } };
  });
  return [{ title, packed, jobs: moved, module }, [packed.buffer]];
}

function run(worker, [message, transfer]) {
  return new Promise((resolve, reject) => {
    worker.onmessage = ({ data }) => {
      if (data.error) reject(data.expected ? new ReportError(data.error) : new Error(data.error));
      else resolve(data);
    };
    worker.onerror = (event) => {
      event.preventDefault();
      reject(new Error(event.message || 'a worker could not run'));
    };
    worker.postMessage(message, transfer);
  });
}

// pool: a WorkerPool, or undefined where workers cannot start; module: the
// WebAssembly inflater's compiled module, or undefined. Resolves to the report
// and the name of the inflater that read it.
export async function readArchiveInWorkers(title, bytes, pool, module) {
  // The page's own reads the trace, or everything where workers fail.
  const inflater = bestInflater(module);
  const entries = archiveEntries(title, bytes, inflater);
  const { logs } = classify(title, entries, true);
  let workers = [];
  let failed = true;
  try {
    if (!pool) throw new Error('workers cannot start here');
    workers = pool.take(Math.max(1, logs.length));
    const replies = await Promise.all(share(logs, workers.length).map((jobs, k) => run(workers[k], message(title, bytes, jobs, module))));
    failed = false;
    resetStepTimes();
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
    if (pool) pool.giveBack(workers, failed);
  }
}
