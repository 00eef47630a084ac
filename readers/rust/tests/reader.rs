//! The records and look-ups of small files made here, the load statuses, texts, allocations
//! bounded by the data, and every file of the corpus (MARQUETOR_READER_CORPUS, when set)
//! read without a panic and found again by its look-ups. What each file reads as is
//! compared with `mrqt dump` by the test reader-rust-matches-mrqt-dump.

use std::alloc::{GlobalAlloc, Layout, System};
use std::cell::Cell;

use marquetor_tileset::{read, texture_bucket, Error, Status};

// The largest single allocation of this thread (the tests run side by side), to see that no
// count or size is believed before its bytes are there.
thread_local! {
    static LARGEST: Cell<usize> = const { Cell::new(0) };
}
fn note(size: usize) {
    let _ = LARGEST.try_with(|largest| largest.set(largest.get().max(size)));
}
fn largest_since_last_call() -> usize {
    LARGEST.with(|largest| largest.replace(0))
}
struct Largest;
unsafe impl GlobalAlloc for Largest {
    unsafe fn alloc(&self, layout: Layout) -> *mut u8 {
        note(layout.size());
        System.alloc(layout)
    }
    unsafe fn dealloc(&self, ptr: *mut u8, layout: Layout) {
        System.dealloc(ptr, layout)
    }
    unsafe fn realloc(&self, ptr: *mut u8, layout: Layout, size: usize) -> *mut u8 {
        note(size);
        System.realloc(ptr, layout, size)
    }
}
#[global_allocator]
static ALLOCATOR: Largest = Largest;

#[derive(Default)]
struct File(Vec<u8>);

impl File {
    fn line(mut self, text: &[u8]) -> Self {
        self.0.extend_from_slice(text);
        self.0.extend_from_slice(b"\r\n");
        self
    }
    fn i32(mut self, v: i32) -> Self {
        self.0.extend_from_slice(&v.to_le_bytes());
        self
    }
    fn i16(mut self, v: i16) -> Self {
        self.0.extend_from_slice(&v.to_le_bytes());
        self
    }
    fn raw(mut self, bytes: &[u8]) -> Self {
        self.0.extend_from_slice(bytes);
        self
    }
}

fn worked_example() -> Vec<u8> {
    File::default()
        .line(b"0.50")
        .i32(64)
        .i32(32)
        .i32(1)
        .line(b"A")
        .i32(0x80FF)
        .line(b"")
        .i32(0)
        .i32(1)
        .i32(7)
        .line(b"T")
        .line(b"A")
        .i16(3)
        .i16(1)
        .0
}

#[test]
fn the_worked_example_and_its_look_ups() {
    let data = worked_example();
    assert_eq!(data.len(), 49);
    let set = read(&data).unwrap();
    assert_eq!((set.tile_width, set.tile_height, set.status), (64, 32, Status::Whole));
    assert_eq!(set.materials.len(), 1);
    let a = &set.materials[0];
    assert_eq!((a.name.as_bytes(), a.color, a.red, a.green, a.blue), (&b"A"[..], 0x80FF, 255, 128, 0));
    assert!(a.description.is_empty());
    assert!(set.textures.is_empty());
    let tile = &set.tiles[0];
    assert_eq!((tile.id, tile.layer, tile.collision), (7, 3, 1));
    assert!(tile.texture == "T" && tile.material == "A");
    assert_eq!(set.material("A"), Some(a));
    assert_eq!(set.material(&tile.material), Some(a));
    assert!(set.material("a").is_none() && set.texture("T").is_none());
    assert_eq!(set.tile(7), Some(tile));
    assert!(set.tile(8).is_none());
}

#[test]
fn repeats_keep_the_first_record_and_textures_come_in_map_order() {
    // Three names of one bucket, read in this order, and a repeat of the first.
    let bucket = texture_bucket(b"t0");
    let names: Vec<Vec<u8>> = std::iter::once(b"t0".to_vec())
        .chain((1..).map(|i| format!("t{}", i).into_bytes()).filter(|n| texture_bucket(n) == bucket).take(2))
        .collect();
    let mut f = File::default().line(b"0.50").i32(1).i32(1).i32(3);
    f = f.line(b"Stone").i32(1).line(b"first").line(b"Mud").i32(2).line(b"").line(b"Stone").i32(3).line(b"second");
    f = f.i32(5).line(b"other.png").i32(-7);
    for n in &names {
        f = f.line(n).i32(1).raw(b"x");
    }
    f = f.line(&names[0]).i32(2).raw(b"yy");
    f = f.i32(3).i32(-1).line(b"a").line(b"Mud").i16(i16::MIN).i16(i16::MAX);
    f = f.i32(5).line(b"b").line(b"Stone").i16(0).i16(0).i32(-1).line(b"x").line(b"y").i16(9).i16(9);
    let set = read(&f.0).unwrap();

    assert_eq!(set.materials.iter().map(|m| m.color).collect::<Vec<_>>(), vec![1, 2]);
    assert_eq!(set.material("Stone").unwrap().description, "first");
    let in_bucket: Vec<&[u8]> =
        set.textures.iter().filter(|t| texture_bucket(&t.name) == bucket).map(|t| t.name.as_bytes()).collect();
    assert_eq!(in_bucket, vec![&names[2][..], &names[1][..], &names[0][..]]);
    assert_eq!(set.texture(&names[0]).unwrap().bytes, b"yy");
    assert!(set.texture("other.png").unwrap().bytes.is_empty());
    let buckets: Vec<usize> = set.textures.iter().map(|t| texture_bucket(&t.name)).collect();
    assert!(buckets.windows(2).all(|w| w[0] <= w[1]));
    assert_eq!(set.tiles.iter().map(|t| t.id).collect::<Vec<_>>(), vec![-1, 5]);
    assert_eq!((set.tile(-1).unwrap().layer, set.tile(-1).unwrap().collision), (i16::MIN, i16::MAX));
}

