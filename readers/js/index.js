// Reads Marquetor tile set files (.mrqt) in a browser or in Node: give it the file's bytes
// (an ArrayBuffer or a Uint8Array) and it gives the tile set back. No dependencies.
//
// It follows the rules of Marquetor's own reader (docs/file-format.md), so a damaged file
// (cut short, counts that lie, repeated names) gives the same tile set the editor shows.
// Materials and tiles come in file order, textures in the order of Marquetor's texture map
// (the order it saves them in, so the file's order for every file it wrote).

/** How the load went. */
export const Status = Object.freeze({
  OK: 'ok',                          // read whole
  TRUNCATED: 'truncated',            // the data ended early: what was read is kept
  NOT_A_TILE_SET: 'not-a-tile-set',  // the first line is not "0.50": the set is empty
  CANNOT_OPEN: 'cannot-open',        // the file could not be read (node.js only)
});

/** A description keeps at most this many bytes. */
export const DESCRIPTION_SIZE = 64;
/** The number of buckets of Marquetor's texture map. */
export const TEXTURE_BUCKETS = 512;

const TRUNCATED_MESSAGE = 'the data ended early; only part of the tile set was read';
const NOT_A_TILE_SET_MESSAGE = 'not a tile set: the first line is not "0.50"';

// Windows-1252 bytes 0x80-0x9F; the five it leaves undefined read as the C1 control of the
// same value, as Marquetor reads them.
const CP1252_HIGH = [
  0x20ac, 0x0081, 0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021, 0x02c6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008d,
  0x017d, 0x008f, 0x0090, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022, 0x2013, 0x2014, 0x02dc, 0x2122, 0x0161, 0x203a,
  0x0153, 0x009d, 0x017e, 0x0178,
];

// ignoreBOM keeps a leading byte order mark as the character it is: a name is its bytes.
const utf8Decoder = new TextDecoder('utf-8', { ignoreBOM: true });

/** Whether bytes are strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF. */
export function isUtf8(bytes) {
  const n = bytes.length;
  for (let p = 0; p < n;) {
    const c = bytes[p];
    if (c < 0x80) {
      p++;
      continue;
    }
    let extra;
    let lo = 0x80;
    let hi = 0xbf;
    if (c >= 0xc2 && c <= 0xdf) extra = 1;
    else if (c === 0xe0) { extra = 2; lo = 0xa0; }
    else if (c === 0xed) { extra = 2; hi = 0x9f; }
    else if (c >= 0xe1 && c <= 0xef) extra = 2;
    else if (c === 0xf0) { extra = 3; lo = 0x90; }
    else if (c >= 0xf1 && c <= 0xf3) extra = 3;
    else if (c === 0xf4) { extra = 3; hi = 0x8f; }
    else return false;
    if (n - p <= extra) return false;
    if (bytes[p + 1] < lo || bytes[p + 1] > hi) return false;
    for (let k = 2; k <= extra; k++) if ((bytes[p + k] & 0xc0) !== 0x80) return false;
    p += extra + 1;
  }
  return true;
}

/**
 * A text's bytes as Marquetor shows them: UTF-8 when they are valid UTF-8, otherwise read
 * as Windows-1252 (a file from an older tool on Windows).
 */
export function decodeText(bytes) {
  let ascii = true;
  for (let i = 0; i < bytes.length; i++) {
    if (bytes[i] >= 0x80) {
      ascii = false;
      break;
    }
  }
  if (ascii) return bytes.length <= 64 ? String.fromCharCode.apply(null, bytes) : utf8Decoder.decode(bytes);
  if (isUtf8(bytes)) return utf8Decoder.decode(bytes);
  let text = '';
  for (let i = 0; i < bytes.length; i++) {
    const b = bytes[i];
    text += String.fromCharCode(b >= 0x80 && b < 0xa0 ? CP1252_HIGH[b - 0x80] : b);
  }
  return text;
}

/** The bucket of Marquetor's texture map a name falls in (its bytes, or a string as UTF-8). */
export function textureBucket(name) {
  const bytes = typeof name === 'string' ? new TextEncoder().encode(name) : name;
  let h = 0;
  for (let i = 0; i < bytes.length; i++) h = (Math.imul(h, 65599) + ((bytes[i] << 24) >> 24)) | 0;
  return h & (TEXTURE_BUCKETS - 1);   // 512 divides 2^32: the low bits are the remainder
}

/** A material: a named colour with a description. */
export class Material {
  constructor(name, color, description) {
    this.name = name.text;
    this.color = color;
    this.red = color & 0xff;
    this.green = (color >> 8) & 0xff;
    this.blue = (color >> 16) & 0xff;
    this.description = description.text;
    this.nameBytes = name.bytes;
    this.descriptionBytes = description.bytes;
  }
}

