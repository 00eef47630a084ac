// The reader against the rules of the file format: good files, every line end, damaged
// files (cut short, counts and sizes that lie, repeated keys), texts in either encoding and
// the texture map's order.

import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readTileSet, Status, textureBucket, decodeText, isUtf8 } from '../index.js';
import { FileWriter, workedExample, smallSet } from './files.js';

const bytesOf = (text) => Array.from(text, (c) => c.charCodeAt(0));
const names = (records) => records.map((r) => r.name);

test('the worked example of the file format', () => {
  const set = readTileSet(workedExample());
  assert.equal(set.status, Status.OK);
  assert.equal(set.message, '');
  assert.equal(set.loaded, true);
  assert.equal(set.tileWidth, 64);
  assert.equal(set.tileHeight, 32);
  assert.equal(set.materials.length, 1);
  const m = set.materials[0];
  assert.deepEqual([m.name, m.color, m.red, m.green, m.blue, m.description], ['A', 0x0080ff, 255, 128, 0, '']);
  assert.deepEqual(set.textures, []);
  assert.deepEqual(set.tiles.map((t) => t.toJSON()), [{ id: 7, texture: 'T', material: 'A', layer: 3, collision: 1 }]);
  assert.equal(set.findMaterial('A'), m);
  assert.equal(set.findMaterial('a'), undefined);   // names are case-sensitive
  assert.equal(set.findTile(7), set.tiles[0]);
  assert.equal(set.findTile(8), undefined);
  assert.equal(set.findTile('7'), undefined);
  // An ArrayBuffer and a view of a larger buffer read the same.
  const padded = new Uint8Array(60);
  padded.set(workedExample(), 5);
  assert.equal(readTileSet(padded.buffer.slice(5, 54)).tiles[0].id, 7);
  assert.equal(readTileSet(new DataView(padded.buffer, 5, 49)).tiles[0].layer, 3);
  assert.throws(() => readTileSet('0.50\r\n'), TypeError);   // a string is no file's bytes
});

test('every line end the format allows, and the header', () => {
  const file = new FileWriter().line('0.50', '\n').i32(1).i32(2).i32(3)
    .line('A', '\r').i32(0x0a0d00).line('lone CR', '\r')   // the byte after a lone CR is the next item's
    .line('B', '\n').i32(5).line('zero', '\0')
    .line('C', '\r\n').i32(6).line('', '\r\n')
    .i32(0).i32(1).i32(-9).line('tex', '\0').line('mat', '\r').i16(-1).i16(0x7fff).done();
  const set = readTileSet(file);
  assert.equal(set.status, Status.OK);
  assert.deepEqual(set.materials.map((m) => [m.name, m.color, m.description]),
    [['A', 0x0a0d00, 'lone CR'], ['B', 5, 'zero'], ['C', 6, '']]);
  assert.deepEqual(set.tiles[0].toJSON(), { id: -9, texture: 'tex', material: 'mat', layer: -1, collision: 0x7fff });

  for (const header of ['0.50\0', '0.50\r']) {
    assert.equal(readTileSet(new FileWriter().raw(header).i32(1).i32(1).i32(0).i32(0).i32(0).done()).status, Status.OK);
  }
  for (const bad of ['', '0.5\r\n', '0.50 \r\n', ' 0.50\r\n', '0.500\r\n', 'MRQT', '\r\n0.50\r\n']) {
    const set = readTileSet(new FileWriter().raw(bad).i32(1).i32(1).i32(0).i32(0).i32(0).done());
    assert.equal(set.status, Status.NOT_A_TILE_SET, JSON.stringify(bad));
    assert.equal(set.message, 'not a tile set: the first line is not "0.50"');
    assert.equal(set.loaded, false);
    assert.equal(set.tileWidth, 0);
  }
});

