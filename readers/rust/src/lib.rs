//! Reads Marquetor tile set files (`.mrqt`): the tile size, the materials, the textures (the
//! image files' bytes, unchanged) and the tiles, exactly as Marquetor itself reads them,
//! damaged files included.
//!
//! ```no_run
//! let set = marquetor_tileset::open("Data/TileSets/level.mrqt").expect("a tile set");
//! for tile in &set.tiles {
//!     let bytes = set.texture(&tile.texture).map_or(0, |t| t.bytes.len());
//!     println!("tile {}: {} ({} bytes), {}", tile.id, tile.texture, bytes, tile.material);
//! }
//! ```
//!
//! A file whose data ends early is still read ([`Status::EndedEarly`]: what was read is
//! kept); a repeated material name or tile ID keeps the first record, a repeated texture name
//! the last bytes at the first one's place. Materials and tiles are in file order, textures
//! in the order of Marquetor's texture map (the order `mrqt dump` and the editor list them).
//!
//! Texts are the file's bytes ([`Text`]): UTF-8 when Marquetor wrote them, Windows-1252 in
//! files of older tools. They compare and look up byte for byte; [`Text`] displays them as
//! `mrqt dump` shows them.
#![forbid(unsafe_code)]

use std::borrow::{Borrow, Cow};
use std::collections::HashMap;
use std::fmt;
use std::hash::{BuildHasherDefault, Hasher};
use std::io;
use std::ops::Deref;
use std::path::Path;
use std::sync::Arc;

/// The first line of every tile set.
pub const HEADER: &[u8] = b"0.50";
/// A file keeps at most this many bytes of a description.
pub const DESCRIPTION_SIZE: usize = 64;
/// The buckets of Marquetor's texture map.
pub const TEXTURE_BUCKETS: usize = 512;

/// A name or a description: the file's bytes, shared by the records that name it.
#[derive(Clone, PartialEq, Eq, Hash, PartialOrd, Ord)]
pub struct Text(Arc<[u8]>);

impl Text {
    pub fn new(bytes: &[u8]) -> Text {
        Text(Arc::from(bytes))
    }
    pub fn as_bytes(&self) -> &[u8] {
        &self.0
    }
    /// The text as `mrqt dump` shows it: UTF-8 when the bytes are valid UTF-8, otherwise read
    /// as Windows-1252.
    pub fn decoded(&self) -> Cow<'_, str> {
        decode_text(&self.0)
    }
    /// Whether the bytes are valid UTF-8 (else [`Text::decoded`] reads them as Windows-1252).
    pub fn is_utf8(&self) -> bool {
        std::str::from_utf8(&self.0).is_ok()
    }
}

impl Default for Text {
    fn default() -> Text {
        Text::new(b"")
    }
}

impl Deref for Text {
    type Target = [u8];
    fn deref(&self) -> &[u8] {
        &self.0
    }
}
impl AsRef<[u8]> for Text {
    fn as_ref(&self) -> &[u8] {
        &self.0
    }
}
impl Borrow<[u8]> for Text {
    fn borrow(&self) -> &[u8] {
        &self.0
    }
}
impl fmt::Display for Text {
    fn fmt(&self, f: &mut fmt::Formatter<'_>) -> fmt::Result {
        f.write_str(&self.decoded())
    }
}
impl fmt::Debug for Text {
    fn fmt(&self, f: &mut fmt::Formatter<'_>) -> fmt::Result {
        fmt::Debug::fmt(&*self.decoded(), f)
    }
}
impl PartialEq<str> for Text {
    fn eq(&self, other: &str) -> bool {
        *self.0 == *other.as_bytes()
    }
}
impl PartialEq<&str> for Text {
    fn eq(&self, other: &&str) -> bool {
        *self.0 == *other.as_bytes()
    }
}
impl PartialEq<[u8]> for Text {
    fn eq(&self, other: &[u8]) -> bool {
        *self.0 == *other
    }
}

#[derive(Clone, Debug, PartialEq, Eq)]
pub struct Material {
    /// Unique within the tile set.
    pub name: Text,
    /// Red in bits 0-7, green 8-15, blue 16-23, as stored.
    pub color: i32,
    pub red: u8,
    pub green: u8,
    pub blue: u8,
    /// At most 64 bytes.
    pub description: Text,
}

