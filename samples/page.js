// A business page's script, run by Windows Script Host instead of a browser:
//
//   cscript //nologo page.js [/out:DIR]
//
// It does what samples/sign.html does in Internet Explorer, with the same
// helper (qelhelper.js: next to this script where the two are installed
// together, else web/ of the source tree): checks the control's
// version, fetches a certificate, signs with Sign and SignMessage (which shows
// the certificate selection dialog), verifies both signatures, encrypts and
// decrypts a Chinese text with the certificate's key, encrypts with a new DES
// key and adds a page record to the diagnostic log. Each step is printed with
// its result in plain words. With /out, the signed text (code page 936), the
// certificates and the signatures are written to DIR for an outside check.
// Exit code 0 when every step gave the expected result.
var fso = new ActiveXObject("Scripting.FileSystemObject");
var here = fso.GetParentFolderName(WScript.ScriptFullName);
var helper = fso.BuildPath(here, "qelhelper.js");
if (!fso.FileExists(helper)) helper = fso.BuildPath(fso.BuildPath(fso.GetParentFolderName(here), "web"), "qelhelper.js");
eval(fso.OpenTextFile(helper, 1).ReadAll());

// Non-ASCII text as escapes: this file is read in the system's code page.
var params = {
    cn: "Zhang San",
    ou: "Dept A",
    encCn: "\u674e\u56db",                    // Li Si
    encOu: "\u6280\u672f\u90e8",              // Technology Dept.
    text: "\u8f6c\u8d26 100.00 \u5143 to Zhang San, order 2026-0042",  // "Transfer 100.00 yuan ..."
    secret: "\u5ba2\u6237\u8d26\u53f7 6222 0200 1234 5678",           // "Customer account ..."
    logSubject: "\u9875\u9762\u8bb0\u5f55",  // "Page record"
    logContent: "page.js: order 2026-0042 signed and encrypted"
};

// Exit code 0: every step as expected; 1: a step was not (or the script
// stopped on an error); 2: no control.
function main() {
    var ctrl = QelHelper.find(null);
    var version = QelHelper.installedVersion(ctrl);
    if (!version) {
        WScript.Echo("The QelCrypt control is not installed (" + QelHelper.PROGID + " cannot be created).");
        return 2;
    }

    var n = 0;
    function report(method, result, ok, text) {
        ++n;
        var shown = typeof result === "string" && result.length > 48 ? result.substr(0, 45) + "..." : result;
        WScript.Echo((n < 10 ? " " : "") + n + ". " + (ok ? "ok    " : "FAILED") + " " + method + ": " + text +
                     (typeof result === "string" && result !== "" ? "  [" + shown.replace(/\r\n/g, " ") + "]" : ""));
    }

    var out = QelHelper.businessSteps(ctrl, params, report);

    // /out:DIR, read by hand: not every script host offers Arguments.Named.
    var dir = "";
    for (var i = 0; i < WScript.Arguments.length; ++i) {
        var arg = WScript.Arguments.Item(i);
        if (arg.substr(0, 5).toLowerCase() === "/out:") dir = arg.substr(5);
    }
    if (dir) {
        if (!fso.FolderExists(dir)) fso.CreateFolder(dir);
        var files = {
            "plain.txt": params.text,
            "cert.pem": out.cert,
            "sign.b64": out.sign,
            "signmessage-cert.pem": out.signCert,
            "signmessage.b64": out.signMessage
        };
        for (var name in files) {
            var f = fso.CreateTextFile(fso.BuildPath(dir, name), true, false);  // ANSI: code page 936
            f.Write(files[name]);
            f.Close();
        }
    }

    WScript.Echo(out.failures ? out.failures + " step(s) failed." : "All " + n + " steps gave the expected result.");
    return out.failures ? 1 : 0;
}

var code;
try {
    code = main();
} catch (e) {
    WScript.Echo("page.js stopped: " + (e.message || e.description || e));
    code = 1;
}
WScript.Quit(code);
