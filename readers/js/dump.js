#!/usr/bin/env node
// Prints a tile set as `mrqt dump FILE` prints it, byte for byte: the same JSON, the same
// messages on standard error, the same exit status. FILE "-" is standard input.
//
//   node dump.js FILE          the JSON
//   node dump.js --time FILE   one line "load_seconds S": the wall time of one load, reading included
//   node dump.js --batch       file names on standard input, one a line; for each, one record on
//                              standard output: "STATUS OUTLEN ERRLEN\n", then the OUTLEN bytes
//                              `dump.js FILE` writes on standard output and the ERRLEN bytes it
//                              writes on standard error ("-" has no standard input there)

import { readFileSync, readSync } from 'node:fs';
import { createHash } from 'node:crypto';
import { readTileSet, isUtf8, Status, TileSet } from './index.js';
import { loadTileSetSync, reasonOf } from './node.js';

const WINDOWS_1252 = '"windows-1252"';

// A JSON string as mrqt writes it: only '"', '\' and the control characters are escaped.
const SHORT_ESCAPES = { 8: '\\b', 9: '\\t', 10: '\\n', 12: '\\f', 13: '\\r', 34: '\\"', 92: '\\\\' };
const NEEDS_ESCAPE = /["\\\u0000-\u001f]/;

function jsonString(text) {
  if (!NEEDS_ESCAPE.test(text)) return '"' + text + '"';
  let out = '"';
  for (let i = 0; i < text.length; i++) {
    const c = text.charCodeAt(i);
    if (SHORT_ESCAPES[c] !== undefined) out += SHORT_ESCAPES[c];
    else if (c < 0x20) out += '\\u00' + (c < 16 ? '0' : '') + c.toString(16);
    else out += text[i];
  }
  return out + '"';
}

// `"key":"text"`, with `,"keyEncoding":"windows-1252"` when the bytes are not UTF-8. Tiles
// share their name bytes, so each distinct name is written once.
const textCache = new Map();
function textField(key, text, bytes) {
  let perKey = textCache.get(key);
  if (perKey === undefined) textCache.set(key, (perKey = new Map()));
  let field = perKey.get(bytes);
  if (field === undefined) {
    field = '"' + key + '":' + jsonString(text);
    if (!isUtf8(bytes)) field += ',"' + key + 'Encoding":' + WINDOWS_1252;
    perKey.set(bytes, field);
  }
  return field;
}

function sha256(bytes) {
  return createHash('sha256').update(bytes).digest('hex');
}

// Writes the document in blocks to write(text): a million tiles are a hundred megabytes of JSON.
class Output {
  constructor(write) {
    this.write = write;
    this.parts = [];
    this.size = 0;
  }

  add(text) {
    this.parts.push(text);
    this.size += text.length;
    if (this.size >= 1 << 20) this.flush();
  }

  flush() {
    if (this.parts.length) this.write(this.parts.join(''));
    this.parts = [];
    this.size = 0;
  }
}

function writeList(out, name, records, format, last) {
  out.add('  "' + name + '": [');
  for (let i = 0; i < records.length; i++) out.add((i === 0 ? '\n    ' : ',\n    ') + format(records[i]));
  out.add((records.length === 0 ? ']' : '\n  ]') + (last ? '\n' : ',\n'));
}

function writeDump(set, write) {
  textCache.clear();   // the byte arrays of the tile set before (--batch) are not this one's
  const out = new Output(write);
  out.add('{\n  "tileWidth": ' + set.tileWidth + ',\n  "tileHeight": ' + set.tileHeight + ',\n');
  writeList(out, 'materials', set.materials, (m) =>
    '{' + textField('name', m.name, m.nameBytes) + ',"color":' + m.color + ',"red":' + m.red + ',"green":' + m.green +
    ',"blue":' + m.blue + ',' + textField('description', m.description, m.descriptionBytes) + '}', false);
  writeList(out, 'textures', set.textures, (t) =>
    '{' + textField('name', t.name, t.nameBytes) + ',"size":' + t.size + ',"sha256":"' + sha256(t.bytes) + '"}', false);
  writeList(out, 'tiles', set.tiles, (t) =>
    '{"id":' + t.id + ',' + textField('texture', t.texture, t.textureBytes) + ',' +
    textField('material', t.material, t.materialBytes) + ',"layer":' + t.layer + ',"collision":' + t.collision + '}',
  true);
  out.add('}\n');
  out.flush();
}

// What mrqt calls the file in its messages.
function shown(path) {
  return path === '-' ? 'standard input' : path;
}

function load(path, standardInput) {
  if (path !== '-') return loadTileSetSync(path);
  let bytes;
  try {
    if (!standardInput) throw new Error('it holds the file names of --batch');
    bytes = readFileSync(0);
  } catch (error) {
    const set = new TileSet();
    set.status = Status.CANNOT_OPEN;
    set.message = 'cannot read standard input: ' + reasonOf(error);
    return set;
  }
  return readTileSet(bytes);
}

// What `mrqt dump PATH` does: the JSON to sink.out, the messages to sink.err; the exit status.
// With time, one line "load_seconds S" instead of the JSON. sink.standardInput: whether "-"
// has a standard input to read.
function dumpFile(path, time, sink) {
  const start = process.hrtime.bigint();
  const set = load(path, sink.standardInput);
  const seconds = Number(process.hrtime.bigint() - start) / 1e9;

  switch (set.status) {
    case Status.CANNOT_OPEN:
      sink.err('mrqt: ' + set.message + '\n');
      return 1;
    case Status.NOT_A_TILE_SET:
      sink.err('mrqt: ' + shown(path) + ': ' + set.message + '\n');
      return 1;
    case Status.TRUNCATED:
      if (!time) sink.err('mrqt: warning: ' + shown(path) + ': ' + set.message + '\n');
      break;
  }
  if (time) sink.out('load_seconds ' + seconds.toFixed(6) + '\n');
  else writeDump(set, sink.out);
  return 0;
}

class ReadError extends Error {
  constructor(cause) {
    super('mrqt: cannot read standard input: ' + reasonOf(cause) + '\n');
  }
}

// The lines of standard input as bytes, without their newlines, read as they come.
function* inputLines() {
  const buffer = Buffer.alloc(1 << 16);
  let pending = [];
  for (;;) {
    let size;
    try {
      size = readSync(0, buffer, 0, buffer.length, null);
    } catch (error) {
      if (error.code === 'EAGAIN') {   // a non-blocking pipe with nothing in it yet
        Atomics.wait(new Int32Array(new SharedArrayBuffer(4)), 0, 0, 5);
        continue;
      }
      if (error.code !== 'EOF') throw new ReadError(error);
      size = 0;
    }
    if (size === 0) break;
    const chunk = buffer.subarray(0, size);
    let at = 0;
    for (let end = chunk.indexOf(10, at); end !== -1; end = chunk.indexOf(10, at)) {
      pending.push(chunk.subarray(at, end));
      yield Buffer.concat(pending);
      pending = [];
      at = end + 1;
    }
    if (at < size) pending.push(Buffer.from(chunk.subarray(at)));
  }
  if (pending.length) yield Buffer.concat(pending);
}

// --batch: each line of standard input is a file name (UTF-8); each file's run is kept in
// memory and written as one record.
function batch() {
  try {
    for (const line of inputLines()) {
      const out = [];
      const err = [];
      const status = dumpFile(line.toString('utf8'), false, {
        out: (text) => out.push(Buffer.from(text, 'utf8')),
        err: (text) => err.push(Buffer.from(text, 'utf8')),
        standardInput: false,
      });
      const output = Buffer.concat(out);
      const errors = Buffer.concat(err);
      process.stdout.write(Buffer.concat([Buffer.from(`${status} ${output.length} ${errors.length}\n`), output, errors]));
    }
  } catch (error) {
    if (!(error instanceof ReadError)) throw error;
    process.stderr.write(error.message);
    return 1;
  }
  return 0;
}

function main(args) {
  if (args.length === 1 && args[0] === '--batch') return batch();
  const time = args[0] === '--time';
  if (time) args = args.slice(1);
  if (args.length !== 1) {
    process.stderr.write('Usage: dump-js [--time] FILE\n       dump-js --batch   (file names on standard input; one ' +
      'record each: STATUS OUTLEN ERRLEN,\n                         then the output and the messages of dump-js FILE)\n');
    return 2;
  }
  return dumpFile(args[0], time, {
    out: (text) => process.stdout.write(text),
    err: (text) => process.stderr.write(text),
    standardInput: true,
  });
}

// Standard output closed early (the reader of a pipe stopped): a message, not a stack trace.
process.stdout.on('error', () => {
  process.stderr.write('mrqt: cannot write the output\n');
  process.exit(1);
});
process.exitCode = main(process.argv.slice(2));
