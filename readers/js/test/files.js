// Writes .mrqt bytes for the tests as a game tool might, good or bad: any line end, texts as
// bytes, counts that need not match the records.

export class FileWriter {
  constructor() {
    this.bytes = [];
  }

  i32(v) {
    for (let k = 0; k < 4; k++) this.bytes.push((v >> (8 * k)) & 0xff);
    return this;
  }

  i16(v) {
    this.bytes.push(v & 0xff, (v >> 8) & 0xff);
    return this;
  }

  // A text (a string of ASCII, or an array of bytes) and its line end.
  line(text, end = '\r\n') {
    this.raw(text);
    return this.raw(end);
  }

  raw(bytes) {
    if (typeof bytes === 'string') for (let i = 0; i < bytes.length; i++) this.bytes.push(bytes.charCodeAt(i));
    else this.bytes.push(...bytes);
    return this;
  }

  header() {
    return this.line('0.50');
  }

  material(name, color, description) {
    return this.line(name).i32(color).line(description);
  }

  texture(name, bytes, size = bytes.length) {
    return this.line(name).i32(size).raw(bytes);
  }

  tile(id, texture, material, layer, collision) {
    return this.i32(id).line(texture).line(material).i16(layer).i16(collision);
  }

  done() {
    return new Uint8Array(this.bytes);
  }
}

// The worked example of the file format's description: 64 x 32, material "A" (255, 128, 0),
// tile 7 naming texture "T" and material "A", layer 3, collision 1. 49 bytes.
export function workedExample() {
  return new FileWriter().header().i32(64).i32(32).i32(1).material('A', 0x0080ff, '').i32(0).i32(1)
    .tile(7, 'T', 'A', 3, 1).done();
}

// A small set of every kind of record, for cutting short: 2 materials, 2 textures, 2 tiles.
export function smallSet() {
  return new FileWriter().header().i32(16).i32(-8)
    .i32(2).material('Grass', 0x3ca056, 'soft').material('Rock', 0x808080, 'hard')
    .i32(2).texture('a.png', [1, 2, 3]).texture('b.png', [4, 5])
    .i32(2).tile(1, 'a.png', 'Grass', 0, 0).tile(-2, 'b.png', 'Rock', 255, 5).done();
}
