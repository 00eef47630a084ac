#!/usr/bin/env python3
"""The real Tiled as the client of mrqt export and import.

Tile sets made from seeds go through `mrqt export` (TSX and JSON; plain, --png, --images,
--renumber); Tiled (`tiled --export-tileset`, offscreen) must read each with every tile and
property and save it again as JSON and as TSX; `mrqt import` of what Tiled wrote must give the
same tile size, materials, textures and tiles. tmxrasterizer, Tiled's renderer, draws a map of
every tile: each shows its picture where Tiled can show it. An atlas with margin and spacing
is cut by `mrqt import` exactly as Tiled cuts it.

Usage: tiled_client_test.py MRQT. Exits 77 (skipped) when Tiled is not installed."""
import hashlib, json, os, random, shutil, struct, subprocess, sys, tempfile, zlib
import xml.etree.ElementTree as ET

MRQT = sys.argv[1]
TILED, RASTERIZER = shutil.which('tiled'), shutil.which('tmxrasterizer')
if not TILED or not RASTERIZER:
    print('SKIPPED: Tiled is not installed (scripts/install-deps.sh installs the Debian package tiled)')
    sys.exit(77)

work = tempfile.mkdtemp(prefix='mrqt-tiled-')
ENV = dict(os.environ, QT_QPA_PLATFORM='offscreen', HOME=work, XDG_RUNTIME_DIR=work, XDG_CONFIG_HOME=work)
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print('FAIL:', what)


def run(args, ok=(0,)):
    r = subprocess.run(args, capture_output=True, env=ENV)
    if r.returncode not in ok:
        raise SystemExit(f'{args} ended with {r.returncode}: {r.stderr.decode(errors="replace")}')
    return r


# ---- pictures -------------------------------------------------------------------------

def png(w, h, rgba):
    raw = b''.join(b'\0' + bytes(rgba[y * w * 4:(y + 1) * w * 4]) for y in range(h))
    chunk = lambda t, d: struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d))
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b''))


def read_png(path):
    data = open(path, 'rb').read()
    pos, idat = 8, b''
    while pos < len(data):
        n, = struct.unpack('>I', data[pos:pos + 4]); kind = data[pos + 4:pos + 8]; body = data[pos + 8:pos + 8 + n]
        pos += 12 + n
        if kind == b'IHDR':
            w, h, depth, ctype, _, _, interlace = struct.unpack('>IIBBBBB', body)
            assert depth == 8 and interlace == 0
        elif kind == b'IDAT':
            idat += body
    ch = {2: 3, 6: 4}[ctype]
    raw, stride, out, prev, i = zlib.decompress(idat), w * ch, bytearray(), bytearray(w * ch), 0
    for _ in range(h):
        f, line = raw[i], bytearray(raw[i + 1:i + 1 + stride]); i += 1 + stride
        for x in range(stride):
            a = line[x - ch] if x >= ch else 0; b = prev[x]; c = prev[x - ch] if x >= ch else 0
            if f == 1: line[x] = (line[x] + a) & 255
            elif f == 2: line[x] = (line[x] + b) & 255
            elif f == 3: line[x] = (line[x] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c; pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        out += line; prev = line
    px = [tuple(out[k * ch:(k + 1) * ch]) + ((255,) if ch == 3 else ()) for k in range(w * h)]
    return w, h, px


def bmp(w, h, rgb):
    row = (w * 3 + 3) & ~3
    pixels = b''.join(bytes([rgb[2], rgb[1], rgb[0]]) * w + b'\0' * (row - w * 3) for _ in range(h))
    return (b'BM' + struct.pack('<IHHI', 54 + len(pixels), 0, 0, 54)
            + struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0) + pixels)


def tga(w, h, rgb, rle, footer):
    header = struct.pack('<BBBHHBHHHHBB', 0, 0, 10 if rle else 2, 0, 0, 0, 0, 0, w, h, 24, 0x20)
    pixel = bytes([rgb[2], rgb[1], rgb[0]])
    if rle:
        body = b''.join((bytes([0x80 | (min(128, w - x) - 1)]) + pixel) for _ in range(h) for x in range(0, w, 128))
    else:
        body = pixel * (w * h)
    return header + body + (b'\0' * 8 + b'TRUEVISION-XFILE.\0' if footer else b'')


# ---- tile sets from seeds --------------------------------------------------------------

