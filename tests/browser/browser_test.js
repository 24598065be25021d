// End to end in headless Chromium: samples/sign.html served on this machine,
// the QelCrypt extension loaded unpacked, its host manifest in the profile
// naming the Windows host under Wine (prepare.sh made the machine). Each
// group of cases is a table; the last line is "browser_test: N passed, M
// failed". Run by browser_test.sh.
"use strict";

const crypto = require("crypto");
const fs = require("fs");
const path = require("path");
const vm = require("vm");
const { spawnSync } = require("child_process");
const h = require("./harness.js");
const { readLog, gbk } = require("./kvolog.js");

let passed = 0, failed = 0;
function check(what, ok, detail) {
  if (ok) {
    passed++;
  } else {
    failed++;
    console.log("browser_test: FAILED: " + what + (detail !== undefined ? "\n    " + String(detail).slice(0, 600) : ""));
  }
  return ok;
}

// Runs a group; an exception fails it instead of stopping the others.
async function group(name, body) {
  const t = Date.now();
  try {
    await body();
  } catch (e) {
    check(name + ": " + e.message, false, e.stack);
  }
  console.log("browser_test: " + name + " (" + ((Date.now() - t) / 1000).toFixed(1) + " s)");
}

function within(ms, promise, what) {
  let timer;
  return Promise.race([promise, new Promise((_, reject) => {
    timer = setTimeout(() => reject(new Error(what + ": no answer within " + ms + " ms")), ms);
  })]).finally(() => clearTimeout(timer));
}

// A method through the page's connection (sign.html's `qel`): {result} or {error: {code, message}}.
function call(page, method, ...args) {
  return within(60000, page.call(async (m, a) => {
    try {
      return { result: await window.qel[m](...a) };
    } catch (e) {
      return { error: { code: e.code, message: e.message } };
    }
  }, method, args), method);
}

// A window message on the extension's channel, as a page could send it,
// and the reply to it.
function raw(page, message, argsSource) {
  return within(30000, page.call((m, source) => new Promise((resolve) => {
    const id = "raw-" + Math.random();
    if (source) m.args = (0, eval)(source);  // values JSON cannot bring into the page
    window.addEventListener("message", function on(e) {
      if (e.source === window && e.data && e.data.channel === "qelcrypt-bridge" && e.data.type === "reply" &&
          e.data.id === id) {
        window.removeEventListener("message", on);
        resolve(e.data);
      }
    });
    window.postMessage(Object.assign({ channel: "qelcrypt-bridge", type: "request", id: id }, m), "*");
  }), message, argsSource || ""), "raw message");
}

function toGbk(text) {
  const r = spawnSync("iconv", ["-f", "UTF-8", "-t", "GBK"], { input: Buffer.from(text, "utf8") });
  if (r.status !== 0) throw new Error("iconv: " + r.stderr);
  return r.stdout;
}

// OpenSSL (through Node.js) checks an MD5-with-RSA signature over the text in code page 936.
function opensslVerifies(text, certPem, signature) {
  try {
    return crypto.verify("md5", toGbk(text), certPem.replace(/\r\n/g, "\n"), Buffer.from(signature, "base64"));
  } catch (e) {
    return false;
  }
}

// The calls of scenario.js in a page: [{method, result}].
async function browserScenario(page) {
  return within(180000, page.call(async () => {
    await new Promise((resolve, reject) => {
      const s = document.createElement("script");
      s.src = "/tests/scenario.js";
      s.onload = resolve;
      s.onerror = () => reject(new Error("scenario.js did not load"));
      document.head.appendChild(s);
    });
    const calls = [];
    await window.qel.run((ctrl, once) => BrowserScenario.run(ctrl, once((i, method, result) => {
      calls[i] = { method, result };
    })));
    return calls;
  }), "the scenario");
}

const SCENARIO_RANDOM = { CryptPubKey: true, GenertKey: true };

