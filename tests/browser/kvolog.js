// Reads KvoCheck's diagnostic log (KvoLog.log) on the build machine, with
// OpenSSL's AES through Node.js rather than the product's own code: a
// 48-byte file header (magic 0x8CA53903), a 4-byte record count, then per
// record a 64-byte subject, a 64-byte time, a 4-byte length and that many
// bytes of AES-128-ECB cipher text (key "7301946285017392", zero padding).
// Subjects and contents are code page 936 bytes, returned as Buffers
// without their trailing zeros.
"use strict";

const crypto = require("crypto");
const fs = require("fs");

const MAGIC = 0x8ca53903;
const KEY = Buffer.from("7301946285017392", "latin1");

function untilZero(buffer) {
  const end = buffer.indexOf(0);
  return end < 0 ? buffer : buffer.subarray(0, end);
}

// The records of the log at `file`: [{subject, time, content}] (Buffers and
// a string); [] when the file does not exist. Throws on a damaged file.
function readLog(file) {
  if (!fs.existsSync(file)) return [];
  const data = fs.readFileSync(file);
  if (data.length < 52 || data.readUInt32LE(0) !== MAGIC) throw new Error(file + ": not a diagnostic log");
  const count = data.readInt32LE(48);
  const records = [];
  let at = 52;
  for (let i = 0; i < count; ++i) {
    if (data.length - at < 132) throw new Error(file + ": record " + i + " of " + count + " is cut short");
    const length = data.readUInt32LE(at + 128);
    const cipher = data.subarray(at + 132, at + 132 + length);
    if (cipher.length !== length || length % 16 !== 0) throw new Error(file + ": record " + i + " has a bad length");
    const decipher = crypto.createDecipheriv("aes-128-ecb", KEY, null);
    decipher.setAutoPadding(false);
    const plain = Buffer.concat([decipher.update(cipher), decipher.final()]);
    records.push({
      subject: untilZero(data.subarray(at, at + 64)),
      time: untilZero(data.subarray(at + 64, at + 128)).toString("latin1"),
      content: untilZero(plain),
    });
    at += 132 + length;
  }
  return records;
}

// Code page 936 bytes as text, for messages.
function gbk(buffer) {
  return new TextDecoder("gbk").decode(buffer);
}

module.exports = { readLog, gbk };