def make_set(seed):
    """Returns (the .mrqt path, {texture name: (its colour, whether Tiled shows the file)})."""
    rng = random.Random(seed)
    folder = os.path.join(work, f'set{seed}'); os.makedirs(os.path.join(folder, 'tex'))
    tw, th = rng.randint(4, 12), rng.randint(4, 12)
    materials = [{'name': 'Stone', 'color': rng.randrange(1 << 24), 'description': 'hard & "grey" <rock>'},
                 {'name': 'K\u00e4se', 'nameEncoding': 'windows-1252', 'color': 5, 'description': 'd\u00e9j\u00e0',
                  'descriptionEncoding': 'windows-1252'},
                 {'name': 'Gras\u0001s', 'color': 7},
                 {'name': 'caf\u00e9 \u20ac', 'color': 255}]
    textures, colours, names = [], {}, []
    for i in range(8):
        colour = (rng.randrange(40, 250), rng.randrange(40, 250), rng.randrange(40, 250))
        kind = i % 5
        name, shown = [(f'p{i}.png', True), (f'b{i}.bmp', True), (f't{i}.tga', True),
                       (f'rle{i}.tga', False), (f'old{i}.tga', False)][kind]
        if i == 6:
            name = f'K\u00f6rper{i}.png'
        # One picture larger than a tile: Tiled then saves that larger size as the tileset's.
        data = [png(tw, th, list(colour + (255,)) * (tw * th)), bmp(tw + 3, th + 2, colour), tga(tw, th, colour, False, True),
                tga(tw, th, colour, True, True), tga(tw, th, colour, False, False)][kind]
        raw_name = name.encode('cp1252') if i == 6 else name.encode()
        open(os.path.join(folder, 'tex').encode() + b'/' + raw_name, 'wb').write(data)
        record = {'name': name, 'size': len(data), 'sha256': hashlib.sha256(data).hexdigest()}
        if i == 6:
            record['nameEncoding'] = 'windows-1252'
        textures.append(record); names.append((name, i == 6))
        colours[name] = (colour, shown)
    tiles, used = [], set()
    for k in range(30):
        tid = rng.randrange(0, 100000)
        if tid in used:
            continue
        used.add(tid)
        name, cp = names[rng.randrange(len(names) - 1)]   # the last texture: used by no tile
        m = rng.choice(materials)
        tile = {'id': tid, 'texture': name, 'material': m['name'], 'layer': rng.randint(-300, 300),
                'collision': rng.randint(0, 6)}
        if cp:
            tile['textureEncoding'] = 'windows-1252'
        if 'nameEncoding' in m:
            tile['materialEncoding'] = 'windows-1252'
        tiles.append(tile)
    doc = {'tileWidth': tw, 'tileHeight': th, 'materials': materials, 'textures': textures, 'tiles': tiles}
    json.dump(doc, open(os.path.join(folder, 'set.json'), 'w'))
    out = os.path.join(folder, 'set.mrqt')
    run([MRQT, 'build', os.path.join(folder, 'set.json'), os.path.join(folder, 'tex'), out])
    return out, colours


def dump(path):
    return run([MRQT, 'dump', path]).stdout.decode()


def tiles_of_tiled_output(path):
    """{tile id: {property name: value}} as Tiled wrote them."""
    result = {}
    if not path.endswith('.tsx'):
        for t in json.load(open(path))['tiles']:
            result[t['id']] = {p['name']: p['value'] for p in t.get('properties', [])}
    else:
        for t in ET.parse(path).getroot().findall('tile'):
            props = t.find('properties')
            result[int(t.get('id'))] = {p.get('name'): p.get('value', p.text) for p in (props if props is not None else [])}
    return result


