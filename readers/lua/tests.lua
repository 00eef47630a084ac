-- The Lua reader's tests, for Lua 5.1, LuaJIT and Lua 5.4 alike: the rules of the file
-- format on good files, every line end, damaged files (cut short, counts and sizes that lie,
-- repeated keys), texts in either encoding, the texture map's order, files that cannot be
-- read, and the dump program's output.
--
--   lua tests.lua        (from any folder; marquetor.lua and dump.lua lie beside it)

local here = (arg and arg[0] or ""):match("^(.*[/\\])") or "./"
package.path = here .. "?.lua;" .. package.path
local marquetor = require("marquetor")

local failures, current = 0, ""

local function check(ok, what)
  if not ok then
    failures = failures + 1
    print("FAIL " .. current .. ": " .. what)
  end
end

local function equal(expected, actual, what)
  check(expected == actual, what .. ": expected <" .. tostring(expected) .. ">, got <" .. tostring(actual) .. ">")
end

local function join(list, show)
  local out = {}
  for i, item in ipairs(list) do out[i] = show(item) end
  return table.concat(out, "|")
end

local function show_tile(t)
  return table.concat({ t.id, t.texture, t.material, t.layer, t.collision }, " ")
end

local function show_material(m)
  return table.concat({ m.name, m.color, m.description }, " ")
end

