// The ActiveX side of bench/host_bench: GetVersion and Sign over 1 KiB
// called by name from a page script, as Internet Explorer's pages call the
// control. Run by host_bench.exe under cscript:
//   cscript //nologo host_bench.js GETVERSION_CALLS SIGN_CALLS ROUNDS
// Prints one line: the median microseconds per call of GetVersion and of Sign
// over the rounds.
var args = WScript.Arguments;
var versionCalls = parseInt(args(0), 10), signCalls = parseInt(args(1), 10), rounds = parseInt(args(2), 10);
var o = new ActiveXObject("QELCRYPT.QelCryptCtrl.1");
var text = "";
while (text.length < 1024) text += "0123456789abcdef";

function median(values) {
    values.sort(function (a, b) { return a - b; });
    return values[Math.floor(values.length / 2)];
}
function perCall(calls, f) {
    var times = [];
    for (var r = 0; r < rounds; r++) {
        var start = new Date().getTime();
        for (var i = 0; i < calls; i++) f();
        times.push((new Date().getTime() - start) * 1000 / calls);
    }
    return median(times);
}

if (o.GetVersion() != 1010 || o.Sign(text, "Zhang San", "Dept A") == "") {
    WScript.Echo("host_bench.js: the control does not sign with the fixture certificate Zhang San / Dept A");
    WScript.Quit(1);
}
var version = perCall(versionCalls, function () { o.GetVersion(); });
var sign = perCall(signCalls, function () { o.Sign(text, "Zhang San", "Dept A"); });
WScript.Echo(version + " " + sign);