test('a file cut short at every offset keeps what was read', () => {
  const whole = smallSet();
  const full = readTileSet(whole);
  assert.equal(full.status, Status.OK);
  let before = { materials: 0, textures: 0, tiles: 0 };
  for (let cut = 0; cut < whole.length; cut++) {
    const set = readTileSet(whole.subarray(0, cut));
    if (cut < 4) {
      assert.equal(set.status, Status.NOT_A_TILE_SET, `cut at ${cut}`);
      continue;
    }
    assert.equal(set.status, Status.TRUNCATED, `cut at ${cut}`);
    assert.equal(set.message, 'the data ended early; only part of the tile set was read');
    // Records only ever come in as the data grows, and each is the whole file's record
    // once its last byte is there.
    const now = { materials: set.materials.length, textures: set.textures.length, tiles: set.tiles.length };
    for (const key of Object.keys(now)) assert.ok(now[key] >= before[key] && now[key] <= 2, `cut at ${cut}: ${key}`);
    before = now;
  }
  const cut = (n) => readTileSet(whole.subarray(0, n));
  // In the tile width: the bytes present are its low part.
  assert.equal(cut(7).tileWidth, 16);
  assert.equal(cut(7).tileHeight, 0);
  // In the first material's colour: the name is kept, the colour holds the bytes present.
  const inColour = cut(6 + 12 + 7 + 2);
  assert.deepEqual(inColour.materials.map((m) => [m.name, m.color, m.description]), [['Grass', 0xa056, '']]);
  // In the first texture's bytes: the bytes present, and no second texture.
  const textureStart = 6 + 12 + 7 + 4 + 6 + 6 + 4 + 6 + 4;
  const inTexture = cut(textureStart + 7 + 4 + 2);
  assert.deepEqual(inTexture.textures.map((t) => [t.name, t.size, [...t.bytes]]), [['a.png', 2, [1, 2]]]);
  assert.deepEqual(inTexture.tiles, []);
  // Right after the first tile: that tile, whole.
  const firstTileEnd = whole.length - (4 + 7 + 6 + 4);
  assert.deepEqual(cut(firstTileEnd).tiles.map((t) => t.toJSON()),
    [{ id: 1, texture: 'a.png', material: 'Grass', layer: 0, collision: 0 }]);
  // In the second tile's layer: one byte of it.
  assert.deepEqual(cut(whole.length - 3).tiles[1].toJSON(),
    { id: -2, texture: 'b.png', material: 'Rock', layer: 255, collision: 0 });
});

test('counts and sizes that lie', () => {
  const header = () => new FileWriter().header().i32(8).i32(8);

  // A count far beyond the data: the records present, then the rest reads as empty.
  const huge = readTileSet(header().i32(0x7fffffff).material('M', 1, 'd').done());
  assert.equal(huge.status, Status.TRUNCATED);
  assert.deepEqual(names(huge.materials), ['M']);
  const hugeTiles = readTileSet(header().i32(0).i32(0).i32(0x7fffffff).tile(1, 't', 'm', 0, 0).done());
  assert.equal(hugeTiles.status, Status.TRUNCATED);
  assert.equal(hugeTiles.tiles.length, 1);

  // A negative count holds no records; the next item follows at once.
  const negative = readTileSet(header().i32(-5).i32(-1).i32(1).tile(3, 't', 'm', 1, 1).done());
  assert.equal(negative.status, Status.OK);
  assert.deepEqual([negative.materials.length, negative.textures.length, negative.tiles[0].id], [0, 0, 3]);

  // A negative texture size holds no bytes: the next record starts right after the size.
  const noBytes = readTileSet(header().i32(0).i32(2).texture('n', [], -3).texture('m', [9]).i32(0).done());
  assert.equal(noBytes.status, Status.OK);
  assert.deepEqual(noBytes.textures.map((t) => [t.name, t.size]).sort(), [['m', 1], ['n', 0]]);

  // A size beyond the data keeps the bytes that are there.
  const short = readTileSet(header().i32(0).i32(1).texture('big', [7, 8, 9], 1000).done());
  assert.equal(short.status, Status.TRUNCATED);
  assert.deepEqual([...short.findTexture('big').bytes], [7, 8, 9]);

  // Fewer records than counted at the end of a list: the next count is read at the end.
  const fewer = readTileSet(header().i32(3).material('only', 2, '').done());
  assert.equal(fewer.status, Status.TRUNCATED);
  assert.deepEqual(names(fewer.materials), ['only']);

  // Bytes after the last tile are ignored.
  const trailing = readTileSet(header().i32(0).i32(0).i32(1).tile(1, 't', 'm', 0, 0).raw([1, 2, 3]).done());
  assert.equal(trailing.status, Status.OK);
  assert.equal(trailing.tiles.length, 1);
});