/** A texture: the bytes of an image file, unchanged (a PNG, JPEG, BMP or TGA file). */
export class Texture {
  constructor(name, bytes) {
    this.name = name.text;
    this.bytes = bytes;
    this.nameBytes = name.bytes;
  }

  get size() {
    return this.bytes.length;
  }
}

/**
 * A tile: an ID naming a texture and a material, with a layer and a collision class. Tiles
 * come by the million: each holds its two names as texts shared with the tiles naming the
 * same ones, and gives their strings and bytes through getters.
 */
export class Tile {
  constructor(id, texture, material, layer, collision) {
    this.id = id;
    this.layer = layer;
    this.collision = collision;
    this._texture = texture;
    this._material = material;
  }

  get texture() {
    return this._texture.text;
  }

  get material() {
    return this._material.text;
  }

  get textureBytes() {
    return this._texture.bytes;
  }

  get materialBytes() {
    return this._material.bytes;
  }

  toJSON() {
    return { id: this.id, texture: this.texture, material: this.material, layer: this.layer, collision: this.collision };
  }
}

/** A whole tile set, and how its load went. */
export class TileSet {
  constructor() {
    this.status = Status.OK;
    this.message = '';
    this.tileWidth = 0;
    this.tileHeight = 0;
    this.materials = [];
    this.textures = [];
    this.tiles = [];
    this._materialsByName = new Map();
    this._texturesByName = new Map();
    this._tileIndex = new IdIndex(0);
  }

  /** Whether the file was read at all (whole or cut short). */
  get loaded() {
    return this.status === Status.OK || this.status === Status.TRUNCATED;
  }

  /** The material of a name, or undefined. */
  findMaterial(name) {
    return this._materialsByName.get(name);
  }

  /** The texture of a name, or undefined. */
  findTexture(name) {
    return this._texturesByName.get(name);
  }

  /** The tile of an ID, or undefined. */
  findTile(id) {
    if (id !== (id | 0)) return undefined;   // IDs are 32-bit integers
    const position = this._tileIndex.get(id);
    return position < 0 ? undefined : this.tiles[position];
  }
}

// Tile IDs to positions in the tile list: open addressing over one typed array of
// (ID, position + 1) pairs, a few times quicker than a Map for a million tiles.
class IdIndex {
  constructor(expected) {
    let capacity = 16;
    while (capacity < expected * 2) capacity *= 2;
    this.allocate(capacity);
  }

  allocate(capacity) {
    this.table = new Int32Array(2 * capacity);   // a position of 0 is an empty slot
    this.mask = capacity - 1;
    this.shift = 32 - Math.log2(capacity);   // Fibonacci hashing: the product's top bits
    this.room = capacity >> 1;
    this.touched = 0;
  }

  // The position of an ID, or -1.
  get(id) {
    const table = this.table;
    const mask = this.mask;
    for (let i = Math.imul(id, 0x9e3779b1) >>> this.shift; ; i = (i + 1) & mask) {
      const position = table[2 * i + 1];
      if (position === 0) return -1;
      if (table[2 * i] === id) return position - 1;
    }
  }

  // Reads the first slot of each tile's ID: independent reads, whose cache misses overlap.
  touch(tiles) {
    const table = this.table;
    let sum = 0;
    for (let k = 0; k < tiles.length; k++) sum += table[2 * (Math.imul(tiles[k].id, 0x9e3779b1) >>> this.shift)];
    this.touched = sum;
  }

  // Enters an ID at a position unless it is present; false when it was.
  add(id, position) {
    if (this.room === 0) this.grow();
    const table = this.table;
    const mask = this.mask;
    let i = Math.imul(id, 0x9e3779b1) >>> this.shift;
    for (; table[2 * i + 1] !== 0; i = (i + 1) & mask) if (table[2 * i] === id) return false;
    table[2 * i] = id;
    table[2 * i + 1] = position + 1;
    this.room--;
    return true;
  }

  grow() {
    const old = this.table;
    this.allocate(old.length);
    for (let i = 0; i < old.length; i += 2) if (old[i + 1] !== 0) this.add(old[i], old[i + 1] - 1);
  }
}

// The bytes that end a line: CR, LF and zero.
const LINE_END = new Uint8Array(256);
LINE_END[0] = LINE_END[10] = LINE_END[13] = 1;
// How far the name table looks for a name before it gives up on sharing it.
const MAX_PROBES = 16;

// A text as read: its bytes, its text, and a key that tells texts of different bytes apart
// (the text alone does not: "\u00e4" is the UTF-8 C3 A4 and the Windows-1252 E4).
function makeName(bytes) {
  const text = decodeText(bytes);
  return { text, bytes, key: (isUtf8(bytes) ? 'u' : 'w') + text };
}