function sameRecords(a, b) {
  if (a.length !== b.length) return "record counts " + a.length + " and " + b.length;
  for (let i = 0; i < a.length; ++i) {
    if (!a[i].subject.equals(b[i].subject)) return "record " + i + ": subjects " + gbk(a[i].subject) + " / " + gbk(b[i].subject);
    if (!a[i].content.equals(b[i].content))
      return "record " + i + " (" + gbk(a[i].subject) + "): contents\n" + gbk(a[i].content) + "\n/\n" + gbk(b[i].content);
  }
  return "";
}

// web/qelcrypt.js as Internet Explorer 8 runs it (no Promise) and as
// Windows Script Host runs it (no Promise, no timers); QelCrypt.promise.
function libraryWithoutPromises(timers) {
  const context = { Promise: undefined };
  if (timers) context.setTimeout = setTimeout;
  vm.createContext(context);
  vm.runInContext("var Promise = undefined;\n" + fs.readFileSync(path.join(h.root, "web/qelcrypt.js"), "utf8") +
                  "\nthis.QelCrypt = QelCrypt;", context);
  return context.QelCrypt;
}

// Settles when `p` (a promise of the stand-in) settles: {value} or {error}.
function outcome(p) {
  return new Promise((resolve) => p.then((value) => resolve({ value }), (error) => resolve({ error })));
}

async function promiseStandIn() {
  for (const timers of [true, false]) {
    const Q = libraryWithoutPromises(timers);
    const where = timers ? " (timers, as in Internet Explorer)" : " (no timers, as in Windows Script Host)";
    const make = (fn) => Q.promise(fn);
    let later = null;
    const cases = [
      { name: "a value goes to then", p: () => make((r) => r(7)), value: 7 },
      { name: "then's result is the next value", p: () => make((r) => r(2)).then((v) => v * 3).then((v) => v + 1), value: 7 },
      { name: "a handler that throws rejects the next", p: () => make((r) => r(1)).then(() => { throw new Error("x"); }), error: "x" },
      { name: "a rejection skips fulfilment handlers", p: () => make((r, j) => j(new Error("no"))).then(() => 5), error: "no" },
      { name: "catch turns a rejection into a value", p: () => make((r, j) => j(new Error("no")))["catch"]((e) => e.message + "!"),
        value: "no!" },
      { name: "an executor that throws rejects", p: () => make(() => { throw new Error("thrown"); }), error: "thrown" },
      { name: "only the first settlement counts", p: () => make((r, j) => { r(1); r(2); j(new Error("late")); }), value: 1 },
      { name: "a promise handed on is waited for", value: "inner",
        p: () => make((r) => r(make((inner) => { later = () => inner("inner"); }))) },
      { name: "a thenable that throws after resolving is ignored", value: 3,
        p: () => make((r) => r({ then: (ok) => { ok(3); throw new Error("after"); } })) },
      { name: "a promise resolved with itself is rejected", error: "a promise cannot wait for itself",
        p: () => { let self; self = make((r) => { Promise.resolve().then(() => r(self)); }); return self; } },
    ];
    for (const c of cases) {
      later = null;
      const pending = outcome(c.p());
      if (later) setTimeout(later, 5);
      const r = await within(2000, pending, c.name);
      const ok = c.error !== undefined ? r.error && r.error.message === c.error : !r.error && r.value === c.value;
      check("promise stand-in: " + c.name + where, ok, JSON.stringify(r) + (r.error ? " " + r.error.message : ""));
    }
    const order = [];
    const p = make((r) => r("v"));
    p.then(() => order.push("first"));
    p.then(() => order.push("second"));
    order.push("after then");
    await within(2000, outcome(p.then(() => 0)), "order");
    const expected = timers ? "after then,first,second" : "first,second,after then";
    check("promise stand-in: handlers run in order" + where, order.join() === expected, order.join());
  }
}