test('repeated names and IDs', () => {
  const set = readTileSet(new FileWriter().header().i32(8).i32(8)
    .i32(3).material('A', 1, 'first').material('B', 2, '').material('A', 3, 'second')
    .i32(3).texture('x.png', [1]).texture('y.png', [2]).texture('x.png', [3, 3])
    .i32(3).tile(5, 'x.png', 'A', 1, 1).tile(6, 'y.png', 'B', 0, 0).tile(5, 'y.png', 'B', 9, 9).done());
  assert.equal(set.status, Status.OK);
  // Materials and tiles: the first one wins, whole.
  assert.deepEqual(set.materials.map((m) => [m.name, m.color, m.description]), [['A', 1, 'first'], ['B', 2, '']]);
  assert.deepEqual(set.tiles.map((t) => [t.id, t.texture, t.layer]), [[5, 'x.png', 1], [6, 'y.png', 0]]);
  assert.equal(set.findTile(5).material, 'A');
  // Textures: the last bytes, at the first one's place.
  assert.equal(set.textures.length, 2);
  assert.deepEqual([...set.findTexture('x.png').bytes], [3, 3]);
  assert.equal(set.findTexture('x.png').size, 2);
});

test('textures come in the order of the texture map', () => {
  // "ao" and "b0" share bucket 78, "a" is in bucket 97: buckets in order, the most
  // recently read name of a bucket first.
  assert.deepEqual([textureBucket('ao'), textureBucket('b0'), textureBucket('a')], [78, 78, 97]);
  // Bytes count as signed: E4 is -28, so bucket 484 (not 228).
  assert.equal(textureBucket(new Uint8Array([0xe4])), 484);
  assert.equal(textureBucket('texture00465.jpg'), textureBucket(new TextEncoder().encode('texture00465.jpg')));
  const set = readTileSet(new FileWriter().header().i32(8).i32(8).i32(0)
    .i32(4).texture('a', [1]).texture('ao', [2]).texture([0xe4], [3]).texture('b0', [4]).i32(0).done());
  assert.deepEqual(names(set.textures), ['b0', 'ao', 'a', '\u00e4']);
});

