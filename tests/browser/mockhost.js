#!/usr/bin/env node
// A stand-in for QelCryptHost.exe that speaks native messaging (4-byte
// little-endian length, UTF-8 JSON) for the browser tests of the extension's
// own failure handling:
//
//   mockhost.js answer   answers GetVersion with 1010 and every other call
//                        with {method, origin, args} echoed as its result
//   mockhost.js crash    exits with code 3 as soon as a request arrives,
//                        without answering it
//
// Browsers pass the caller's origin (chrome-extension://ID/) as an argument;
// the mode is the first argument that is one of the above.
"use strict";

const mode = process.argv.slice(2).find((a) => a === "answer" || a === "crash") || "answer";
let buffered = Buffer.alloc(0);

function send(message) {
  const body = Buffer.from(JSON.stringify(message), "utf8");
  const length = Buffer.alloc(4);
  length.writeUInt32LE(body.length, 0);
  process.stdout.write(Buffer.concat([length, body]));
}

function handle(request) {
  if (mode === "crash") process.exit(3);
  if (request.method === "GetVersion") send({ id: request.id, result: 1010 });
  else send({ id: request.id, result: { method: request.method, origin: request.origin, args: request.args } });
}

process.stdin.on("data", (chunk) => {
  buffered = Buffer.concat([buffered, chunk]);
  while (buffered.length >= 4) {
    const n = buffered.readUInt32LE(0);
    if (buffered.length < 4 + n) break;
    const body = buffered.subarray(4, 4 + n).toString("utf8");
    buffered = buffered.subarray(4 + n);
    handle(JSON.parse(body));
  }
});
process.stdin.on("end", () => process.exit(0));
