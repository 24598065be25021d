// Page-side smoke test of the control, as a browser script would call it.
// Run by cscript; exits with the number of failed checks.
var passed = 0, failed = 0;
function ok(cond, what, got) {
    if (cond) { passed++; } else { failed++; WScript.Echo("FAIL: " + what + (arguments.length > 2 ? " (got " + got + ")" : "")); }
}
function errorOf(f) {
    try { f(); } catch (e) { return e.number; }
    return 0;
}
var DISP_E_BADPARAMCOUNT = -2147352562;  // 0x8002000E
var DISP_E_TYPEMISMATCH = -2147352571;   // 0x80020005

var o = new ActiveXObject("QELCRYPT.QelCryptCtrl.1");
ok(o.GetVersion() == 1010, "GetVersion is 1010", o.GetVersion());
ok(o.GetSignData() === "", "GetSignData of a new instance is empty");
ok(o.GetSignDataLen() === 0, "GetSignDataLen of a new instance is 0");
ok(o.GetUserSignCert() === "", "GetUserSignCert of a new instance is empty");
ok(o.GetUserSignCertLen() === 0, "GetUserSignCertLen of a new instance is 0");
ok(o.GetCihperData() === "" && o.GetPlainBuf() === "" && o.GetUserEncCert() === "", "empty buffers");
ok(o.GetCihperDataLen() === 0 && o.GetPlainBufLen() === 0 && o.GetUserEncCertLen() === 0, "empty buffer lengths");
ok(o.GetCspName() === "", "GetCspName of a new instance is empty");

ok(o.InitCSP("anything") === 0, "InitCSP(\"anything\") is 0");
ok(o.InitCSP("") === 0, "InitCSP(\"\") is 0");
ok(o.InitCSP("\u4e2d\u6587\u5bc6\u7801\u8bbe\u5907") === 0, "InitCSP with a Chinese name is 0");
ok(o.GetCspName() === "", "InitCSP leaves GetCspName unchanged", o.GetCspName());

ok(o.SetSignType(2) === undefined, "SetSignType returns nothing");
ok(o.SignMessageSW("session", "text", 4) === 1001, "SignMessageSW is 1001");
ok(o.GetSignDataLen() === 0, "SignMessageSW leaves no signature");
ok(o.Decrypt("\u4e2d\u6587", "key") === "", "Decrypt answers an empty text");
ok(o.DecryptFile("C:\\nowhere.gse", "key") === 1, "DecryptFile answers 1");

ok(errorOf(function () { o.InitCSP(); }) == DISP_E_BADPARAMCOUNT, "a missing argument is a bad parameter count",
   errorOf(function () { o.InitCSP(); }));
ok(errorOf(function () { o.GetVersion(1); }) == DISP_E_BADPARAMCOUNT, "an extra argument is a bad parameter count");
ok(errorOf(function () { o.SetSignType("not a number"); }) == DISP_E_TYPEMISMATCH, "a text for a long is a type mismatch");

var byId = new ActiveXObject("QELCRYPT.QelCryptCtrl.1");
ok(byId.GetVersion() == 1010, "a second instance answers too");

WScript.Echo(passed + " passed, " + failed + " failed");
WScript.Quit(failed);
