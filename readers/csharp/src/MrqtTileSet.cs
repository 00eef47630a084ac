// Reads Marquetor tile set files (.mrqt): the tile size, materials, textures and tiles.
// C# 7.3 and .NET Standard 2.0 only, no dependencies: Unity, Godot .NET, MonoGame and any
// .NET program take these files as source or as Marquetor.TileSet.dll.

using System;
using System.Collections.Generic;
using System.IO;

namespace Marquetor
{
    /// <summary>How a load went.</summary>
    public enum MrqtLoadStatus
    {
        /// <summary>Read whole.</summary>
        Ok,
        /// <summary>The data ended early; what was read is kept.</summary>
        Truncated,
        /// <summary>The first line is not "0.50"; the tile set is empty.</summary>
        NotATileSet,
        /// <summary>The file could not be opened or read; the tile set is empty.</summary>
        CannotOpen,
    }

    /// <summary>A named colour with a description.</summary>
    public sealed class MrqtMaterial
    {
        internal MrqtMaterial(Name name, int color, Name description)
        {
            Name = name.Text;
            NameBytes = name.Bytes;
            Color = color;
            Description = description.Text;
            DescriptionBytes = description.Bytes;
        }

        /// <summary>The material's name; names are unique within a tile set.</summary>
        public string Name { get; }
        /// <summary>Red in bits 0-7, green in 8-15, blue in 16-23.</summary>
        public int Color { get; }
        /// <summary>0-255.</summary>
        public int Red => Color & 0xFF;
        /// <summary>0-255.</summary>
        public int Green => (Color >> 8) & 0xFF;
        /// <summary>0-255.</summary>
        public int Blue => (Color >> 16) & 0xFF;
        /// <summary>At most 64 bytes in the file.</summary>
        public string Description { get; }
        /// <summary>The name as stored in the file (do not change the array).</summary>
        public byte[] NameBytes { get; }
        /// <summary>The description as stored in the file (do not change the array).</summary>
        public byte[] DescriptionBytes { get; }
    }

    /// <summary>The bytes of an image file (PNG, JPEG, BMP or TGA), unchanged: no picture is decoded.</summary>
    public sealed class MrqtTexture
    {
        internal MrqtTexture(Name name, byte[] bytes)
        {
            Name = name.Text;
            NameBytes = name.Bytes;
            Bytes = bytes;
        }

        /// <summary>The name of the image file it came from, such as "grass.png".</summary>
        public string Name { get; }
        /// <summary>The image file's bytes (Unity: Texture2D.LoadImage; MonoGame: Texture2D.FromStream).</summary>
        public byte[] Bytes { get; internal set; }
        /// <summary>The number of bytes.</summary>
        public int Size => Bytes.Length;
        /// <summary>The name as stored in the file (do not change the array).</summary>
        public byte[] NameBytes { get; }
    }

    /// <summary>
    /// An ID naming a texture and a material, with a layer and a collision class. Tiles come
    /// by the million: each holds its names as texts shared with the tiles naming the same.
    /// </summary>
    public readonly struct MrqtTile
    {
        readonly Name _texture, _material;

        internal MrqtTile(int id, Name texture, Name material, short layer, short collision)
        {
            Id = id;
            Layer = layer;
            Collision = collision;
            _texture = texture;
            _material = material;
        }

        /// <summary>The tile's number, unique within a tile set; 0 and negative IDs are IDs like any other.</summary>
        public int Id { get; }
        /// <summary>The name of a texture; the tile set need not hold it.</summary>
        public string Texture => _texture?.Text;
        /// <summary>The name of a material; the tile set need not hold it.</summary>
        public string Material => _material?.Text;
        /// <summary>The editor offers 0 to 255; a file may hold any 16-bit number.</summary>
        public short Layer { get; }
        /// <summary>The editor offers 0 ("False"), 1 ("True") and 2 to 5; a file may hold any 16-bit number.</summary>
        public short Collision { get; }
        /// <summary>The texture's name as stored in the file, shared by the tiles naming the same (do not change it).</summary>
        public byte[] TextureBytes => _texture?.Bytes;
        /// <summary>The material's name as stored in the file (shared; do not change it).</summary>
        public byte[] MaterialBytes => _material?.Bytes;
    }

    /// <summary>
    /// A whole tile set, and how its load went. Materials and tiles are in the file's order,
    /// textures in the order of Marquetor's texture map (the order it saves them in, so the
    /// file's order for every file it wrote). Texts are shown as Marquetor shows them: UTF-8
    /// when the bytes are valid UTF-8, otherwise read as Windows-1252.
    /// </summary>
    public sealed class MrqtTileSet
    {
        /// <summary>A description keeps at most this many bytes.</summary>
        public const int DescriptionSize = 64;
        /// <summary>The number of buckets of Marquetor's texture map.</summary>
        public const int TextureBuckets = 512;

        internal static readonly MrqtMaterial[] NoMaterials = new MrqtMaterial[0];
        internal static readonly MrqtTexture[] NoTextures = new MrqtTexture[0];
        internal static readonly MrqtTile[] NoTiles = new MrqtTile[0];

        internal MrqtTileSet(MrqtLoadStatus status, string message)
        {
            Status = status;
            Message = message;
        }