#[test]
fn statuses() {
    let data = worked_example();
    // Cut in the tile's texture name: the tile is kept with what was read.
    let set = read(&data[..40]).unwrap();
    assert_eq!(set.status, Status::EndedEarly);
    assert!(set.ended_early());
    assert_eq!((set.materials.len(), set.tiles.len()), (1, 1));
    assert!(set.tiles[0].id == 7 && set.tiles[0].texture == "T" && set.tiles[0].material.is_empty());
    // "40 00" and the end read as 64.
    assert_eq!(read(&data[..8]).unwrap().tile_width, 64);
    assert_eq!(read(b"0.50").unwrap().status, Status::EndedEarly);

    assert!(matches!(read(b"0.51\r\n"), Err(Error::NotATileSet)));
    assert!(matches!(read(b""), Err(Error::NotATileSet)));
    assert!(matches!(read(b"\xEF\xBB\xBF0.50\r\n"), Err(Error::NotATileSet)));

    match marquetor_tileset::open("/nonexistent/folder/set.mrqt") {
        Err(Error::CannotOpen(e)) => assert_eq!(e.kind(), std::io::ErrorKind::NotFound),
        other => panic!("{:?}", other.map(|s| s.tiles.len())),
    }
    assert!(matches!(marquetor_tileset::open(std::env::temp_dir()), Err(Error::CannotOpen(_))));
    let path = std::env::temp_dir().join(format!("marquetor-rust-{}.mrqt", std::process::id()));
    std::fs::write(&path, &data).unwrap();
    let set = marquetor_tileset::open(&path).unwrap();
    std::fs::remove_file(&path).unwrap();
    assert_eq!((set.status, set.tiles.len()), (Status::Whole, 1));
}

#[test]
fn texts_are_bytes_shown_as_mrqt_shows_them() {
    let f = File::default().line(b"0.50").i32(1).i32(1).i32(2);
    let f = f.line(b"Caf\xE9").i32(0).line(&[b'x'; 70]).line("Café".as_bytes()).i32(0).line(b"\x80 \x81");
    let set = read(&f.i32(0).i32(0).0).unwrap();
    let (latin, utf8) = (&set.materials[0], &set.materials[1]);
    assert_eq!(latin.name.as_bytes(), b"Caf\xE9");
    assert!(!latin.name.is_utf8() && utf8.name.is_utf8());
    assert_eq!(latin.name.to_string(), "Café");
    assert_eq!(utf8.name.to_string(), "Café");
    assert_ne!(latin.name, utf8.name); // two names: the bytes differ
    assert_eq!(latin.description.len(), 64);
    assert_eq!(utf8.description.decoded(), "\u{20AC} \u{81}");
    assert!(set.material("Café").unwrap() == utf8 && set.material(b"Caf\xE9").unwrap() == latin);
}

#[test]
fn counts_and_sizes_that_lie_cost_nothing() {
    let f = File::default().line(b"0.50").i32(1).i32(1).i32(1).line(b"a").i32(1).line(b"d");
    let f = f.i32(i32::MAX).line(b"t.png").i32(i32::MAX).raw(b"PNG");
    largest_since_last_call();
    let set = read(&f.0).unwrap();
    let largest = largest_since_last_call();
    assert_eq!(set.status, Status::EndedEarly);
    assert_eq!((set.materials.len(), set.textures.len(), set.tiles.len()), (1, 1, 0));
    assert_eq!(set.textures[0].bytes, b"PNG");
    assert!(largest < 64 * 1024, "{} bytes for a file of {}", largest, f.0.len());

    let f = File::default().line(b"0.50").i32(1).i32(1).i32(0).i32(0).i32(i32::MAX).i32(1).line(b"t").line(b"m");
    let data = f.i16(1).i16(1).raw(b"\x02").0;
    largest_since_last_call();
    let set = read(&data).unwrap();
    assert!(largest_since_last_call() < 64 * 1024);
    // The second tile is the one byte present: ID 2, the rest empty.
    assert_eq!(set.tiles.iter().map(|t| t.id).collect::<Vec<_>>(), vec![1, 2]);
}

#[test]
fn every_corpus_file_reads_and_is_found_again() {
    let dir = match std::env::var_os("MARQUETOR_READER_CORPUS") {
        Some(dir) => dir,
        None => {
            eprintln!("MARQUETOR_READER_CORPUS is not set: the corpus is left out");
            return;
        }
    };
    let mut files = 0;
    let mut ended = 0;
    for entry in std::fs::read_dir(dir).unwrap() {
        let path = entry.unwrap().path();
        if path.extension().map_or(true, |e| e != "mrqt") {
            continue;
        }
        files += 1;
        let set = match marquetor_tileset::open(&path) {
            Ok(set) => set,
            Err(Error::NotATileSet) => continue,
            Err(e) => panic!("{}: {}", path.display(), e),
        };
        ended += set.ended_early() as usize;
        for m in &set.materials {
            assert!(std::ptr::eq(set.material(&m.name).unwrap(), m), "{}", path.display());
            assert!(m.description.len() <= 64);
        }
        for t in &set.textures {
            assert!(std::ptr::eq(set.texture(&t.name).unwrap(), t), "{}", path.display());
        }
        for t in &set.tiles {
            assert!(std::ptr::eq(set.tile(t.id).unwrap(), t), "{}", path.display());
        }
    }
    assert!(files > 100 && ended > 50, "{} files, {} ended early", files, ended);
}
