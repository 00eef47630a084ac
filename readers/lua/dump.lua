-- Prints a tile set as `mrqt dump FILE` prints it, byte for byte: the same JSON, the same
-- messages on standard error, the same exit status. FILE "-" is standard input. Runs on
-- Lua 5.1, LuaJIT and Lua 5.2 to 5.4.
--
--   lua dump.lua FILE          the JSON
--   lua dump.lua --time FILE   one line "load_seconds S": the wall time of one load, reading included
--   lua dump.lua --batch       file names on standard input, one a line; for each, one record on
--                              standard output: "STATUS OUTLEN ERRLEN\n", then the OUTLEN bytes
--                              `dump.lua FILE` writes on standard output and the ERRLEN bytes it
--                              writes on standard error ("-" has no standard input there)

-- marquetor.lua lies beside this file.
local here = (arg and arg[0] or ""):match("^(.*[/\\])") or "./"
package.path = here .. "?.lua;" .. package.path
local marquetor = require("marquetor")

local byte, char, format, floor = string.byte, string.char, string.format, math.floor
local concat = table.concat

-- ---- SHA-256 ------------------------------------------------------------------------
-- Lua 5.1 has no bit operations: they are worked out here from the fastest means at hand,
-- on numbers 0 to 2^32 - 1: Lua 5.3's operators, LuaJIT's bit library, or arithmetic.

local TWO32 = 4294967296
local band, bxor, bnot, rshift

local native = _VERSION >= "Lua 5.3" and load([[
  return function(a, b) return a & b end, function(a, b) return a ~ b end,
         function(a) return ~a & 0xFFFFFFFF end, function(a, n) return a >> n end
]])
if native then
  band, bxor, bnot, rshift = native()
elseif rawget(_G, "jit") and pcall(require, "bit") then
  local bit = require("bit")
  local b_and, b_xor, b_not, b_shr = bit.band, bit.bxor, bit.bnot, bit.rshift
  band = function(a, b) return b_and(a, b) % TWO32 end
  bxor = function(a, b) return b_xor(a, b) % TWO32 end
  bnot = function(a) return b_not(a) % TWO32 end
  rshift = function(a, n) return b_shr(a, n) % TWO32 end
else
  -- Byte by byte through tables of every pair of bytes.
  local AND8, XOR8 = {}, {}
  for a = 0, 255 do
    for b = 0, 255 do
      local r_and, r_xor, bitv, x, y = 0, 0, 1, a, b
      for _ = 1, 8 do
        local p, q = x % 2, y % 2
        if p == 1 and q == 1 then r_and = r_and + bitv end
        if p ~= q then r_xor = r_xor + bitv end
        x, y, bitv = (x - p) / 2, (y - q) / 2, bitv * 2
      end
      AND8[a * 256 + b], XOR8[a * 256 + b] = r_and, r_xor
    end
  end
  local function bytewise(t, a, b)
    local r, scale = 0, 1
    for _ = 1, 4 do
      local x, y = a % 256, b % 256
      r = r + t[x * 256 + y] * scale
      a, b, scale = (a - x) / 256, (b - y) / 256, scale * 256
    end
    return r
  end
  band = function(a, b) return bytewise(AND8, a, b) end
  bxor = function(a, b) return bytewise(XOR8, a, b) end
  bnot = function(a) return TWO32 - 1 - a end
  rshift = function(a, n) return floor(a / 2 ^ n) end
end

local function rrotate(a, n)
  local low = a % 2 ^ n
  return (a - low) / 2 ^ n + low * 2 ^ (32 - n)
end

local K = {
  0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
  0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
  0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
  0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
  0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
  0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
  0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
  0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
}

