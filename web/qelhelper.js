// QelCrypt page helper: finding the control, telling whether it is installed,
// naming what each of its 32 methods returns, and the steps of a business page
// (fetch a certificate, sign, verify, encrypt, log). Plain ECMAScript 3, so
// every Internet Explorer and Windows Script Host runs it: samples/sign.html
// includes it with a <script> tag, samples/page.js (cscript) reads it in, and
// the browser test's scenario (tests/browser/scenario.js) calls through it.
var QelHelper = (function () {
    var CLSID = "93E15B7A-2C48-4F0D-8D67-41A9C3F0E85E";
    var PROGID = "QELCRYPT.QelCryptCtrl.1";
    var VERSION = 1010;

    function merge(a, b) {
        var r = {}, k;
        for (k in a) r[k] = a[k];
        for (k in b) r[k] = b[k];
        return r;
    }

    var verifyCodes = {
        0: "the signature is valid",
        1: "no data was given",
        2: "the data is empty",
        3: "the data holds a zero byte before its stated end",
        4: "no signature was given",
        5: "the certificate text is not a certificate",
        6: "the signature does not match the data and the certificate",
        7: "the certificate's public key cannot be imported",
        8: "the hash cannot be computed",
        9: "no verification provider is available"
    };
    var fileCodes = { 0: "done", 1: "failed (file, certificate or key)" };

    // The numeric results, by method.
    var codes = {
        GetVersion: { 1010: "version 1.0.1.0" },
        SignMessage: {
            0: "signed",
            1001: "no certificate was chosen",
            1003: "there is no data to sign",
            1010: "signing failed",
            1011: "the certificate's key (USB key) cannot be opened",
            1012: "the hash cannot be created",
            1013: "the data cannot be hashed",
            1014: "the key refused to sign"
        },
        SignMessageSW: { 1001: "not supported: always 1001, and the last signature is cleared" },
        InitCSP: { 0: "always 0: the provider follows the chosen certificate" },
        AddLog: { 0: "not logged: KvoCheck is not running", 1: "handed to the log: KvoCheck is running" },
        Verify: verifyCodes,
        VerifyFile: merge(verifyCodes, { 20: "the file cannot be opened" }),
        CryptFilePubKey: fileCodes,
        DecryptFilePriKey: fileCodes,
        EncryptFile: fileCodes,
        DecryptFile: { 1: "not supported: always 1" }
    };

    // What an empty text from a method means.
    var emptyTexts = {
        GetSignData: "no signature yet (SignMessage has not signed)",
        GetUserSignCert: "no certificate chosen yet",
        GetCspName: "no certificate chosen yet",
        GetCihperData: "always empty",
        GetPlainBuf: "always empty",
        GetUserEncCert: "always empty",
        Sign: "not signed: no such certificate, key missing, or signing refused",
        SignData: "not signed: no such certificate, bad length, key missing, or signing refused",
        SignFile: "not signed: file unreadable, no such certificate, or key missing",
        CryptPubKey: "not encrypted: no such certificate or key missing (or the text was empty)",
        DecryptPriKey: "not decrypted: no such certificate, key missing, or not its cipher text",
        GetCert: "no certificate with this CN and OU",
        GenertKey: "no key",
        Encrypt: "not encrypted",
        Decrypt: "not supported: always empty"
    };

    // Plain words for a method's result.
    function describe(method, result) {
        if (typeof result === "string") {
            if (result === "") return emptyTexts[method] || "empty";
            return result.length + " characters";
        }
        if (result === undefined || result === null) return "done";
        var table = codes[method];
        if (table && table[result] !== undefined) return table[result] + " (" + result + ")";
        if (method.match(/Len$/)) return result + " characters";
        return "code " + result;
    }

    // True when `result` is what the method gives on success.
    function succeeded(method, result) {
        if (typeof result === "string") return result !== "";
        if (method === "GetVersion") return result === VERSION;
        if (method === "AddLog") return result === 0 || result === 1;  // logged or not, both are normal
        return result === 0;
    }

    // The control of a page: the <object> element with id `id` in Internet
    // Explorer (null when the control is not installed), or a new instance by
    // ProgID in Windows Script Host.
    function find(doc, id) {
        if (doc) {
            var el = doc.getElementById(id || "qelcrypt");
            return el && el.object ? el : null;
        }
        try {
            return new ActiveXObject(PROGID);
        } catch (e) {
            return null;
        }
    }

    // The installed control's version (1010 for 1.0.1.0), or 0 when there is
    // no control.
    function installedVersion(ctrl) {
        if (!ctrl) return 0;
        try {
            return ctrl.GetVersion();
        } catch (e) {
            return 0;
        }
    }

    // Bytes of `text` in code page 936, which the control counts: one for
    // ASCII, two for Chinese characters.
    function ansiLength(text) {
        var n = 0;
        for (var i = 0; i < text.length; ++i) n += text.charCodeAt(i) < 0x80 ? 1 : 2;
        return n;
    }

    // Calls `method` with the arguments that follow, reports it through
    // `report(method, result, ok, text)` and returns the result.
    function call(ctrl, report, method) {
        var args = [];
        for (var i = 3; i < arguments.length; ++i) args.push(arguments[i]);
        var result;
        switch (args.length) {
        case 0: result = ctrl[method](); break;
        case 1: result = ctrl[method](args[0]); break;
        case 2: result = ctrl[method](args[0], args[1]); break;
        case 3: result = ctrl[method](args[0], args[1], args[2]); break;
        default: result = ctrl[method](args[0], args[1], args[2], args[3]); break;
        }
        report(method, result, succeeded(method, result), describe(method, result));
        return result;
    }

    // What a business page does, step by step. `p` names the signer (cn, ou),
    // the encryption certificate (encCn, encOu), the text to sign and the text
    // to encrypt; `report` sees every call. Returns the outputs, with
    // `failures` counting the steps whose result was not the expected one.
    function businessSteps(ctrl, p, report) {
        var out = { failures: 0 };
        function step(expectOk, method) {
            var outcome = null;
            var args = [ctrl, function (m, r, ok, text) {
                outcome = ok;
                report(m, r, ok === expectOk, text);
            }];
            for (var i = 1; i < arguments.length; ++i) args.push(arguments[i]);
            var r = call.apply(null, args);
            if (outcome !== expectOk) out.failures++;
            return r;
        }
        out.version = step(true, "GetVersion");
        out.cert = step(true, "GetCert", p.cn, p.ou);
        out.sign = step(true, "Sign", p.text, p.cn, p.ou);
        out.signCode = step(true, "SignMessage", p.text, ansiLength(p.text));
        out.signMessage = step(true, "GetSignData");
        out.signCert = step(true, "GetUserSignCert");
        out.csp = step(true, "GetCspName");
        step(true, "Verify", out.sign, p.text, out.cert);
        step(true, "Verify", out.signMessage, p.text, out.signCert);
        step(false, "Verify", out.sign, p.text + "!", out.cert);
        out.cipher = step(true, "CryptPubKey", p.secret, p.encCn, p.encOu);
        out.plain = step(true, "DecryptPriKey", out.cipher, p.encCn, p.encOu);
        if (out.plain !== p.secret) {
            out.failures++;
            report("DecryptPriKey", out.plain, false, "the decrypted text differs from the original");
        }
        out.desKey = step(true, "GenertKey");
        out.desCipher = step(true, "Encrypt", p.secret, out.desKey);
        out.logged = step(true, "AddLog", p.logSubject, p.logContent);
        return out;
    }

    return {
        CLSID: CLSID,
        PROGID: PROGID,
        VERSION: VERSION,
        codes: codes,
        describe: describe,
        succeeded: succeeded,
        find: find,
        installedVersion: installedVersion,
        ansiLength: ansiLength,
        call: call,
        businessSteps: businessSteps
    };
})();
