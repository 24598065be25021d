// Round trips of GetVersion and of Sign over 1 KiB from a page in headless
// Chromium, page -> extension -> QelCryptHost.exe (under Wine) -> control,
// against the same calls from a JScript page on the ActiveX object (cscript),
// in one run; also the host's start-up (a new page's first call) and the
// same page -> extension path to a stand-in host in Node.js (what the
// browser and the extension add by themselves). The two sides take turns,
// one round each, so that the load of the machine weighs on both alike; a
// JScript round is a cscript process of its own that signs once before it
// is timed, as the page has before its rounds. Run by bench/browser_bench.sh.
//
//   node bench/browser_bench.js ROUNDS
"use strict";

const os = require("os");
const h = require("../tests/browser/harness.js");

const rounds = Math.max(1, Number(process.argv[2]) || 11);
const VERSION_CALLS = 200, SIGN_CALLS = 10;
const JSCRIPT_VERSION_CALLS = 20000;  // in-process calls take microseconds
const TEXT = "0123456789abcdef".repeat(64);  // 1 KiB
const CN = "Zhang San", OU = "Dept A";

function median(values) {
  const v = values.slice().sort((a, b) => a - b);
  return v[Math.floor(v.length / 2)];
}

function ms(us) {
  return us < 100 ? us.toFixed(1) + " us" : (us / 1000).toFixed(2) + " ms";
}

// One round of calls in the page: microseconds per call.
function pageRound(page, method, args, calls) {
  return page.call(async (m, a, n) => {
    const start = performance.now();
    for (let i = 0; i < n; ++i) await window.qel[m](...a);
    return (performance.now() - start) * 1000 / n;
  }, method, args, calls);
}

// One round of the JScript page: {GetVersion, Sign} microseconds per call.
function jscriptRound() {
  const js = h.jscriptPage(["bench", String(JSCRIPT_VERSION_CALLS), String(SIGN_CALLS), "1", TEXT]);
  if (js.code !== 0 || js.values.Sign === undefined) throw new Error("the JScript page failed:\n" + js.output);
  return js.values;
}

// A new page and its connection; the microseconds QelCrypt.connect() took
// (the extension's hello and the first GetVersion, which starts the host).
async function connectedPage(browser, url) {
  const page = await browser.newPage(url);
  const r = await page.call(async () => {
    const start = performance.now();
    window.qel = await QelCrypt.connect();
    return { us: (performance.now() - start) * 1000, installed: window.qel.installed, reason: window.qel.reason };
  });
  if (!r.installed) throw new Error("the page did not reach the control: " + r.reason);
  page.connectUs = r.us;
  return page;
}

async function main() {
  const pages = await h.servePages();
  const url = pages.url("/tests/bench.html");
  const browser = await h.startBrowser("bench", h.launcher("host"));
  const starts = [];
  let page = null;
  for (let k = 0; k < rounds; ++k) {
    if (page) await page.close();
    page = await connectedPage(browser, url);
    starts.push(page.connectUs);
  }
  const signed = await page.call((t, cn, ou) => window.qel.Sign(t, cn, ou), TEXT, CN, OU);
  if (typeof signed !== "string" || signed.length !== 172) throw new Error("the page did not sign: " + signed);
  const times = { bridge: { GetVersion: [], Sign: [] }, js: { GetVersion: [], Sign: [] } };
  for (let k = 0; k < rounds; ++k) {
    const js = jscriptRound();
    times.js.GetVersion.push(js.GetVersion);
    times.js.Sign.push(js.Sign);
    times.bridge.GetVersion.push(await pageRound(page, "GetVersion", [], VERSION_CALLS));
    times.bridge.Sign.push(await pageRound(page, "Sign", [TEXT, CN, OU], SIGN_CALLS));
  }
  const bridge = { GetVersion: median(times.bridge.GetVersion), Sign: median(times.bridge.Sign) };
  const jscript = { GetVersion: median(times.js.GetVersion), Sign: median(times.js.Sign) };
  const least = {
    bridge: { GetVersion: Math.min(...times.bridge.GetVersion), Sign: Math.min(...times.bridge.Sign) },
    jscript: { GetVersion: Math.min(...times.js.GetVersion), Sign: Math.min(...times.js.Sign) },
  };
  await page.close();

  // The browser and the extension alone: a stand-in host that answers at once.
  browser.useHost(h.launcher("answer"));
  page = await connectedPage(browser, url);
  const extensionOnly = { GetVersion: [], Sign: [] };
  for (let k = 0; k < rounds; ++k) {
    extensionOnly.GetVersion.push(await pageRound(page, "GetVersion", [], VERSION_CALLS));
    extensionOnly.Sign.push(await pageRound(page, "Sign", [TEXT, CN, OU], VERSION_CALLS));
  }
  await page.close();
  await browser.close();
  pages.close();

  console.log("browser_bench: " + rounds + " rounds taken in turns; medians per call; Sign over " + TEXT.length +
              " bytes with Zhang San / Dept A (MD5)");
  console.log("  host start-up (a new page's connect: hello + first GetVersion): " + ms(median(starts)) +
              " (min " + ms(Math.min(...starts)) + ", max " + ms(Math.max(...starts)) + ")");
  for (const m of ["GetVersion", "Sign"]) {
    console.log("  " + m + ": page -> extension -> host " + ms(bridge[m]) + " (fastest round " + ms(least.bridge[m]) +
                "), JScript -> ActiveX " + ms(jscript[m]) + " (fastest round " + ms(least.jscript[m]) + ")");
    console.log("  " + m + ": ratio " + (bridge[m] / jscript[m]).toFixed(2) + "x, of the fastest rounds " +
                (least.bridge[m] / least.jscript[m]).toFixed(2) + "x" + (m === "Sign" ? " (target <= 1.5x)" : ""));
  }
  console.log("  page -> extension -> stand-in host (Node.js), what the browser and the extension take by themselves: " +
              "GetVersion " + ms(median(extensionOnly.GetVersion)) + ", Sign's 1 KiB request " + ms(median(extensionOnly.Sign)));
  console.log("  load average of the machine (" + os.cpus().length + " cores) at the end: " +
              os.loadavg().map((l) => l.toFixed(2)).join(" "));
}

main().catch((e) => {
  console.error("browser_bench: " + e.message);
  process.exit(1);
});
