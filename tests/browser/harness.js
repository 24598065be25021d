// What the browser test, the bridge benchmark and the demo's browser step
// share: the Wine machine with the control and the host (a prefix prepared
// by prepare.sh), the pages served on this machine, and Chromium with the
// extension and a host manifest in its profile.
//
// Settings from the environment (prepare.sh exports them; the first two are
// required):
//   QEL_WIN64      the x64 build tree (control, host, helpers)
//   QEL_WORK       this run's folder: wine/ (the prefix), profiles, logs
//   QEL_ROOT       the source tree (by default the one this file is in)
//   QEL_WINE_DIR   the prefix's folder when it is not WORK/wine
"use strict";

const { spawn, spawnSync } = require("child_process");
const fs = require("fs");
const http = require("http");
const https = require("https");
const path = require("path");
const { Browser, installHost, sleep } = require("./cdp.js");

const root = process.env.QEL_ROOT || path.resolve(__dirname, "../..");
if (!process.env.QEL_WIN64 || !process.env.QEL_WORK)
  throw new Error("QEL_WIN64 and QEL_WORK must name the x64 build tree and the run's folder (tests/browser/prepare.sh)");
const win64 = path.resolve(process.env.QEL_WIN64);
const work = path.resolve(process.env.QEL_WORK);
// The prefix's folder (cmake/wine-env's DIR): WORK/wine unless QEL_WINE_DIR names another.
const wineDir = process.env.QEL_WINE_DIR || path.join(work, "wine");
const extensionDir = path.join(root, "bridge/extension");
// The extension's ID, fixed by the public key in its manifest.
const EXTENSION_ID = "gkdabioihpphngojangeaafbokmephbp";

