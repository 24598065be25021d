// AddLog as a page calls it, with and without the diagnostic tool running.
// Run by logstore_helper's with-temp, so that TMP is a private directory and
// QEL_LOG_HELPER names the helper that plays the tool and reads the log.
// Exits with the number of failed checks.
var passed = 0, failed = 0;
function ok(cond, what, got) {
    if (cond) { passed++; } else { failed++; WScript.Echo("FAIL: " + what + (arguments.length > 2 ? " (got " + got + ")" : "")); }
}
var sh = new ActiveXObject("WScript.Shell");
var fso = new ActiveXObject("Scripting.FileSystemObject");
var env = sh.Environment("PROCESS");
var helper = env("QEL_LOG_HELPER"), temp = env("TMP");
function quote(s) { return "\"" + s + "\""; }
function helperRun(args) { return sh.Run(quote(helper) + " " + args, 0, true); }
// 0 when the newest record of the log has this subject (as stored) and content.
function newest(subject, content) { return helperRun("check -1 " + quote(subject) + " " + quote(content)); }
function repeat(c, n) { var s = ""; while (n-- > 0) s += c; return s; }

var toolStarted = false;
try {
    var o = new ActiveXObject("QELCRYPT.QelCryptCtrl.1");
    ok(o.AddLog("subject", "content") === 0, "AddLog without the tool is 0");
    ok(!fso.FileExists(temp + "\\KvoLog.log"), "AddLog without the tool creates no file");

    // The tool's mutex, held by another process.
    toolStarted = true;
    ok(helperRun("tool-mutex-start " + quote(temp)) === 0, "the tool's mutex is up");

    var chinese = "\u9875\u9762\u65e5\u5fd7";  // 页面日志
    ok(o.AddLog(chinese, "page content " + chinese) === 1, "AddLog with the tool is 1");
    ok(newest(chinese, "page content " + chinese) === 0, "the record is in the log");
    ok(o.AddLog(repeat("a", 100), "long subject") === 1, "AddLog of a 100-byte subject is 1");
    ok(newest(repeat("a", 64), "long subject") === 0, "a 100-byte subject is stored as its first 64 bytes");
    // 63 bytes, then a character of two bytes: it does not fit and is dropped.
    ok(o.AddLog(repeat("b", 63) + "\u7b7e" + repeat("c", 35), "split") === 1, "AddLog with a straddling character");
    ok(newest(repeat("b", 63), "split") === 0, "a double-byte character is not split at byte 64");
    ok(o.AddLog("empty", "") === 1, "AddLog of an empty content is 1");
    ok(newest("empty", "") === 0, "an empty content reads back empty");

    toolStarted = false;
    ok(helperRun("tool-mutex-stop " + quote(temp)) === 0, "the tool's mutex is gone");
    ok(o.AddLog("after", "tool closed") === 0, "AddLog after the tool closed its mutex is 0");
    ok(newest("empty", "") === 0, "nothing was written after the tool closed");
} catch (e) {
    ok(false, "script error " + e.number + ": " + e.message);
}
if (toolStarted)
    helperRun("tool-mutex-stop " + quote(temp));

WScript.Echo(passed + " passed, " + failed + " failed");
WScript.Quit(failed);
