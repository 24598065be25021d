// Every method of the control once or more, with valid arguments, as one
// bitness's control answers them; x86_smoke.sh runs it with the x64 and the
// x86 script host in one prefix and compares the two.
//
//   cscript //nologo calls.js /bits:x86 /dir:FOLDER [/peer:FOLDER]
//
// FOLDER holds doc.txt (the file the file methods work on). The script writes
// there results.txt, one line per call: "= NAME<TAB>VALUE" for a result both
// bitnesses must give alike, "~ NAME<TAB>VALUE" for one that differs by
// design (random padding, a random key), with non-ASCII text and line breaks
// as \u escapes; and the texts OpenSSL checks: plain.txt (code page 936),
// cert.pem, msgcert.pem and one .b64 file per signature. With /peer, the
// other bitness's cipher text and cipher file (from its FOLDER) are
// decrypted here: peer.txt is what came out of the file. Prints a FAILED line
// for every result that is not the documented one; exit code 0 when none is.
var fso = new ActiveXObject("Scripting.FileSystemObject");
var args = {};
for (var i = 0; i < WScript.Arguments.length; ++i) {
    var m = /^\/(\w+):(.*)$/.exec(WScript.Arguments.Item(i));
    if (m) args[m[1]] = m[2];
}
var dir = args.dir, bits = args.bits;
var cn = "Zhang San", ou = "Dept A";
var encCn = "\u674e\u56db", encOu = "\u6280\u672f\u90e8";             // Li Si, Technology Dept.
var text = "\u8f6c\u8d26 100.00 \u5143 to Zhang San, order 2026-0042";  // "Transfer 100.00 yuan ..."
var secret = "\u5ba2\u6237\u8d26\u53f7 6222 0200 1234 5678";            // "Customer account ..."
var desKey = "D19caw1Onw4=";
var doc = fso.BuildPath(dir, "doc.txt");

var lines = [], failures = 0;
function escaped(v) {
    return String(v).replace(/[^\x20-\x7e]|\\/g, function (c) {
        var h = c.charCodeAt(0).toString(16);
        return "\\u" + "0000".substr(h.length) + h;
    });
}
// Records a result; `expected` is a value, a test function, or undefined.
function rec(kind, name, value, expected) {
    lines.push(kind + " " + name + "\t" + escaped(value));
    var good = expected === undefined || (typeof expected === "function" ? expected(value) : value === expected);
    if (!good) {
        ++failures;
        WScript.Echo("FAILED " + bits + " " + name + ": " + escaped(value));
    }
    return value;
}
function b64(n) { return function (v) { return typeof v === "string" && v.length === n && /^[A-Za-z0-9+\/]+=*$/.test(v); }; }
function pem(v) { return /^-----BEGIN CERTIFICATE-----\r\n[\s\S]+-----END CERTIFICATE-----\r?\n?$/.test(v); }
function save(name, value, unicode) {
    var f = fso.CreateTextFile(fso.BuildPath(dir, name), true, !!unicode);
    f.Write(value);
    f.Close();
}
function ansiLength(s) {
    var n = 0;
    for (var k = 0; k < s.length; ++k) n += s.charCodeAt(k) < 0x80 ? 1 : 2;
    return n;
}
function readPeer(name) {
    var f = fso.OpenTextFile(fso.BuildPath(args.peer, name), 1);
    var v = f.ReadAll();
    f.Close();
    return v;
}