-- .mrqt bytes as a game tool might write them, good or bad.
local function writer()
  local parts = {}
  local w = {}
  local function int(v, bytes)
    v = v % (256 ^ bytes)
    for _ = 1, bytes do
      parts[#parts + 1] = string.char(v % 256)
      v = math.floor(v / 256)
    end
    return w
  end
  function w.i32(v) return int(v, 4) end
  function w.i16(v) return int(v, 2) end
  function w.raw(s) parts[#parts + 1] = s return w end
  function w.line(text, ending) return w.raw(text).raw(ending or "\r\n") end
  function w.header() return w.line("0.50") end
  function w.material(name, color, description) return w.line(name).i32(color).line(description) end
  function w.texture(name, bytes, size) return w.line(name).i32(size or #bytes).raw(bytes) end
  function w.tile(id, texture, material, layer, collision)
    return w.i32(id).line(texture).line(material).i16(layer).i16(collision)
  end
  function w.done() return table.concat(parts) end
  return w
end

local function set8() return writer().header().i32(8).i32(8) end

-- 64 x 32, material "A" (255, 128, 0), tile 7 naming texture "T" and material "A".
local function example()
  return writer().header().i32(64).i32(32).i32(1).material("A", 0x0080FF, "").i32(0).i32(1).tile(7, "T", "A", 3, 1).done()
end

-- Every kind of record, for cutting short: 2 materials, 2 textures, 2 tiles.
local function small_set()
  return writer().header().i32(16).i32(-8)
    .i32(2).material("Grass", 0x3CA056, "soft").material("Rock", 0x808080, "hard")
    .i32(2).texture("a.png", "\1\2\3").texture("b.png", "\4\5")
    .i32(2).tile(1, "a.png", "Grass", 0, 0).tile(-2, "b.png", "Rock", 255, 5).done()
end

local tests = {}

tests[#tests + 1] = { "the worked example of the file format", function()
  local set = marquetor.read(example())
  equal("ok", set.status, "status")
  equal("", set.message, "message")
  equal(64, set.tile_width, "width")
  equal(32, set.tile_height, "height")
  local m = set.materials[1]
  equal("A 33023 255 128 0 ", table.concat({ m.name, m.color, m.red, m.green, m.blue, m.description }, " "), "material")
  equal(0, #set.textures, "textures")
  equal("7 T A 3 1", join(set.tiles, show_tile), "tiles")
  equal(m, set.material_by_name.A, "material by name")
  equal(nil, set.material_by_name.a, "names are case-sensitive")
  equal(set.tiles[1], set.tile_by_id[7], "tile by ID")
  equal(nil, set.tile_by_id[8], "no tile 8")
end }

tests[#tests + 1] = { "every line end the format allows, and the header", function()
  local set = marquetor.read(writer().line("0.50", "\n").i32(1).i32(2).i32(3)
    .line("A", "\r").i32(0x0A0D00).line("lone CR", "\r")   -- the byte after a lone CR is the next item's
    .line("B", "\n").i32(5).line("zero", "\0")
    .line("C", "\r\n").i32(6).line("", "\r\n")
    .i32(0).i32(1).i32(-9).line("tex", "\0").line("mat", "\r").i16(-1).i16(0x7FFF).done())
  equal("ok", set.status, "status")
  equal("A 658688 lone CR|B 5 zero|C 6 ", join(set.materials, show_material), "materials")
  equal("-9 tex mat -1 32767", join(set.tiles, show_tile), "tiles")
  for _, header in ipairs({ "0.50\0", "0.50\r" }) do
    equal("ok", marquetor.read(writer().raw(header).i32(1).i32(1).i32(0).i32(0).i32(0).done()).status, header)
  end
  for _, bad in ipairs({ "", "0.5\r\n", "0.50 \r\n", " 0.50\r\n", "0.500\r\n", "MRQT", "\r\n0.50\r\n" }) do
    local not_one = marquetor.read(writer().raw(bad).i32(1).i32(1).i32(0).i32(0).i32(0).done())
    equal("not-a-tile-set", not_one.status, "header " .. bad)
    equal('not a tile set: the first line is not "0.50"', not_one.message, "message")
    check(not_one.tile_width == 0 and #not_one.tiles == 0, "nothing read")
  end
end }

tests[#tests + 1] = { "a file cut short at every offset keeps what was read", function()
  local whole = small_set()
  equal("ok", marquetor.read(whole).status, "whole")
  local before = { 0, 0, 0 }
  for cut = 0, #whole - 1 do
    local set = marquetor.read(whole:sub(1, cut))
    if cut < 4 then
      equal("not-a-tile-set", set.status, "cut at " .. cut)
    else
      equal("truncated", set.status, "cut at " .. cut)
      equal("the data ended early; only part of the tile set was read", set.message, "message")
      -- Records only ever come in as the data grows.
      local now = { #set.materials, #set.textures, #set.tiles }
      for k = 1, 3 do check(now[k] >= before[k] and now[k] <= 2, "cut at " .. cut .. ": list " .. k) end
      before = now
    end
  end
  local function cut(n) return marquetor.read(whole:sub(1, n)) end
  equal(16, cut(7).tile_width, "in the width: its low byte")
  equal(0, cut(7).tile_height, "height after the end")
  equal("Grass 41046 ", join(cut(6 + 12 + 7 + 2).materials, show_material), "in the first colour")
  local in_texture = cut(55 + 7 + 4 + 2)
  equal("a.png 2 \1\2", join(in_texture.textures, function(t) return t.name .. " " .. t.size .. " " .. t.bytes end), "in the first texture")
  equal(0, #in_texture.tiles, "no tiles")
  equal("1 a.png Grass 0 0", join(cut(#whole - 21).tiles, show_tile), "right after the first tile")
  equal("-2 b.png Rock 255 0", show_tile(cut(#whole - 3).tiles[2]), "in the second tile's layer")
end }

tests[#tests + 1] = { "counts and sizes that lie", function()
  local huge = marquetor.read(set8().i32(0x7FFFFFFF).material("M", 1, "d").done())
  equal("truncated", huge.status, "huge material count")
  equal("M 1 d", join(huge.materials, show_material), "the material present")
  local huge_tiles = marquetor.read(set8().i32(0).i32(0).i32(0x7FFFFFFF).tile(1, "t", "m", 0, 0).done())
  equal("truncated", huge_tiles.status, "huge tile count")
  equal(1, #huge_tiles.tiles, "the tile present")

  local negative = marquetor.read(set8().i32(-5).i32(-1).i32(1).tile(3, "t", "m", 1, 1).done())
  equal("ok", negative.status, "negative counts")
  equal("0 0 3", #negative.materials .. " " .. #negative.textures .. " " .. negative.tiles[1].id, "negative counts hold none")

  local no_bytes = marquetor.read(set8().i32(0).i32(2).texture("n", "", -3).texture("m", "\9").i32(0).done())
  equal("ok", no_bytes.status, "negative size")
  equal("0 1", no_bytes.texture_by_name.n.size .. " " .. no_bytes.texture_by_name.m.size, "a negative size holds no bytes")

  local short = marquetor.read(set8().i32(0).i32(1).texture("big", "\7\8\9", 1000).done())
  equal("truncated", short.status, "size beyond the data")
  equal("\7\8\9", short.texture_by_name.big.bytes, "the bytes present")

  local fewer = marquetor.read(set8().i32(3).material("only", 2, "").done())
  equal("truncated", fewer.status, "fewer records than counted")
  equal("only 2 ", join(fewer.materials, show_material), "fewer")

  equal("ok", marquetor.read(set8().i32(0).i32(0).i32(1).tile(1, "t", "m", 0, 0).raw("\1\2\3").done()).status,
    "bytes after the last tile are ignored")
end }

tests[#tests + 1] = { "repeated names and IDs", function()
  local set = marquetor.read(set8()
    .i32(3).material("A", 1, "first").material("B", 2, "").material("A", 3, "second")
    .i32(3).texture("x.png", "\1").texture("y.png", "\2").texture("x.png", "\3\3")
    .i32(3).tile(5, "x.png", "A", 1, 1).tile(6, "y.png", "B", 0, 0).tile(5, "y.png", "B", 9, 9).done())
  equal("ok", set.status, "status")
  equal("A 1 first|B 2 ", join(set.materials, show_material), "the first material of a name wins")
  equal("5 x.png A 1 1|6 y.png B 0 0", join(set.tiles, show_tile), "the first tile of an ID wins")
  equal("A", set.tile_by_id[5].material, "tile 5")
  equal(2, #set.textures, "textures")
  equal("\3\3", set.texture_by_name["x.png"].bytes, "the last bytes of a texture name")
end }

tests[#tests + 1] = { "textures come in the order of the texture map", function()
  equal("78 78 97", marquetor.texture_bucket("ao") .. " " .. marquetor.texture_bucket("b0") .. " " .. marquetor.texture_bucket("a"), "buckets")
  equal(484, marquetor.texture_bucket("\228"), "bytes count as signed")
  local set = marquetor.read(set8().i32(0).i32(4).texture("a", "\1").texture("ao", "\2").texture("\228", "\3").texture("b0", "\4").i32(0).done())
  equal("b0|ao|a|\228", join(set.textures, function(t) return t.name end), "buckets in order, the last read of a bucket first")
end }

tests[#tests + 1] = { "texts that are not UTF-8 read as Windows-1252", function()
  local kaese1252, kaese_utf8 = "K\228se", "K\195\164se"
  local set = marquetor.read(set8()
    .i32(5).material(kaese1252, 1, "\128 5").material(kaese_utf8, 2, "\129\141\143\144\157\159")
    .material("\239\187\191A", 3, "\192\128").material("\237\160\128", 4, "\244\144\128\128")
    .material("\240\159\142\178", 5, string.rep("x", 70))
    .i32(0).i32(1).tile(1, kaese1252, kaese_utf8, 0, 0).done())
  equal("ok", set.status, "status")
  equal(5, #set.materials, "both readings are kept apart by their bytes")
  local shown = join(set.materials, function(m) return marquetor.to_utf8(m.name) .. " " .. marquetor.to_utf8(m.description) end)
  equal("K\195\164se \226\130\172 5|K\195\164se \194\129\194\141\194\143\194\144\194\157\197\184|" ..
    "\239\187\191A \195\128\226\130\172|\195\173\194\160\226\130\172 \195\180\194\144\226\130\172\226\130\172|" ..
    "\240\159\142\178 " .. string.rep("x", 64), shown, "texts as shown")
  equal(1, set.material_by_name[kaese1252].color, "look-ups by the bytes")
  equal(2, set.material_by_name[kaese_utf8].color, "look-ups by the bytes (UTF-8)")
  local _, converted = marquetor.to_utf8(kaese1252)
  check(converted and not select(2, marquetor.to_utf8(kaese_utf8)), "to_utf8 says which it read as Windows-1252")
  check(not marquetor.is_utf8(kaese1252) and marquetor.is_utf8(kaese_utf8), "is_utf8")
  -- The edges of strict UTF-8: the shortest forms only, no surrogates, nothing above U+10FFFF.
  for _, valid in ipairs({ "\127", "\194\128", "\223\191", "\224\160\128", "\237\159\191", "\238\128\128",
                           "\240\144\128\128", "\244\143\191\191" }) do
    check(marquetor.is_utf8(valid), "valid: " .. valid:byte(1))
  end
  for _, invalid in ipairs({ "\128", "\193\191", "\224\159\191", "\237\160\128", "\240\143\191\191",
                             "\244\144\128\128", "\245\128\128\128", "\225\128", "\225\128\65" }) do
    check(not marquetor.is_utf8(invalid), "invalid: " .. invalid:byte(1))
  end
  equal(kaese1252 .. " " .. kaese_utf8, set.tiles[1].texture .. " " .. set.tiles[1].material, "tile names are bytes")
end }

local function temp_folder()
  local folder = os.tmpname()
  os.remove(folder)
  assert(os.execute('mkdir "' .. folder .. '"'))
  return folder
end

local function write_file(path, data)
  local f = assert(io.open(path, "wb"))
  f:write(data)
  f:close()
  return path
end

local function read_file(path)
  local f = assert(io.open(path, "rb"))
  local data = f:read("*a")
  f:close()
  return data
end

tests[#tests + 1] = { "files are read, or say why not", function()
  local folder = temp_folder()
  local good = write_file(folder .. "/good.mrqt", example())
  equal(7, marquetor.load(good).tiles[1].id, "a file")
  local missing = folder .. "/missing.mrqt"
  local set = marquetor.load(missing)
  equal("cannot-open", set.status, "missing")
  equal('cannot open "' .. missing .. '": No such file or directory', set.message, "missing: message")
  equal(0, #set.tiles, "missing: nothing")
  equal('cannot open "' .. folder .. '": it is a folder', marquetor.load(folder).message, "a folder")
  equal('cannot open "": no file name given', marquetor.load("").message, "no name")
  os.execute('rm -r "' .. folder .. '"')
end }

-- The interpreter running these tests, to run the dump program with.
local function interpreter()
  local i = -1
  while arg[i - 1] do i = i - 1 end
  return arg[i]
end

tests[#tests + 1] = { "the dump program prints what mrqt dump prints", function()
  local folder = temp_folder()
  local lua, dump = interpreter(), here .. "dump.lua"
  local function run(...)
    local args = { ... }
    for k, a in ipairs(args) do args[k] = '"' .. a .. '"' end
    local command = '"' .. lua .. '" "' .. dump .. '" ' .. table.concat(args, " ") ..
      ' >"' .. folder .. '/out" 2>"' .. folder .. '/err"; echo $? >"' .. folder .. '/status"'
    os.execute(command)
    return tonumber(read_file(folder .. "/status")) .. "\n" .. read_file(folder .. "/out") .. "\n" .. read_file(folder .. "/err")
  end

  equal('0\n{\n  "tileWidth": 64,\n  "tileHeight": 32,\n  "materials": [\n' ..
    '    {"name":"A","color":33023,"red":255,"green":128,"blue":0,"description":""}\n  ],\n' ..
    '  "textures": [],\n  "tiles": [\n    {"id":7,"texture":"T","material":"A","layer":3,"collision":1}\n  ]\n}\n\n',
    run(write_file(folder .. "/example.mrqt", example())), "a whole file")

  local name = '"a\\tb\\"c\\\\\\u0001\\u001f\127"'
  local texts = write_file(folder .. "/texts.mrqt", writer().header().i32(-1).i32(0x7FFFFFFF)
    .i32(2).material('a\tb"c\\\1\31\127', -1, "\128").material("\195\164", 0x010203, "\b\f")
    .i32(2).texture("abc", "abc").texture("\228", "")
    .i32(1).tile(-2147483648, "\228", 'a\tb"c\\\1\31\127', -32768, 32767).done())
  equal('0\n{\n  "tileWidth": -1,\n  "tileHeight": 2147483647,\n  "materials": [\n' ..
    '    {"name":' .. name .. ',"color":-1,"red":255,"green":255,"blue":255,"description":"\226\130\172","descriptionEncoding":"windows-1252"},\n' ..
    '    {"name":"\195\164","color":66051,"red":3,"green":2,"blue":1,"description":"\\b\\f"}\n  ],\n' ..
    '  "textures": [\n' ..
    '    {"name":"abc","size":3,"sha256":"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},\n' ..
    '    {"name":"\195\164","nameEncoding":"windows-1252","size":0,"sha256":"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"}\n  ],\n' ..
    '  "tiles": [\n    {"id":-2147483648,"texture":"\195\164","textureEncoding":"windows-1252","material":' .. name ..
    ',"layer":-32768,"collision":32767}\n  ]\n}\n\n', run(texts), "escapes, encodings, digests")

  -- SHA-256 across block boundaries: 55, 56, 64 and 1000 bytes (digests from sha256sum).
  local sizes = run(write_file(folder .. "/sizes.mrqt", writer().header().i32(1).i32(1).i32(0).i32(4)
    .texture("a", string.rep("a", 55)).texture("b", string.rep("b", 56)).texture("c", string.rep("c", 64))
    .texture("d", string.rep("d", 1000)).i32(0).done()))
  for _, expected in ipairs({
    '"name":"a","size":55,"sha256":"9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"',
    '"name":"b","size":56,"sha256":"a5fc6e203a4c2b657d0d153885932414b2ffc6a93f0f8bf8b3183315e5a7212c"',
    '"name":"c","size":64,"sha256":"52b6419d27bd7f547cee3b92f8c17a908b8a49601ecbec161e5030de1dfe9e0a"',
    '"name":"d","size":1000,"sha256":"e8cec134fe59530e102e14869a9b0b3796129eb410a827b81d5b38cc80f334ab"',
  }) do
    check(sizes:find(expected, 1, true) ~= nil, "digest: " .. expected)
  end

  local cut = write_file(folder .. "/cut.mrqt", small_set():sub(1, 58))
  local cut_run = run(cut)
  check(cut_run:sub(1, 2) == "0\n", "cut short: status 0")
  check(cut_run:find('  "textures": [\n    {"name":"a.p","size":0,"sha256":"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"}\n  ],\n  "tiles": []\n}\n\n', 1, true) ~= nil, "cut short: what was read")
  equal("mrqt: warning: " .. cut .. ": the data ended early; only part of the tile set was read\n", cut_run:match("\n\n(.*)$"), "cut short: warning")

  local not_one = write_file(folder .. "/not.mrqt", "MRQT\r\n")
  equal("1\n\nmrqt: " .. not_one .. ': not a tile set: the first line is not "0.50"\n', run(not_one), "not a tile set")
  equal('1\n\nmrqt: cannot open "' .. folder .. '/missing": No such file or directory\n', run(folder .. "/missing"), "missing")
  equal('1\n\nmrqt: cannot open "' .. folder .. '": it is a folder\n', run(folder), "a folder")
  equal("2", run():sub(1, 1), "no file")
  check(run("--time", write_file(folder .. "/timed.mrqt", small_set())):match("^0\nload_seconds %d+%.%d%d%d%d%d%d\n\n$") ~= nil, "--time")
  os.execute('rm -r "' .. folder .. '"')
end }

-- The shared corpus of damaged and odd files, when the build made it: every file loads
-- without an error, the same from its path as from its bytes.
tests[#tests + 1] = { "every file of the corpus loads", function()
  local corpus = os.getenv("MARQUETOR_READER_CORPUS")
  if not corpus then return end
  local list = io.popen('ls "' .. corpus .. '" 2>/dev/null')
  for name in list:lines() do
    local path = corpus .. "/" .. name
    local f = io.open(path, "rb")
    local data = f and f:read("*a")
    if f then f:close() end
    if data then
      local from_file, from_bytes = marquetor.load(path), marquetor.read(data)
      equal(from_bytes.status, from_file.status, path)
      equal(#from_bytes.tiles, #from_file.tiles, path)
    end
  end
  list:close()
end }

for _, test in ipairs(tests) do
  current = test[1]
  local before = failures
  local ok, err = pcall(test[2])
  if not ok then
    failures = failures + 1
    print("FAIL " .. current .. ": " .. tostring(err))
  end
  print((failures == before and "ok - " or "not ok - ") .. current)
end
print(failures == 0 and "all passed (" .. _VERSION .. (rawget(_G, "jit") and ", " .. jit.version or "") .. ")" or failures .. " failures")
os.exit(failures == 0 and 0 or 1)
