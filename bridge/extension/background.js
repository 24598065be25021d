// QelCrypt extension, service worker: forwards the requests of pages (from
// content.js) to the native-messaging host "com.qelcrypt.host" and its
// replies back.
//
// One native port per tab, opened on the tab's first request and closed
// when the page that opened it goes away, so the control's state (the last
// SignMessage, SetSignType) belongs to one page. The host serves requests in
// order; each gets an id of this worker's own, so pages cannot answer for
// each other. The origin in every request is the sender's as the browser
// reports it; the host decides whether that origin may call.
//
// Every request is answered: when the host cannot be started, or stops,
// the requests waiting on it get an error ("not installed" when it never
// answered because it is missing), and the next request starts it again.
"use strict";

const HOST = "com.qelcrypt.host";
const CHANNEL = "qelcrypt-bridge";
// The host reads messages of at most 1 MiB and ends the connection after a
// larger one; those are refused here instead.
const MAX_MESSAGE_BYTES = 1024 * 1024;
const MAX_METHOD_LENGTH = 64;

const Errors = {
  INVALID_REQUEST: -32600,
  MESSAGE_TOO_LARGE: -32001,
  NOT_INSTALLED: -32010,
  HOST_STOPPED: -32011,
  NO_ORIGIN: -32012,
};

// Browser messages on a native port's end that mean the host is not there.
const MISSING = /not found|forbidden|failed to start|invalid native messaging host name/i;

const tabs = new Map();  // tab id -> Tab

class Tab {
  constructor(id) {
    this.id = id;
    this.native = null;
    this.owner = null;        // the page port whose page opened the native port
    this.pages = new Set();   // page ports of this tab
    this.pending = new Map(); // native request id -> {page, id}
    this.nextId = 1;
    this.replies = 0;         // replies the current native port gave
  }
}

function reply(page, id, body) {
  try {
    page.postMessage(Object.assign({ type: "reply", id: id }, body));
  } catch (e) {
    // The page went away meanwhile: nobody is left to answer.
  }
}

function fail(page, id, code, message) {
  reply(page, id, { error: { code: code, message: message } });
}

// The origin of the page that sent on `port`, as the browser knows it.
function senderOrigin(sender) {
  if (typeof sender.origin === "string" && sender.origin !== "null") return sender.origin;
  const url = sender.url || (sender.tab && sender.tab.url);
  try {
    const origin = new URL(url).origin;
    return origin === "null" ? "" : origin;
  } catch (e) {
    return "";
  }
}

function utf8Length(text) {
  return new TextEncoder().encode(text).length;
}

// Answers every request waiting on the tab's native port with an error.
function failPending(tab, code, message) {
  const pending = Array.from(tab.pending.values());
  tab.pending.clear();
  for (const p of pending) fail(p.page, p.id, code, message);
}

function closeNative(tab) {
  if (!tab.native) return;
  const native = tab.native;
  tab.native = null;
  tab.owner = null;
  native.disconnect();
}

function openNative(tab, page) {
  const native = chrome.runtime.connectNative(HOST);
  tab.native = native;
  tab.owner = page;
  tab.replies = 0;
  native.onMessage.addListener(function (message) {
    if (tab.native !== native) return;
    tab.replies++;
    onHostReply(tab, message);
  });
  native.onDisconnect.addListener(function () {
    const why = (chrome.runtime.lastError && chrome.runtime.lastError.message) || "the host closed the connection";
    if (tab.native !== native) return;
    tab.native = null;
    tab.owner = null;
    if (tab.replies === 0 && MISSING.test(why))
      failPending(tab, Errors.NOT_INSTALLED,
                  "QelCrypt is not installed: the QelCrypt host (" + HOST + ") is not registered with this browser (" +
                  why + ")");
    else
      failPending(tab, Errors.HOST_STOPPED, "the QelCrypt host stopped before it answered (" + why + ")");
  });
}