function main() {
    var o = new ActiveXObject("QELCRYPT.QelCryptCtrl.1");
    rec("=", "GetVersion", o.GetVersion(), 1010);
    rec("=", "InitCSP", o.InitCSP(""), 0);
    rec("=", "SetSignType(0)", o.SetSignType(0), undefined);

    // Certificates and signatures by name: deterministic (PKCS #1 v1.5).
    var cert = rec("=", "GetCert(sign)", o.GetCert(cn, ou), pem);
    rec("=", "GetCert(exchange)", o.GetCert(encCn, encOu), pem);
    var sig = rec("=", "Sign(MD5)", o.Sign(text, cn, ou), b64(172));
    var sigData = rec("=", "SignData", o.SignData(text, ansiLength(text), cn, ou), b64(172));
    var sigFile = rec("=", "SignFile", o.SignFile(doc, cn, ou), b64(172));
    rec("=", "Verify", o.Verify(sig, text, cert), 0);
    rec("=", "Verify(other text)", o.Verify(sig, text + ".", cert), 6);
    rec("=", "VerifyFile", o.VerifyFile(sigFile, doc, cert), 0);
    o.SetSignType(1);
    var sigSha1 = rec("=", "Sign(SHA-1)", o.Sign(text, cn, ou), b64(172));
    o.SetSignType(0);

    // The selection dialog (the test presses OK): the certificate shown
    // first depends on the store's order, so these are checked by OpenSSL.
    rec("=", "SignMessage", o.SignMessage(text, ansiLength(text)), 0);
    var msgSig = rec("~", "GetSignData", o.GetSignData(), b64(172));
    rec("=", "GetSignDataLen", o.GetSignDataLen(), 172);
    var msgCert = rec("~", "GetUserSignCert", o.GetUserSignCert(), pem);
    rec("~", "GetUserSignCertLen", o.GetUserSignCertLen(), msgCert.length);
    rec("~", "GetCspName", o.GetCspName(), function (v) { return v !== ""; });
    rec("=", "SignMessageSW", o.SignMessageSW("session", text, 4), 1001);
    rec("=", "GetSignData after SignMessageSW", o.GetSignData(), "");
    rec("=", "GetCihperData", o.GetCihperData() + "/" + o.GetCihperDataLen(), "/0");
    rec("=", "GetPlainBuf", o.GetPlainBuf() + "/" + o.GetPlainBufLen(), "/0");
    rec("=", "GetUserEncCert", o.GetUserEncCert() + "/" + o.GetUserEncCertLen(), "/0");

    // Encryption to the certificate's key: random padding, so each side
    // decrypts its own and the other side's cipher text and file.
    var cipher = rec("~", "CryptPubKey", o.CryptPubKey(secret, encCn, encOu), b64(172));
    rec("=", "DecryptPriKey(own)", o.DecryptPriKey(cipher, encCn, encOu), secret);
    rec("=", "CryptFilePubKey", o.CryptFilePubKey(doc, encCn, encOu), 0);
    fso.CopyFile(doc + ".gue", fso.BuildPath(dir, "own.txt.gue"), true);
    rec("=", "DecryptFilePriKey(own)", o.DecryptFilePriKey(fso.BuildPath(dir, "own.txt.gue"), encCn, encOu), 0);
    if (args.peer) {
        rec("=", "DecryptPriKey(peer)", o.DecryptPriKey(readPeer("cipher.b64"), encCn, encOu), secret);
        fso.CopyFile(fso.BuildPath(args.peer, "doc.txt.gue"), fso.BuildPath(dir, "peer.txt.gue"), true);
        rec("=", "DecryptFilePriKey(peer)", o.DecryptFilePriKey(fso.BuildPath(dir, "peer.txt.gue"), encCn, encOu), 0);
    }

    // DES: a fixed key gives the same cipher text on both sides.
    var key = rec("~", "GenertKey", o.GenertKey(), b64(12));
    rec("~", "Encrypt(new key)", o.Encrypt(secret, key), function (v) { return v !== ""; });
    rec("=", "Encrypt", o.Encrypt(secret, desKey), function (v) { return v !== ""; });
    rec("=", "Decrypt", o.Decrypt("W3ynFVYS59NXEipE22v0ZRbVtZUKCboK", desKey), "");
    rec("=", "EncryptFile", o.EncryptFile(doc, desKey), 0);
    rec("=", "DecryptFile", o.DecryptFile(doc + ".gse", desKey), 1);

    // KvoCheck runs: the record goes to its log.
    rec("=", "AddLog", o.AddLog("\u9875\u9762\u8bb0\u5f55 " + bits, "calls.js " + bits), 1);

    save("plain.txt", text);
    save("cert.pem", cert);
    save("msgcert.pem", msgCert);
    save("sign-md5.b64", sig);
    save("sign-sha1.b64", sigSha1);
    save("signdata.b64", sigData);
    save("signfile.b64", sigFile);
    save("signmessage.b64", msgSig);
    save("cipher.b64", cipher);
}

var code = 0;
try {
    main();
} catch (e) {
    WScript.Echo("FAILED " + bits + ": calls.js stopped: " + (e.message || e.description || e));
    code = 1;
}
save("results.txt", lines.join("\r\n") + "\r\n");
WScript.Echo(bits + ": " + lines.length + " results, " + failures + " not as documented");
WScript.Quit(failures || code ? 1 : 0);
