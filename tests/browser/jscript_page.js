// The browser test's calls from a JScript page through ActiveX, with the
// page library (web/qelcrypt.js) and its helper (web/qelhelper.js) as the
// page in Internet Explorer uses them:
//
//   cscript //nologo jscript_page.js scenario
//       runs BrowserScenario (scenario.js) and prints a line
//       "call <index> <method> <result as JSON>" for each call
//   cscript //nologo jscript_page.js bench VERSION_CALLS SIGN_CALLS ROUNDS TEXT
//       times rounds of VERSION_CALLS calls of GetVersion and of SIGN_CALLS
//       calls of Sign(TEXT, "Zhang San", "Dept A") on the ActiveX object
//       and prints "bench GetVersion <median microseconds per call>" and
//       "bench Sign <median microseconds per call>"
//
// Non-ASCII output as \uXXXX escapes, so the console's code page does not
// matter. Exit code 0 when the control was there and every call was made.
var fso = new ActiveXObject("Scripting.FileSystemObject");
var here = fso.GetParentFolderName(WScript.ScriptFullName);
function source(path) {
    return fso.OpenTextFile(fso.BuildPath(here, path), 1).ReadAll();
}
eval(source("..\\..\\web\\qelhelper.js"));
eval(source("..\\..\\web\\qelcrypt.js"));
eval(source("scenario.js"));

// A JSON text of a number, string or null, ASCII only.
function quote(v) {
    if (v === null || v === undefined) return "null";
    if (typeof v === "number") return String(v);
    var s = String(v), out = "\"";
    for (var i = 0; i < s.length; ++i) {
        var c = s.charCodeAt(i);
        if (c === 0x22 || c === 0x5c) out += "\\" + s.charAt(i);
        else if (c < 0x20 || c > 0x7e) out += "\\u" + ("000" + c.toString(16)).slice(-4);
        else out += s.charAt(i);
    }
    return out + "\"";
}

var args = WScript.Arguments;
var mode = args.length > 0 ? args(0) : "scenario";
var code = 1;

QelCrypt.connect().then(function (qel) {
    if (!qel.installed) {
        WScript.Echo("error the control is not installed: " + qel.reason);
        return null;
    }
    if (mode === "bench") {
        var ctrl = qel.control, p = BrowserScenario.params, text = args(4);
        var perCall = function (calls, f) {
            var times = [];
            for (var r = 0; r < parseInt(args(3), 10); ++r) {
                var start = new Date().getTime();
                for (var i = 0; i < calls; ++i) f();
                times.push((new Date().getTime() - start) * 1000 / calls);
            }
            times.sort(function (a, b) { return a - b; });
            return times[Math.floor(times.length / 2)];
        };
        if (ctrl.Sign(text, p.cn, p.ou) === "") {
            WScript.Echo("error the control does not sign with " + p.cn + " / " + p.ou);
            return null;
        }
        WScript.Echo("bench GetVersion " + perCall(parseInt(args(1), 10), function () { ctrl.GetVersion(); }));
        WScript.Echo("bench Sign " + perCall(parseInt(args(2), 10), function () { ctrl.Sign(text, p.cn, p.ou); }));
        code = 0;
        return null;
    }
    return qel.run(function (ctrl, once) {
        return BrowserScenario.run(ctrl, once(function (index, method, result) {
            WScript.Echo("call " + index + " " + method + " " + quote(result));
        }));
    }).then(function (calls) {
        WScript.Echo("calls " + calls);
        code = 0;
    });
})["catch"](function (e) {
    WScript.Echo("error " + (e.code || "") + " " + e.message);
});
WScript.Quit(code);
