// Saving the database: shortly after every change, and at once when asked
// (quitting). Knows nothing of the page or of where the text goes; `send`
// does the saving and answers {ok:true} or {ok:false, error}.
//
// Work is tracked by revision: the source's revision goes up with every
// change, and the work is saved once a save of that revision (or a later one)
// has been answered ok. A failed save leaves the work marked unsaved; the next
// change or flush sends it again.

export class PersistQueue {
  constructor({ source, send, savedRevision = 0, delay = 400, maxWait = 2000, timers, onState = () => {} }) {
    this.source = source; // { revision(): number, text(): string }
    this.send = send;
    this.savedRevision = savedRevision;
    this.delay = delay;
    this.maxWait = maxWait;
    this.timers = timers ?? {
      set: (f, ms) => setTimeout(f, ms),
      clear: (t) => clearTimeout(t),
      now: () => Date.now(),
    };
    this.onState = onState;
    this.timer = null;
    this.firstChangeAt = null;
    this.seq = 0;
    this.inFlight = new Map(); // seq -> {revision, promise}
    this.lastOkSeq = 0;
    this.error = null;
    this.errorSeq = 0;
    this.locked = false;
    this.urgentUntil = -Infinity;
  }

  get dirty() {
    return this.source.revision() > this.savedRevision;
  }

  get state() {
    return { dirty: this.dirty, saving: this.inFlight.size > 0, error: this.error, locked: this.locked };
  }

  // Never save again (the records on disk must not be overwritten).
  lock() {
    this.locked = true;
    this.cancelTimer();
    this.onState(this.state);
  }

  changed() {
    if (this.locked) return;
    const now = this.timers.now();
    // Just after a flush the program is quitting: a change that arrives now
    // (a key pressed a moment before the quit) cannot wait for the delay.
    if (now < this.urgentUntil) {
      this.sendNow();
      return;
    }
    if (this.firstChangeAt === null) this.firstChangeAt = now;
    this.cancelTimer();
    // A steady stream of changes must not postpone the save for ever.
    const wait = Math.max(0, Math.min(this.delay, this.firstChangeAt + this.maxWait - now));
    this.timer = this.timers.set(() => {
      this.timer = null;
      this.sendNow();
    }, wait);
    this.onState(this.state);
  }

  cancelTimer() {
    if (this.timer !== null) this.timers.clear(this.timer);
    this.timer = null;
  }

  // Resolves with the answer of the save that covers the current work. The
  // message is posted before this returns, so a caller that cannot wait for
  // the promise has still handed the text over.
  // Flushing is for quitting: a change that follows soon is sent at once too.
  flush() {
    this.urgentUntil = this.timers.now() + 2000;
    return this.saveNow();
  }

  // The same for one who needs the work on disk now (before a safety copy of
  // it): changes after it wait as usual, so that one does not post the whole
  // text in the task that made it.
  saveNow() {
    this.cancelTimer();
    if (this.locked)
      return Promise.resolve({ ok: false, error: 'Saving is switched off for these records.' });
    const rev = this.source.revision();
    if (rev > this.savedRevision) {
      for (const f of this.inFlight.values()) if (f.revision === rev) return f.promise;
      return this.sendNow();
    }
    return Promise.resolve({ ok: true });
  }

  sendNow() {
    this.cancelTimer();
    this.firstChangeAt = null;
    const revision = this.source.revision();
    const seq = ++this.seq;
    let pending;
    try {
      pending = Promise.resolve(this.send(this.source.text()));
    } catch (e) {
      pending = Promise.reject(e);
    }
    const promise = pending
      .then(answerOf, (e) => ({ ok: false, error: messageOf(e) }))
      .then((answer) => {
        this.inFlight.delete(seq);
        if (answer.ok) {
          this.savedRevision = Math.max(this.savedRevision, revision);
          this.lastOkSeq = Math.max(this.lastOkSeq, seq);
          if (this.errorSeq < seq) this.error = null;
        } else if (seq > this.lastOkSeq) {
          this.error = answer.error;
          this.errorSeq = seq;
        }
        this.onState(this.state);
        return answer;
      });
    this.inFlight.set(seq, { revision, promise });
    this.onState(this.state);
    return promise;
  }
}

function answerOf(reply) {
  if (reply && reply.ok === true) return { ok: true };
  if (reply && reply.ok === false)
    return {
      ok: false,
      error: typeof reply.error === 'string' && reply.error ? reply.error : 'The records could not be saved.',
    };
  return { ok: false, error: 'The application gave no usable answer to the save.' };
}

function messageOf(e) {
  return typeof e === 'string' ? e : e?.message || String(e);
}
