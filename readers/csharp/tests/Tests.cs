// The C# reader's tests: the rules of the file format on good files, every line end, damaged
// files (cut short, counts and sizes that lie, repeated keys), texts in either encoding, the
// texture map's order, files that cannot be read, and the dump program's output.
//
//   mono tests.exe DUMP_PROGRAM     (dump-csharp.exe; the dump tests run it with mono)

using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.IO;
using System.Linq;
using System.Text;
using Marquetor;

static class Tests
{
    static int _failures;
    static string _test;

    static void Check(bool ok, string what)
    {
        if (ok) return;
        _failures++;
        Console.WriteLine("FAIL " + _test + ": " + what);
    }

    static void Equal<T>(T expected, T actual, string what)
    {
        Check(EqualityComparer<T>.Default.Equals(expected, actual), what + ": expected <" + expected + ">, got <" + actual + ">");
    }

    static void Same(string expected, IEnumerable<string> actual, string what) => Equal(expected, string.Join("|", actual), what);

    static int Main(string[] args)
    {
        var tests = new List<KeyValuePair<string, Action>>
        {
            Test("the worked example of the file format", WorkedExample),
            Test("every line end the format allows, and the header", LineEnds),
            Test("a file cut short at every offset keeps what was read", CutShort),
            Test("counts and sizes that lie", LyingCounts),
            Test("repeated names and IDs", Repeated),
            Test("textures come in the order of the texture map", TextureOrder),
            Test("texts that are not UTF-8 read as Windows-1252", Windows1252),
            Test("files are read, or say why not", Files),
            Test("the dump program prints what mrqt dump prints", () => DumpProgram(args[0])),
            Test("every file of the corpus loads", Corpus),
        };
        foreach (var test in tests)
        {
            _test = test.Key;
            int before = _failures;
            try
            {
                test.Value();
            }
            catch (Exception e)
            {
                _failures++;
                Console.WriteLine("FAIL " + _test + ": " + e);
            }
            Console.WriteLine((_failures == before ? "ok - " : "not ok - ") + _test);
        }
        Console.WriteLine(_failures == 0 ? "all passed" : _failures + " failures");
        return _failures == 0 ? 0 : 1;
    }

    static KeyValuePair<string, Action> Test(string name, Action body) => new KeyValuePair<string, Action>(name, body);

    // .mrqt bytes as a game tool might write them, good or bad.
    sealed class FileWriter
    {
        readonly List<byte> _bytes = new List<byte>();

        public FileWriter I32(int v)
        {
            for (int k = 0; k < 4; k++) _bytes.Add((byte)(v >> (8 * k)));
            return this;
        }

        public FileWriter I16(int v)
        {
            _bytes.Add((byte)v);
            _bytes.Add((byte)(v >> 8));
            return this;
        }

        public FileWriter Raw(string text) => Raw(text.Select(c => (byte)c).ToArray());

        public FileWriter Raw(params byte[] bytes)
        {
            _bytes.AddRange(bytes);
            return this;
        }

        public FileWriter Line(string text, string end = "\r\n") => Raw(text).Raw(end);
        public FileWriter Line(byte[] text, string end = "\r\n") => Raw(text).Raw(end);
        public FileWriter Header() => Line("0.50");
        public FileWriter Material(string name, int color, string description) => Line(name).I32(color).Line(description);
        public FileWriter Material(byte[] name, int color, byte[] description) => Line(name).I32(color).Line(description);
        public FileWriter Texture(string name, byte[] bytes, int size) => Line(name).I32(size).Raw(bytes);
        public FileWriter Texture(string name, params byte[] bytes) => Texture(name, bytes, bytes.Length);

        public FileWriter Tile(int id, string texture, string material, int layer, int collision) =>
            I32(id).Line(texture).Line(material).I16(layer).I16(collision);

        public byte[] Done() => _bytes.ToArray();
    }

    static FileWriter Set() => new FileWriter().Header().I32(8).I32(8);

    // 64 x 32, material "A" (255, 128, 0), tile 7 naming texture "T" and material "A".
    static byte[] Example() =>
        new FileWriter().Header().I32(64).I32(32).I32(1).Material("A", 0x0080FF, "").I32(0).I32(1).Tile(7, "T", "A", 3, 1).Done();