#[derive(Clone, PartialEq, Eq)]
pub struct Texture {
    /// The image file's name, such as `grass.png`; unique within the tile set.
    pub name: Text,
    /// The image file, whole and unchanged (no picture is decoded).
    pub bytes: Vec<u8>,
}

impl fmt::Debug for Texture {
    fn fmt(&self, f: &mut fmt::Formatter<'_>) -> fmt::Result {
        f.debug_struct("Texture").field("name", &self.name).field("size", &self.bytes.len()).finish()
    }
}

#[derive(Clone, Debug, PartialEq, Eq)]
pub struct Tile {
    /// Unique within the tile set; 0 and negative IDs are IDs like any other.
    pub id: i32,
    /// The name of a texture: the tile set need not hold it.
    pub texture: Text,
    /// The name of a material: likewise.
    pub material: Text,
    /// The editor offers 0 to 255.
    pub layer: i16,
    /// The editor offers 0 to 5.
    pub collision: i16,
}

/// How much of the file a tile set holds.
#[derive(Clone, Copy, Debug, PartialEq, Eq)]
pub enum Status {
    /// Read whole.
    Whole,
    /// The data ended early: the tile set holds what was read.
    EndedEarly,
}

/// Why there is no tile set.
#[derive(Debug)]
pub enum Error {
    /// The first line is not `0.50`.
    NotATileSet,
    /// The file could not be opened or read.
    CannotOpen(io::Error),
}

impl fmt::Display for Error {
    fn fmt(&self, f: &mut fmt::Formatter<'_>) -> fmt::Result {
        match self {
            Error::NotATileSet => f.write_str("not a tile set: the first line is not \"0.50\""),
            Error::CannotOpen(e) => write!(f, "cannot open the file: {}", e),
        }
    }
}

impl std::error::Error for Error {
    fn source(&self) -> Option<&(dyn std::error::Error + 'static)> {
        match self {
            Error::CannotOpen(e) => Some(e),
            Error::NotATileSet => None,
        }
    }
}

/// A tile set as the file holds it, with look-ups by name and by ID.
#[derive(Clone, Debug)]
pub struct TileSet {
    pub tile_width: i32,
    pub tile_height: i32,
    pub materials: Vec<Material>,
    pub textures: Vec<Texture>,
    pub tiles: Vec<Tile>,
    pub status: Status,
    material_index: HashMap<Text, usize, FastHash>,
    texture_index: HashMap<Text, usize, FastHash>,
    // The tiles by ID: each word the ID's key in its high half, the tile's place in its low.
    tile_order: Vec<u64>,
}

impl TileSet {
    /// The material of a name, byte for byte and case-sensitively.
    pub fn material(&self, name: impl AsRef<[u8]>) -> Option<&Material> {
        self.material_index.get(name.as_ref()).map(|&i| &self.materials[i])
    }
    /// The texture of a name, byte for byte and case-sensitively.
    pub fn texture(&self, name: impl AsRef<[u8]>) -> Option<&Texture> {
        self.texture_index.get(name.as_ref()).map(|&i| &self.textures[i])
    }
    /// The tile of an ID.
    pub fn tile(&self, id: i32) -> Option<&Tile> {
        let key = id_key(id);
        let at = self.tile_order.partition_point(|&word| word >> 32 < key);
        match self.tile_order.get(at) {
            Some(&word) if word >> 32 == key => Some(&self.tiles[(word & 0xFFFF_FFFF) as usize]),
            _ => None,
        }
    }
    /// Whether the data ended early (what was read is kept).
    pub fn ended_early(&self) -> bool {
        self.status == Status::EndedEarly
    }
}

/// Reads a tile set file.
pub fn open(path: impl AsRef<Path>) -> Result<TileSet, Error> {
    let data = std::fs::read(path).map_err(Error::CannotOpen)?;
    read(&data)
}

