// Reads some of an archive's log files off the page's thread: inflates each,
// checks it and parses it. The page joins the results.
import { MONITOR_BY_ID } from './monitors.js';
import { archiveEntries, parseEntry, ReportError, stepTimes } from './report.js';

self.onmessage = async ({ data: { title, bytes, jobs } }) => {
  try {
    const entries = new Map(archiveEntries(title, bytes).map((entry) => [entry.name, entry]));
    const results = [];
    const transfer = [];
    for (const job of jobs) {
      const raw = await entries.get(job.name).bytes();
      const started = performance.now();
      const read = parseEntry(raw, MONITOR_BY_ID.get(job.monitor));
      stepTimes.parse += performance.now() - started;
      results.push({ name: job.name, read });
      for (const key of ['times', 'values', 'verdicts', 'textIds', 'targetIds']) transfer.push(read.part[key].buffer);
    }
    self.postMessage({ results, steps: { ...stepTimes } }, transfer);
  } catch (error) {
    self.postMessage({ error: error.message, expected: error instanceof ReportError });
  }
};