    // Every kind of record, for cutting short: 2 materials, 2 textures, 2 tiles.
    static byte[] SmallSet() =>
        new FileWriter().Header().I32(16).I32(-8)
            .I32(2).Material("Grass", 0x3CA056, "soft").Material("Rock", 0x808080, "hard")
            .I32(2).Texture("a.png", 1, 2, 3).Texture("b.png", 4, 5)
            .I32(2).Tile(1, "a.png", "Grass", 0, 0).Tile(-2, "b.png", "Rock", 255, 5).Done();

    static string Show(MrqtTile t) => t.Id + " " + t.Texture + " " + t.Material + " " + t.Layer + " " + t.Collision;
    static string Show(MrqtMaterial m) => m.Name + " " + m.Color + " " + m.Description;

    static void WorkedExample()
    {
        MrqtTileSet set = MrqtTileSet.Read(Example());
        Equal(MrqtLoadStatus.Ok, set.Status, "status");
        Equal("", set.Message, "message");
        Check(set.Loaded, "loaded");
        Equal(64, set.TileWidth, "width");
        Equal(32, set.TileHeight, "height");
        Equal(1, set.Materials.Count, "materials");
        MrqtMaterial m = set.Materials[0];
        Equal("A 33023 255 128 0 ", m.Name + " " + m.Color + " " + m.Red + " " + m.Green + " " + m.Blue + " " + m.Description, "material");
        Equal(0, set.Textures.Count, "textures");
        Same("7 T A 3 1", set.Tiles.Select(Show), "tiles");
        Check(ReferenceEquals(m, set.FindMaterial("A")), "material by name");
        Check(set.FindMaterial("a") == null && set.FindMaterial(null) == null, "names are case-sensitive");
        MrqtTile tile;
        Check(set.TryGetTile(7, out tile) && tile.Layer == 3, "tile by ID");
        Check(set.FindTile(7).HasValue && !set.FindTile(8).HasValue, "FindTile");
        // A part of a larger array and a stream read the same.
        var padded = new byte[60];
        Array.Copy(Example(), 0, padded, 5, 49);
        Equal(7, MrqtTileSet.Read(padded, 5, 49).Tiles[0].Id, "offset and count");
        Equal(3, MrqtTileSet.Read(new MemoryStream(Example())).Tiles[0].Layer, "stream");
    }

    static void LineEnds()
    {
        MrqtTileSet set = MrqtTileSet.Read(new FileWriter().Line("0.50", "\n").I32(1).I32(2).I32(3)
            .Line("A", "\r").I32(0x0A0D00).Line("lone CR", "\r")   // the byte after a lone CR is the next item's
            .Line("B", "\n").I32(5).Line("zero", "\0")
            .Line("C", "\r\n").I32(6).Line("", "\r\n")
            .I32(0).I32(1).I32(-9).Line("tex", "\0").Line("mat", "\r").I16(-1).I16(0x7FFF).Done());
        Equal(MrqtLoadStatus.Ok, set.Status, "status");
        Same("A 658688 lone CR|B 5 zero|C 6 ", set.Materials.Select(Show), "materials");
        Same("-9 tex mat -1 32767", set.Tiles.Select(Show), "tiles");
        foreach (string header in new[] { "0.50\0", "0.50\r" })
            Equal(MrqtLoadStatus.Ok, MrqtTileSet.Read(new FileWriter().Raw(header).I32(1).I32(1).I32(0).I32(0).I32(0).Done()).Status, header);
        foreach (string bad in new[] { "", "0.5\r\n", "0.50 \r\n", " 0.50\r\n", "0.500\r\n", "MRQT", "\r\n0.50\r\n" })
        {
            MrqtTileSet not = MrqtTileSet.Read(new FileWriter().Raw(bad).I32(1).I32(1).I32(0).I32(0).I32(0).Done());
            Equal(MrqtLoadStatus.NotATileSet, not.Status, "header " + bad);
            Equal("not a tile set: the first line is not \"0.50\"", not.Message, "message");
            Check(!not.Loaded && not.TileWidth == 0 && not.Tiles.Count == 0, "nothing read");
        }
    }

