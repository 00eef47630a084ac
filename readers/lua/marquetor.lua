-- marquetor.lua: reads Marquetor tile set files (.mrqt) in plain Lua.
--
-- One file, no C parts, no bit library: it runs unchanged on Lua 5.1, LuaJIT (LÖVE) and
-- Lua 5.2 to 5.4. It follows the rules of Marquetor's own reader (docs/file-format.md), so
-- a damaged file (cut short, counts that lie, repeated names) gives the tile set the
-- editor shows.
--
--   local marquetor = require("marquetor")
--   local set = marquetor.read(data)          -- the file's bytes, as a string
--   local set = marquetor.load(path)          -- or read a file with io.open
--
-- The result is a table:
--   status              "ok" read whole; "truncated" the data ended early (what was read
--                       is kept); "not-a-tile-set" the first line is not "0.50"; "cannot-open"
--                       the file could not be read (both leave everything empty)
--   message             why the load did not go whole, as Marquetor words it; "" when it did
--   tile_width, tile_height
--   materials           { name, color, red, green, blue, description } in file order
--   textures            { name, bytes, size } in the order Marquetor saves them (its
--                       texture map: for every file it wrote, the file's order); bytes is
--                       the image file, unchanged
--   tiles               { id, texture, material, layer, collision } in file order
--   material_by_name, texture_by_name, tile_by_id   look-up tables
--
-- Texts are strings of the bytes as stored, compared byte for byte; marquetor.to_utf8(text)
-- gives them as Marquetor shows them (UTF-8, or read as Windows-1252 when they are not
-- valid UTF-8), which is what love.graphics.print needs.

local marquetor = { _VERSION = "0.2.0" }

marquetor.DESCRIPTION_SIZE = 64   -- a description keeps at most this many bytes
marquetor.TEXTURE_BUCKETS = 512   -- the buckets of Marquetor's texture map

local byte, sub, find, char = string.byte, string.sub, string.find, string.char
local concat = table.concat
local floor = math.floor

local TRUNCATED = "the data ended early; only part of the tile set was read"
local NOT_A_TILE_SET = 'not a tile set: the first line is not "0.50"'

-- The bytes that end a line: CR, LF and zero (%z: Lua 5.1 patterns take no zero byte).
local LINE_END = "[\r\n%z]"

-- LuaJIT compiles a loop over bytes but not a pattern search; the other Luas run a
-- pattern search in C, far quicker than a loop of their own.
local byte_loop = rawget(_G, "jit") ~= nil

-- LuaJIT's table.new makes a table with room for n array items at once; elsewhere a table
-- grows as it fills.
local new_table = function() return {} end
do
  local ok, new = pcall(require, "table.new")
  if ok and type(new) == "function" then new_table = new end
end

-- The position of the first CR, LF or zero byte at or after pos, or nil.
local function line_end(data, pos, n)
  if not byte_loop then return (find(data, LINE_END, pos)) end
  for p = pos, n do
    local c = byte(data, p)
    if c <= 13 and (c == 13 or c == 10 or c == 0) then return p end
  end
  return nil
end

--- Whether a string is strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
function marquetor.is_utf8(text)
  local n, p = #text, 1
  while p <= n do
    local c = byte(text, p)
    if c < 0x80 then
      p = p + 1
    else
      local extra, lo, hi = nil, 0x80, 0xBF
      if c >= 0xC2 and c <= 0xDF then extra = 1
      elseif c == 0xE0 then extra, lo = 2, 0xA0
      elseif c == 0xED then extra, hi = 2, 0x9F
      elseif c >= 0xE1 and c <= 0xEF then extra = 2
      elseif c == 0xF0 then extra, lo = 3, 0x90
      elseif c >= 0xF1 and c <= 0xF3 then extra = 3
      elseif c == 0xF4 then extra, hi = 3, 0x8F
      else return false end
      if n - p < extra then return false end
      local second = byte(text, p + 1)
      if second < lo or second > hi then return false end
      for k = 2, extra do
        local b = byte(text, p + k)
        if b < 0x80 or b > 0xBF then return false end
      end
      p = p + extra + 1
    end
  end
  return true
end

-- Every byte's Windows-1252 reading as UTF-8; the five bytes it leaves undefined read as
-- the C1 control of the same value, as Marquetor reads them.
local CP1252 = {}
do
  local high = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039,
    0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
  }
  local function utf8_of(cp)
    if cp < 0x80 then return char(cp) end
    if cp < 0x800 then return char(0xC0 + floor(cp / 64), 0x80 + cp % 64) end
    return char(0xE0 + floor(cp / 4096), 0x80 + floor(cp / 64) % 64, 0x80 + cp % 64)
  end
  for b = 0, 255 do
    CP1252[b] = utf8_of(b >= 0x80 and b < 0xA0 and high[b - 0x7F] or b)
  end
