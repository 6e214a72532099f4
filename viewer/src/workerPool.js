// The page's workers, started when the page opens so that they are ready
// when an archive comes, and kept for the next one. One per processor, at
// most four. A worker taken is the taker's alone until it is given back, so
// two archives opened at once never share one.
const MAX_WORKERS = 4;

export class WorkerPool {
  // source: the worker's bundled script. Throws where workers cannot start.
  constructor(source) {
    this.size = Math.max(1, Math.min(navigator.hardwareConcurrency || 2, MAX_WORKERS));
    this.url = URL.createObjectURL(new Blob([source], { type: 'text/javascript' }));
    this.idle = [];
    for (let k = 0; k < this.size; k++) this.idle.push(new Worker(this.url));
  }

  // Up to the pool's size of workers, idle ones first.
  take(count) {
    const taken = this.idle.splice(0, Math.min(count, this.size));
    while (taken.length < Math.min(count, this.size)) taken.push(new Worker(this.url));
    return taken;
  }

  // Workers that finished their work; after a failure they are ended instead.
  giveBack(workers, failed) {
    for (const worker of workers) {
      if (failed || this.idle.length >= this.size) worker.terminate();
      else this.idle.push(worker);
    }
  }
}
