// Prints a tile set as `mrqt dump FILE` prints it, byte for byte: the same JSON, the same
// messages on standard error, the same exit status. FILE "-" is standard input.
//
//   mono dump-csharp.exe FILE          the JSON
//   mono dump-csharp.exe --time FILE   one line "load_seconds S": the wall time of one load, reading included
//   mono dump-csharp.exe --batch       file names on standard input, one a line; for each, one record
//                                      on standard output: "STATUS OUTLEN ERRLEN\n", then the OUTLEN
//                                      bytes `dump-csharp FILE` writes on standard output and the ERRLEN
//                                      bytes it writes on standard error ("-" has no standard input there)

using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.Globalization;
using System.IO;
using System.Security.Cryptography;
using System.Text;
using Marquetor;

static class Dump
{
    static readonly UTF8Encoding Utf8 = new UTF8Encoding(false);

    static int Main(string[] args)
    {
        if (args.Length == 1 && args[0] == "--batch") return Batch();
        bool time = args.Length > 0 && args[0] == "--time";
        int first = time ? 1 : 0;
        if (args.Length - first != 1)
        {
            var err = new StreamWriter(Console.OpenStandardError(), Utf8) { AutoFlush = true };
            err.Write("Usage: dump-csharp [--time] FILE\n       dump-csharp --batch   (file names on standard input; one " +
                      "record each: STATUS OUTLEN ERRLEN,\n                             then the output and the messages of " +
                      "dump-csharp FILE)\n");
            return 2;
        }
        return DumpFile(args[first], time, Console.OpenStandardInput, Console.OpenStandardOutput(), Console.OpenStandardError());
    }

    // What `mrqt dump PATH` does: the JSON on output, the messages on errors; the exit status.
    // With time, one line "load_seconds S" instead of the JSON. standardInput opens what "-"
    // reads, or is null where there is none.
    static int DumpFile(string path, bool time, Func<Stream> standardInput, Stream output, Stream errors)
    {
        var err = new StreamWriter(errors, Utf8, 1024, true) { AutoFlush = true };
        Stopwatch clock = Stopwatch.StartNew();
        MrqtTileSet set;
        try
        {
            if (path == "-" && standardInput == null) throw new IOException("it holds the file names of --batch");
            set = path == "-" ? MrqtTileSet.Read(standardInput()) : MrqtTileSet.Load(path);
        }
        catch (IOException e)   // reading standard input failed
        {
            err.Write("mrqt: cannot read standard input: " + e.Message + "\n");
            return 1;
        }
        double seconds = clock.Elapsed.TotalSeconds;

        string shown = path == "-" ? "standard input" : path;
        switch (set.Status)
        {
            case MrqtLoadStatus.CannotOpen:
                err.Write("mrqt: " + set.Message + "\n");
                return 1;
            case MrqtLoadStatus.NotATileSet:
                err.Write("mrqt: " + shown + ": " + set.Message + "\n");
                return 1;
            case MrqtLoadStatus.Truncated:
                if (!time) err.Write("mrqt: warning: " + shown + ": " + set.Message + "\n");
                break;
        }
        try
        {
            using (var out_ = new StreamWriter(output, Utf8, 1 << 16, true))
            {
                if (time) out_.Write("load_seconds " + seconds.ToString("F6", CultureInfo.InvariantCulture) + "\n");
                else WriteDump(set, out_);
            }
        }
        catch (IOException)   // standard output was closed (the reader of a pipe stopped)
        {
            err.Write("mrqt: cannot write the output\n");
            return 1;
        }
        return 0;
    }

    // --batch: each line of standard input is a file name (UTF-8, without the newline); each
    // file's run is kept in memory and written as one record.
    static int Batch()
    {
        Stream input = Console.OpenStandardInput();
        var records = new BufferedStream(Console.OpenStandardOutput(), 1 << 16);
        var line = new MemoryStream();
        var buffer = new byte[1 << 16];
        int size = 0, at = 0;
        while (true)
        {
            if (at == size)
            {
                try
                {
                    size = input.Read(buffer, 0, buffer.Length);
                }
                catch (IOException e)
                {
                    Console.Error.Write("mrqt: cannot read standard input: " + e.Message + "\n");
                    return 1;
                }
                at = 0;
                if (size == 0 && line.Length == 0) return 0;
            }
            int end = size == 0 ? 0 : Array.IndexOf(buffer, (byte)'\n', at, size - at);
            if (size != 0 && end < 0)
            {
                line.Write(buffer, at, size - at);
                at = size;
                continue;
            }
            if (size != 0)
            {
                line.Write(buffer, at, end - at);
                at = end + 1;
            }
            string path = Utf8.GetString(line.GetBuffer(), 0, (int)line.Length);
            line.SetLength(0);

            var output = new MemoryStream();
            var errors = new MemoryStream();
            int status = DumpFile(path, false, null, output, errors);
            byte[] header = Encoding.ASCII.GetBytes(
                status.ToString(CultureInfo.InvariantCulture) + " " + output.Length.ToString(CultureInfo.InvariantCulture) + " " +
                errors.Length.ToString(CultureInfo.InvariantCulture) + "\n");
            try
            {
                records.Write(header, 0, header.Length);
                records.Write(output.GetBuffer(), 0, (int)output.Length);
                records.Write(errors.GetBuffer(), 0, (int)errors.Length);
                records.Flush();
            }
            catch (IOException)
            {
                Console.Error.Write("mrqt: cannot write the output\n");
                return 1;
            }
        }
    }

