// Headless Chromium driven through the DevTools protocol on a pipe
// (--remote-debugging-pipe: file descriptors 3 and 4, messages ended by a
// NUL byte), with the QelCrypt extension loaded unpacked. Shared by the
// browser tests, the bridge benchmark and the demo's browser step; Node.js
// only, no packages.
"use strict";

const { spawn } = require("child_process");
const fs = require("fs");
const path = require("path");

const CHROMIUM = process.env.QEL_CHROMIUM || "/usr/bin/chromium";

// The flags of a browser that stays off the network and starts clean.
function chromiumFlags(userDataDir, extensionDir, extra) {
  const flags = [
    "--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--no-default-browser-check", "--disable-background-networking", "--disable-component-update",
    "--disable-sync", "--disable-default-apps", "--password-store=basic", "--use-mock-keychain",
    "--window-size=1100,1400", "--user-data-dir=" + userDataDir, "--remote-debugging-pipe",
    // A page driven by a script is never a background tab: no lowered
    // priority, no throttled timers.
    "--disable-renderer-backgrounding", "--disable-background-timer-throttling",
    "--disable-backgrounding-occluded-windows",
  ];
  if (extensionDir) flags.push("--load-extension=" + extensionDir, "--disable-extensions-except=" + extensionDir);
  return flags.concat(extra || []);
}

class Browser {
  // Starts Chromium; `log` (a file) receives its standard error, which also
  // carries the native hosts' error streams.
  static async launch({ userDataDir, extensionDir, extraFlags, log }) {
    fs.mkdirSync(userDataDir, { recursive: true });
    const err = log ? fs.openSync(log, "a") : "ignore";
    const child = spawn(CHROMIUM, chromiumFlags(userDataDir, extensionDir, extraFlags),
                        { stdio: ["ignore", err, err, "pipe", "pipe"] });
    const browser = new Browser(child);
    await browser.send("Target.setDiscoverTargets", { discover: true });
    return browser;
  }

  constructor(child) {
    this.child = child;
    this.nextId = 1;
    this.calls = new Map();
    this.listeners = [];
    this.targets = new Map();  // targetId -> targetInfo
    this.exited = new Promise((resolve) => child.on("exit", (code, signal) => resolve(code === null ? signal : code)));
    this.exited.then(() => {
      for (const { reject } of this.calls.values()) reject(new Error("the browser exited"));
      this.calls.clear();
    });
    this.writer = child.stdio[3];
    this.writer.on("error", () => {});
    let pending = Buffer.alloc(0);
    child.stdio[4].on("data", (chunk) => {
      pending = Buffer.concat([pending, chunk]);
      let end;
      while ((end = pending.indexOf(0)) >= 0) {
        const text = pending.subarray(0, end).toString("utf8");
        pending = pending.subarray(end + 1);
        this.dispatch(JSON.parse(text));
      }
    });
    this.on("Target.targetCreated", (p) => this.targets.set(p.targetInfo.targetId, p.targetInfo));
    this.on("Target.targetInfoChanged", (p) => this.targets.set(p.targetInfo.targetId, p.targetInfo));
    this.on("Target.targetDestroyed", (p) => this.targets.delete(p.targetId));
  }

  dispatch(message) {
    if (message.id !== undefined) {
      const call = this.calls.get(message.id);
      if (!call) return;
      this.calls.delete(message.id);
      if (message.error) call.reject(new Error(call.method + ": " + message.error.message));
      else call.resolve(message.result);
      return;
    }
    for (const l of this.listeners.slice())
      if (l.method === message.method && (!l.sessionId || l.sessionId === message.sessionId)) l.fn(message.params || {});
  }

  send(method, params, sessionId) {
    const id = this.nextId++;
    const message = { id, method, params: params || {} };
    if (sessionId) message.sessionId = sessionId;
    return new Promise((resolve, reject) => {
      this.calls.set(id, { resolve, reject, method });
      this.writer.write(JSON.stringify(message) + "\0");
    });
  }

  on(method, fn, sessionId) {
    const l = { method, fn, sessionId };
    this.listeners.push(l);
    return () => { this.listeners = this.listeners.filter((x) => x !== l); };
  }

  // Waits until a target that `match` accepts exists; its info, or null.
  async waitForTarget(match, ms) {
    const until = Date.now() + ms;
    for (;;) {
      for (const t of this.targets.values()) if (match(t)) return t;
      if (Date.now() > until) return null;
      await sleep(50);
    }
  }

