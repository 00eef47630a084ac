// Types of marquetor-tileset: reads Marquetor tile set files (.mrqt).

/** How a load went. */
export type LoadStatus = 'ok' | 'truncated' | 'not-a-tile-set' | 'cannot-open';

export declare const Status: {
  /** Read whole. */
  readonly OK: 'ok';
  /** The data ended early: what was read is kept. */
  readonly TRUNCATED: 'truncated';
  /** The first line is not "0.50": the tile set is empty. */
  readonly NOT_A_TILE_SET: 'not-a-tile-set';
  /** The file could not be read (the Node functions only). */
  readonly CANNOT_OPEN: 'cannot-open';
};

/** A description keeps at most this many bytes. */
export declare const DESCRIPTION_SIZE: 64;
/** The number of buckets of Marquetor's texture map. */
export declare const TEXTURE_BUCKETS: 512;

/** A named colour with a description. */
export declare class Material {
  private constructor();
  readonly name: string;
  /** Red in bits 0-7, green in 8-15, blue in 16-23. */
  readonly color: number;
  readonly red: number;
  readonly green: number;
  readonly blue: number;
  readonly description: string;
  /** The name as stored in the file. */
  readonly nameBytes: Uint8Array;
  readonly descriptionBytes: Uint8Array;
}

/** The bytes of an image file (PNG, JPEG, BMP or TGA), unchanged: no picture is decoded. */
export declare class Texture {
  private constructor();
  /** The name of the image file it came from, such as "grass.png". */
  readonly name: string;
  /** A view of the data the tile set was read from. */
  readonly bytes: Uint8Array;
  /** The number of bytes. */
  readonly size: number;
  readonly nameBytes: Uint8Array;
}

/** An ID naming a texture and a material, with a layer and a collision class. */
export declare class Tile {
  private constructor();
  readonly id: number;
  /** The name of a texture; the tile set need not hold it. */
  readonly texture: string;
  /** The name of a material; the tile set need not hold it. */
  readonly material: string;
  /** The editor offers 0 to 255; a file may hold any 16-bit number. */
  readonly layer: number;
  /** The editor offers 0 ("False"), 1 ("True") and 2 to 5; a file may hold any 16-bit number. */
  readonly collision: number;
  readonly textureBytes: Uint8Array;
  readonly materialBytes: Uint8Array;
  toJSON(): { id: number; texture: string; material: string; layer: number; collision: number };
}

/** A whole tile set, and how its load went. */
export declare class TileSet {
  readonly status: LoadStatus;
  /** Why the load did not go whole; empty when it did. */
  readonly message: string;
  /** Whether the file was read at all (status 'ok' or 'truncated'). */
  readonly loaded: boolean;
  readonly tileWidth: number;
  readonly tileHeight: number;
  /** In the file's order. */
  readonly materials: readonly Material[];
  /** In the order of Marquetor's texture map (the order it saves them in). */
  readonly textures: readonly Texture[];
  /** In the file's order. */
  readonly tiles: readonly Tile[];
  findMaterial(name: string): Material | undefined;
  findTexture(name: string): Texture | undefined;
  findTile(id: number): Tile | undefined;
}

/**
 * Reads a tile set from the bytes of a .mrqt file. Never throws for bad data: `status` says
 * how the load went.
 */
export declare function readTileSet(data: ArrayBuffer | ArrayBufferView): TileSet;

/** Whether bytes are strict UTF-8. */
export declare function isUtf8(bytes: Uint8Array): boolean;

/** A text's bytes as Marquetor shows them: UTF-8 when valid, otherwise Windows-1252. */
export declare function decodeText(bytes: Uint8Array): string;

/** The bucket (0-511) of Marquetor's texture map a name falls in (a string counts as UTF-8). */
export declare function textureBucket(name: Uint8Array | string): number;