def render_check(tileset, colours, converted, tw, th, label):
    """A map of every tile with a picture, drawn by tmxrasterizer: each shows its colour (the
    TGA files Tiled cannot read only when --png converted them)."""
    exported = tiles_of_tiled_output(tileset)
    shown = [(tid, props['texture']) for tid, props in sorted(exported.items())
             if props.get('textureEncoding') is None and props['texture'] in colours
             and (converted or colours[props['texture']][1])]
    cols = len(shown)
    gids = ','.join(str(tid + 1) for tid, _ in shown)
    tmx = os.path.join(os.path.dirname(tileset), 'map.tmx')
    open(tmx, 'w').write(f'''<?xml version="1.0" encoding="UTF-8"?>
<map version="1.8" orientation="orthogonal" renderorder="right-down" width="{cols}" height="1" tilewidth="{tw}" tileheight="{th}" infinite="0" nextlayerid="2" nextobjectid="1">
 <tileset firstgid="1" source="{tileset}"/>
 <layer id="1" name="tiles" width="{cols}" height="1"><data encoding="csv">{gids}</data></layer>
</map>''')
    image = tmx + '.png'
    run([RASTERIZER, '--no-smoothing', tmx, image])
    w, h, px = read_png(image)
    for k, (tid, texture) in enumerate(shown):
        got = px[(th // 2) * w + k * tw + tw // 2][:3]
        check(got == colours[texture][0], f'{label}: tile {tid} ({texture}) is drawn as {got}, not {colours[texture][0]}')
    return len(shown)


# ---- the round trips -------------------------------------------------------------------

variants = [('tsx', []), ('json', []), ('tsj', ['--png']), ('tsx', ['--images', 'pictures', '--renumber'])]
for seed in (1, 2, 3):
    mrqt_file, colours = make_set(seed)
    original = dump(mrqt_file)
    tw, th = json.loads(original)['tileWidth'], json.loads(original)['tileHeight']
    for n, (ext, options) in enumerate(variants):
        label = f'set {seed}, .{ext} {" ".join(options)}'
        folder = os.path.join(os.path.dirname(mrqt_file), f'out{n}')
        exported = os.path.join(folder, f'level.{ext}')
        run([MRQT, 'export', *options, mrqt_file, exported])
        own = os.path.join(folder, 'own.mrqt')
        run([MRQT, 'import', exported, own])
        expected = dump(own)
        if '--png' not in options:
            check(expected == original, f'{label}: export then import changed the set')
        ours = tiles_of_tiled_output(exported)
        for target in ('resaved.json', 'resaved.tsx'):
            path = os.path.join(folder, target)
            run([TILED, '--export-tileset', 'json' if target.endswith('json') else 'tsx', exported, path])
            theirs = tiles_of_tiled_output(path)
            check(theirs.keys() == ours.keys(), f'{label}: Tiled ({target}) kept tiles {sorted(theirs)} of {sorted(ours)}')
            for tid, props in ours.items():
                got = {k: str(v) for k, v in theirs.get(tid, {}).items()}
                check(got == {k: str(v) for k, v in props.items()}, f'{label}: Tiled ({target}) changed tile {tid}: {got}')
            back = os.path.join(folder, target + '.mrqt')
            run([MRQT, 'import', path, back])
            check(dump(back) == expected, f'{label}: Tiled\'s {target} imports as another set')
        drawn = render_check(exported, colours, '--png' in options, tw, th, label)
        check(drawn > 0, f'{label}: no tile drawn')
    print(f'set {seed}: {len(json.loads(original)["tiles"])} tiles through {len(variants)} exports and Tiled: done')

# ---- an atlas, cut as Tiled cuts it ----------------------------------------------------

folder = os.path.join(work, 'atlas'); os.makedirs(folder)
W, H, tw, th, margin, spacing = 61, 47, 7, 5, 3, 2
pixels = []
for y in range(H):
    for x in range(W):
        pixels += [x * 4 % 256, y * 5 % 256, (x * y) % 256, 255 if (x + y) % 5 else 0]
open(os.path.join(folder, 'atlas.png'), 'wb').write(png(W, H, pixels))
cols, rows = (W - margin + spacing) // (tw + spacing), (H - margin + spacing) // (th + spacing)
tsx = os.path.join(folder, 'atlas.tsx')
open(tsx, 'w').write(f'''<?xml version="1.0" encoding="UTF-8"?>
<tileset version="1.8" name="atlas" tilewidth="{tw}" tileheight="{th}" spacing="{spacing}" margin="{margin}" tilecount="{cols * rows}" columns="{cols}">
 <image source="atlas.png" width="{W}" height="{H}"/>
</tileset>''')
run([MRQT, 'import', tsx, os.path.join(folder, 'atlas.mrqt')])
run([MRQT, 'extract', os.path.join(folder, 'atlas.mrqt'), os.path.join(folder, 'cells')])
tmx = os.path.join(folder, 'map.tmx')
open(tmx, 'w').write(f'''<?xml version="1.0" encoding="UTF-8"?>
<map version="1.8" orientation="orthogonal" renderorder="right-down" width="{cols}" height="{rows}" tilewidth="{tw}" tileheight="{th}" infinite="0" nextlayerid="2" nextobjectid="1">
 <tileset firstgid="1" source="{tsx}"/>
 <layer id="1" name="all" width="{cols}" height="{rows}"><data encoding="csv">{",".join(str(i + 1) for i in range(cols * rows))}</data></layer>
</map>''')
run([RASTERIZER, '--no-smoothing', tmx, tmx + '.png'])
w, h, drawn = read_png(tmx + '.png')
differing = 0
for i in range(cols * rows):
    cw, ch, cell = read_png(os.path.join(folder, 'cells', f'atlas_{i}.png'))
    check((cw, ch) == (tw, th), f'atlas cell {i} is {cw} x {ch}')
    for y in range(th):
        for x in range(tw):
            ours, theirs = cell[y * tw + x], drawn[((i // cols) * th + y) * w + (i % cols) * tw + x]
            if ours != theirs and not (ours[3] == 0 and theirs[3] == 0):   # see-through: no colour drawn
                differing += 1
check(differing == 0, f'atlas: {differing} pixels of the cells differ from what Tiled draws')
print(f'atlas: {cols * rows} cells compared with tmxrasterizer, {differing} pixels differ')

shutil.rmtree(work)
print(f'{0 if failures else 1} passed, {len(failures)} failed')
sys.exit(1 if failures else 0)
