//! Prints a tile set exactly as `mrqt dump FILE` prints it, read with this crate.
//!
//!     cargo run --example dump -- FILE           the JSON on standard output, or mrqt's message
//!     cargo run --example dump -- --time FILE    one load, timed: "load_seconds S"
//!     cargo run --example dump -- --batch        file names on standard input, one a line; for
//!         each, one record on standard output: "STATUS OUTLEN ERRLEN\n", then the OUTLEN bytes
//!         `dump FILE` writes on standard output and the ERRLEN bytes it writes on standard error
//!
//! Texts that are not valid UTF-8 are shown as Windows-1252 with an ...Encoding key beside
//! them; each texture's bytes are summed up by SHA-256, written below (the standard library
//! has none).
#![forbid(unsafe_code)]

use std::io::{self, BufRead, Write};
use std::path::Path;
use std::process::exit;
use std::time::Instant;

use marquetor_tileset::{decode_text, Error, Status, TileSet};

fn main() {
    let args: Vec<std::ffi::OsString> = std::env::args_os().skip(1).collect();
    if args.len() == 2 && args[0] == "--time" {
        let start = Instant::now();
        let loaded = marquetor_tileset::open(&args[1]);
        println!("load_seconds {:.6}", start.elapsed().as_secs_f64());
        exit(if matches!(loaded, Ok(ref set) if set.status == Status::Whole) { 0 } else { 1 });
    }
    if args.len() == 1 && args[0] == "--batch" {
        exit(batch());
    }
    if args.len() != 1 {
        eprintln!(
            "Usage: dump FILE   (prints the tile set as mrqt dump does)\n       dump --time FILE\n       \
             dump --batch   (file names on standard input; one record each: STATUS OUTLEN ERRLEN,\n                      \
             then the output and the messages of dump FILE)"
        );
        exit(2);
    }
    let stdout = io::stdout();
    let mut out = io::BufWriter::with_capacity(1 << 16, stdout.lock());
    let status = dump_file(Path::new(&args[0]), &mut out, &mut io::stderr());
    exit(status);
}

/// What `mrqt dump PATH` does: the JSON on `out`, the messages on `err`; the exit status.
fn dump_file(path: &Path, out: &mut impl Write, err: &mut impl Write) -> i32 {
    let raw = path_bytes(path);
    let set = match marquetor_tileset::open(path) {
        Ok(set) => set,
        Err(Error::NotATileSet) => {
            let _ = writeln!(err, "mrqt: {}: {}", decode_text(&raw), Error::NotATileSet);
            return 1;
        }
        Err(Error::CannotOpen(e)) => {
            let why = if raw.is_empty() {
                "no file name given".to_string()
            } else if path.is_dir() {
                "it is a folder".to_string()
            } else {
                os_message(&e)
            };
            let _ = err.write_all(b"mrqt: cannot open \"");
            let _ = err.write_all(&raw);
            let _ = writeln!(err, "\": {}", why);
            return 1;
        }
    };
    if set.status == Status::EndedEarly {
        let _ = writeln!(
            err,
            "mrqt: warning: {}: the data ended early; only part of the tile set was read",
            decode_text(&raw)
        );
    }
    if dump(&set, out).and_then(|_| out.flush()).is_err() {
        let _ = writeln!(err, "mrqt: cannot write the output");
        return 1;
    }
    0
}

/// dump --batch: each line of standard input is a file name (its bytes, without the newline);
/// each file's run is kept in memory and written as one record.
fn batch() -> i32 {
    let stdin = io::stdin();
    let mut input = stdin.lock();
    let stdout = io::stdout();
    let mut records = io::BufWriter::with_capacity(1 << 16, stdout.lock());
    let mut line = Vec::new();
    loop {
        line.clear();
        match input.read_until(b'\n', &mut line) {
            Ok(0) => return 0,
            Ok(_) => {}
            Err(e) => {
                eprintln!("mrqt: cannot read standard input: {}", os_message(&e));
                return 1;
            }
        }
        if line.last() == Some(&b'\n') {
            line.pop();
        }
        let (mut out, mut err) = (Vec::new(), Vec::new());
        let status = dump_file(&path_from_bytes(&line), &mut out, &mut err);
        let written = writeln!(records, "{} {} {}", status, out.len(), err.len())
            .and_then(|_| records.write_all(&out))
            .and_then(|_| records.write_all(&err))
            .and_then(|_| records.flush());
        if written.is_err() {
            eprintln!("mrqt: cannot write the output");
            return 1;
        }
    }
}

fn dump(set: &TileSet, out: &mut impl Write) -> io::Result<()> {
    write!(
        out,
        "{{\n  \"tileWidth\": {},\n  \"tileHeight\": {},\n  \"materials\": [",
        set.tile_width, set.tile_height
    )?;
    for (i, m) in set.materials.iter().enumerate() {
        out.write_all(if i == 0 { b"\n    {" } else { b",\n    {" })?;
        text(out, "name", &m.name)?;
        write!(out, ",\"color\":{},\"red\":{},\"green\":{},\"blue\":{},", m.color, m.red, m.green, m.blue)?;
        text(out, "description", &m.description)?;
        out.write_all(b"}")?;
    }
    out.write_all(if set.materials.is_empty() { b"],\n" } else { b"\n  ],\n" })?;
    out.write_all(b"  \"textures\": [")?;
    for (i, t) in set.textures.iter().enumerate() {
        out.write_all(if i == 0 { b"\n    {" } else { b",\n    {" })?;
        text(out, "name", &t.name)?;
        write!(out, ",\"size\":{},\"sha256\":\"{}\"}}", t.bytes.len(), sha256_hex(&t.bytes))?;
    }
    out.write_all(if set.textures.is_empty() { b"],\n" } else { b"\n  ],\n" })?;
    out.write_all(b"  \"tiles\": [")?;
    for (i, t) in set.tiles.iter().enumerate() {
        write!(out, "{}{{\"id\":{},", if i == 0 { "\n    " } else { ",\n    " }, t.id)?;
        text(out, "texture", &t.texture)?;
        out.write_all(b",")?;
        text(out, "material", &t.material)?;
        write!(out, ",\"layer\":{},\"collision\":{}}}", t.layer, t.collision)?;
    }
    out.write_all(if set.tiles.is_empty() { b"]\n}\n" } else { b"\n  ]\n}\n" })
}