function winPath(p) {
  return "Z:" + path.resolve(p).replace(/\//g, "\\");
}

// Runs a Windows program in the prefix (64-bit builtin programs with
// `wine64`); {code, stdout, stderr}.
function wine(args, { wine64 = false, timeout = 120000, encoding = "utf8" } = {}) {
  const r = spawnSync(path.join(root, "cmake/wine-run"), [wineDir].concat(args), {
    env: Object.assign({}, process.env, wine64 ? { QEL_WINE64: "1" } : {}),
    timeout, encoding: "buffer", maxBuffer: 64 * 1024 * 1024,
  });
  const decode = (b) => (encoding === "gbk" ? new TextDecoder("gbk").decode(b || Buffer.alloc(0)) : String(b || ""));
  return { code: r.status === null ? -1 : r.status, stdout: decode(r.stdout), stderr: decode(r.stderr) };
}

// The same, in the background; a promise of {code, stdout}.
function wineAsync(args, { wine64 = false } = {}) {
  return new Promise((resolve) => {
    const child = spawn(path.join(root, "cmake/wine-run"), [wineDir].concat(args), {
      env: Object.assign({}, process.env, wine64 ? { QEL_WINE64: "1" } : {}),
      stdio: ["ignore", "pipe", "pipe"],
    });
    let out = "";
    child.stdout.on("data", (d) => { out += d; });
    child.stderr.on("data", (d) => { out += d; });
    child.on("exit", (code) => resolve({ code, stdout: out }));
  });
}

const hostExe = path.join(win64, "bridge/QelCryptHost.exe");
const kvodemo = path.join(win64, "demo/kvodemo.exe");
const logHelper = path.join(win64, "tests/diaglog/logstore_helper.exe");

// The user's temporary folder in the prefix, where the control keeps its log.
let tempDir = null;
function logFile() {
  if (!tempDir) {
    const r = wine(["cmd", "/c", "echo", "%TEMP%"], { wine64: true });
    const m = /^([A-Za-z]):\\(.*?)\s*$/m.exec(r.stdout);
    if (!m || m[1].toUpperCase() !== "C") throw new Error("no temporary folder in the prefix: " + r.stdout + r.stderr);
    tempDir = path.join(wineDir, "prefix/drive_c", m[2].replace(/\\/g, "/"));
  }
  return path.join(tempDir, "KvoLog.log");
}

const kvocheck = path.join(win64, "tool/KvoCheck.exe");

// KvoCheck running, as a user starts it to diagnose: its mutex switches the
// controls' logging on. True once its window shows.
function startKvoCheck() {
  const child = spawn(path.join(root, "cmake/wine-run"), [wineDir, kvocheck], { cwd: work, stdio: "ignore", detached: true });
  child.unref();
  return wine([kvodemo, "wait", "60000"]).code === 0;
}
function closeKvoCheck() {
  return wine([kvodemo, "close"]).code === 0;
}

// Registers the control (as the installer does) or removes its registration.
function registerControl(on) {
  const ocx = winPath(path.join(win64, "control/QELCRYPT.OCX"));
  return wine(["regsvr32", "/s"].concat(on ? [] : ["/u"], [ocx]), { wine64: true }).code === 0;
}

// Presses OK in the certificate selection dialog once it shows (SignMessage).
function confirmDialog(ms) {
  return wineAsync([kvodemo, "confirm", String(ms)]);
}

// The host's allow-list in the registry (64-bit view), as an administrator
// writes it; no origins: the value is deleted.
function setAllowList(origins) {
  const key = "HKLM\\SOFTWARE\\QelCrypt\\NativeHost";
  if (!origins.length) {
    wine(["reg", "delete", key, "/v", "AllowedOrigins", "/f"], { wine64: true });
    return true;
  }
  return wine(["reg", "add", key, "/v", "AllowedOrigins", "/t", "REG_MULTI_SZ", "/d", origins.join("\\0"), "/f"],
              { wine64: true }).code === 0;
}

// The calls of scenario.js from a JScript page through ActiveX (cscript).
// Lines "call INDEX METHOD JSON" become [{method, result}].
function jscriptPage(args) {
  const r = wine(["cscript", "//nologo", winPath(path.join(__dirname, "jscript_page.js"))].concat(args),
                 { wine64: true, timeout: 300000 });
  const calls = [];
  const values = {};
  for (const line of r.stdout.split(/\r?\n/)) {
    let m = /^call (\d+) (\w+) (.*)$/.exec(line);
    if (m) calls[Number(m[1])] = { method: m[2], result: JSON.parse(m[3]) };
    m = /^bench (\w+) ([\d.]+)$/.exec(line);
    if (m) values[m[1]] = Number(m[2]);
  }
  return { code: r.code, calls, values, output: r.stdout + r.stderr };
}

// Launchers for host manifests: the real host under Wine, or the stand-in.
function launcher(kind) {
  const file = path.join(work, "launchers", kind);
  fs.mkdirSync(path.dirname(file), { recursive: true });
  const display = fs.existsSync(path.join(wineDir, "display"))
    ? fs.readFileSync(path.join(wineDir, "display"), "utf8").trim() : process.env.DISPLAY || "";
  const body = kind === "host"
    ? ["export QEL_WINEPREFIX='" + path.join(wineDir, "prefix") + "'",
       "export QEL_HOST_EXE='" + hostExe + "'",
       "export DISPLAY='" + display + "'",
       "exec '" + path.join(root, "bridge/wine-host.sh") + "' \"$@\""]
    : ["exec '" + process.execPath + "' '" + path.join(__dirname, "mockhost.js") + "' " + kind + " \"$@\""];
  fs.writeFileSync(file, ["#!/bin/sh", "# Written by tests/browser/harness.js."].concat(body).join("\n") + "\n");
  fs.chmodSync(file, 0o755);
  return file;
}

// ---- the pages ----

const TYPES = { ".html": "text/html; charset=utf-8", ".js": "text/javascript; charset=utf-8", ".png": "image/png" };

// Serves samples/ at /, the page library web/ at /web/ (where sample pages'
// "../web/" leads, as in the source tree) and tests/browser/ at /tests/, GET only.
function handler(req, res) {
  const url = new URL(req.url, "http://page");
  let file = null;
  if (url.pathname.startsWith("/tests/")) file = path.join(__dirname, url.pathname.slice(7));
  else if (url.pathname.startsWith("/web/")) file = path.join(root, "web", url.pathname.slice(5));
  else file = path.join(root, "samples", url.pathname);
  const inside = [path.join(root, "samples"), path.join(root, "web"), __dirname].some((dir) => file.startsWith(dir + path.sep));
  if (req.method !== "GET" || !inside || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
    res.writeHead(404, { "content-type": "text/plain" });
    res.end("not found");
    return;
  }
  res.writeHead(200, { "content-type": TYPES[path.extname(file)] || "application/octet-stream", "cache-control": "no-store" });
  fs.createReadStream(file).pipe(res);
}

function listen(server, host) {
  return new Promise((resolve, reject) => {
    server.once("error", reject);
    server.listen(0, host, () => resolve(server.address().port));
  });
}

// A server on 127.0.0.1 (http) and one over TLS for the named test sites
// (the browser maps them to 127.0.0.1 and accepts the certificate made here).
async function servePages() {
  const plain = http.createServer(handler);
  const port = await listen(plain, "127.0.0.1");
  const certDir = path.join(work, "tls");
  fs.mkdirSync(certDir, { recursive: true });
  const key = path.join(certDir, "key.pem"), cert = path.join(certDir, "cert.pem");
  if (!fs.existsSync(cert)) {
    const r = spawnSync("openssl", ["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                                    "-days", "3650", "-subj", "/CN=bank.example",
                                    "-addext", "subjectAltName=DNS:bank.example,DNS:other.example"]);
    if (r.status !== 0) throw new Error("openssl could not make the test sites' certificate: " + r.stderr);
  }
  const tls = https.createServer({ key: fs.readFileSync(key), cert: fs.readFileSync(cert) }, handler);
  const tlsPort = await listen(tls, "127.0.0.1");
  return {
    port, tlsPort,
    url: (p) => "http://127.0.0.1:" + port + p,
    site: (name, p) => "https://" + name + ":" + tlsPort + p,
    close: () => { plain.close(); tls.close(); },
  };
}

// Chromium with the extension, test sites mapped to this machine; the host
// manifest in its profile names `host` (a launcher from launcher(), or none).
async function startBrowser(name, host) {
  const profile = path.join(work, "profiles", name);
  fs.rmSync(profile, { recursive: true, force: true });
  installHost(profile, host, EXTENSION_ID);
  const browser = await Browser.launch({
    userDataDir: profile, extensionDir, log: path.join(work, name + "-chromium.log"),
    extraFlags: ["--host-resolver-rules=MAP *.example 127.0.0.1", "--ignore-certificate-errors"],
  });
  browser.profile = profile;
  browser.useHost = (launcherFile) => installHost(profile, launcherFile, EXTENSION_ID);
  return browser;
}

// Loads sign.html in a new tab and waits until it has connected: the page
// status element's data attributes.
async function openSignPage(browser, url) {
  const page = await browser.newPage(url);
  const status = await page.waitFor(() => {
    const s = document.getElementById("status");
    return s && s.getAttribute("data-transport") &&
      { transport: s.getAttribute("data-transport"), installed: s.getAttribute("data-installed"), text: s.textContent };
  }, 60000);
  page.status = status || { transport: "", installed: "", text: "(the page did not connect)" };
  return page;
}

// Runs a form of sign.html like a user (the defaults, or `values`) and
// gives its result text.
async function runForm(page, method, values) {
  const started = await page.call((m, v) => {
    for (const f of document.forms) {
      const title = f.querySelector("h2");
      if (!title || !title.textContent.endsWith(" " + m)) continue;
      for (const k in v) f.elements[k].value = v[k];
      f.querySelector('input[type="submit"]').click();
      return true;
    }
    return false;
  }, method, values || {});
  if (!started) throw new Error("sign.html has no form for " + method);
  const text = await page.waitFor((m) => {
    for (const f of document.forms) {
      const title = f.querySelector("h2");
      if (!title || !title.textContent.endsWith(" " + m)) continue;
      const r = f.querySelector(".result");
      return r.textContent && !r.querySelector(".busy") ? r.textContent : "";
    }
    return "";
  }, 60000, method);
  if (text === undefined) throw new Error("the " + method + " form gave no result");
  return text;
}

// The value a form's result shows under its first line.
function shownValue(text) {
  const m = /\n  ([\s\S]*?)\n?$/.exec(text);
  return m ? m[1] : "";
}

module.exports = {
  root, win64, work, wineDir, extensionDir, EXTENSION_ID, hostExe, winPath, wine, wineAsync, logFile,
  startKvoCheck, closeKvoCheck, registerControl, confirmDialog, setAllowList, jscriptPage, launcher, servePages, startBrowser,
  openSignPage, runForm, shownValue, sleep,
};
