// Reads some of an archive's log files off the page's thread: inflates each,
// checks it and parses it straight from the inflater's memory. The page joins
// the results.
import { bestInflater } from './inflate.js';
import { MONITOR_BY_ID } from './monitors.js';
import { archiveEntries, parseEntry, ReportError, stepTimes } from './report.js';

self.onmessage = async ({ data: { title, bytes, jobs, module } }) => {
  try {
    const inflater = bestInflater(module);
    const entries = new Map(archiveEntries(title, bytes, inflater).map((entry) => [entry.name, entry]));
    const results = [];
    const transfer = [];
    for (const job of jobs) {
      const read = await entries.get(job.name).read((raw) => {
        const started = performance.now();
        const result = parseEntry(raw, MONITOR_BY_ID.get(job.monitor));
        stepTimes.parse += performance.now() - started;
        return result;
      });
      results.push({ name: job.name, read });
      for (const key of ['times', 'values', 'verdicts', 'textIds', 'targetIds']) transfer.push(read.part[key].buffer);
    }
    self.postMessage({ results, steps: { ...stepTimes }, inflater: inflater.name }, transfer);
  } catch (error) {
    self.postMessage({ error: error.message, expected: error instanceof ReportError });
  }
};