    static void CutShort()
    {
        byte[] whole = SmallSet();
        Equal(MrqtLoadStatus.Ok, MrqtTileSet.Read(whole).Status, "whole");
        int[] before = { 0, 0, 0 };
        for (int cut = 0; cut < whole.Length; cut++)
        {
            MrqtTileSet set = MrqtTileSet.Read(whole, 0, cut);
            if (cut < 4)
            {
                Equal(MrqtLoadStatus.NotATileSet, set.Status, "cut at " + cut);
                continue;
            }
            Equal(MrqtLoadStatus.Truncated, set.Status, "cut at " + cut);
            Equal("the data ended early; only part of the tile set was read", set.Message, "message");
            // Records only ever come in as the data grows.
            int[] now = { set.Materials.Count, set.Textures.Count, set.Tiles.Count };
            for (int k = 0; k < 3; k++) Check(now[k] >= before[k] && now[k] <= 2, "cut at " + cut + ": list " + k);
            before = now;
        }
        Func<int, MrqtTileSet> cutAt = n => MrqtTileSet.Read(whole, 0, n);
        Equal(16, cutAt(7).TileWidth, "in the width: its low byte");
        Equal(0, cutAt(7).TileHeight, "height after the end");
        Same("Grass 41046 ", cutAt(6 + 12 + 7 + 2).Materials.Select(Show), "in the first colour");
        int textureStart = 6 + 12 + 7 + 4 + 6 + 6 + 4 + 6 + 4;
        MrqtTileSet inTexture = cutAt(textureStart + 7 + 4 + 2);
        Same("a.png 1,2", inTexture.Textures.Select(t => t.Name + " " + string.Join(",", t.Bytes)), "in the first texture");
        Equal(0, inTexture.Tiles.Count, "no tiles");
        Same("1 a.png Grass 0 0", cutAt(whole.Length - 21).Tiles.Select(Show), "right after the first tile");
        Equal("-2 b.png Rock 255 0", Show(cutAt(whole.Length - 3).Tiles[1]), "in the second tile's layer");
    }

    static void LyingCounts()
    {
        MrqtTileSet huge = MrqtTileSet.Read(Set().I32(int.MaxValue).Material("M", 1, "d").Done());
        Equal(MrqtLoadStatus.Truncated, huge.Status, "huge material count");
        Same("M 1 d", huge.Materials.Select(Show), "the material present");
        MrqtTileSet hugeTiles = MrqtTileSet.Read(Set().I32(0).I32(0).I32(int.MaxValue).Tile(1, "t", "m", 0, 0).Done());
        Equal(MrqtLoadStatus.Truncated, hugeTiles.Status, "huge tile count");
        Equal(1, hugeTiles.Tiles.Count, "the tile present");

        MrqtTileSet negative = MrqtTileSet.Read(Set().I32(-5).I32(-1).I32(1).Tile(3, "t", "m", 1, 1).Done());
        Equal(MrqtLoadStatus.Ok, negative.Status, "negative counts");
        Equal("0 0 3", negative.Materials.Count + " " + negative.Textures.Count + " " + negative.Tiles[0].Id, "negative counts hold none");

        MrqtTileSet noBytes = MrqtTileSet.Read(Set().I32(0).I32(2).Texture("n", new byte[0], -3).Texture("m", 9).I32(0).Done());
        Equal(MrqtLoadStatus.Ok, noBytes.Status, "negative size");
        Same("m 1|n 0", noBytes.Textures.Select(t => t.Name + " " + t.Size).OrderBy(x => x, StringComparer.Ordinal), "negative size holds no bytes");

        MrqtTileSet shortOne = MrqtTileSet.Read(Set().I32(0).I32(1).Texture("big", new byte[] { 7, 8, 9 }, 1000).Done());
        Equal(MrqtLoadStatus.Truncated, shortOne.Status, "size beyond the data");
        Equal("7,8,9", string.Join(",", shortOne.FindTexture("big").Bytes), "the bytes present");

        MrqtTileSet fewer = MrqtTileSet.Read(Set().I32(3).Material("only", 2, "").Done());
        Equal(MrqtLoadStatus.Truncated, fewer.Status, "fewer records than counted");
        Same("only 2 ", fewer.Materials.Select(Show), "fewer");

        MrqtTileSet trailing = MrqtTileSet.Read(Set().I32(0).I32(0).I32(1).Tile(1, "t", "m", 0, 0).Raw(1, 2, 3).Done());
        Equal(MrqtLoadStatus.Ok, trailing.Status, "bytes after the last tile are ignored");
    }

