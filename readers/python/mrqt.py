"""Reads Marquetor tile set files (.mrqt) into plain Python values.

Standard library only; copy this file into a game's tool chain. It follows the rules of
Marquetor's own reader (docs/file-format.md), so it gives what the editor and `mrqt dump`
give for any file, damaged ones included:

    import mrqt
    tileset = mrqt.load("Data/TileSets/level.mrqt")
    for tile in tileset["tiles"]:
        print(tile["id"], tile["texture"], tile["material"])

The result is a dict:
    tileWidth, tileHeight   ints
    materials               [{name, color, red, green, blue, description}]
    textures                [{name, size, data}]: data is the image file's bytes
    tiles                   [{id, texture, material, layer, collision}]
    truncated               True when the data ended early: what was read is kept

with look-ups by name and by ID: tileset.material(name), tileset.texture(name) and
tileset.tile(id) give the record, or None. A file whose first line is not "0.50" raises
NotATileSet; one that cannot be opened or read, the OSError of open().

Texts are str, decoded as `mrqt dump` shows them: UTF-8 when the bytes are valid UTF-8,
otherwise Windows-1252 (a file written on such a system). With raw=True they stay bytes,
exactly as stored; names compare byte for byte either way when duplicates are dropped.

Lists are in the order Marquetor keeps them: materials and tiles in file order, textures
in the order of its texture map (the order it saves them in).
"""
import gc
import re
import struct

HEADER = b"0.50"
DESCRIPTION_SIZE = 64
TEXTURE_BUCKETS = 512

_LINE_END = re.compile(rb"[\r\n\x00]")
# A whole tile record: ID, texture line, material line, layer and collision. A lone CR ends a
# line only when no LF follows, so each record has exactly one reading and a search from the
# first tile finds the records one after the other.
_TILE = re.compile(rb"(....)([^\r\n\x00]*)(?:\r\n|\r(?!\n)|[\n\x00])([^\r\n\x00]*)(?:\r\n|\r(?!\n)|[\n\x00])(....)",
                   re.DOTALL)


class NotATileSet(ValueError):
    """The first line is not "0.50"."""


class TileSet(dict):
    """The tile set as a dict (see above), with look-ups by name and by ID."""

    def material(self, name):
        """The material of a name (str, or bytes with raw=True), or None."""
        return self._index("materials", "name").get(name)

    def texture(self, name):
        """The texture of a name, or None."""
        return self._index("textures", "name").get(name)

    def tile(self, tile_id):
        """The tile of an ID, or None."""
        return self._index("tiles", "id").get(tile_id)

    def _index(self, section, key):
        # Made at the first look-up, from the lists as they are then.
        indexes = self.__dict__.setdefault("_indexes", {})
        if section not in indexes:
            indexes[section] = {record[key]: record for record in reversed(self[section])}
        return indexes[section]


def decode_text(data):
    """A text's bytes as `mrqt dump` shows them: UTF-8 when valid, else Windows-1252 (its
    five undefined bytes become the C1 controls of the same value)."""
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError:
        return "".join(_CP1252[b] for b in data)


def _cp1252(b):
    try:
        return bytes([b]).decode("cp1252")
    except UnicodeDecodeError:
        return chr(b)


_CP1252 = [_cp1252(b) for b in range(256)]


def texture_bucket(name):
    """The bucket of Marquetor's texture map a name falls in: bytes taken as signed."""
    h = 0
    for b in name:
        h = (h * 65599 + (b - 256 if b > 127 else b)) & 0xFFFFFFFF
    return h % TEXTURE_BUCKETS


class _Reader:
    """The items of the format. Past the end a number reads as zero (a partly present one
    keeps its bytes in its low part) and a line as empty; `ended` records that."""

    def __init__(self, data):
        self.data = data
        self.pos = 0
        self.ended = False

    def at_end(self):
        return self.pos >= len(self.data)

    def number(self, width):
        chunk = self.data[self.pos:self.pos + width]
        self.pos += len(chunk)
        if len(chunk) < width:
            self.ended = True
        value = int.from_bytes(chunk, "little")
        return value - (1 << 8 * width) if value >> (8 * width - 1) else value

    def line(self):
        """Up to CR LF, a lone LF, a lone CR (the byte after it stays), a zero byte or the
        end of the data."""
        found = _LINE_END.search(self.data, self.pos)
        if found is None:
            text = self.data[self.pos:]
            self.pos = len(self.data)
            self.ended = True   # every line of the format is followed by more
            return text
        end = found.start()
        text = self.data[self.pos:end]
        self.pos = end + 1
        if self.data[end] == 0x0D and self.data[self.pos:self.pos + 1] == b"\n":
            self.pos += 1
        return text

    def block(self, size):
        """Up to size bytes: fewer when the data ends first, never more than are there."""
        if size > len(self.data) - self.pos:
            self.ended = True
        chunk = self.data[self.pos:self.pos + size]
        self.pos += len(chunk)
        return chunk


