// Reading files in Node, and the dump program: what `mrqt dump` prints, byte for byte, for
// good, damaged and unreadable files.

import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { existsSync, mkdtempSync, writeFileSync, readdirSync, readFileSync, statSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { loadTileSet, loadTileSetSync } from '../node.js';
import { readTileSet, Status } from '../index.js';
import { FileWriter, workedExample, smallSet } from './files.js';

const dumpProgram = fileURLToPath(new URL('../dump.js', import.meta.url));
const folder = mkdtempSync(join(tmpdir(), 'marquetor-js-'));

function file(name, bytes) {
  const path = join(folder, name);
  writeFileSync(path, bytes);
  return path;
}

function dump(...args) {
  const run = spawnSync(process.execPath, [dumpProgram, ...args], { encoding: 'utf8' });
  return { status: run.status, out: run.stdout, err: run.stderr };
}

test('files are read, or say why not', async () => {
  const good = file('good.mrqt', workedExample());
  for (const set of [loadTileSetSync(good), await loadTileSet(good)]) {
    assert.equal(set.status, Status.OK);
    assert.equal(set.tiles[0].id, 7);
  }
  const missing = join(folder, 'missing.mrqt');
  for (const set of [loadTileSetSync(missing), await loadTileSet(missing)]) {
    assert.equal(set.status, Status.CANNOT_OPEN);
    assert.equal(set.message, `cannot open "${missing}": No such file or directory`);
    assert.equal(set.loaded, false);
  }
  assert.equal(loadTileSetSync(folder).message, `cannot open "${folder}": it is a folder`);
  assert.equal((await loadTileSet(folder)).status, Status.CANNOT_OPEN);
  assert.equal(loadTileSetSync('').message, 'cannot open "": no file name given');
});

test('the dump of a whole file', () => {
  const out = dump(file('example.mrqt', workedExample()));
  assert.deepEqual(out, {
    status: 0,
    err: '',
    out: '{\n' +
      '  "tileWidth": 64,\n' +
      '  "tileHeight": 32,\n' +
      '  "materials": [\n' +
      '    {"name":"A","color":33023,"red":255,"green":128,"blue":0,"description":""}\n' +
      '  ],\n' +
      '  "textures": [],\n' +
      '  "tiles": [\n' +
      '    {"id":7,"texture":"T","material":"A","layer":3,"collision":1}\n' +
      '  ]\n' +
      '}\n',
  });
});

test('the dump escapes texts, marks Windows-1252 ones and hashes texture bytes', () => {
  const path = file('texts.mrqt', new FileWriter().header().i32(-1).i32(0x7fffffff)
    .i32(2).material('a\tb"c\\\x01\x1f\x7f', -1, [0x80]).material([0xc3, 0xa4], 0x010203, '\b\f')
    .i32(2).texture('abc', bytesOf('abc')).texture([0xe4], [])
    .i32(1).tile(-2147483648, [0xe4], 'a\tb"c\\\x01\x1f\x7f', -32768, 32767).done());
  const out = dump(path);
  assert.equal(out.status, 0);
  assert.equal(out.err, '');
  assert.equal(out.out, '{\n' +
    '  "tileWidth": -1,\n' +
    '  "tileHeight": 2147483647,\n' +
    '  "materials": [\n' +
    '    {"name":"a\\tb\\"c\\\\\\u0001\\u001f\x7f","color":-1,"red":255,"green":255,"blue":255,' +
    '"description":"\u20ac","descriptionEncoding":"windows-1252"},\n' +
    '    {"name":"\u00e4","color":66051,"red":3,"green":2,"blue":1,"description":"\\b\\f"}\n' +
    '  ],\n' +
    '  "textures": [\n' +
    '    {"name":"abc","size":3,"sha256":"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},\n' +
    '    {"name":"\u00e4","nameEncoding":"windows-1252","size":0,' +
    '"sha256":"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"}\n' +
    '  ],\n' +
    '  "tiles": [\n' +
    '    {"id":-2147483648,"texture":"\u00e4","textureEncoding":"windows-1252","material":"a\\tb\\"c\\\\\\u0001\\u001f\x7f",' +
    '"layer":-32768,"collision":32767}\n' +
    '  ]\n' +
    '}\n');
});

test('the dump of a damaged or unreadable file: the messages and statuses of mrqt', () => {
  const cut = file('cut.mrqt', smallSet().subarray(0, 58));
  const out = dump(cut);
  assert.equal(out.status, 0);
  assert.equal(out.err, `mrqt: warning: ${cut}: the data ended early; only part of the tile set was read\n`);
  assert.match(out.out, /"textures": \[\n {4}\{"name":"a\.p","size":0,"sha256":"e3b0c4[0-9a-f]{58}"\}\n {2}\],\n {2}"tiles": \[\]\n\}\n$/);

  const notOne = file('not.mrqt', 'MRQT\r\n');
  assert.deepEqual(dump(notOne), { status: 1, out: '', err: `mrqt: ${notOne}: not a tile set: the first line is not "0.50"\n` });
  const empty = file('empty.mrqt', '');
  assert.equal(dump(empty).status, 1);
  const missing = join(folder, 'missing.mrqt');
  assert.deepEqual(dump(missing), { status: 1, out: '', err: `mrqt: cannot open "${missing}": No such file or directory\n` });
  assert.deepEqual(dump(folder), { status: 1, out: '', err: `mrqt: cannot open "${folder}": it is a folder\n` });

  // Standard input.
  const piped = spawnSync(process.execPath, [dumpProgram, '-'], { input: smallSet().subarray(0, 20), encoding: 'utf8' });
  assert.equal(piped.stderr, 'mrqt: warning: standard input: the data ended early; only part of the tile set was read\n');
  assert.equal(dump().status, 2);
  assert.equal(dump('a', 'b').status, 2);
});

test('the dump times a load', () => {
  const out = dump('--time', file('timed.mrqt', smallSet()));
  assert.equal(out.status, 0);
  assert.match(out.out, /^load_seconds \d+\.\d{6}\n$/);
});

// The shared corpus of damaged and odd files, when the build gives it: every file loads
// without an exception, the same from a file as from its bytes.
const corpus = process.env.MARQUETOR_READER_CORPUS;
test('every file of the corpus loads', { skip: !corpus || !existsSync(corpus) }, () => {
  let count = 0;
  for (const name of readdirSync(corpus)) {
    const path = join(corpus, name);
    if (!statSync(path).isFile()) continue;
    const fromFile = loadTileSetSync(path);
    const fromBytes = readTileSet(readFileSync(path));
    assert.equal(fromFile.status, fromBytes.status, name);
    assert.notEqual(fromFile.status, Status.CANNOT_OPEN, name);
    assert.equal(fromFile.tiles.length, fromBytes.tiles.length, name);
    count++;
  }
  assert.ok(count > 0);
});

function bytesOf(text) {
  return Array.from(text, (c) => c.charCodeAt(0));
}