    static void Repeated()
    {
        MrqtTileSet set = MrqtTileSet.Read(Set()
            .I32(3).Material("A", 1, "first").Material("B", 2, "").Material("A", 3, "second")
            .I32(3).Texture("x.png", 1).Texture("y.png", 2).Texture("x.png", 3, 3)
            .I32(3).Tile(5, "x.png", "A", 1, 1).Tile(6, "y.png", "B", 0, 0).Tile(5, "y.png", "B", 9, 9).Done());
        Equal(MrqtLoadStatus.Ok, set.Status, "status");
        Same("A 1 first|B 2 ", set.Materials.Select(Show), "the first material of a name wins");
        Same("5 x.png A 1 1|6 y.png B 0 0", set.Tiles.Select(Show), "the first tile of an ID wins");
        Equal("A", set.FindTile(5).Value.Material, "tile 5");
        Equal(2, set.Textures.Count, "textures");
        Equal("3,3", string.Join(",", set.FindTexture("x.png").Bytes), "the last bytes of a texture name");

        // "Aa" and "BB" hash alike (65 * 31 + 97 = 66 * 31 + 66): shared texts must still compare their bytes.
        MrqtTileSet alike = MrqtTileSet.Read(Set().I32(0).I32(0).I32(3).Tile(1, "Aa", "BB", 0, 0).Tile(2, "BB", "Aa", 0, 0)
            .Tile(3, "Aa", "Aa", 0, 0).Done());
        Same("1 Aa BB 0 0|2 BB Aa 0 0|3 Aa Aa 0 0", alike.Tiles.Select(Show), "names that hash alike");
    }

    static void TextureOrder()
    {
        Func<string, int> bucket = name => MrqtText.TextureBucket(Encoding.UTF8.GetBytes(name));
        Equal("78 78 97", bucket("ao") + " " + bucket("b0") + " " + bucket("a"), "buckets");
        Equal(484, MrqtText.TextureBucket(new byte[] { 0xE4 }), "bytes count as signed");
        MrqtTileSet set = MrqtTileSet.Read(Set().I32(0).I32(4).Texture("a", 1).Texture("ao", 2)
            .Line(new byte[] { 0xE4 }).I32(1).Raw(3).Texture("b0", 4).I32(0).Done());
        Same("b0|ao|a|\u00E4", set.Textures.Select(t => t.Name), "buckets in order, the last read of a bucket first");
    }

    static void Windows1252()
    {
        byte[] kaese1252 = { 0x4B, 0xE4, 0x73, 0x65 }, kaeseUtf8 = { 0x4B, 0xC3, 0xA4, 0x73, 0x65 };
        MrqtTileSet set = MrqtTileSet.Read(Set()
            .I32(5).Material(kaese1252, 1, new byte[] { 0x80, 0x20, 0x35 })
            .Material(kaeseUtf8, 2, new byte[] { 0x81, 0x8D, 0x8F, 0x90, 0x9D, 0x9F })
            .Material(new byte[] { 0xEF, 0xBB, 0xBF, 0x41 }, 3, new byte[] { 0xC0, 0x80 })
            .Material(new byte[] { 0xED, 0xA0, 0x80 }, 4, new byte[] { 0xF4, 0x90, 0x80, 0x80 })
            .Material(new byte[] { 0xF0, 0x9F, 0x8E, 0xB2 }, 5, Encoding.ASCII.GetBytes(new string('x', 70)))
            .I32(0).I32(1).I32(1).Line(kaese1252).Line(kaeseUtf8).I16(0).I16(0).Done());
        Equal(MrqtLoadStatus.Ok, set.Status, "status");
        Same("K\u00E4se \u20AC 5|K\u00E4se \u0081\u008D\u008F\u0090\u009D\u0178|\uFEFFA \u00C0\u20AC|" +
             "\u00ED\u00A0\u20AC \u00F4\u0090\u20AC\u20AC|\U0001F3B2 " + new string('x', 64),
            set.Materials.Select(m => m.Name + " " + m.Description), "texts");
        Equal(BitConverter.ToString(kaese1252), BitConverter.ToString(set.Materials[0].NameBytes), "bytes as stored");
        Equal(2, set.FindMaterial("K\u00E4se").Color, "of two names that show alike, the UTF-8 one answers");
        MrqtTileSet reversed = MrqtTileSet.Read(Set().I32(2).Material(kaeseUtf8, 1, new byte[0]).Material(kaese1252, 2, new byte[0])
            .I32(0).I32(0).Done());
        Equal(1, reversed.FindMaterial("K\u00E4se").Color, "the UTF-8 one answers, whichever comes first");
        MrqtTile tile = set.Tiles[0];
        Equal("K\u00E4se K\u00E4se", tile.Texture + " " + tile.Material, "tile names");
        Equal(BitConverter.ToString(kaese1252), BitConverter.ToString(tile.TextureBytes), "tile name bytes");
        Check(!MrqtText.IsUtf8(kaese1252) && MrqtText.IsUtf8(kaeseUtf8), "IsUtf8");
        // The edges of strict UTF-8: the shortest forms only, no surrogates, nothing above U+10FFFF.
        foreach (string valid in new[] { "7F", "C2 80", "DF BF", "E0 A0 80", "ED 9F BF", "EE 80 80", "F0 90 80 80", "F4 8F BF BF" })
            Check(MrqtText.IsUtf8(Hex(valid)), "valid: " + valid);
        foreach (string invalid in new[] { "80", "C1 BF", "E0 9F BF", "ED A0 80", "F0 8F BF BF", "F4 90 80 80", "F5 80 80 80", "E1 80", "E1 80 41" })
            Check(!MrqtText.IsUtf8(Hex(invalid)), "invalid: " + invalid);
    }