        /// <summary>How the load went.</summary>
        public MrqtLoadStatus Status { get; internal set; }
        /// <summary>Why the load did not go whole, as Marquetor words it; empty when it did.</summary>
        public string Message { get; internal set; }
        /// <summary>Whether the file was read at all: Ok or Truncated.</summary>
        public bool Loaded => Status == MrqtLoadStatus.Ok || Status == MrqtLoadStatus.Truncated;

        /// <summary>In pixels (any 32-bit value a file holds).</summary>
        public int TileWidth { get; internal set; }
        /// <summary>In pixels (any 32-bit value a file holds).</summary>
        public int TileHeight { get; internal set; }
        /// <summary>In the file's order.</summary>
        public IReadOnlyList<MrqtMaterial> Materials { get; internal set; } = NoMaterials;
        /// <summary>In the order Marquetor saves them (its texture map's).</summary>
        public IReadOnlyList<MrqtTexture> Textures { get; internal set; } = NoTextures;
        /// <summary>In the file's order.</summary>
        public IReadOnlyList<MrqtTile> Tiles { get; internal set; } = NoTiles;

        internal Dictionary<string, MrqtMaterial> MaterialsByName;
        internal Dictionary<string, MrqtTexture> TexturesByName;
        internal IdIndex TileIndex;

        /// <summary>The material of a name (case-sensitive), or null.</summary>
        public MrqtMaterial FindMaterial(string name)
        {
            MrqtMaterial found = null;
            if (MaterialsByName != null && name != null) MaterialsByName.TryGetValue(name, out found);
            return found;
        }

        /// <summary>The texture of a name (case-sensitive), or null.</summary>
        public MrqtTexture FindTexture(string name)
        {
            MrqtTexture found = null;
            if (TexturesByName != null && name != null) TexturesByName.TryGetValue(name, out found);
            return found;
        }

        /// <summary>The tile of an ID, if the tile set holds one.</summary>
        public bool TryGetTile(int id, out MrqtTile tile)
        {
            int position = TileIndex == null ? -1 : TileIndex.Get(id);
            tile = position < 0 ? default(MrqtTile) : Tiles[position];
            return position >= 0;
        }

        /// <summary>The tile of an ID, or null.</summary>
        public MrqtTile? FindTile(int id)
        {
            MrqtTile tile;
            return TryGetTile(id, out tile) ? tile : (MrqtTile?)null;
        }

        /// <summary>Reads a tile set from the bytes of a .mrqt file. Never throws for bad data.</summary>
        public static MrqtTileSet Read(byte[] data)
        {
            if (data == null) throw new ArgumentNullException(nameof(data));
            return Reader.Read(data, 0, data.Length);
        }

        /// <summary>Reads a tile set from count bytes of data, from offset on.</summary>
        public static MrqtTileSet Read(byte[] data, int offset, int count)
        {
            if (data == null) throw new ArgumentNullException(nameof(data));
            if (offset < 0 || count < 0 || count > data.Length - offset) throw new ArgumentOutOfRangeException(nameof(count));
            return Reader.Read(data, offset, count);
        }

        /// <summary>Reads a tile set from what is left of a stream (read to its end; not closed).</summary>
        public static MrqtTileSet Read(Stream stream)
        {
            if (stream == null) throw new ArgumentNullException(nameof(stream));
            var copy = new MemoryStream();
            stream.CopyTo(copy);
            return Reader.Read(copy.GetBuffer(), 0, (int)copy.Length);
        }

        /// <summary>
        /// Reads a tile set file. A file that cannot be read gives status CannotOpen, with the
        /// reason in Message; nothing is thrown for a missing or broken file.
        /// </summary>
        public static MrqtTileSet Load(string path)
        {
            byte[] data;
            try
            {
                if (string.IsNullOrEmpty(path)) return CannotOpen("cannot open \"\": no file name given");
                data = File.ReadAllBytes(path);
            }
            catch (Exception e) when (e is IOException || e is UnauthorizedAccessException || e is ArgumentException ||
                                      e is NotSupportedException || e is System.Security.SecurityException)
            {
                return CannotOpen("cannot open \"" + path + "\": " + ReasonOf(e, path));
            }
            return Reader.Read(data, 0, data.Length);
        }

        internal static MrqtTileSet CannotOpen(string message) => new MrqtTileSet(MrqtLoadStatus.CannotOpen, message);

        /// <summary>Why a file could not be read, worded as the C library words it.</summary>
        public static string ReasonOf(Exception e, string path)
        {
            if (e is FileNotFoundException || e is DirectoryNotFoundException)
                return AnAncestorIsAFile(path) ? "Not a directory" : "No such file or directory";
            if (e is UnauthorizedAccessException) return Directory.Exists(path) ? "it is a folder" : "Permission denied";
            if (e is PathTooLongException) return "File name too long";
            return e.Message;
        }

        static bool AnAncestorIsAFile(string path)
        {
            try
            {
                for (string dir = Path.GetDirectoryName(path); !string.IsNullOrEmpty(dir); dir = Path.GetDirectoryName(dir))
                    if (File.Exists(dir)) return true;
            }
            catch (ArgumentException)
            {
            }
            return false;
        }
    }
}