end

--- A text as Marquetor shows it: unchanged when it is valid UTF-8, otherwise read as
--- Windows-1252 and given as UTF-8. The second result is true in that case.
function marquetor.to_utf8(text)
  if marquetor.is_utf8(text) then return text, false end
  local out = {}
  for i = 1, #text do out[i] = CP1252[byte(text, i)] end
  return concat(out), true
end

--- The bucket (0-511) of Marquetor's texture map a name falls in: a hash of its bytes taken
--- as signed, h = h * 65599 + b modulo 2^32. Only its remainder by 512 is kept, which
--- 65599 = 63 (mod 512) allows, so no number ever grows large.
function marquetor.texture_bucket(name)
  local h = 0
  for i = 1, #name do
    local b = byte(name, i)
    if b >= 128 then b = b - 256 end
    h = (h * 63 + b) % 512
  end
  return h
end

local function empty_set(status, message)
  return {
    status = status, message = message, tile_width = 0, tile_height = 0,
    materials = {}, textures = {}, tiles = {},
    material_by_name = {}, texture_by_name = {}, tile_by_id = {},
  }
end

local read

--- Reads a tile set from the bytes of a .mrqt file (a string). Never raises an error for
--- bad data: status says how the load went.
function marquetor.read(data)
  assert(type(data) == "string", "marquetor.read takes the file's bytes as a string")
  -- A load makes a table per tile and hardly any garbage: the collector, which would walk
  -- the growing tables again and again, waits until the load is done.
  local pause = collectgarbage("setpause", 1000)
  local ok, set = pcall(read, data)
  collectgarbage("setpause", pause)
  if not ok then error(set, 0) end   -- out of memory: the collector's setting is back all the same
  return set
end