def loads(data, raw=False):
    """Reads a tile set from bytes. Raises NotATileSet when the first line is not "0.50"."""
    # A million tiles are millions of new objects, none of them in a cycle: the cycle
    # collector would walk them again and again for nothing while they are made.
    collecting = gc.isenabled()
    gc.disable()
    try:
        return _loads(bytes(data), raw)
    finally:
        if collecting:
            gc.enable()


def _loads(data, raw):
    r = _Reader(data)
    if r.line() != HEADER:
        raise NotATileSet('not a tile set: the first line is not "0.50"')
    text = (lambda b: b) if raw else decode_text
    width, height = r.number(4), r.number(4)

    # Materials: a repeated name is dropped (the first one stays).
    materials, material_names = [], set()
    for _ in range(r.number(4)):   # a negative count holds no records
        if r.at_end():             # the count promised more than the data holds
            r.ended = True
            break
        name, color, description = r.line(), r.number(4), r.line()
        if name in material_names:
            continue
        material_names.add(name)
        materials.append({"name": text(name), "color": color, "red": color & 0xFF,
                          "green": (color >> 8) & 0xFF, "blue": (color >> 16) & 0xFF,
                          "description": text(description[:DESCRIPTION_SIZE])})

    # Textures: a repeated name replaces the earlier bytes and keeps the earlier place.
    buckets = [[] for _ in range(TEXTURE_BUCKETS)]   # each oldest first
    textures_by_name = {}
    for _ in range(r.number(4)):
        if r.at_end():
            r.ended = True
            break
        name = r.line()
        claimed = r.number(4)
        data = r.block(claimed) if claimed > 0 else b""   # a negative size holds no bytes
        texture = textures_by_name.get(name)
        if texture is None:
            texture = textures_by_name[name] = {"name": text(name)}
            buckets[texture_bucket(name)].append(texture)
        texture.update(size=len(data), data=data)
    textures = [t for bucket in buckets for t in reversed(bucket)]

    # Tiles of the one tile group: a repeated ID is dropped.
    count = r.number(4)
    tiles = _whole_tiles(r, count, text) if count > 0 else []
    if tiles is None:
        tiles, tile_ids = [], set()
        for _ in range(count):
            if r.at_end():
                r.ended = True
                break
            tile_id, texture, material = r.number(4), r.line(), r.line()
            layer, collision = r.number(2), r.number(2)
            if tile_id in tile_ids:
                continue
            tile_ids.add(tile_id)
            tiles.append({"id": tile_id, "texture": text(texture), "material": text(material),
                          "layer": layer, "collision": collision})

    return TileSet(tileWidth=width, tileHeight=height, materials=materials, textures=textures, tiles=tiles,
                   truncated=r.ended)


def _whole_tiles(r, count, text):
    """The tiles when all `count` records are there in full (a million in a second or so):
    matched together, their numbers unpacked together, each name decoded once. None when the
    data ends first: the record-by-record reading takes that case."""
    records = _TILE.findall(r.data, r.pos)
    if len(records) < count:
        return None
    del records[count:]
    id_bytes, textures, materials, numbers = zip(*records)
    ids = struct.unpack("<%di" % count, b"".join(id_bytes))
    numbers = struct.unpack("<%dh" % (2 * count), b"".join(numbers))
    names = {name: text(name) for name in set(textures) | set(materials)}
    textures = map(names.__getitem__, textures)
    materials = map(names.__getitem__, materials)
    tiles = [{"id": i, "texture": t, "material": m, "layer": layer, "collision": collision}
             for i, t, m, layer, collision in zip(ids, textures, materials, numbers[0::2], numbers[1::2])]
    if len(set(ids)) < count:   # a repeated ID: the first tile of it stays
        seen = set()
        tiles = [tile for tile in tiles if not (tile["id"] in seen or seen.add(tile["id"]))]
    return tiles


def load(path, raw=False):
    """Reads a tile set file; see loads()."""
    with open(path, "rb") as f:
        return loads(f.read(), raw)