  // The id of the loaded extension (from its service worker's URL), or "".
  async extensionId(ms) {
    const t = await this.waitForTarget((t) => t.type === "service_worker" && t.url.startsWith("chrome-extension://"), ms);
    return t ? new URL(t.url).host : "";
  }

  async newPage(url) {
    const { targetId } = await this.send("Target.createTarget", { url: "about:blank" });
    const { sessionId } = await this.send("Target.attachToTarget", { targetId, flatten: true });
    const page = new Page(this, targetId, sessionId);
    await page.send("Page.enable");
    await page.send("Runtime.enable");
    if (url) await page.goto(url);
    return page;
  }

  async close() {
    try {
      await Promise.race([this.send("Browser.close"), sleep(5000)]);
    } catch (e) {
      // Already gone.
    }
    const gone = await Promise.race([this.exited.then(() => true), sleep(10000).then(() => false)]);
    if (!gone) this.child.kill("SIGKILL");
  }
}

class Page {
  constructor(browser, targetId, sessionId) {
    this.browser = browser;
    this.targetId = targetId;
    this.sessionId = sessionId;
    this.console = [];
    browser.on("Runtime.consoleAPICalled", (p) => {
      this.console.push(p.args.map((a) => (a.value !== undefined ? a.value : a.description)).join(" "));
    }, sessionId);
    browser.on("Runtime.exceptionThrown", (p) => {
      const d = p.exceptionDetails;
      this.console.push("exception: " + ((d.exception && d.exception.description) || d.text));
    }, sessionId);
  }

  send(method, params) {
    return this.browser.send(method, params, this.sessionId);
  }

  async goto(url, ms = 20000) {
    const loaded = new Promise((resolve) => {
      const off = this.browser.on("Page.loadEventFired", () => { off(); resolve(true); }, this.sessionId);
      setTimeout(() => { off(); resolve(false); }, ms);
    });
    const r = await this.send("Page.navigate", { url });
    if (r.errorText) throw new Error("navigating to " + url + ": " + r.errorText);
    if (!(await loaded)) throw new Error("navigating to " + url + ": no load event within " + ms + " ms");
  }

  // The value of `expression` (awaited when it is a promise), as JSON.
  async evaluate(expression) {
    const r = await this.send("Runtime.evaluate", { expression, awaitPromise: true, returnByValue: true });
    if (r.exceptionDetails) {
      const d = r.exceptionDetails;
      throw new Error((d.exception && d.exception.description) || d.text);
    }
    return r.result.value;
  }

  // Calls `fn` (a function's source) in the page with `args` (JSON values).
  call(fn, ...args) {
    return this.evaluate("(" + fn.toString() + ")(..." + JSON.stringify(args) + ")");
  }

  // Polls `fn` in the page until it gives a true value; that value, or
  // undefined after `ms`.
  async waitFor(fn, ms, ...args) {
    const until = Date.now() + ms;
    for (;;) {
      const v = await this.call(fn, ...args);
      if (v) return v;
      if (Date.now() > until) return undefined;
      await sleep(50);
    }
  }

  async screenshot(file) {
    const { data } = await this.send("Page.captureScreenshot", { format: "png", captureBeyondViewport: true });
    fs.mkdirSync(path.dirname(file), { recursive: true });
    fs.writeFileSync(file, Buffer.from(data, "base64"));
  }

  close() {
    return this.browser.send("Target.closeTarget", { targetId: this.targetId });
  }
}

function sleep(ms) {
  return new Promise((resolve) => setTimeout(resolve, ms));
}

// Writes the host manifest that Chromium reads from the profile for
// connectNative("com.qelcrypt.host"): `launcher` (an executable) started for
// the extension `extensionId`. No launcher: the host is not installed.
function installHost(userDataDir, launcher, extensionId) {
  const dir = path.join(userDataDir, "NativeMessagingHosts");
  const file = path.join(dir, "com.qelcrypt.host.json");
  fs.mkdirSync(dir, { recursive: true });
  if (!launcher) {
    fs.rmSync(file, { force: true });
    return;
  }
  fs.writeFileSync(file, JSON.stringify({
    name: "com.qelcrypt.host",
    description: "QelCrypt native-messaging host",
    path: launcher,
    type: "stdio",
    allowed_origins: ["chrome-extension://" + extensionId + "/"],
  }, null, 2));
}

module.exports = { Browser, Page, installHost, sleep, chromiumFlags, CHROMIUM };