test('texts that are not UTF-8 read as Windows-1252', () => {
  const kaese1252 = [0x4b, 0xe4, 0x73, 0x65];
  const kaeseUtf8 = [0x4b, 0xc3, 0xa4, 0x73, 0x65];
  const set = readTileSet(new FileWriter().header().i32(8).i32(8)
    .i32(5).material(kaese1252, 1, [0x80, 0x20, 0x35]).material(kaeseUtf8, 2, [0x81, 0x8d, 0x8f, 0x90, 0x9d, 0x9f])
    .material([0xef, 0xbb, 0xbf, 0x41], 3, [0xc0, 0x80]).material([0xed, 0xa0, 0x80], 4, [0xf4, 0x90, 0x80, 0x80])
    .material([0xf0, 0x9f, 0x8e, 0xb2], 5, 'x'.repeat(70))
    .i32(0).i32(1).tile(1, kaese1252, kaeseUtf8, 0, 0).done());
  assert.equal(set.status, Status.OK);
  assert.deepEqual(set.materials.map((m) => [m.name, m.description]), [
    ['K\u00e4se', '\u20ac 5'],
    ['K\u00e4se', '\u0081\u008d\u008f\u0090\u009d\u0178'],   // both readings are kept apart by their bytes
    ['\ufeffA', '\u00c0\u20ac'],            // a byte order mark stays; an overlong form is no UTF-8
    ['\u00ed\u00a0\u20ac', '\u00f4\u0090\u20ac\u20ac'],   // nor is a surrogate, nor anything above U+10FFFF
    ['\u{1f3b2}', 'x'.repeat(64)],          // a description keeps 64 bytes
  ]);
  assert.deepEqual([...set.materials[0].nameBytes], kaese1252);
  assert.deepEqual([...set.materials[1].nameBytes], kaeseUtf8);
  // Two names that show alike: the UTF-8 one answers a look-up, whichever comes first.
  assert.equal(set.findMaterial('K\u00e4se').color, 2);
  const reversed = readTileSet(new FileWriter().header().i32(8).i32(8)
    .i32(2).material(kaeseUtf8, 1, '').material(kaese1252, 2, '').i32(0).i32(0).done());
  assert.equal(reversed.findMaterial('K\u00e4se').color, 1);
  assert.deepEqual([set.tiles[0].texture, set.tiles[0].material], ['K\u00e4se', 'K\u00e4se']);
  assert.deepEqual([...set.tiles[0].textureBytes], kaese1252);
  assert.equal(decodeText(new Uint8Array(bytesOf('plain'))), 'plain');
  // The edges of strict UTF-8: the shortest forms only, no surrogates, nothing above U+10FFFF.
  const valid = [[0x7f], [0xc2, 0x80], [0xdf, 0xbf], [0xe0, 0xa0, 0x80], [0xed, 0x9f, 0xbf], [0xee, 0x80, 0x80],
    [0xf0, 0x90, 0x80, 0x80], [0xf4, 0x8f, 0xbf, 0xbf]];
  const invalid = [[0x80], [0xc1, 0xbf], [0xe0, 0x9f, 0xbf], [0xed, 0xa0, 0x80], [0xf0, 0x8f, 0xbf, 0xbf],
    [0xf4, 0x90, 0x80, 0x80], [0xf5, 0x80, 0x80, 0x80], [0xe1, 0x80], [0xe1, 0x80, 0x41]];
  for (const bytes of valid) assert.equal(isUtf8(new Uint8Array(bytes)), true, bytes.join(' '));
  for (const bytes of invalid) assert.equal(isUtf8(new Uint8Array(bytes)), false, bytes.join(' '));
});

test('tiles that share names keep their own, and are found by ID', () => {
  const file = new FileWriter().header().i32(1).i32(1).i32(0).i32(0).i32(2002);
  for (let id = 0; id < 2000; id++) file.tile(id, `t${id % 7}.png`, id % 2 ? 'odd' : 'even', id & 255, id % 6);
  // "Aa" and "BB" hash alike (65 * 31 + 97 = 66 * 31 + 66): shared texts must still compare their bytes.
  file.tile(5000, 'Aa', 'BB', 0, 0).tile(5001, 'BB', 'Aa', 0, 0);
  const set = readTileSet(file.done());
  assert.equal(set.status, Status.OK);
  assert.equal(set.tiles.length, 2002);
  assert.deepEqual([set.findTile(5000).texture, set.findTile(5000).material, set.findTile(5001).texture], ['Aa', 'BB', 'BB']);
  for (const id of [0, 1, 999, 1999]) {
    const tile = set.findTile(id);
    assert.deepEqual([tile.texture, tile.material, tile.layer, tile.collision], [`t${id % 7}.png`, id % 2 ? 'odd' : 'even', id & 255, id % 6]);
  }
});