async function main() {
  await group("the page library's promise stand-in", promiseStandIn);
  const pages = await h.servePages();
  const hostLauncher = h.launcher("host");
  const browser = await h.startBrowser("test", hostLauncher);
  const p = BrowserScenarioParams();
  let md5Signature = "";

  await group("the extension", async () => {
    check("the extension is loaded with the ID its key gives", (await browser.extensionId(20000)) === h.EXTENSION_ID);
  });

  await group("sign.html on an allowed origin, driven like a user", async () => {
    const page = await h.openSignPage(browser, pages.url("/sign.html"));
    check("the page connects through the extension", page.status.transport === "extension", page.status.text);
    check("the page finds the control through the host", page.status.installed === "yes" && /1\.0\.1\.0/.test(page.status.text),
          page.status.text);
    const cert = h.shownValue(await h.runForm(page, "GetCert"));
    const steps = [
      { method: "Sign", expect: /^Sign: 172 characters\n/ },
      { method: "Verify", expect: /^Verify: the signature is valid \(0\)/ },
      { method: "CryptPubKey", expect: /^CryptPubKey: 172 characters\n/ },
      { method: "DecryptPriKey", expect: new RegExp("^DecryptPriKey: \\d+ characters\\n  " + p.secret + "\\n?$") },
    ];
    const shown = {};
    for (const s of steps) {
      const text = await h.runForm(page, s.method);
      shown[s.method] = h.shownValue(text);
      check("the " + s.method + " form: " + s.expect, s.expect.test(text), text);
    }
    check("the certificate came back", /^-----BEGIN CERTIFICATE-----/.test(cert), cert);
    check("OpenSSL verifies the page's signature over the text in code page 936",
          opensslVerifies(p.text, cert, shown.Sign), shown.Sign);
    md5Signature = shown.Sign;
    await page.screenshot(path.join(h.work, "sign-chromium.png"));

    // Chinese text through CryptPubKey and back, of several lengths (100-byte blocks).
    const texts = ["\u4e2d", p.secret, "\u6df7\u5408 mixed \u6587\u672c 123", "\u957f\u6587\u672c".repeat(120)];
    for (const t of texts) {
      const c = await call(page, "CryptPubKey", t, p.encCn, p.encOu);
      const d = c.result ? await call(page, "DecryptPriKey", c.result, p.encCn, p.encOu) : c;
      check("Chinese text of " + t.length + " characters round-trips", d.result === t, JSON.stringify(d).slice(0, 200));
    }
    await page.close();
  });

  await group("the same calls and log records as a JScript page", async () => {
    check("KvoCheck runs", h.startKvoCheck());
    const log = h.logFile();
    try {
      fs.rmSync(log, { force: true });
      let confirm = h.confirmDialog(120000);
      const js = h.jscriptPage(["scenario"]);
      await confirm;
      check("the JScript page made every call", js.code === 0 && js.calls.length > 30, js.output);
      const jsLog = readLog(log);
      fs.rmSync(log, { force: true });

      const page = await h.openSignPage(browser, pages.url("/sign.html"));
      confirm = h.confirmDialog(120000);
      const calls = await browserScenario(page);
      await confirm;
      const pageLog = readLog(log);
      await page.close();

      check("the page made the same calls", calls.length === js.calls.length,
            calls.length + " calls, JScript " + js.calls.length);
      for (let i = 0; i < Math.min(calls.length, js.calls.length); ++i) {
        const a = calls[i], b = js.calls[i];
        const same = SCENARIO_RANDOM[a.method]
          ? typeof a.result === typeof b.result && String(a.result).length === String(b.result).length
          : a.result === b.result;
        check("call " + i + " " + a.method + " gives what it gives in JScript", a.method === b.method && same,
              JSON.stringify(a.result) + "\n    JScript: " + JSON.stringify(b.result));
      }
      check("the page's calls logged records", pageLog.length >= 8, pageLog.length + " records");
      const diff = sameRecords(pageLog, jsLog);
      console.log("browser_test: " + pageLog.length + " log records of the page compared with the JScript page's: " +
                  pageLog.map((r) => gbk(r.subject)).join(", "));
      check("the log records equal the JScript page's (subjects and contents)", diff === "", diff);
    } finally {
      check("KvoCheck closes", h.closeKvoCheck());
    }
  });

  await group("requests a page should not send", async () => {
    const page = await h.openSignPage(browser, pages.url("/sign.html"));
    const big = "x".repeat(1024 * 1024 + 16);
    const cases = [
      { name: "a method that is no text", message: { method: 42, args: [] }, code: -32600 },
      { name: "a method name of 100 characters", message: { method: "S".repeat(100), args: [] }, code: -32600 },
      { name: "arguments that are no array", message: { method: "Sign", args: "text" }, code: -32600 },
      { name: "an unknown method", message: { method: "FormatDisk", args: [] }, code: -32601 },
      { name: "too few arguments", message: { method: "Sign", args: ["text"] }, code: -32602 },
      { name: "a text for a number", message: { method: "SetSignType", args: ["1"] }, code: -32602 },
      { name: "a fraction for a number", message: { method: "SetSignType", args: [2.5] }, code: -32602 },
      { name: "an object for a text", message: { method: "GetCert", args: [{ cn: 1 }, ""] }, code: -32602 },
      { name: "a BigInt argument (no JSON value)", message: { method: "SetSignType" }, args: "[1n]", code: -32600 },
      { name: "a request over 1 MiB", message: { method: "Sign", args: [big, p.cn, p.ou] }, code: -32001 },
      { name: "1 MiB of UTF-8 in fewer characters", message: { method: "Encrypt", args: ["\u4e2d".repeat(360000), "k"] },
        code: -32001 },
      { name: "an origin of the page's own choosing", message: { method: "GetVersion", args: [], origin: "https://evil.example" },
        result: 1010 },
    ];
    for (const c of cases) {
      const r = await raw(page, c.message, c.args);
      if (c.code !== undefined)
        check(c.name + " is answered with error " + c.code, r.error && r.error.code === c.code, JSON.stringify(r));
      else
        check(c.name + " is answered with " + c.result, r.result === c.result, JSON.stringify(r));
    }
    const after = await call(page, "Sign", p.text, p.cn, p.ou);
    check("the host still serves the page afterwards", after.result === md5Signature, JSON.stringify(after));
    await page.close();
  });

  await group("the control's state belongs to one page", async () => {
    const a = await h.openSignPage(browser, pages.url("/sign.html"));
    const b = await h.openSignPage(browser, pages.url("/sign.html"));
    await call(a, "SetSignType", 1);
    const sha1 = (await call(a, "Sign", p.text, p.cn, p.ou)).result;
    const cases = [
      { name: "SetSignType(1) gives a SHA-1 signature, not the MD5 one", got: sha1, differs: md5Signature },
      { name: "another tab signs with MD5", got: (await call(b, "Sign", p.text, p.cn, p.ou)).result, equals: md5Signature },
    ];
    await a.goto(pages.url("/sign.html"));
    await a.waitFor(() => window.qel && window.qel.installed, 30000);
    cases.push({ name: "the reloaded page signs with MD5 again", got: (await call(a, "Sign", p.text, p.cn, p.ou)).result,
                 equals: md5Signature });
    for (const c of cases)
      check(c.name, typeof c.got === "string" && c.got.length === 172 &&
            (c.equals !== undefined ? c.got === c.equals : c.got !== c.differs), c.got);
    await a.close();
    await b.close();
  });

  await group("origins: the host's allow-list decides", async () => {
    const bank = pages.site("bank.example", "/sign.html");
    const bankOrigin = new URL(bank).origin, otherOrigin = new URL(pages.site("other.example", "/")).origin;
    h.setAllowList([]);
    let page = await h.openSignPage(browser, bank);
    check("https://bank.example is refused before an administrator allows it",
          page.status.installed === "no" && page.status.text.includes(bankOrigin), page.status.text);
    await page.close();
    check("the administrator's entry is written", h.setAllowList([bankOrigin + "/", "https://intranet.example"]));
    page = await h.openSignPage(browser, bank);
    check("https://bank.example is served once on the allow-list", page.status.installed === "yes", page.status.text);
    const signed = await call(page, "Sign", p.text, p.cn, p.ou);
    check("and signs", signed.result === md5Signature, JSON.stringify(signed));
    await page.close();

    check("KvoCheck runs", h.startKvoCheck());
    try {
      const log = h.logFile();
      const before = readLog(log).length;
      page = await h.openSignPage(browser, pages.site("other.example", "/sign.html"));
      check("a page on another origin is told it may not use QelCrypt",
            page.status.installed === "no" && page.status.text.includes(otherOrigin) &&
            page.status.text.includes("may not use QelCrypt"), page.status.text);
      const refusals = [
        { name: "Sign", r: await call(page, "Sign", p.text, p.cn, p.ou) },
        { name: "AddLog", r: await call(page, "AddLog", "subject", "content") },
        { name: "a request naming an allowed origin", r: await raw(page, { method: "AddLog", args: ["s", "c"],
                                                                           origin: pages.url("").replace(/\/$/, "") }) },
      ];
      for (const c of refusals)
        check(c.name + " from " + otherOrigin + " is refused (-32000) naming the page's real origin",
              c.r.error && c.r.error.code === -32000 && c.r.error.message.includes(otherOrigin), JSON.stringify(c.r));
      check("nothing ran for the refused origin: no log record", readLog(log).length === before);
      await page.close();
    } finally {
      check("KvoCheck closes", h.closeKvoCheck());
      h.setAllowList([]);
    }
  });

  await group("without the extension, the host or a working host", async () => {
    // Plain http on a name is no origin the content script runs on: as a browser without the extension.
    let page = await h.openSignPage(browser, pages.url("/sign.html").replace("127.0.0.1", "plain.example"));
    check("a page the extension does not serve reports transport none",
          page.status.transport === "none" && /no way to reach QelCrypt/.test(page.status.text), page.status.text);
    const none = await call(page, "GetVersion");
    check("and its calls are refused at once (-32020)", none.error && none.error.code === -32020, JSON.stringify(none));
    await page.close();

    const cases = [
      { name: "no host registered", launcher: null, code: -32010, text: /QelCrypt is not installed/ },
      { name: "a host that exits on the first request", launcher: h.launcher("crash"), code: -32011, text: /stopped/ },
      { name: "the control not registered", launcher: hostLauncher, unregister: true, code: -32003,
        text: /QelCrypt is not installed on this computer/ },
    ];
    for (const c of cases) {
      browser.useHost(c.launcher);
      if (c.unregister) check(c.name + ": regsvr32 /u", h.registerControl(false));
      page = await h.openSignPage(browser, pages.url("/sign.html"));
      check(c.name + ": the page says the control cannot be used", page.status.installed === "no" && c.text.test(page.status.text),
            page.status.text);
      for (const n of [1, 2]) {
        const r = await call(page, "Sign", p.text, p.cn, p.ou);
        check(c.name + ": call " + n + " is answered with " + c.code, r.error && r.error.code === c.code, JSON.stringify(r));
      }
      browser.useHost(hostLauncher);
      if (c.unregister) {
        check(c.name + ": regsvr32", h.registerControl(true));
        await page.goto(pages.url("/sign.html"));  // the host tried the control once: a new page, a new host
        await page.waitFor(() => window.qel, 30000);
      }
      const again = await call(page, "GetVersion");
      check(c.name + ": once it is back, the next call reaches the control", again.result === 1010, JSON.stringify(again));
      await page.close();
    }
  });

  await browser.close();
  pages.close();
}

// scenario.js's parameters, read here the same way the pages read them.
function BrowserScenarioParams() {
  const source = fs.readFileSync(path.join(__dirname, "scenario.js"), "utf8");
  return new Function(source + "\nreturn BrowserScenario.params;")();
}

main().catch((e) => {
  check("the test ran to its end", false, e.stack);
}).finally(() => {
  if (process.env.QEL_STARTED)
    console.log("browser_test: " + Math.round(Date.now() / 1000 - Number(process.env.QEL_STARTED)) + " s in all");
  console.log("browser_test: " + passed + " passed, " + failed + " failed");
  process.exit(failed ? 1 : 0);
});
