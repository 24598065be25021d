// QelCrypt extension, content script: the relay between a page and the
// service worker. The page and this script talk through window messages on
// the channel "qelcrypt-bridge":
//
//   page -> here   {channel, type: "hello"}
//                  {channel, type: "request", id, method, args}
//   here -> page   {channel, type: "ready", version}          (the answer to a hello)
//                  {channel, type: "reply", id, result}  or  {channel, type: "reply", id, error: {code, message}}
//
// The script runs at document_start, so it listens before any script of the
// page can send. Requests go to the service worker over one runtime port of
// this page; it adds the page's origin (as the browser reports it, never as
// the page says) and forwards them to the native host. When that port closes (the worker
// was stopped or the extension reloaded), every request still waiting is
// answered with an error and the next request opens a new port.
(function () {
  "use strict";

  const CHANNEL = "qelcrypt-bridge";
  const HOST_STOPPED = -32011;
  const INVALID_REQUEST = -32600;
  const VERSION = chrome.runtime.getManifest().version;

  let port = null;
  const waiting = new Map();  // page request id -> number of requests with it still unanswered

  function toPage(message) {
    message.channel = CHANNEL;
    window.postMessage(message, location.origin);
  }

  function answered(id) {
    const n = waiting.get(id) || 0;
    if (n <= 1) waiting.delete(id);
    else waiting.set(id, n - 1);
  }

  function connect() {
    port = chrome.runtime.connect({ name: CHANNEL });
    port.onMessage.addListener(function (reply) {
      if (!reply || reply.type !== "reply") return;
      answered(reply.id);
      toPage(reply);
    });
    port.onDisconnect.addListener(function () {
      port = null;
      const ids = Array.from(waiting.entries());
      waiting.clear();
      for (const [id, n] of ids)
        for (let i = 0; i < n; ++i)
          toPage({ type: "reply", id: id,
                   error: { code: HOST_STOPPED, message: "the QelCrypt extension's connection closed before the answer came" } });
    });
  }

  window.addEventListener("message", function (event) {
    if (event.source !== window) return;
    const data = event.data;
    if (!data || typeof data !== "object" || data.channel !== CHANNEL) return;
    if (data.type === "hello") {
      toPage({ type: "ready", version: VERSION });
      return;
    }
    if (data.type !== "request") return;
    // Only plain values travel on; the service worker checks them.
    const id = typeof data.id === "number" || typeof data.id === "string" ? data.id : null;
    const request = { id: id, method: data.method, args: data.args };
    waiting.set(id, (waiting.get(id) || 0) + 1);
    try {
      if (!port) connect();
      port.postMessage(request);
    } catch (e) {
      // The extension was reloaded or removed under this page (the next
      // request tries a new port), or the arguments are no JSON values.
      const gone = !port || /invalidated|disconnected/i.test(e.message);
      if (gone) port = null;
      answered(id);
      toPage({ type: "reply", id: id,
               error: { code: gone ? HOST_STOPPED : INVALID_REQUEST,
                        message: "the request could not be sent to the QelCrypt extension: " + e.message } });
    }
  });
})();
