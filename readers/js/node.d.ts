// Types of marquetor-tileset/node: reading a tile set file in Node.

import type { TileSet } from './index.js';

/** Reads a tile set file. A file that cannot be read gives status 'cannot-open'. */
export declare function loadTileSet(path: string): Promise<TileSet>;

/** The same, blocking. */
export declare function loadTileSetSync(path: string): TileSet;

/** The reason an error gives for a file that could not be read, worded as the C library does. */
export declare function reasonOf(error: { code?: string; message: string }): string;