// The texts of tiles: one object per distinct byte sequence, so a million tiles naming a
// few thousand textures decode each name once and share its string. It only shares: a
// name it gives up on is decoded on its own.
class Names {
  constructor(data) {
    this.data = data;
    this.view = new DataView(data.buffer, data.byteOffset, data.byteLength);
    this.count = 0;
    this.allocate(1024);
  }

  allocate(capacity) {
    this.names = new Array(capacity).fill(null);
    this.hashes = new Int32Array(capacity);
    this.starts = new Int32Array(capacity);   // where the first one of the name lies in the data
    this.lengths = new Int32Array(capacity);
  }

  // The text of data[start, end). The hash looks at the length and at most twelve bytes
  // (three words where the name is long enough): names differ mostly at their ends
  // ("texture00465.jpg"). A file made to collide only makes long chains, and past a few
  // steps a name is decoded on its own instead. Bytes are compared a word at a time.
  get(start, end) {
    const data = this.data;
    const view = this.view;
    const len = end - start;
    let hash = len;
    if (len >= 8) {
      hash = Math.imul(hash ^ view.getInt32(start, true), 0x9e3779b1);
      hash = Math.imul(hash ^ view.getInt32(end - 8, true), 0x85ebca6b);
      hash = Math.imul(hash ^ view.getInt32(end - 4, true), 0xc2b2ae35);
      hash ^= hash >>> 15;
    } else {
      for (let q = start; q < end; q++) hash = (Math.imul(hash, 31) + data[q]) | 0;
    }
    const mask = this.names.length - 1;
    let i = hash & mask;
    for (let steps = 0; this.names[i] !== null; i = (i + 1) & mask, steps++) {
      if (steps === MAX_PROBES) return makeName(data.slice(start, end));
      if (this.hashes[i] !== hash || this.lengths[i] !== len) continue;
      const first = this.starts[i];
      let k = 0;
      while (k + 4 <= len && view.getInt32(first + k, true) === view.getInt32(start + k, true)) k += 4;
      while (k < len && data[first + k] === data[start + k]) k++;
      if (k === len) return this.names[i];
    }
    const name = makeName(data.slice(start, end));
    this.names[i] = name;
    this.hashes[i] = hash;
    this.starts[i] = start;
    this.lengths[i] = len;
    if (++this.count * 2 > this.names.length) this.grow();
    return name;
  }

  grow() {
    const { names, hashes, starts, lengths } = this;
    this.allocate(names.length * 2);
    const mask = this.names.length - 1;
    for (let j = 0; j < names.length; j++) {
      if (names[j] === null) continue;
      let i = hashes[j] & mask;
      while (this.names[i] !== null) i = (i + 1) & mask;
      this.names[i] = names[j];
      this.hashes[i] = hashes[j];
      this.starts[i] = starts[j];
      this.lengths[i] = lengths[j];
    }
  }
}

// The items of the format. Past the end a number reads as 0 (a partly present one holds its
// bytes in its low part) and a line as what is left; `ended` records that it happened.
class Reader {
  constructor(data) {
    this.data = data;
    this.pos = 0;
    this.end = data.length;
    this.ended = false;
    this.names = new Names(data);
  }

  atEnd() {
    return this.pos >= this.end;
  }

  i32() {
    const d = this.data;
    const p = this.pos;
    if (this.end - p >= 4) {
      this.pos = p + 4;
      return d[p] | (d[p + 1] << 8) | (d[p + 2] << 16) | (d[p + 3] << 24);
    }
    return this.partial();
  }

  i16() {
    const d = this.data;
    const p = this.pos;
    if (this.end - p >= 2) {
      this.pos = p + 2;
      return ((d[p] | (d[p + 1] << 8)) << 16) >> 16;
    }
    return this.partial();
  }

  partial() {
    let v = 0;
    for (let shift = 0; this.pos < this.end; shift += 8) v |= this.data[this.pos++] << shift;
    this.ended = true;
    return v;
  }

  // A line ends at CR LF, a lone LF, a lone CR (the byte after it stays), a zero byte or the
  // end of the data. `limit` keeps at most that many bytes of the text.
  line(limit) {
    const d = this.data;
    const end = this.end;
    const start = this.pos;
    let p = start;
    while (p < end && LINE_END[d[p]] === 0) p++;
    if (p === end) {
      this.ended = true;   // every line of the format is followed by more
      this.pos = p;
    } else {
      this.pos = p + (d[p] === 13 && p + 1 < end && d[p + 1] === 10 ? 2 : 1);
    }
    if (limit !== undefined && p - start > limit) p = start + limit;
    return this.names.get(start, p);
  }

