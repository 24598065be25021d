// The demo's browser step (scripts/demo): samples/sign.html in headless
// Chromium with the QelCrypt extension, the host running in the demo's Wine
// machine, used like a user: fetch the certificate, sign, verify, encrypt a
// Chinese text and decrypt it, each step printed; then a screenshot.
//
//   QEL_WORK=DIR QEL_WINE_DIR=PREFIXDIR QEL_WIN64=BUILD node demo_page.js SHOT.png
//
// Exit code 0 when every step gave the expected result.
"use strict";

const h = require("../tests/browser/harness.js");

const shot = process.argv[2];
const steps = [
  { method: "GetCert", expect: /^GetCert: \d+ characters/ },
  { method: "Sign", expect: /^Sign: 172 characters/ },
  { method: "Verify", expect: /^Verify: the signature is valid \(0\)/ },
  { method: "CryptPubKey", expect: /^CryptPubKey: \d+ characters/ },
  { method: "DecryptPriKey", expect: /^DecryptPriKey: \d+ characters/ },
];

async function main() {
  const pages = await h.servePages();
  const browser = await h.startBrowser("demo", h.launcher("host"));
  let failures = 0;
  try {
    const page = await h.openSignPage(browser, pages.url("/sign.html"));
    console.log("page: " + pages.url("/sign.html"));
    console.log("page: " + page.status.text);
    if (page.status.installed !== "yes") return 1;
    const secret = await page.call(() => {
      for (const f of document.forms) if (f.querySelector("h2").textContent.endsWith(" CryptPubKey")) return f.elements.str.value;
      return "";
    });
    let n = 0;
    for (const s of steps) {
      const text = await h.runForm(page, s.method);
      const value = h.shownValue(text);
      let ok = s.expect.test(text);
      if (s.method === "DecryptPriKey" && value !== secret) ok = false;
      if (!ok) failures++;
      const shown = value.length > 48 ? value.slice(0, 45).replace(/\r?\n/g, " ") + "..." : value;
      console.log(String(++n).padStart(2) + ". " + (ok ? "ok    " : "FAILED") + " " + text.split("\n")[0] +
                  (shown ? "  [" + shown + "]" : ""));
    }
    await page.screenshot(shot);
    console.log("screenshot: " + shot);
  } finally {
    await browser.close();
    pages.close();
  }
  console.log(failures ? failures + " step(s) failed." : "All " + steps.length + " steps in Chromium gave the expected result.");
  return failures ? 1 : 0;
}

main().then((code) => process.exit(code), (e) => {
  console.log("FAILED: " + e.message);
  process.exit(1);
});
