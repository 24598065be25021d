// QelCrypt page library: the control's 32 methods for a page, whatever the
// browser.
//
//   QelCrypt.connect([options]).then(function (qel) {
//       qel.transport   "activex" (Internet Explorer, Edge's IE mode, Windows
//                       Script Host), "extension" (browsers with the QelCrypt
//                       extension) or "none"
//       qel.installed   true when the control answers through that transport
//       qel.version     the control's GetVersion (1010 for 1.0.1.0), 0 when not installed
//       qel.reason      why it is not installed (text), "" when it is
//       qel.Sign(str, cn, ou).then(function (signature) { ... }, function (error) { ... });
//   });
//
// Every one of the 32 methods takes the control's arguments and returns a
// promise of its result: a number, a text, or null for SetSignType. A
// promise is rejected (with an Error whose `code` says why) only when the
// call could not be made: no control or host, an origin the host refuses, a
// wrong argument count or type, the host stopped. What a result means is
// the control's business: web/qelhelper.js names every result.
//
// In Internet Explorer the library wraps the ActiveX object (the page's
// <object id="qelcrypt">, or a new one by ProgID); elsewhere it talks to the
// QelCrypt extension through window messages on the channel
// "qelcrypt-bridge", and the extension to the QelCrypt host, which runs the
// very same control. Plain ECMAScript 3 plus a small promise stand-in, so
// Internet Explorer 8 and Windows Script Host run it as well.
//
// Options: control (an ActiveX object to use), document and id (where the
// <object> is: document and "qelcrypt" by default), window, timeout (how
// long to wait for the extension to answer, ms, 1500 by default).
var QelCrypt = (function () {
    var CHANNEL = "qelcrypt-bridge";
    var PROGID = "QELCRYPT.QelCryptCtrl.1";

    // The dispatch interface's methods, by DISPID (1 to 32).
    var METHODS = [
        "GetVersion", "SignMessage", "SignMessageSW", "GetSignData", "GetSignDataLen", "GetUserSignCert",
        "GetUserSignCertLen", "GetCihperData", "GetCihperDataLen", "GetPlainBuf", "GetPlainBufLen",
        "GetUserEncCert", "GetUserEncCertLen", "InitCSP", "GetCspName", "AddLog", "Sign", "Verify", "SignFile",
        "SignData", "CryptPubKey", "CryptFilePubKey", "DecryptPriKey", "DecryptFilePriKey", "GenertKey", "GetCert",
        "Encrypt", "EncryptFile", "Decrypt", "DecryptFile", "SetSignType", "VerifyFile"
    ];

    // Error codes of rejected calls. The host's own (origin refused -32000,
    // unknown method -32601, wrong arguments -32602, control missing -32003,
    // ...) and the extension's (host not installed -32010, host stopped
    // -32011) come through unchanged.
    var ERRORS = {
        CALL_FAILED: -32603,      // the ActiveX call raised an error
        INVALID_ARGUMENTS: -32602,
        NOT_INSTALLED: -32010,
        HOST_STOPPED: -32011,
        NO_TRANSPORT: -32020      // neither ActiveX nor the extension in this browser
    };

    // ---- promises: the browser's own, or a small stand-in ----

    var queue = [], scheduled = false;

    function drain() {
        while (queue.length) queue.shift()();
        scheduled = false;
    }

    // Runs fn after the current call; without timers (Windows Script Host)
    // at the end of the outermost pending run.
    function later(fn) {
        queue.push(fn);
        if (scheduled) return;
        scheduled = true;
        if (typeof setTimeout !== "undefined") setTimeout(drain, 0);
        else drain();
    }

    function Shim(executor) {
        var self = this, done = false;
        this.state = 0;  // 0 pending, 1 fulfilled, 2 rejected
        this.value = undefined;
        this.waiting = [];
        try {
            executor(function (v) { if (!done) { done = true; resolveShim(self, v); } },
                     function (r) { if (!done) { done = true; settle(self, 2, r); } });
        } catch (e) {
            if (!done) { done = true; settle(self, 2, e); }
        }
    }

    function settle(p, state, value) {
        if (p.state) return;
        p.state = state;
        p.value = value;
        var waiting = p.waiting;
        p.waiting = [];
        for (var i = 0; i < waiting.length; ++i) notify(p, waiting[i]);
    }

    function resolveShim(p, v) {
        if (v === p) return settle(p, 2, new TypeError("a promise cannot wait for itself"));
        if (v && (typeof v === "object" || typeof v === "function")) {
            var then, called = false;
            try {
                then = v.then;
            } catch (e) {
                return settle(p, 2, e);
            }
            if (typeof then === "function") {
                try {
                    then.call(v, function (y) { if (!called) { called = true; resolveShim(p, y); } },
                                 function (r) { if (!called) { called = true; settle(p, 2, r); } });
                } catch (e2) {
                    if (!called) { called = true; settle(p, 2, e2); }
                }
                return;
            }
        }
        settle(p, 1, v);
    }

    function notify(p, h) {
        later(function () {
            var handler = p.state === 1 ? h.fulfilled : h.rejected;
            if (typeof handler !== "function") {
                if (p.state === 1) resolveShim(h.next, p.value);
                else settle(h.next, 2, p.value);
                return;
            }
            var r;
            try {
                r = handler(p.value);
            } catch (e) {
                return settle(h.next, 2, e);
            }
            resolveShim(h.next, r);
        });
    }

    Shim.prototype.then = function (fulfilled, rejected) {
        var h = { fulfilled: fulfilled, rejected: rejected, next: new Shim(function () {}) };
        if (this.state) notify(this, h);
        else this.waiting.push(h);
        return h.next;
    };
    Shim.prototype["catch"] = function (rejected) {
        return this.then(null, rejected);
    };

    var NativePromise = typeof Promise !== "undefined" ? Promise : null;

    function promise(executor) {
        return NativePromise ? new NativePromise(executor) : new Shim(executor);
    }

    function resolved(value) {
        return promise(function (resolve) { resolve(value); });
    }

    function failure(code, message) {
        var e = new Error(message);
        e.code = code;
        e.message = message;
        return e;
    }

    function rejected(code, message) {
        var e = failure(code, message);
        return promise(function (resolve, reject) { reject(e); });
    }

    function toArray(args, from) {
        var a = [];
        for (var i = from || 0; i < args.length; ++i) a.push(args[i]);
        return a;
    }

    // ---- transports: call(method, args) gives a promise of the result ----

    // The ActiveX object of Internet Explorer or Windows Script Host. Its
    // methods cannot be called through apply, hence the switch.
    function activexTransport(ctrl) {
        return function (method, a) {
            return promise(function (resolve, reject) {
                if (a.length > 4) {
                    reject(failure(ERRORS.INVALID_ARGUMENTS, method + " takes at most 4 arguments, got " + a.length));
                    return;
                }
                var r;
                try {
                    switch (a.length) {
                    case 0: r = ctrl[method](); break;
                    case 1: r = ctrl[method](a[0]); break;
                    case 2: r = ctrl[method](a[0], a[1]); break;
                    case 3: r = ctrl[method](a[0], a[1], a[2]); break;
                    default: r = ctrl[method](a[0], a[1], a[2], a[3]); break;
                    }
                } catch (e) {
                    reject(failure(ERRORS.CALL_FAILED, method + " failed: " + (e.message || e.description || e)));
                    return;
                }
                resolve(r === undefined ? null : r);
            });
        };
    }

    // The extension, through window messages. `ready` is called once it has
    // answered the hello.
    function extensionTransport(win) {
        var calls = {}, nextId = 1, onReady = null;
        var target = win.location && win.location.origin && win.location.origin !== "null" ? win.location.origin : "*";

        function post(message) {
            message.channel = CHANNEL;
            win.postMessage(message, target);
        }

        win.addEventListener("message", function (event) {
            var data = event.data;
            if (event.source !== win || !data || data.channel !== CHANNEL) return;
            if (data.type === "ready") {
                if (onReady) onReady(data.version);
                onReady = null;
                return;
            }
            if (data.type !== "reply" || !calls.hasOwnProperty(data.id)) return;
            var call = calls[data.id];
            delete calls[data.id];
            if (data.error) call.reject(failure(data.error.code, data.error.message));
            else call.resolve(data.result === undefined ? null : data.result);
        }, false);

        function transport(method, a) {
            return promise(function (resolve, reject) {
                var id = nextId++;
                calls[id] = { resolve: resolve, reject: reject };
                try {
                    post({ type: "request", id: id, method: method, args: a });
                } catch (e) {
                    // Arguments a window message cannot carry.
                    delete calls[id];
                    reject(failure(ERRORS.INVALID_ARGUMENTS, method + ": the arguments cannot be sent (" + e.message + ")"));
                }
            });
        }

        transport.hello = function (timeout) {
            return promise(function (resolve) {
                var timer = setTimeout(function () { onReady = null; resolve(null); }, timeout);
                onReady = function (version) { clearTimeout(timer); resolve(version || "?"); };
                post({ type: "hello" });
            });
        };
        return transport;
    }

    function noTransport(reason) {
        return function (method) {
            return rejected(ERRORS.NO_TRANSPORT, method + ": " + reason);
        };
    }

    // ---- the connection ----

    function Connection(transport, call) {
        this.transport = transport;
        this.installed = false;
        this.version = 0;
        this.reason = "";
        this.control = null;   // the ActiveX object, for code that needs it directly
        this.extension = "";   // the extension's version
        this.call = call;
        for (var i = 0; i < METHODS.length; ++i) this[METHODS[i]] = method(this, METHODS[i]);
    }

    function method(qel, name) {
        return function () {
            return qel.call(name, toArray(arguments));
        };
    }

    // Plain words for a result, through web/qelhelper.js when the page has it.
    Connection.prototype.describe = function (name, result) {
        return typeof QelHelper !== "undefined" ? QelHelper.describe(name, result) : String(result);
    };

    // Runs `body(ctrl, once)`, code written for the synchronous ActiveX
    // object (QelHelper.businessSteps, for one), against this connection;
    // the promise gives what body returns. With the ActiveX transport body
    // gets the object itself. Otherwise body runs again after each answer,
    // with every answer known so far given back in order, until it returns:
    // it must make the same calls in the same order every time and must not
    // catch what the object's methods throw. `once(fn)` wraps a callback so
    // that it sees each of its invocations once over all these runs. A
    // rejected call is thrown where the ActiveX object would have raised an
    // error, so it rejects the promise.
    Connection.prototype.run = function (body) {
        var self = this;
        if (this.control) {
            return promise(function (resolve) {
                resolve(body(self.control, function (fn) { return fn; }));
            });
        }
        var answers = [], seen = 0;
        var unanswered = {};  // thrown to leave body until the answer is in

        return promise(function (resolve, reject) {
            function attempt() {
                var made = 0, invoked = 0, need = null, ctrl = {};
                function replayed(name) {
                    return function () {
                        var k = made++;
                        if (k < answers.length) {
                            if (answers[k].error) throw answers[k].error;
                            return answers[k].result === null ? undefined : answers[k].result;
                        }
                        need = { name: name, args: toArray(arguments) };
                        throw unanswered;
                    };
                }
                function once(fn) {
                    return function () {
                        var k = invoked++;
                        if (k < seen) return undefined;
                        seen = k + 1;
                        return fn.apply(this, arguments);
                    };
                }
                for (var i = 0; i < METHODS.length; ++i) ctrl[METHODS[i]] = replayed(METHODS[i]);
                var out;
                try {
                    out = body(ctrl, once);
                } catch (e) {
                    if (e !== unanswered || !need) return reject(e);
                    self.call(need.name, need.args).then(function (r) {
                        answers.push({ result: r });
                        attempt();
                    }, function (err) {
                        answers.push({ error: err });
                        attempt();
                    });
                    return undefined;
                }
                resolve(out);
                return undefined;
            }
            attempt();
        });
    };

    function findControl(options) {
        if (options.control) return options.control;
        var doc = options.document || (typeof document !== "undefined" ? document : null);
        if (doc && doc.getElementById) {
            // The page's <object>: the control, or nothing when it is not installed.
            var el = doc.getElementById(options.id || "qelcrypt");
            if (el) return el.object ? el : null;
        }
        try {
            return new ActiveXObject(PROGID);
        } catch (e) {
            return null;
        }
    }

    function hasActiveX(win) {
        if (win) {
            try {
                return "ActiveXObject" in win;
            } catch (e) {
                return false;
            }
        }
        return typeof ActiveXObject !== "undefined";
    }

    // Asks the control's version through the connection: installed or not.
    function probe(qel) {
        return qel.GetVersion().then(function (version) {
            qel.installed = typeof version === "number" && version > 0;
            qel.version = qel.installed ? version : 0;
            if (!qel.installed) qel.reason = "the control answered GetVersion with " + version;
            return qel;
        }, function (error) {
            qel.installed = false;
            qel.reason = error.message;
            qel.error = error;
            return qel;
        });
    }

    function connect(options) {
        options = options || {};
        var win = options.window || (typeof window !== "undefined" ? window : null);
        var qel;
        if (options.control || hasActiveX(win)) {
            var ctrl = findControl(options);
            if (!ctrl) {
                qel = new Connection("activex", noTransport("the QelCrypt control is not installed"));
                qel.reason = "the QelCrypt control is not installed (" + PROGID + " cannot be created)";
                qel.error = failure(ERRORS.NOT_INSTALLED, qel.reason);
                return resolved(qel);
            }
            qel = new Connection("activex", activexTransport(ctrl));
            qel.control = ctrl;
            return probe(qel);
        }
        if (!win || !win.postMessage || !win.addEventListener) {
            qel = new Connection("none", noTransport("this browser has neither ActiveX nor window messages"));
            qel.reason = "this browser has neither ActiveX nor window messages";
            qel.error = failure(ERRORS.NO_TRANSPORT, qel.reason);
            return resolved(qel);
        }
        var transport = extensionTransport(win);
        return transport.hello(options.timeout || 1500).then(function (extension) {
            if (!extension) {
                var none = new Connection("none", noTransport("the QelCrypt extension is not installed"));
                none.reason = "the QelCrypt extension is not installed in this browser (or not enabled for this site)";
                none.error = failure(ERRORS.NO_TRANSPORT, none.reason);
                return none;
            }
            qel = new Connection("extension", transport);
            qel.extension = extension;
            return probe(qel);
        });
    }

    return {
        CHANNEL: CHANNEL,
        PROGID: PROGID,
        METHODS: METHODS,
        ERRORS: ERRORS,
        connect: connect,
        promise: promise
    };
})();
