// The .mrqt reader: the rules of Marquetor's own reader (docs/file-format.md), so a damaged
// file (cut short, counts that lie, repeated names) gives the tile set the editor shows.

using System;
using System.Collections.Generic;
using System.Runtime.CompilerServices;
using System.Text;

namespace Marquetor
{
    /// <summary>Texts and names as Marquetor handles them.</summary>
    public static class MrqtText
    {
        static readonly UTF8Encoding Utf8 = new UTF8Encoding(false, false);

        // Windows-1252 bytes 0x80-0x9F; the five it leaves undefined read as the C1 control
        // of the same value, as Marquetor reads them.
        static readonly char[] Cp1252High =
        {
            '\u20AC', '\u0081', '\u201A', '\u0192', '\u201E', '\u2026', '\u2020', '\u2021',
            '\u02C6', '\u2030', '\u0160', '\u2039', '\u0152', '\u008D', '\u017D', '\u008F',
            '\u0090', '\u2018', '\u2019', '\u201C', '\u201D', '\u2022', '\u2013', '\u2014',
            '\u02DC', '\u2122', '\u0161', '\u203A', '\u0153', '\u009D', '\u017E', '\u0178',
        };

        /// <summary>Whether bytes are strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.</summary>
        public static bool IsUtf8(byte[] bytes) => IsUtf8(bytes, 0, bytes.Length);

        internal static bool IsUtf8(byte[] bytes, int start, int length)
        {
            int end = start + length;
            for (int p = start; p < end;)
            {
                int c = bytes[p];
                if (c < 0x80)
                {
                    p++;
                    continue;
                }
                int extra, lo = 0x80, hi = 0xBF;
                if (c >= 0xC2 && c <= 0xDF) extra = 1;
                else if (c == 0xE0) { extra = 2; lo = 0xA0; }
                else if (c == 0xED) { extra = 2; hi = 0x9F; }
                else if (c >= 0xE1 && c <= 0xEF) extra = 2;
                else if (c == 0xF0) { extra = 3; lo = 0x90; }
                else if (c >= 0xF1 && c <= 0xF3) extra = 3;
                else if (c == 0xF4) { extra = 3; hi = 0x8F; }
                else return false;
                if (end - p <= extra) return false;
                if (bytes[p + 1] < lo || bytes[p + 1] > hi) return false;
                for (int k = 2; k <= extra; k++)
                    if ((bytes[p + k] & 0xC0) != 0x80) return false;
                p += extra + 1;
            }
            return true;
        }

        /// <summary>A text's bytes as Marquetor shows them: UTF-8 when valid, otherwise Windows-1252.</summary>
        public static string Decode(byte[] bytes) => Decode(bytes, 0, bytes.Length);

        internal static string Decode(byte[] bytes, int start, int length)
        {
            if (IsUtf8(bytes, start, length)) return Utf8.GetString(bytes, start, length);
            var text = new char[length];
            for (int i = 0; i < length; i++)
            {
                int b = bytes[start + i];
                text[i] = b >= 0x80 && b < 0xA0 ? Cp1252High[b - 0x80] : (char)b;
            }
            return new string(text);
        }

        /// <summary>The bucket (0-511) of Marquetor's texture map a name falls in; its bytes count as signed.</summary>
        public static int TextureBucket(byte[] name)
        {
            uint h = 0;
            foreach (byte b in name) h = unchecked(h * 65599u + (uint)(sbyte)b);
            return (int)(h % MrqtTileSet.TextureBuckets);
        }
    }

    /// <summary>A text as read: its bytes and its text, shared by the records naming the same.</summary>
    internal sealed class Name
    {
        internal readonly byte[] Bytes;
        internal readonly string Text;

        internal Name(byte[] data, int start, int length)
        {
            Bytes = new byte[length];
            Buffer.BlockCopy(data, start, Bytes, 0, length);
            Text = MrqtText.Decode(Bytes);
        }

        // Tells names of different bytes apart, which the text alone does not ("\u00E4" is
        // the UTF-8 C3 A4 and the Windows-1252 E4).
        internal string Key => (MrqtText.IsUtf8(Bytes) ? "u" : "w") + Text;
    }