  // Up to n bytes, as a view of the data: fewer when the data ends first.
  block(n) {
    if (n > this.end - this.pos) {
      n = this.end - this.pos;
      this.ended = true;
    }
    const bytes = this.data.subarray(this.pos, this.pos + n);
    this.pos += n;
    return bytes;
  }
}

function asBytes(data) {
  if (data instanceof Uint8Array) return data;
  if (ArrayBuffer.isView(data)) return new Uint8Array(data.buffer, data.byteOffset, data.byteLength);
  if (data instanceof ArrayBuffer || Object.prototype.toString.call(data) === '[object SharedArrayBuffer]') {
    return new Uint8Array(data);
  }
  throw new TypeError('readTileSet takes the bytes of a file: an ArrayBuffer or a typed array');
}

// A name map for look-ups: when two names of different bytes show as the same text (one
// valid UTF-8, the other read as Windows-1252), the UTF-8 one answers.
function nameMap(records) {
  const map = new Map();
  for (const record of records) {
    const present = map.get(record.name);
    if (present === undefined || (!isUtf8(present.nameBytes) && isUtf8(record.nameBytes))) map.set(record.name, record);
  }
  return map;
}

/**
 * Reads a tile set from the bytes of a .mrqt file (an ArrayBuffer, a Uint8Array or any
 * typed array view). Never throws for bad data: `status` says how the load went. The
 * textures' bytes are views of the data given (nothing is copied).
 */
export function readTileSet(data) {
  const set = new TileSet();
  const r = new Reader(asBytes(data));
  const header = r.line().bytes;
  if (header.length !== 4 || header[0] !== 0x30 || header[1] !== 0x2e || header[2] !== 0x35 || header[3] !== 0x30) {
    set.status = Status.NOT_A_TILE_SET;
    set.message = NOT_A_TILE_SET_MESSAGE;
    return set;
  }
  set.tileWidth = r.i32();
  set.tileHeight = r.i32();

  // Materials: the first of a name wins, later ones are dropped whole. A negative count
  // holds none; a count beyond the data stops where the data does.
  const materialCount = r.i32();
  const materialNames = new Set();   // keys of the names taken
  for (let i = 0; i < materialCount; i++) {
    if (r.atEnd()) {
      r.ended = true;
      break;
    }
    const name = r.line();
    const color = r.i32();
    const description = r.line(DESCRIPTION_SIZE);
    if (materialNames.has(name.key)) continue;
    materialNames.add(name.key);
    set.materials.push(new Material(name, color, description));
  }

  // Textures: a later one of a name replaces the bytes and keeps the earlier one's place.
  // The texture map walks buckets 0 to 511, the most recently entered name first.
  const textureCount = r.i32();
  const byName = new Map();
  const buckets = [];
  for (let i = 0; i < textureCount; i++) {
    if (r.atEnd()) {
      r.ended = true;
      break;
    }
    const name = r.line();
    const claimed = r.i32();
    const bytes = r.block(claimed > 0 ? claimed : 0);   // a negative size holds no bytes
    const present = byName.get(name.key);
    if (present !== undefined) {
      present.bytes = bytes;
      continue;
    }
    const texture = new Texture(name, bytes);
    byName.set(name.key, texture);
    const b = textureBucket(name.bytes);
    (buckets[b] || (buckets[b] = [])).push(texture);
  }
  for (let b = 0; b < TEXTURE_BUCKETS; b++) {
    const bucket = buckets[b];
    if (bucket) for (let k = bucket.length - 1; k >= 0; k--) set.textures.push(bucket[k]);
  }

  // Tiles: the first of an ID wins.
  const tileCount = r.i32();
  const tiles = set.tiles;
  // Room for what the data can hold (a tile takes at least 10 bytes), not what the count claims.
  const byId = (set._tileIndex = new IdIndex(Math.min(Math.max(tileCount, 0), (r.end - r.pos) / 10 + 1)));
  // Tiles are entered into the index in batches: first every slot of a batch is read, so
  // the memory behind them is fetched at once, not one cache miss after another.
  const batch = [];
  const enter = () => {
    byId.touch(batch);
    for (let k = 0; k < batch.length; k++) if (byId.add(batch[k].id, tiles.length)) tiles.push(batch[k]);
    batch.length = 0;
  };
  for (let i = 0; i < tileCount; i++) {
    if (r.atEnd()) {
      r.ended = true;
      break;
    }
    const id = r.i32();
    const texture = r.line();
    const material = r.line();
    const layer = r.i16();
    const collision = r.i16();
    if (batch.push(new Tile(id, texture, material, layer, collision)) === 64) enter();
  }
  enter();

  set._materialsByName = nameMap(set.materials);
  set._texturesByName = nameMap(set.textures);
  if (r.ended) {
    set.status = Status.TRUNCATED;
    set.message = TRUNCATED_MESSAGE;
  }
  return set;
}