-- One 64-byte block of s from position i into the state h.
local function compress(h, s, i, w)
  for t = 1, 16 do
    local a, b, c, d = byte(s, i, i + 3)
    w[t] = a * 16777216 + b * 65536 + c * 256 + d
    i = i + 4
  end
  for t = 17, 64 do
    local x, y = w[t - 15], w[t - 2]
    local s0 = bxor(bxor(rrotate(x, 7), rrotate(x, 18)), rshift(x, 3))
    local s1 = bxor(bxor(rrotate(y, 17), rrotate(y, 19)), rshift(y, 10))
    w[t] = (w[t - 16] + s0 + w[t - 7] + s1) % TWO32
  end
  local a, b, c, d, e, f, g, hh = h[1], h[2], h[3], h[4], h[5], h[6], h[7], h[8]
  for t = 1, 64 do
    local S1 = bxor(bxor(rrotate(e, 6), rrotate(e, 11)), rrotate(e, 25))
    local ch = bxor(band(e, f), band(bnot(e), g))
    local temp1 = (hh + S1 + ch + K[t] + w[t]) % TWO32
    local S0 = bxor(bxor(rrotate(a, 2), rrotate(a, 13)), rrotate(a, 22))
    local maj = bxor(bxor(band(a, b), band(a, c)), band(b, c))
    local temp2 = (S0 + maj) % TWO32
    hh, g, f, e, d, c, b, a = g, f, e, (d + temp1) % TWO32, c, b, a, (temp1 + temp2) % TWO32
  end
  h[1], h[2], h[3], h[4] = (h[1] + a) % TWO32, (h[2] + b) % TWO32, (h[3] + c) % TWO32, (h[4] + d) % TWO32
  h[5], h[6], h[7], h[8] = (h[5] + e) % TWO32, (h[6] + f) % TWO32, (h[7] + g) % TWO32, (h[8] + hh) % TWO32
end

-- The SHA-256 digest of a string, in lower-case hex.
local function sha256(s)
  local h = { 0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19 }
  local w, n = {}, #s
  local whole = n - n % 64
  for i = 1, whole, 64 do compress(h, s, i, w) end
  -- The last part, a one bit, zeros and the length in bits (big-endian, 64 bits).
  local bits, length = n * 8, {}
  for k = 8, 1, -1 do
    length[k] = char(bits % 256)
    bits = floor(bits / 256)
  end
  local rest = s:sub(whole + 1) .. "\128" .. string.rep("\0", (55 - n % 64) % 64) .. concat(length)
  for i = 1, #rest, 64 do compress(h, rest, i, w) end
  local hex = {}
  for k = 1, 8 do hex[k] = format("%08x", h[k]) end
  return concat(hex)
end

-- ---- The dump ------------------------------------------------------------------------

-- A JSON string as mrqt writes it: only '"', '\' and the control characters are escaped.
local ESCAPES = { ['"'] = '\\"', ["\\"] = "\\\\", ["\b"] = "\\b", ["\f"] = "\\f", ["\n"] = "\\n", ["\r"] = "\\r", ["\t"] = "\\t" }
local function escape(c)
  return ESCAPES[c] or format("\\u%04x", byte(c))
end

-- '"key":"text"', with ',"keyEncoding":"windows-1252"' when the bytes are not UTF-8; each
-- distinct text of a key is formatted once (a million tiles name a few thousand).
local fields = {}
local function text_field(key, text)
  local cache = fields[key]
  if not cache then
    cache = {}
    fields[key] = cache
  end
  local field = cache[text]
  if not field then
    local shown, converted = marquetor.to_utf8(text)
    field = '"' .. key .. '":"' .. shown:gsub('[%z\1-\31"\\]', escape) .. '"'
    if converted then field = field .. ',"' .. key .. 'Encoding":"windows-1252"' end
    cache[text] = field
  end
  return field
end

local function number(n)
  return format("%d", n)
end