    // A JSON string as mrqt writes it: only '"', '\' and the control characters are escaped.
    static string JsonString(string text)
    {
        var sb = new StringBuilder(text.Length + 2);
        sb.Append('"');
        foreach (char c in text)
        {
            switch (c)
            {
                case '"': sb.Append("\\\""); break;
                case '\\': sb.Append("\\\\"); break;
                case '\b': sb.Append("\\b"); break;
                case '\f': sb.Append("\\f"); break;
                case '\n': sb.Append("\\n"); break;
                case '\r': sb.Append("\\r"); break;
                case '\t': sb.Append("\\t"); break;
                default:
                    if (c < 0x20) sb.Append("\\u00").Append(((int)c).ToString("x2", CultureInfo.InvariantCulture));
                    else sb.Append(c);
                    break;
            }
        }
        return sb.Append('"').ToString();
    }

    // `"key":"text"`, with `,"keyEncoding":"windows-1252"` when the bytes are not UTF-8. Tiles
    // share their name arrays, so each distinct name is formatted once.
    static readonly Dictionary<string, Dictionary<byte[], string>> Fields = new Dictionary<string, Dictionary<byte[], string>>();

    static string TextField(string key, string text, byte[] bytes)
    {
        Dictionary<byte[], string> perKey;
        if (!Fields.TryGetValue(key, out perKey)) Fields.Add(key, perKey = new Dictionary<byte[], string>());
        string field;
        if (!perKey.TryGetValue(bytes, out field))
        {
            field = "\"" + key + "\":" + JsonString(text);
            if (!MrqtText.IsUtf8(bytes)) field += ",\"" + key + "Encoding\":\"windows-1252\"";
            perKey.Add(bytes, field);
        }
        return field;
    }

    static string Sha256Hex(byte[] bytes)
    {
        using (SHA256 sha = SHA256.Create())
        {
            byte[] digest = sha.ComputeHash(bytes);
            var sb = new StringBuilder(64);
            foreach (byte b in digest) sb.Append(b.ToString("x2", CultureInfo.InvariantCulture));
            return sb.ToString();
        }
    }

    static void WriteList<T>(TextWriter out_, string name, IReadOnlyList<T> records, Func<T, string> format, bool last)
    {
        out_.Write("  \"" + name + "\": [");
        for (int i = 0; i < records.Count; i++)
        {
            out_.Write(i == 0 ? "\n    " : ",\n    ");
            out_.Write(format(records[i]));
        }
        out_.Write(records.Count == 0 ? "]" : "\n  ]");
        out_.Write(last ? "\n" : ",\n");
    }

    static string Number(long n) => n.ToString(CultureInfo.InvariantCulture);

    static void WriteDump(MrqtTileSet set, TextWriter out_)
    {
        Fields.Clear();   // the arrays of the tile set before (--batch) are not this one's
        out_.Write("{\n  \"tileWidth\": " + Number(set.TileWidth) + ",\n  \"tileHeight\": " + Number(set.TileHeight) + ",\n");
        WriteList(out_, "materials", set.Materials, m =>
            "{" + TextField("name", m.Name, m.NameBytes) + ",\"color\":" + Number(m.Color) + ",\"red\":" + Number(m.Red) +
            ",\"green\":" + Number(m.Green) + ",\"blue\":" + Number(m.Blue) + "," +
            TextField("description", m.Description, m.DescriptionBytes) + "}", false);
        WriteList(out_, "textures", set.Textures, t =>
            "{" + TextField("name", t.Name, t.NameBytes) + ",\"size\":" + Number(t.Size) + ",\"sha256\":\"" +
            Sha256Hex(t.Bytes) + "\"}", false);
        WriteList(out_, "tiles", set.Tiles, t =>
            "{\"id\":" + Number(t.Id) + "," + TextField("texture", t.Texture, t.TextureBytes) + "," +
            TextField("material", t.Material, t.MaterialBytes) + ",\"layer\":" + Number(t.Layer) + ",\"collision\":" +
            Number(t.Collision) + "}", true);
        out_.Write("}\n");
    }
}