/// "key":"text", and "keyEncoding":"windows-1252" after it when the bytes are no UTF-8.
fn text(out: &mut impl Write, key: &str, bytes: &[u8]) -> io::Result<()> {
    write!(out, "\"{}\":\"", key)?;
    let utf8 = std::str::from_utf8(bytes).is_ok();
    let mut buffer = [0u8; 4];
    for c in decode_text(bytes).chars() {
        match c {
            '"' => out.write_all(b"\\\"")?,
            '\\' => out.write_all(b"\\\\")?,
            '\u{8}' => out.write_all(b"\\b")?,
            '\u{c}' => out.write_all(b"\\f")?,
            '\n' => out.write_all(b"\\n")?,
            '\r' => out.write_all(b"\\r")?,
            '\t' => out.write_all(b"\\t")?,
            c if (c as u32) < 0x20 => write!(out, "\\u{:04x}", c as u32)?,
            c => out.write_all(c.encode_utf8(&mut buffer).as_bytes())?,
        }
    }
    out.write_all(b"\"")?;
    if !utf8 {
        write!(out, ",\"{}Encoding\":\"windows-1252\"", key)?;
    }
    Ok(())
}

/// The system's message for an error, as strerror gives it (without " (os error N)").
fn os_message(e: &io::Error) -> String {
    let text = e.to_string();
    match text.rfind(" (os error ") {
        Some(at) => text[..at].to_string(),
        None => text,
    }
}

#[cfg(unix)]
fn path_bytes(path: &Path) -> Vec<u8> {
    use std::os::unix::ffi::OsStrExt;
    path.as_os_str().as_bytes().to_vec()
}

#[cfg(not(unix))]
fn path_bytes(path: &Path) -> Vec<u8> {
    path.to_string_lossy().as_bytes().to_vec()
}

#[cfg(unix)]
fn path_from_bytes(bytes: &[u8]) -> std::path::PathBuf {
    use std::os::unix::ffi::OsStrExt;
    std::ffi::OsStr::from_bytes(bytes).into()
}

#[cfg(not(unix))]
fn path_from_bytes(bytes: &[u8]) -> std::path::PathBuf {
    String::from_utf8_lossy(bytes).into_owned().into()
}

// ---- SHA-256 (FIPS 180-4) -------------------------------------------------------------------

const K: [u32; 64] = [
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5, 0xd807aa98,
    0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786,
    0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8,
    0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13,
    0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819,
    0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a,
    0x5b9cca4f, 0x682e6ff3, 0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
    0xc67178f2,
];

fn sha_block(h: &mut [u32; 8], block: &[u8]) {
    let mut w = [0u32; 64];
    for i in 0..16 {
        w[i] = u32::from_be_bytes([block[4 * i], block[4 * i + 1], block[4 * i + 2], block[4 * i + 3]]);
    }
    for i in 16..64 {
        let s0 = w[i - 15].rotate_right(7) ^ w[i - 15].rotate_right(18) ^ (w[i - 15] >> 3);
        let s1 = w[i - 2].rotate_right(17) ^ w[i - 2].rotate_right(19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16].wrapping_add(s0).wrapping_add(w[i - 7]).wrapping_add(s1);
    }
    let [mut a, mut b, mut c, mut d, mut e, mut f, mut g, mut k] = *h;
    for i in 0..64 {
        let t1 = k
            .wrapping_add(e.rotate_right(6) ^ e.rotate_right(11) ^ e.rotate_right(25))
            .wrapping_add((e & f) ^ (!e & g))
            .wrapping_add(K[i])
            .wrapping_add(w[i]);
        let t2 =
            (a.rotate_right(2) ^ a.rotate_right(13) ^ a.rotate_right(22)).wrapping_add((a & b) ^ (a & c) ^ (b & c));
        k = g;
        g = f;
        f = e;
        e = d.wrapping_add(t1);
        d = c;
        c = b;
        b = a;
        a = t1.wrapping_add(t2);
    }
    for (x, y) in h.iter_mut().zip([a, b, c, d, e, f, g, k]) {
        *x = x.wrapping_add(y);
    }
}

fn sha256_hex(data: &[u8]) -> String {
    let mut h = [0x6a09e667u32, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19];
    let mut blocks = data.chunks_exact(64);
    for block in &mut blocks {
        sha_block(&mut h, block);
    }
    let rest = blocks.remainder();
    let mut last = [0u8; 128];
    last[..rest.len()].copy_from_slice(rest);
    last[rest.len()] = 0x80;
    let tail = if rest.len() < 56 { 64 } else { 128 };
    last[tail - 8..tail].copy_from_slice(&((data.len() as u64) * 8).to_be_bytes());
    for block in last[..tail].chunks_exact(64) {
        sha_block(&mut h, block);
    }
    h.iter().map(|v| format!("{:08x}", v)).collect()
}