/// Reads a tile set from the bytes of a file (the tile set keeps copies of what it needs).
pub fn read(data: &[u8]) -> Result<TileSet, Error> {
    let mut r = Reader { data, pos: 0, ended: false };
    if r.line() != HEADER {
        return Err(Error::NotATileSet);
    }
    let tile_width = r.i32();
    let tile_height = r.i32();

    // Materials: the first of a name stays, later ones are dropped whole.
    let count = r.i32();
    let mut materials = Vec::with_capacity(room(count, r.left(), 6));
    let mut material_index: HashMap<Text, usize, FastHash> = HashMap::default();
    for _ in 0..count.max(0) {
        if r.at_end() {
            r.ended = true; // the count promised more than the data holds
            break;
        }
        let name = r.line();
        let color = r.i32();
        let description = r.line();
        if material_index.contains_key(name) {
            continue;
        }
        let name = Text::new(name);
        material_index.insert(name.clone(), materials.len());
        let c = color as u32;
        materials.push(Material {
            name,
            color,
            red: c as u8,
            green: (c >> 8) as u8,
            blue: (c >> 16) as u8,
            description: Text::new(&description[..description.len().min(DESCRIPTION_SIZE)]),
        });
    }

    // Textures: a repeated name takes the later bytes at the first one's place.
    let count = r.i32();
    let mut read_order: Vec<Texture> = Vec::with_capacity(room(count, r.left(), 5));
    let mut first_of: HashMap<&[u8], usize, FastHash> = HashMap::default();
    for _ in 0..count.max(0) {
        if r.at_end() {
            r.ended = true;
            break;
        }
        let name = r.line();
        let claimed = r.i32();
        // A negative size holds no bytes; a size beyond the data keeps the bytes present.
        let bytes = r.block(if claimed > 0 { claimed as usize } else { 0 }).to_vec();
        match first_of.get(name) {
            Some(&i) => read_order[i].bytes = bytes,
            None => {
                first_of.insert(name, read_order.len());
                read_order.push(Texture { name: Text::new(name), bytes });
            }
        }
    }
    // The texture map's order: bucket by bucket, the last entered first within a bucket.
    let mut starts = vec![0usize; TEXTURE_BUCKETS + 1];
    let buckets: Vec<usize> = read_order.iter().map(|t| texture_bucket(&t.name)).collect();
    for &b in &buckets {
        starts[b + 1] += 1;
    }
    for b in 1..=TEXTURE_BUCKETS {
        starts[b] += starts[b - 1];
    }
    let mut places = vec![0usize; read_order.len()];
    for (i, &b) in buckets.iter().enumerate().rev() {
        places[i] = starts[b];
        starts[b] += 1;
    }
    let mut slots: Vec<Option<Texture>> = (0..read_order.len()).map(|_| None).collect();
    for (texture, place) in read_order.into_iter().zip(places) {
        slots[place] = Some(texture);
    }
    let textures: Vec<Texture> = slots.into_iter().flatten().collect();
    let texture_index = textures.iter().enumerate().map(|(i, t)| (t.name.clone(), i)).collect();

    // Tiles: the first of an ID stays. Tiles naming the same texture or material share its text.
    let count = r.i32();
    let mut tiles = Vec::with_capacity(room(count, r.left(), 10));
    let mut names: HashMap<&[u8], Text, FastHash> = HashMap::default();
    for _ in 0..count.max(0) {
        if r.at_end() {
            r.ended = true;
            break;
        }
        let id = r.i32();
        let texture = shared(&mut names, r.line());
        let material = shared(&mut names, r.line());
        let layer = r.i16();
        let collision = r.i16();
        tiles.push(Tile { id, texture, material, layer, collision });
    }
    let tile_order = drop_repeated_ids(&mut tiles);

    Ok(TileSet {
        tile_width,
        tile_height,
        materials,
        textures,
        tiles,
        status: if r.ended { Status::EndedEarly } else { Status::Whole },
        material_index,
        texture_index,
        tile_order,
    })
}

// The one Text of a name: a million tiles name a few thousand textures and materials.
fn shared<'a>(names: &mut HashMap<&'a [u8], Text, FastHash>, bytes: &'a [u8]) -> Text {
    names.entry(bytes).or_insert_with(|| Text::new(bytes)).clone()
}

// An ID as an unsigned key in the same order.
fn id_key(id: i32) -> u64 {
    u64::from(id as u32 ^ 0x8000_0000)
}

