// A file the page cannot show, with the message the desk reads.
export class ReportError extends Error {}