    static byte[] Hex(string text) => text.Split(' ').Select(h => Convert.ToByte(h, 16)).ToArray();

    static string TempFolder()
    {
        string folder = Path.Combine(Path.GetTempPath(), "marquetor-csharp-" + Guid.NewGuid().ToString("N"));
        Directory.CreateDirectory(folder);
        return folder;
    }

    static void Files()
    {
        string folder = TempFolder();
        string good = Path.Combine(folder, "good.mrqt");
        File.WriteAllBytes(good, Example());
        Equal(7, MrqtTileSet.Load(good).Tiles[0].Id, "a file");
        string missing = Path.Combine(folder, "missing.mrqt");
        MrqtTileSet set = MrqtTileSet.Load(missing);
        Equal(MrqtLoadStatus.CannotOpen, set.Status, "missing");
        Equal("cannot open \"" + missing + "\": No such file or directory", set.Message, "missing: message");
        Check(!set.Loaded && set.Tiles.Count == 0, "missing: nothing");
        Equal("cannot open \"" + folder + "\": it is a folder", MrqtTileSet.Load(folder).Message, "a folder");
        Equal("cannot open \"" + good + "/x\": Not a directory", MrqtTileSet.Load(good + "/x").Message, "below a file");
        Equal("cannot open \"\": no file name given", MrqtTileSet.Load("").Message, "no name");
        Directory.Delete(folder, true);
    }

    sealed class Run
    {
        public int Status;
        public string Out, Err;
        public override string ToString() => Status + "\n" + Out + "\n" + Err;
    }

    static Run RunDump(string program, params string[] args)
    {
        var start = new ProcessStartInfo("mono", "\"" + program + "\" " + string.Join(" ", args.Select(a => "\"" + a + "\"")))
        {
            UseShellExecute = false,
            RedirectStandardOutput = true,
            RedirectStandardError = true,
            StandardOutputEncoding = new UTF8Encoding(false),
            StandardErrorEncoding = new UTF8Encoding(false),
        };
        using (Process p = Process.Start(start))
        {
            var err = p.StandardError.ReadToEndAsync();
            string out_ = p.StandardOutput.ReadToEnd();
            p.WaitForExit();
            return new Run { Status = p.ExitCode, Out = out_, Err = err.Result };
        }
    }

