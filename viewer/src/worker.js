// Reads some of an archive's log files off the page's thread: inflates each,
// checks it and parses it straight from the inflater's memory. The page joins
// the results. packed holds the entries' packed bytes; each job names its
// monitor and its entry's record of the central directory, whose offset is
// into packed.
import { bestInflater, inflateEntry } from './inflate.js';
import { MONITOR_BY_ID } from './monitors.js';
import { parseEntry, ReportError } from './report.js';

self.onmessage = async ({ data: { title, packed, jobs, module } }) => {
  try {
    const steps = { inflate: 0, parse: 0 };
    const inflater = bestInflater(module);
    const results = [];
    const transfer = [];
    for (const { monitor, record } of jobs) {
      const started = performance.now();
      const raw = await inflateEntry(title, packed, record, inflater);
      const inflated = performance.now();
      const read = parseEntry(raw, MONITOR_BY_ID.get(monitor));
      steps.inflate += inflated - started;
      steps.parse += performance.now() - inflated;
      results.push({ name: record.name, read });
      for (const key of ['times', 'values', 'verdicts', 'textIds', 'targetIds']) transfer.push(read.part[key].buffer);
    }
    self.postMessage({ results, steps, inflater: inflater.name }, transfer);
  } catch (error) {
    self.postMessage({ error: error.message, expected: error instanceof ReportError });
  }
};
