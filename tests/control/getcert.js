// GetCert (DISPID 26) as a page script calls it, against the certificate
// fixtures. Run by cscript with one argument, a directory: the PEM texts
// received are written there as <name>.pem for the OpenSSL check that
// tests/cert/getcert_openssl.sh makes afterwards. Exits with the number of
// failed checks.
var passed = 0, failed = 0;
function ok(cond, what, got) {
    if (cond) { passed++; } else { failed++; WScript.Echo("FAIL: " + what + (arguments.length > 2 ? " (got " + got + ")" : "")); }
}
var fso = new ActiveXObject("Scripting.FileSystemObject");
var dir = WScript.Arguments(0);
function save(name, text) {
    var f = fso.CreateTextFile(fso.BuildPath(dir, name + ".pem"), true, false);
    f.Write(text);
    f.Close();
}
// PEM text as the control writes it: armour, Base64 lines of 64 characters,
// every line ended by CR LF.
function isPem(text) {
    var lines = text.split("\r\n");
    if (lines.length < 4 || lines[lines.length - 1] !== "") return false;
    if (lines[0] !== "-----BEGIN CERTIFICATE-----" || lines[lines.length - 2] !== "-----END CERTIFICATE-----") return false;
    for (var i = 1; i < lines.length - 2; i++) {
        var last = i == lines.length - 3;
        if (!/^[A-Za-z0-9+\/=]+$/.test(lines[i]) || (last ? lines[i].length > 64 : lines[i].length != 64)) return false;
    }
    return text.indexOf("\n") == text.indexOf("\r\n") + 1;
}

var o = new ActiveXObject("QELCRYPT.QelCryptCtrl.1");
var found = {
    "zhangsan-a": o.GetCert("Zhang San", "Dept A"),
    "zhangsan-b": o.GetCert("Zhang San", "Dept B"),
    "li-two-ou": o.GetCert("Li", "Unit A"),
    "chinese": o.GetCert("\u674e\u56db", "\u6280\u672f\u90e8"),   // 李四, 技术部
    "wangwu-no-ou": o.GetCert("Wang Wu", ""),
    "no-cn": o.GetCert("", "")
};
for (var name in found) {
    ok(isPem(found[name]), "GetCert for " + name + " is PEM text", found[name].substr(0, 80));
    save(name, found[name]);
}
ok(found["zhangsan-a"] != found["zhangsan-b"], "two OUs give two certificates");
var either = o.GetCert("Zhang San", "");
ok(either === found["zhangsan-a"] || either === found["zhangsan-b"], "an empty OU finds one of the two");

ok(o.GetCert("Nobody", "") === "", "an unknown name gives the empty string");
ok(o.GetCert("zhang san", "Dept B") === "", "the CN is compared with its case");
ok(o.GetCert("No Key", "") === "", "a certificate without key-provider property is not found");
ok(o.GetCert("Large Cert", "") === "", "a certificate whose PEM text exceeds 2,048 bytes is not found");
ok(o.GetCert("Li, Si", "") === "", "a CN holding a comma is not found");

ok(o.GetUserSignCert() === "" && o.GetSignData() === "" && o.GetCspName() === "", "GetCert changes no field");

WScript.Echo(passed + " passed, " + failed + " failed");
WScript.Quit(failed);