// Drops the tiles whose ID an earlier tile has, and gives the tiles in ID order (see
// TileSet::tile_order). Sorting a million IDs in a few passes over memory beats entering
// them into a hash table one by one, each a miss in the cache.
fn drop_repeated_ids(tiles: &mut Vec<Tile>) -> Vec<u64> {
    let words: Vec<u64> = tiles.iter().enumerate().map(|(i, t)| id_key(t.id) << 32 | i as u64).collect();
    let mut order = sort_by_high_half(words);
    let repeated = order.windows(2).any(|w| w[0] >> 32 == w[1] >> 32);
    if repeated {
        // The sort keeps file order among equal IDs: the first of each run stays.
        let mut keep = vec![false; tiles.len()];
        let mut last = None;
        for &word in &order {
            if last != Some(word >> 32) {
                keep[(word & 0xFFFF_FFFF) as usize] = true;
                last = Some(word >> 32);
            }
        }
        let mut place = vec![0u64; tiles.len()];
        let mut kept = 0u64;
        for (i, &k) in keep.iter().enumerate() {
            place[i] = kept;
            kept += k as u64;
        }
        let mut flags = keep.iter();
        tiles.retain(|_| *flags.next().unwrap_or(&false));
        order.retain(|&word| keep[(word & 0xFFFF_FFFF) as usize]);
        for word in &mut order {
            *word = *word & !0xFFFF_FFFF | place[(*word & 0xFFFF_FFFF) as usize];
        }
    }
    order
}

// Sorts words by their high 32 bits, keeping the order of equal ones: three passes of 11, 11
// and 10 bits.
fn sort_by_high_half(mut words: Vec<u64>) -> Vec<u64> {
    let mut spare = vec![0u64; words.len()];
    for &(shift, bits) in &[(32u32, 11u32), (43, 11), (54, 10)] {
        let mask = (1u64 << bits) - 1;
        let mut starts = vec![0usize; (1 << bits) + 1];
        for &w in &words {
            starts[((w >> shift) & mask) as usize + 1] += 1;
        }
        if starts.contains(&words.len()) {
            continue; // every word has this digit: nothing moves
        }
        for d in 1..starts.len() {
            starts[d] += starts[d - 1];
        }
        for &w in &words {
            let d = ((w >> shift) & mask) as usize;
            spare[starts[d]] = w;
            starts[d] += 1;
        }
        std::mem::swap(&mut words, &mut spare);
    }
    words
}

/// The bucket of Marquetor's texture map (0-511) a name falls in; each byte counts as a
/// signed value, -128 to 127.
pub fn texture_bucket(name: &[u8]) -> usize {
    let mut h: u32 = 0;
    for &b in name {
        h = h.wrapping_mul(65599).wrapping_add(b as i8 as i32 as u32);
    }
    (h % TEXTURE_BUCKETS as u32) as usize
}

/// A text as `mrqt dump` shows it: UTF-8 when the bytes are valid UTF-8, otherwise each byte
/// read as Windows-1252 (the five bytes it leaves undefined become the C1 controls).
pub fn decode_text(bytes: &[u8]) -> Cow<'_, str> {
    match std::str::from_utf8(bytes) {
        Ok(text) => Cow::Borrowed(text),
        Err(_) => Cow::Owned(bytes.iter().map(|&b| windows_1252(b)).collect()),
    }
}

fn windows_1252(b: u8) -> char {
    const HIGH: [u16; 32] = [
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D,
        0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A,
        0x0153, 0x009D, 0x017E, 0x0178,
    ];
    if (0x80..0xA0).contains(&b) {
        char::from_u32(u32::from(HIGH[usize::from(b - 0x80)])).unwrap_or('\u{FFFD}')
    } else {
        char::from(b)
    }
}

// How many records a count may reserve room for: never more than the bytes left could hold
// (plus the one the data may end in), whatever the count claims.
fn room(count: i32, left: usize, min_record: usize) -> usize {
    if count <= 0 {
        0
    } else {
        (count as usize).min(left / min_record + 1)
    }
}