    /// <summary>
    /// The texts of tiles: one Name per distinct byte sequence, so a million tiles naming a few
    /// thousand textures decode each name once. It only shares: past a few steps of a search
    /// (a file made to collide on purpose) a name is made on its own.
    /// </summary>
    internal sealed class Names
    {
        const int MaxProbes = 16;
        readonly byte[] _data;
        Name[] _names;
        int[] _hashes, _starts, _lengths;
        int _count;

        internal Names(byte[] data)
        {
            _data = data;
            Allocate(1024);
        }

        void Allocate(int capacity)
        {
            _names = new Name[capacity];
            _hashes = new int[capacity];
            _starts = new int[capacity];   // where the first one of the name lies in the data
            _lengths = new int[capacity];
        }

        // The text of data[start, start + length), whose hash the line reader worked out.
        internal Name Get(int start, int length, int hash)
        {
            byte[] data = _data;
            Name[] names = _names;
            int[] hashes = _hashes, lengths = _lengths, starts = _starts;
            int mask = names.Length - 1;
            int i = hash & mask;
            for (int steps = 0; names[i] != null; i = (i + 1) & mask, steps++)
            {
                if (steps == MaxProbes) return new Name(data, start, length);
                if (hashes[i] != hash || lengths[i] != length) continue;
                if (Same(data, starts[i], start, length)) return names[i];
            }
            var name = new Name(data, start, length);
            _names[i] = name;
            _hashes[i] = hash;
            _starts[i] = start;
            _lengths[i] = length;
            if (++_count * 2 > _names.Length) Grow();
            return name;
        }

        // Whether data[a, a + length) and data[b, b + length) hold the same bytes; four at a
        // time, which halves the work of a loop over bytes where the compiler checks every index.
        static bool Same(byte[] data, int a, int b, int length)
        {
            int k = 0;
            for (; k + 4 <= length; k += 4)
                if (data[a + k] != data[b + k] || data[a + k + 1] != data[b + k + 1] || data[a + k + 2] != data[b + k + 2] ||
                    data[a + k + 3] != data[b + k + 3])
                    return false;
            for (; k < length; k++)
                if (data[a + k] != data[b + k]) return false;
            return true;
        }

        void Grow()
        {
            Name[] names = _names;
            int[] hashes = _hashes, starts = _starts, lengths = _lengths;
            Allocate(names.Length * 2);
            int mask = _names.Length - 1;
            for (int j = 0; j < names.Length; j++)
            {
                if (names[j] == null) continue;
                int i = hashes[j] & mask;
                while (_names[i] != null) i = (i + 1) & mask;
                _names[i] = names[j];
                _hashes[i] = hashes[j];
                _starts[i] = starts[j];
                _lengths[i] = lengths[j];
            }
        }
    }

    /// <summary>MrqtTile IDs to positions in the tile list: open addressing over (ID, position + 1) pairs.</summary>
    internal sealed class IdIndex
    {
        int[] _table;   // a position of 0 is an empty slot
        int _mask, _shift, _room;

        internal IdIndex(int expected)
        {
            int capacity = 16;
            while (capacity < expected * 2L) capacity *= 2;
            Allocate(capacity);
        }

        void Allocate(int capacity)
        {
            _table = new int[2 * capacity];
            _mask = capacity - 1;
            _shift = 32;
            for (int c = capacity; c > 1; c >>= 1) _shift--;
            _room = capacity / 2;
        }

        // Fibonacci hashing: the top bits of the product.
        [MethodImpl(MethodImplOptions.AggressiveInlining)]
        int Home(int id) => (int)(unchecked((uint)id * 0x9E3779B1u) >> _shift);

        internal int Get(int id)
        {
            for (int i = Home(id); ; i = (i + 1) & _mask)
            {
                int position = _table[2 * i + 1];
                if (position == 0) return -1;
                if (_table[2 * i] == id) return position - 1;
            }
        }

        // Reads the slot where an ID's search starts: the loader asks this some tiles ahead,
        // so that the memory is fetched by the time the ID is entered.
        internal int Touch(int id) => _table[2 * Home(id)];

        // Enters an ID at a position unless it is present; false when it was.
        internal bool Add(int id, int position)
        {
            if (_room == 0) Grow();
            int i = Home(id);
            for (; _table[2 * i + 1] != 0; i = (i + 1) & _mask)
                if (_table[2 * i] == id) return false;
            _table[2 * i] = id;
            _table[2 * i + 1] = position + 1;
            _room--;
            return true;
        }

