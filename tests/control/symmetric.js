// The control's DES methods as a page script calls them, by name.
// Run by cscript; exits with the number of failed checks.
var passed = 0, failed = 0;
function ok(cond, what, got) {
    if (cond) { passed++; } else { failed++; WScript.Echo("FAIL: " + what + (arguments.length > 2 ? " (got " + got + ")" : "")); }
}
function second() { return Math.floor(new Date().getTime() / 1000); }

var o = new ActiveXObject("QELCRYPT.QelCryptCtrl.1");

// GenertKey: 12 characters ending in "=", the same key within one second.
var same = false, key = "";
for (var attempt = 0; attempt < 5 && !same; attempt++) {
    var t = second();
    key = o.GenertKey();
    var again = o.GenertKey();
    if (second() == t) { same = true; ok(again === key, "two keys within one second are equal", key + " " + again); }
}
ok(same, "two GenertKey calls within one second");
ok(key.length == 12 && key.charAt(11) == "=", "GenertKey gives 12 characters ending in =", key);

// Encrypt: one block for up to 7 bytes, two for 8.
ok(o.Encrypt("", key).length == 12, "Encrypt of an empty text has 12 characters");
ok(o.Encrypt("1234567", key).length == 12, "Encrypt of 7 bytes has 12 characters");
ok(o.Encrypt("12345678", key).length == 24, "Encrypt of 8 bytes has 24 characters");
ok(o.Encrypt("", "") == "fkIoInc2ZsA=", "the empty key text is the all-zero key", o.Encrypt("", ""));
// OpenSSL DES-ECB with PKCS #5 padding of the CP936 bytes of the text, with
// the first 8 of the 20 key bytes.
var chinese = "DES\u52a0\u5bc6\u6d4b\u8bd5\uff1a\u4e2d\u6587\u6587\u672c";
var cipher = o.Encrypt(chinese, "ZDjIZsmCvljMdYWsMpfKwGb/5g==");
ok(cipher == "dpl0i5GBCCdDj8c5sl1wHfX6ojilx7Wy", "Encrypt of a Chinese text", cipher);
ok(o.Encrypt(chinese, "ZDjIZsmCvlg=") == cipher, "key bytes after the 8th are ignored");

// EncryptFile on a file with a Chinese name; Decrypt and DecryptFile do nothing.
var fso = new ActiveXObject("Scripting.FileSystemObject");
var path = fso.BuildPath(fso.GetSpecialFolder(2).Path, "\u52a0\u5bc6" + second() + ".txt");
var f = fso.CreateTextFile(path, true, false);
f.Write("abcdefghij");
f.Close();
ok(o.EncryptFile(path, key) === 0, "EncryptFile of an existing file is 0");
ok(fso.FileExists(path + ".gse") && fso.GetFile(path + ".gse").Size == 16, "the .gse file holds two blocks");
ok(o.EncryptFile(path + ".missing", key) === 1, "EncryptFile of a missing file is 1");
ok(!fso.FileExists(path + ".missing.gse"), "no .gse file for a missing file");
ok(o.Decrypt(cipher, "ZDjIZsmCvlg=") === "", "Decrypt answers an empty text");
ok(o.DecryptFile(path + ".gse", key) === 1, "DecryptFile answers 1");
ok(!fso.FileExists(path + ".gse.gse") && fso.GetFile(path).Size == 10, "DecryptFile changes no file");
fso.DeleteFile(path);
fso.DeleteFile(path + ".gse");

WScript.Echo(passed + " passed, " + failed + " failed");
WScript.Quit(failed);
