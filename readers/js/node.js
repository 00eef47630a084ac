// Reading a tile set from a file in Node: the file's bytes go to readTileSet (index.js). A
// file that cannot be read gives a tile set with status 'cannot-open' and the reason.

import { readFileSync } from 'node:fs';
import { readFile } from 'node:fs/promises';
import { readTileSet, Status, TileSet } from './index.js';

// The C library's texts for the errors opening a file can meet, so that messages read as
// Marquetor's own do.
const REASONS = {
  ENOENT: 'No such file or directory',
  EACCES: 'Permission denied',
  EPERM: 'Operation not permitted',
  ENOTDIR: 'Not a directory',
  EISDIR: 'it is a folder',
  ELOOP: 'Too many levels of symbolic links',
  ENAMETOOLONG: 'File name too long',
  EMFILE: 'Too many open files',
  ENFILE: 'Too many open files in system',
  EIO: 'Input/output error',
  ENXIO: 'No such device or address',
  ENODEV: 'No such device',
  ENOMEM: 'Cannot allocate memory',
  EFBIG: 'File too large',
  ERR_FS_FILE_TOO_LARGE: 'File too large',
};

/** The reason an error gives for a file that could not be read, worded as the C library does. */
export function reasonOf(error) {
  return REASONS[error.code] || error.message;
}

function cannotOpen(path, error) {
  const set = new TileSet();
  set.status = Status.CANNOT_OPEN;
  set.message = path === '' ? 'cannot open "": no file name given' : `cannot open "${path}": ${reasonOf(error)}`;
  return set;
}

/** Reads a tile set file; never throws for a file that is missing or broken. */
export function loadTileSetSync(path) {
  let bytes;
  try {
    if (path === '') throw new Error();
    bytes = readFileSync(path);
  } catch (error) {
    return cannotOpen(path, error);
  }
  return readTileSet(bytes);
}

/** The same without blocking: a promise of the tile set. */
export async function loadTileSet(path) {
  let bytes;
  try {
    if (path === '') throw new Error();
    bytes = await readFile(path);
  } catch (error) {
    return cannotOpen(path, error);
  }
  return readTileSet(bytes);
}