        void Grow()
        {
            int[] old = _table;
            Allocate(old.Length);
            for (int i = 0; i < old.Length; i += 2)
                if (old[i + 1] != 0) Add(old[i], old[i + 1] - 1);
        }
    }

    /// <summary>
    /// The items of the format. Past the end a number reads as 0 (a partly present one holds
    /// its bytes in its low part) and a line as what is left; Ended records that it happened.
    /// </summary>
    internal sealed class Reader
    {
        const string TruncatedMessage = "the data ended early; only part of the tile set was read";
        const string NotATileSetMessage = "not a tile set: the first line is not \"0.50\"";
        // The smallest records a complete file can hold: they bound what a count may reserve.
        const int MinTileRecord = 4 + 1 + 1 + 2 + 2;

        readonly byte[] _d;
        int _pos;
        readonly int _end;
        bool _ended;
        readonly Names _names;

        Reader(byte[] data, int offset, int count)
        {
            _d = data;
            _pos = offset;
            _end = offset + count;
            _names = new Names(data);
        }

        bool AtEnd => _pos >= _end;

        [MethodImpl(MethodImplOptions.AggressiveInlining)]
        int I32()
        {
            byte[] d = _d;
            int p = _pos;
            if (_end - p >= 4)
            {
                _pos = p + 4;
                return d[p] | d[p + 1] << 8 | d[p + 2] << 16 | d[p + 3] << 24;
            }
            return Partial();
        }

        [MethodImpl(MethodImplOptions.AggressiveInlining)]
        short I16()
        {
            byte[] d = _d;
            int p = _pos;
            if (_end - p >= 2)
            {
                _pos = p + 2;
                return (short)(d[p] | d[p + 1] << 8);
            }
            return (short)Partial();
        }

        int Partial()
        {
            int v = 0;
            for (int shift = 0; _pos < _end; shift += 8) v |= _d[_pos++] << shift;
            _ended = true;
            return v;
        }

        // A line ends at CR LF, a lone LF, a lone CR (the byte after it stays), a zero byte or
        // the end of the data. At most `limit` bytes of it are kept.
        Name Line(int limit = int.MaxValue)
        {
            byte[] d = _d;
            int end = _end, start = _pos, p = start, hash = 0;
            while (p < end)
            {
                byte c = d[p];
                if (c <= 13 && (c == 13 || c == 10 || c == 0)) break;
                hash = unchecked(hash * 31 + c);
                p++;
            }
            if (p == end)
            {
                _ended = true;   // every line of the format is followed by more
                _pos = p;
            }
            else
            {
                _pos = p + (d[p] == 13 && p + 1 < end && d[p + 1] == 10 ? 2 : 1);
            }
            if (p - start > limit)
            {
                p = start + limit;
                hash = 0;
                for (int q = start; q < p; q++) hash = unchecked(hash * 31 + d[q]);
            }
            return _names.Get(start, p - start, hash);
        }

        // Up to n bytes in an array of their own: fewer when the data ends first.
        byte[] Block(int n)
        {
            if (n > _end - _pos)
            {
                n = _end - _pos;
                _ended = true;
            }
            var bytes = new byte[n];
            Buffer.BlockCopy(_d, _pos, bytes, 0, n);
            _pos += n;
            return bytes;
        }

        bool HeaderIsRight()
        {
            Name header = Line();
            byte[] h = header.Bytes;
            return h.Length == 4 && h[0] == (byte)'0' && h[1] == (byte)'.' && h[2] == (byte)'5' && h[3] == (byte)'0';
        }