function onHostReply(tab, message) {
  if (!message || typeof message !== "object") return;
  // The host names the request it answers; a reply without a usable id
  // (a message it could not read) answers the oldest one.
  let key = message.id;
  if (!tab.pending.has(key)) key = tab.pending.keys().next().value;
  const p = tab.pending.get(key);
  if (!p) return;
  tab.pending.delete(key);
  if (message.error && typeof message.error === "object")
    fail(p.page, p.id, Number(message.error.code) || Errors.HOST_STOPPED, String(message.error.message || "error"));
  else
    reply(p.page, p.id, { result: message.result === undefined ? null : message.result });
}

function onPageRequest(tab, page, request) {
  const id = request && (typeof request.id === "number" || typeof request.id === "string") ? request.id : null;
  if (!request || typeof request !== "object")
    return fail(page, id, Errors.INVALID_REQUEST, "a request is an object with a method and its arguments");
  const method = request.method;
  if (typeof method !== "string" || method === "" || method.length > MAX_METHOD_LENGTH)
    return fail(page, id, Errors.INVALID_REQUEST, "the method must be a name of at most " + MAX_METHOD_LENGTH + " characters");
  const args = request.args === undefined || request.args === null ? [] : request.args;
  if (!Array.isArray(args))
    return fail(page, id, Errors.INVALID_REQUEST, "the arguments must be an array");
  const origin = senderOrigin(page.sender);
  if (!origin)
    return fail(page, id, Errors.NO_ORIGIN, "the page has no origin that QelCrypt could check");

  const nativeId = tab.nextId++;
  let message;
  try {
    message = JSON.stringify({ id: nativeId, origin: origin, method: method, args: args });
  } catch (e) {
    return fail(page, id, Errors.INVALID_REQUEST, "the arguments must be JSON values (" + e.message + ")");
  }
  if (utf8Length(message) > MAX_MESSAGE_BYTES)
    return fail(page, id, Errors.MESSAGE_TOO_LARGE,
                "the request is larger than the " + MAX_MESSAGE_BYTES + " bytes the QelCrypt host accepts");

  // A new page in the tab gets a host (and a control) of its own.
  if (tab.native && tab.owner !== page) {
    failPending(tab, Errors.HOST_STOPPED, "the page that started the QelCrypt host went away");
    closeNative(tab);
  }
  if (!tab.native) openNative(tab, page);
  tab.pending.set(nativeId, { page: page, id: id });
  try {
    tab.native.postMessage(JSON.parse(message));
  } catch (e) {
    tab.pending.delete(nativeId);
    closeNative(tab);
    fail(page, id, Errors.HOST_STOPPED, "the request could not be sent to the QelCrypt host: " + e.message);
  }
}

chrome.runtime.onConnect.addListener(function (page) {
  const sender = page.sender || {};
  if (page.name !== CHANNEL || !sender.tab || typeof sender.tab.id !== "number" || sender.id !== chrome.runtime.id) {
    page.disconnect();
    return;
  }
  const tabId = sender.tab.id;
  let tab = tabs.get(tabId);
  if (!tab) {
    tab = new Tab(tabId);
    tabs.set(tabId, tab);
  }
  tab.pages.add(page);
  page.onMessage.addListener(function (request) {
    try {
      onPageRequest(tab, page, request);
    } catch (e) {
      // Whatever went wrong, the page gets an answer.
      const id = request && (typeof request.id === "number" || typeof request.id === "string") ? request.id : null;
      fail(page, id, Errors.INVALID_REQUEST, "the QelCrypt extension could not handle the request (" + e.message + ")");
    }
  });
  page.onDisconnect.addListener(function () {
    tab.pages.delete(page);
    for (const [key, p] of Array.from(tab.pending.entries()))
      if (p.page === page) tab.pending.delete(key);
    if (tab.owner === page) closeNative(tab);
    if (tab.pages.size === 0 && !tab.native) tabs.delete(tabId);
  });
});