local function write_list(write, out, name, records, format_record, last)
  out[#out + 1] = '  "' .. name .. '": ['
  for i = 1, #records do
    out[#out + 1] = (i == 1 and "\n    " or ",\n    ") .. format_record(records[i])
    if #out >= 4096 then
      write(concat(out))
      for k = #out, 1, -1 do out[k] = nil end
    end
  end
  out[#out + 1] = (#records == 0 and "]" or "\n  ]") .. (last and "\n" or ",\n")
end

-- The dump in pieces to write(text).
local function write_dump(set, write)
  fields = {}   -- the texts of the tile set before (--batch)
  local out = { "{\n", '  "tileWidth": ', number(set.tile_width), ",\n", '  "tileHeight": ', number(set.tile_height), ",\n" }
  write_list(write, out, "materials", set.materials, function(m)
    return "{" .. text_field("name", m.name) .. ',"color":' .. number(m.color) .. ',"red":' .. number(m.red) ..
      ',"green":' .. number(m.green) .. ',"blue":' .. number(m.blue) .. "," .. text_field("description", m.description) .. "}"
  end, false)
  write_list(write, out, "textures", set.textures, function(t)
    return "{" .. text_field("name", t.name) .. ',"size":' .. number(t.size) .. ',"sha256":"' .. sha256(t.bytes) .. '"}'
  end, false)
  write_list(write, out, "tiles", set.tiles, function(t)
    return '{"id":' .. number(t.id) .. "," .. text_field("texture", t.texture) .. "," .. text_field("material", t.material) ..
      ',"layer":' .. number(t.layer) .. ',"collision":' .. number(t.collision) .. "}"
  end, true)
  out[#out + 1] = "}\n"
  write(concat(out))
end

-- A wall clock for --time: the monotonic clock where LuaJIT's FFI reaches it, otherwise the
-- processor time Lua's standard library offers (the same for a load that waits on nothing).
local function clock()
  local ok, ffi = pcall(require, "ffi")
  if ok and ffi.os == "Linux" then
    ffi.cdef("struct marquetor_timespec { long tv_sec; long tv_nsec; }; int clock_gettime(int, struct marquetor_timespec*);")
    local ts = ffi.new("struct marquetor_timespec")
    return function()
      ffi.C.clock_gettime(1, ts)   -- CLOCK_MONOTONIC
      return tonumber(ts.tv_sec) + tonumber(ts.tv_nsec) * 1e-9
    end
  end
  return os.clock
end

-- What `mrqt dump PATH` does: the JSON to sink.out, the messages to sink.err; the exit
-- status. With time, one line "load_seconds S" instead of the JSON. sink.standard_input:
-- whether "-" has a standard input to read.
local function dump_file(path, time, sink)
  local now = time and clock()   -- made once a run: LuaJIT declares its C type there
  local start = now and now()
  local set
  if path == "-" then
    if not sink.standard_input then
      sink.err("mrqt: cannot read standard input: it holds the file names of --batch\n")
      return 1
    end
    local data = io.stdin:read("*a")
    if data == nil then
      sink.err("mrqt: cannot read standard input\n")
      return 1
    end
    set = marquetor.read(data)
  else
    set = marquetor.load(path)
  end
  local seconds = now and now() - start

  local shown = path == "-" and "standard input" or path
  if set.status == "cannot-open" then
    sink.err("mrqt: " .. set.message .. "\n")
    return 1
  elseif set.status == "not-a-tile-set" then
    sink.err("mrqt: " .. shown .. ": " .. set.message .. "\n")
    return 1
  elseif set.status == "truncated" and not time then
    sink.err("mrqt: warning: " .. shown .. ": " .. set.message .. "\n")
  end
  if time then
    sink.out(format("load_seconds %.6f\n", seconds))
  else
    write_dump(set, sink.out)
  end
  return 0
end

-- The lines of standard input, without their newlines, as they come: read a byte at a time,
-- as LuaJIT's line reading mixes up a line that holds a NUL byte with the next.
local function input_lines()
  return function()
    local bytes = {}
    while true do
      local c = io.stdin:read(1)
      if c == nil then
        if #bytes == 0 then return nil end
        break
      end
      if c == "\n" then break end
      bytes[#bytes + 1] = c
    end
    return concat(bytes)
  end
end

-- --batch: each line of standard input is a file name (its bytes, without the newline); each
-- file's run is kept in memory and written as one record.
local function batch()
  for path in input_lines() do
    local out, err = {}, {}
    local status = path:find("%z") and 1   -- no file is named so: not the file before the NUL
    if status then err[1] = 'mrqt: cannot open "' .. path .. '": Invalid argument\n' end
    status = status or dump_file(path, false, {
      out = function(text) out[#out + 1] = text end,
      err = function(text) err[#err + 1] = text end,
      standard_input = false,
    })
    out, err = concat(out), concat(err)
    local written = io.stdout:write(format("%d %d %d\n", status, #out, #err), out, err)
    if not written or not io.stdout:flush() then
      io.stderr:write("mrqt: cannot write the output\n")
      return 1
    end
  end
  return 0
end

local function main(args)
  if args[1] == "--batch" and args[2] == nil then return batch() end
  local time = args[1] == "--time"
  local path = args[time and 2 or 1]
  if path == nil or args[time and 3 or 2] ~= nil then
    io.stderr:write("Usage: dump-lua [--time] FILE\n       dump-lua --batch   (file names on standard input; one record " ..
      "each: STATUS OUTLEN ERRLEN,\n                          then the output and the messages of dump-lua FILE)\n")
    return 2
  end
  return dump_file(path, time, {
    out = function(text) io.stdout:write(text) end,
    err = function(text) io.stderr:write(text) end,
    standard_input = true,
  })
end

local status = main(arg or {})
io.stdout:flush()
os.exit(status)