        internal static MrqtTileSet Read(byte[] data, int offset, int count)
        {
            var r = new Reader(data, offset, count);
            if (!r.HeaderIsRight()) return new MrqtTileSet(MrqtLoadStatus.NotATileSet, NotATileSetMessage);
            var set = new MrqtTileSet(MrqtLoadStatus.Ok, "");
            set.TileWidth = r.I32();
            set.TileHeight = r.I32();

            // Materials: the first of a name wins, later ones are dropped whole. A negative
            // count holds none; a count beyond the data stops where the data does.
            var materials = new List<MrqtMaterial>();
            var materialNames = new Dictionary<string, bool>();
            for (int i = 0, n = r.I32(); i < n; i++)
            {
                if (r.AtEnd)
                {
                    r._ended = true;
                    break;
                }
                Name name = r.Line();
                int color = r.I32();
                Name description = r.Line(MrqtTileSet.DescriptionSize);
                string key = name.Key;
                if (materialNames.ContainsKey(key)) continue;
                materialNames.Add(key, true);
                materials.Add(new MrqtMaterial(name, color, description));
            }

            // Textures: a later one of a name replaces the bytes and keeps the earlier one's
            // place. The texture map walks buckets 0 to 511, the most recently entered name first.
            var buckets = new List<MrqtTexture>[MrqtTileSet.TextureBuckets];
            var texturesByKey = new Dictionary<string, MrqtTexture>();
            int textureCount = 0;
            for (int i = 0, n = r.I32(); i < n; i++)
            {
                if (r.AtEnd)
                {
                    r._ended = true;
                    break;
                }
                Name name = r.Line();
                int claimed = r.I32();
                byte[] bytes = r.Block(claimed > 0 ? claimed : 0);   // a negative size holds no bytes
                MrqtTexture present;
                if (texturesByKey.TryGetValue(name.Key, out present))
                {
                    present.Bytes = bytes;
                    continue;
                }
                var texture = new MrqtTexture(name, bytes);
                texturesByKey.Add(name.Key, texture);
                int b = MrqtText.TextureBucket(name.Bytes);
                (buckets[b] ?? (buckets[b] = new List<MrqtTexture>())).Add(texture);
                textureCount++;
            }
            var textures = new MrqtTexture[textureCount];
            int t = 0;
            foreach (List<MrqtTexture> bucket in buckets)
                if (bucket != null)
                    for (int k = bucket.Count - 1; k >= 0; k--) textures[t++] = bucket[k];

            // Tiles: the first of an ID wins. Room for what the data can hold, never for what
            // the count claims.
            int tileCount = r.I32();
            var tiles = new MrqtTile[Math.Max(0, Math.Min(tileCount, (r._end - r._pos) / MinTileRecord + 1))];
            int read = 0;
            for (int i = 0; i < tileCount; i++)
            {
                if (r.AtEnd)
                {
                    r._ended = true;
                    break;
                }
                int id = r.I32();
                Name texture = r.Line();
                Name material = r.Line();
                short layer = r.I16();
                short collision = r.I16();
                if (read == tiles.Length) Array.Resize(ref tiles, Math.Max(16, tiles.Length * 2));
                tiles[read++] = new MrqtTile(id, texture, material, layer, collision);
            }
            set.TileIndex = new IdIndex(read);
            int kept = EnterTiles(tiles, read, set.TileIndex);
            if (kept != tiles.Length) Array.Resize(ref tiles, kept);

            set.Materials = materials.ToArray();
            set.Textures = textures;
            set.Tiles = tiles;
            set.MaterialsByName = NameMap(set.Materials, m => m.Name, m => m.NameBytes);
            set.TexturesByName = NameMap(set.Textures, x => x.Name, x => x.NameBytes);
            if (r._ended)
            {
                set.Status = MrqtLoadStatus.Truncated;
                set.Message = TruncatedMessage;
            }
            return set;
        }

        // Enters the tiles into the index, dropping those whose ID came before, and returns
        // how many are kept (moved to the front). The index's slot for a tile some places
        // ahead is read first: those reads miss the cache together instead of one by one.
        static int EnterTiles(MrqtTile[] tiles, int count, IdIndex index)
        {
            const int Ahead = 16;
            int kept = 0, touched = 0;
            for (int i = 0; i < count; i++)
            {
                if (i + Ahead < count) touched += index.Touch(tiles[i + Ahead].Id);
                if (!index.Add(tiles[i].Id, kept)) continue;
                tiles[kept++] = tiles[i];
            }
            GC.KeepAlive(touched);
            return kept;
        }

        // A name map for look-ups: when two names of different bytes show as the same text
        // (one valid UTF-8, the other read as Windows-1252), the UTF-8 one answers.
        static Dictionary<string, T> NameMap<T>(IReadOnlyList<T> records, Func<T, string> name, Func<T, byte[]> bytes)
            where T : class
        {
            var map = new Dictionary<string, T>(records.Count);
            foreach (T record in records)
            {
                T present;
                if (!map.TryGetValue(name(record), out present) ||
                    (!MrqtText.IsUtf8(bytes(present)) && MrqtText.IsUtf8(bytes(record))))
                    map[name(record)] = record;
            }
            return map;
        }
    }
}
