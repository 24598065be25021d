// The calls that the browser test makes through the extension and host and,
// for comparison, from a JScript page through ActiveX (jscript_page.js):
// each of the 32 methods at least once, in a fixed order, with results that
// the control gives alike on every run except where `random` says. Plain
// ECMAScript 3 (cscript reads it too), non-ASCII as escapes. Needs QelHelper
// (web/qelhelper.js) loaded before run.
//
//   BrowserScenario.run(ctrl, report)   report(index, method, result, random)
//
// SignMessage shows the certificate selection dialog: the caller has it
// confirmed (kvodemo confirm).
//   BrowserScenario.params              the names and texts it uses
var BrowserScenario = (function () {
    var p = {
        cn: "Zhang San",
        ou: "Dept A",
        encCn: "\u674e\u56db",              // Li Si
        encOu: "\u6280\u672f\u90e8",        // Technology Dept.
        text: "\u8f6c\u8d26 100.00 \u5143 to Zhang San, order 2026-0042",  // "Transfer 100.00 yuan ..."
        secret: "\u5ba2\u6237\u8d26\u53f7 6222 0200 1234 5678",            // "Customer account ..."
        desKey: "k3Y8s2Q0a9Zx",
        logSubject: "\u6d4f\u89c8\u5668\u8bb0\u5f55",                      // "Browser record"
        logContent: "scenario: order 2026-0042 \u5df2\u7b7e\u540d",         // "... signed"
        missing: "C:\\qelcrypt-no-such-file.txt"
    };

    // The calls go through the page helper (web/qelhelper.js), which the page
    // (samples/sign.html) and the JScript page (jscript_page.js) load first.
    function run(ctrl, report) {
        var n = 0;
        function call(random, method) {
            var a = [ctrl, function () {}, method];
            for (var i = 2; i < arguments.length; ++i) a.push(arguments[i]);
            var r = QelHelper.call.apply(QelHelper, a);
            if (r === undefined) r = null;
            report(n++, method, r, random);
            return r;
        }
        var fixed = false, random = true;
        call(fixed, "GetVersion");
        call(fixed, "SetSignType", 0);
        var cert = call(fixed, "GetCert", p.cn, p.ou);
        var sig = call(fixed, "Sign", p.text, p.cn, p.ou);
        call(fixed, "Verify", sig, p.text, cert);
        call(fixed, "Verify", sig, p.text + "!", cert);
        call(fixed, "SignData", p.text, 9, p.cn, p.ou);
        call(fixed, "SetSignType", 1);
        var sha1 = call(fixed, "Sign", p.text, p.cn, p.ou);
        call(fixed, "Verify", sha1, p.text, cert);
        call(fixed, "SetSignType", 0);
        call(fixed, "Sign", p.text, "Nobody", "");
        var cipher = call(random, "CryptPubKey", p.secret, p.encCn, p.encOu);
        call(fixed, "DecryptPriKey", cipher, p.encCn, p.encOu);
        call(fixed, "DecryptPriKey", "AAAA", p.encCn, p.encOu);
        call(fixed, "Encrypt", p.secret, p.desKey);
        call(fixed, "Decrypt", "AAAA", p.desKey);
        call(random, "GenertKey");
        call(fixed, "SignMessage", p.text, QelHelper.ansiLength(p.text));  // with the selection dialog: someone presses OK
        call(fixed, "SignMessageSW", "session", p.text, 4);
        call(fixed, "GetSignData");
        call(fixed, "GetSignDataLen");
        call(fixed, "GetUserSignCert");
        call(fixed, "GetUserSignCertLen");
        call(fixed, "GetCihperData");
        call(fixed, "GetCihperDataLen");
        call(fixed, "GetPlainBuf");
        call(fixed, "GetPlainBufLen");
        call(fixed, "GetUserEncCert");
        call(fixed, "GetUserEncCertLen");
        call(fixed, "InitCSP", "M&W eKey XCSP");
        call(fixed, "GetCspName");
        call(fixed, "SignFile", p.missing, p.cn, p.ou);
        call(fixed, "VerifyFile", sig, p.missing, cert);
        call(fixed, "CryptFilePubKey", p.missing, p.encCn, p.encOu);
        call(fixed, "DecryptFilePriKey", p.missing, p.encCn, p.encOu);
        call(fixed, "EncryptFile", p.missing, p.desKey);
        call(fixed, "DecryptFile", p.missing, p.desKey);
        call(fixed, "AddLog", p.logSubject, p.logContent);
        return n;
    }

    return { params: p, run: run };
})();