read = function(data)
  local n, pos, ended = #data, 1, false

  -- Past the end a number reads as 0; one partly there holds its bytes in its low part.
  local function partial()
    local v, scale = 0, 1
    while pos <= n do
      v = v + byte(data, pos) * scale
      pos, scale = pos + 1, scale * 256
    end
    ended = true
    return v
  end

  local function i32()
    if n - pos >= 3 then
      local a, b, c, d = byte(data, pos, pos + 3)
      pos = pos + 4
      local v = a + b * 256 + c * 65536 + d * 16777216
      if v >= 2147483648 then v = v - 4294967296 end
      return v
    end
    return partial()
  end

  local function i16()
    if n - pos >= 1 then
      local a, b = byte(data, pos, pos + 1)
      pos = pos + 2
      local v = a + b * 256
      if v >= 32768 then v = v - 65536 end
      return v
    end
    return partial()
  end

  -- A line ends at CR LF, a lone LF, a lone CR (the byte after it stays), a zero byte or
  -- the end of the data.
  local function line()
    local q = line_end(data, pos, n)
    local text
    if q == nil then
      text, pos, ended = sub(data, pos), n + 1, true   -- every line is followed by more
    else
      text = sub(data, pos, q - 1)
      if byte(data, q) == 13 and byte(data, q + 1) == 10 then pos = q + 2 else pos = q + 1 end
    end
    return text
  end

  if line() ~= "0.50" then return empty_set("not-a-tile-set", NOT_A_TILE_SET) end
  local set = empty_set("ok", "")
  set.tile_width = i32()
  set.tile_height = i32()

  -- Materials: the first of a name wins, later ones are dropped whole. A negative count
  -- holds none; a count beyond the data stops where the data does.
  local materials, by_name = set.materials, set.material_by_name
  for _ = 1, i32() do
    if pos > n then
      ended = true
      break
    end
    local name = line()
    local color = i32()
    local description = sub(line(), 1, marquetor.DESCRIPTION_SIZE)
    if by_name[name] == nil then
      local rgb = color % 16777216   -- the low three bytes (% is never negative)
      local material = {
        name = name, color = color, description = description,
        red = rgb % 256, green = floor(rgb / 256) % 256, blue = floor(rgb / 65536),
      }
      materials[#materials + 1] = material
      by_name[name] = material
    end
  end

  -- Textures: a later one of a name replaces the bytes and keeps the earlier one's place.
  -- The texture map walks buckets 0 to 511, the most recently entered name first.
  local buckets, textures_by_name = {}, set.texture_by_name
  for _ = 1, i32() do
    if pos > n then
      ended = true
      break
    end
    local name = line()
    local size = i32()
    if size < 0 then size = 0 end   -- a negative size holds no bytes
    if size > n - pos + 1 then
      size = n - pos + 1
      ended = true
    end
    local bytes = sub(data, pos, pos + size - 1)
    pos = pos + size
    local texture = textures_by_name[name]
    if texture then
      texture.bytes, texture.size = bytes, size
    else
      texture = { name = name, bytes = bytes, size = size }
      textures_by_name[name] = texture
      local b = marquetor.texture_bucket(name)
      local bucket = buckets[b]
      if not bucket then
        bucket = {}
        buckets[b] = bucket
      end
      bucket[#bucket + 1] = texture
    end
  end
  local textures = set.textures
  for b = 0, marquetor.TEXTURE_BUCKETS - 1 do
    local bucket = buckets[b]
    if bucket then
      for k = #bucket, 1, -1 do textures[#textures + 1] = bucket[k] end
    end
  end

  -- Tiles: the first of an ID wins. Room for what the data can hold (a tile takes at least
  -- 10 bytes), never for what the count claims; IDs 1 to N, the usual ones, go to the
  -- look-up table's array part.
  local tile_count = i32()
  local room = tile_count > 0 and math.min(tile_count, floor((n - pos + 1) / 10) + 1) or 0
  set.tiles, set.tile_by_id = new_table(room, 0), new_table(room, 0)
  local tiles, by_id, count = set.tiles, set.tile_by_id, 0
  for _ = 1, tile_count do
    if pos > n then
      ended = true
      break
    end
    local id = i32()
    local texture = line()
    local material = line()
    local layer = i16()
    local collision = i16()
    if by_id[id] == nil then
      local tile = { id = id, texture = texture, material = material, layer = layer, collision = collision }
      count = count + 1
      tiles[count] = tile
      by_id[id] = tile
    end
  end

  if ended then
    set.status, set.message = "truncated", TRUNCATED
  end
  return set
end

--- Reads a tile set file. A file that cannot be read gives status "cannot-open" and the
--- reason in message; no error is raised for a missing or broken file.
function marquetor.load(path)
  if path == "" then return empty_set("cannot-open", 'cannot open "": no file name given') end
  local file, why = io.open(path, "rb")
  local data
  if file then
    data, why = file:read("*a")
    file:close()
  end
  if not data then
    why = tostring(why)
    if why == "Is a directory" then
      why = "it is a folder"
    elseif sub(why, 1, #path + 2) == path .. ": " then
      why = sub(why, #path + 3)
    end
    return empty_set("cannot-open", 'cannot open "' .. path .. '": ' .. why)
  end
  return marquetor.read(data)
end

return marquetor