    static void DumpProgram(string program)
    {
        string folder = TempFolder();
        Func<string, byte[], string> file = (fileName, bytes) =>
        {
            string path = Path.Combine(folder, fileName);
            File.WriteAllBytes(path, bytes);
            return path;
        };

        Run whole = RunDump(program, file("example.mrqt", Example()));
        Equal("0\n{\n  \"tileWidth\": 64,\n  \"tileHeight\": 32,\n  \"materials\": [\n" +
              "    {\"name\":\"A\",\"color\":33023,\"red\":255,\"green\":128,\"blue\":0,\"description\":\"\"}\n  ],\n" +
              "  \"textures\": [],\n  \"tiles\": [\n    {\"id\":7,\"texture\":\"T\",\"material\":\"A\",\"layer\":3,\"collision\":1}\n" +
              "  ]\n}\n\n", whole.ToString(), "a whole file");

        string texts = file("texts.mrqt", new FileWriter().Header().I32(-1).I32(int.MaxValue)
            .I32(2).Material("a\tb\"c\\\x01\x1f\x7f", -1, "\x80").Material(new byte[] { 0xC3, 0xA4 }, 0x010203, Encoding.ASCII.GetBytes("\b\f"))
            .I32(2).Texture("abc", 97, 98, 99).Line(new byte[] { 0xE4 }).I32(0)
            .I32(1).I32(int.MinValue).Line(new byte[] { 0xE4 }).Line("a\tb\"c\\\x01\x1f\x7f").I16(-32768).I16(32767).Done());
        string name = "\"a\\tb\\\"c\\\\\\u0001\\u001f\x7f\"";
        Equal("0\n{\n  \"tileWidth\": -1,\n  \"tileHeight\": 2147483647,\n  \"materials\": [\n" +
              "    {\"name\":" + name + ",\"color\":-1,\"red\":255,\"green\":255,\"blue\":255,\"description\":\"\u20AC\",\"descriptionEncoding\":\"windows-1252\"},\n" +
              "    {\"name\":\"\u00E4\",\"color\":66051,\"red\":3,\"green\":2,\"blue\":1,\"description\":\"\\b\\f\"}\n  ],\n" +
              "  \"textures\": [\n" +
              "    {\"name\":\"abc\",\"size\":3,\"sha256\":\"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\"},\n" +
              "    {\"name\":\"\u00E4\",\"nameEncoding\":\"windows-1252\",\"size\":0,\"sha256\":\"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855\"}\n  ],\n" +
              "  \"tiles\": [\n    {\"id\":-2147483648,\"texture\":\"\u00E4\",\"textureEncoding\":\"windows-1252\",\"material\":" + name +
              ",\"layer\":-32768,\"collision\":32767}\n  ]\n}\n\n", RunDump(program, texts).ToString(), "escapes, encodings, digests");

        byte[] small = SmallSet();
        string cut = file("cut.mrqt", small.Take(58).ToArray());
        Run cutRun = RunDump(program, cut);
        Equal(0, cutRun.Status, "cut short: status");
        Equal("mrqt: warning: " + cut + ": the data ended early; only part of the tile set was read\n", cutRun.Err, "cut short: warning");
        Check(cutRun.Out.EndsWith("  \"textures\": [\n    {\"name\":\"a.p\",\"size\":0,\"sha256\":\"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855\"}\n  ],\n  \"tiles\": []\n}\n", StringComparison.Ordinal),
            "cut short: what was read\n" + cutRun.Out);

        string notOne = file("not.mrqt", Encoding.ASCII.GetBytes("MRQT\r\n"));
        Equal("1\n\nmrqt: " + notOne + ": not a tile set: the first line is not \"0.50\"\n", RunDump(program, notOne).ToString(), "not a tile set");
        string missing = Path.Combine(folder, "missing.mrqt");
        Equal("1\n\nmrqt: cannot open \"" + missing + "\": No such file or directory\n", RunDump(program, missing).ToString(), "missing");
        Equal("1\n\nmrqt: cannot open \"" + folder + "\": it is a folder\n", RunDump(program, folder).ToString(), "a folder");
        Equal(2, RunDump(program).Status, "no file");

        Run timed = RunDump(program, "--time", file("timed.mrqt", small));
        Check(timed.Status == 0 && System.Text.RegularExpressions.Regex.IsMatch(timed.Out, "^load_seconds [0-9]+\\.[0-9]{6}\n$"), "--time: " + timed.Out);
        Directory.Delete(folder, true);
    }

    // The shared corpus of damaged and odd files, when the build made it: every file loads
    // without an exception, the same from its path as from its bytes.
    static void Corpus()
    {
        string corpus = Environment.GetEnvironmentVariable("MARQUETOR_READER_CORPUS");
        if (string.IsNullOrEmpty(corpus) || !Directory.Exists(corpus)) return;
        foreach (string path in Directory.GetFiles(corpus))
        {
            MrqtTileSet fromFile = MrqtTileSet.Load(path), fromBytes = MrqtTileSet.Read(File.ReadAllBytes(path));
            Equal(fromBytes.Status, fromFile.Status, path);
            Check(fromFile.Status != MrqtLoadStatus.CannotOpen, path);
            Equal(fromBytes.Tiles.Count, fromFile.Tiles.Count, path);
        }
    }
}