// The items of the format. Past the end a number reads as 0 (a partly present one keeps its
// bytes in its low part) and a line as empty; `ended` records that.
struct Reader<'a> {
    data: &'a [u8],
    pos: usize,
    ended: bool,
}

impl<'a> Reader<'a> {
    fn at_end(&self) -> bool {
        self.pos >= self.data.len()
    }
    fn left(&self) -> usize {
        self.data.len() - self.pos
    }
    fn number(&mut self, width: usize) -> u32 {
        let end = (self.pos + width).min(self.data.len());
        if end - self.pos < width {
            self.ended = true;
        }
        let mut v = 0u32;
        for (i, &b) in self.data[self.pos..end].iter().enumerate() {
            v |= u32::from(b) << (8 * i);
        }
        self.pos = end;
        v
    }
    fn i32(&mut self) -> i32 {
        if let Some(b) = self.data.get(self.pos..self.pos + 4) {
            self.pos += 4;
            return i32::from_le_bytes([b[0], b[1], b[2], b[3]]);
        }
        self.number(4) as i32
    }
    fn i16(&mut self) -> i16 {
        if let Some(b) = self.data.get(self.pos..self.pos + 2) {
            self.pos += 2;
            return i16::from_le_bytes([b[0], b[1]]);
        }
        self.number(2) as u16 as i16
    }
    /// Up to CR LF, a lone LF, a lone CR (the byte after it stays), a zero byte, or the end
    /// of the data.
    fn line(&mut self) -> &'a [u8] {
        let data = self.data;
        let rest = &data[self.pos..];
        match rest.iter().position(|&b| b == b'\r' || b == b'\n' || b == 0) {
            Some(n) => {
                self.pos += n + 1;
                if rest[n] == b'\r' && rest.get(n + 1) == Some(&b'\n') {
                    self.pos += 1;
                }
                &rest[..n]
            }
            None => {
                self.pos = data.len();
                self.ended = true; // every line of the format is followed by more
                rest
            }
        }
    }
    /// Up to n bytes: fewer when the data ends first.
    fn block(&mut self, n: usize) -> &'a [u8] {
        let data = self.data;
        if n > self.left() {
            self.ended = true;
        }
        let end = self.pos + n.min(self.left());
        let bytes = &data[self.pos..end];
        self.pos = end;
        bytes
    }
}

// A quick hash for the look-ups, its result mixed so that every bit of the key moves the
// low bits the table's buckets are chosen by: IDs that differ only in high bits (multiples of
// 4096, say) spread over the table like any others.
#[derive(Default, Clone, Copy)]
struct Fx(u64);

impl Hasher for Fx {
    fn write(&mut self, bytes: &[u8]) {
        let mut chunks = bytes.chunks_exact(8);
        for c in &mut chunks {
            self.add(u64::from_le_bytes([c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]]));
        }
        let mut tail = 0u64;
        for (i, &b) in chunks.remainder().iter().enumerate() {
            tail |= u64::from(b) << (8 * i);
        }
        self.add(tail);
    }
    fn write_u8(&mut self, v: u8) {
        self.add(u64::from(v));
    }
    fn write_u32(&mut self, v: u32) {
        self.add(u64::from(v));
    }
    fn write_i32(&mut self, v: i32) {
        self.add(u64::from(v as u32));
    }
    fn write_u64(&mut self, v: u64) {
        self.add(v);
    }
    fn write_usize(&mut self, v: usize) {
        self.add(v as u64);
    }
    fn finish(&self) -> u64 {
        // The finaliser of MurmurHash3.
        let mut h = self.0;
        h ^= h >> 33;
        h = h.wrapping_mul(0xff51_afd7_ed55_8ccd);
        h ^= h >> 33;
        h = h.wrapping_mul(0xc4ce_b9fe_1a85_ec53);
        h ^ (h >> 33)
    }
}

impl Fx {
    fn add(&mut self, v: u64) {
        self.0 = (self.0.rotate_left(5) ^ v).wrapping_mul(0x51_7c_c1_b7_27_22_0a_95);
    }
}

type FastHash = BuildHasherDefault<Fx>;

// The README's examples are compiled and run as doc tests.
#[doc = include_str!("../README.md")]
#[cfg(doctest)]
pub struct ReadmeExamples;
