/* marquetor.h - reads Marquetor tile set files (.mrqt) in C99 and C++. MIT licence.

   One file: the declarations, and the implementation where MARQUETOR_IMPLEMENTATION is
   defined. In exactly one C or C++ file of the game:

       #define MARQUETOR_IMPLEMENTATION
       #include "marquetor.h"

   and in any other file that uses it, just #include "marquetor.h".

       marquetor_tileset *set;
       marquetor_status status = marquetor_load_file("level.mrqt", &set);
       if (!set) { fprintf(stderr, "level.mrqt: %s\n", marquetor_status_text(status)); return 1; }
       for (size_t i = 0; i < set->tile_count; ++i)
           printf("tile %d: %s, %s\n", (int)set->tiles[i].id, set->tiles[i].texture, set->tiles[i].material);
       marquetor_free(set);

   The tile set is read as Marquetor itself reads it (docs/file-format.md), damaged files
   included: a file whose data ends early gives what was read (MARQUETOR_ENDED_EARLY); a
   repeated material name or tile ID keeps the first record; a repeated texture name keeps
   the last bytes at the first one's place. Materials and tiles are in file order, textures
   in the order of Marquetor's texture map, the order mrqt dump and the editor list them.

   Texts are the file's bytes, NUL-terminated (a text can hold any byte but CR, LF and NUL),
   without a declared encoding: UTF-8 when written by Marquetor, Windows-1252 in files of
   older tools. Texture bytes are the image file, unchanged; no picture is decoded.

   No global state; every allocation is checked, and none is larger than the data could
   need whatever its counts and sizes claim. One marquetor_free() gives everything back.
   Define MARQUETOR_MALLOC, MARQUETOR_REALLOC and MARQUETOR_FREE (all three) before the
   implementation to use other allocators, MARQUETOR_DEF as `static` to keep the functions
   private to one file. */
#ifndef MARQUETOR_H
#define MARQUETOR_H

#include <stddef.h>
#include <stdint.h>

#ifndef MARQUETOR_DEF
#define MARQUETOR_DEF extern
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* How a load went. A tile set is handed out for the first two only. */
typedef enum marquetor_status {
    MARQUETOR_OK = 0,          /* read whole */
    MARQUETOR_ENDED_EARLY,     /* the data ended early: what was read is kept */
    MARQUETOR_NOT_A_TILESET,   /* the first line is not "0.50" */
    MARQUETOR_CANNOT_OPEN      /* the file could not be opened or read, or memory ran out: errno says which */
} marquetor_status;

typedef struct marquetor_material {
    const char *name;           /* unique within the tile set */
    size_t name_size;           /* bytes before the NUL */
    int32_t color;              /* red in bits 0-7, green 8-15, blue 16-23, as stored */
    uint8_t red, green, blue;
    const char *description;    /* at most 64 bytes */
    size_t description_size;
} marquetor_material;

typedef struct marquetor_texture {
    const char *name;           /* the image file's name, such as "grass.png"; unique */
    size_t name_size;
    const unsigned char *bytes; /* the image file, whole and unchanged */
    size_t size;
} marquetor_texture;

typedef struct marquetor_tile {
    int32_t id;                 /* unique within the tile set; 0 and negative IDs too */
    int16_t layer;
    int16_t collision;
    const char *texture;        /* the name of a texture: the set need not hold it */
    const char *material;       /* the name of a material: likewise */
} marquetor_tile;

typedef struct marquetor_tileset {
    int32_t tile_width, tile_height;
    size_t material_count;
    const marquetor_material *materials;
    size_t texture_count;
    const marquetor_texture *textures;
    size_t tile_count;
    const marquetor_tile *tiles;
    marquetor_status status;    /* MARQUETOR_OK or MARQUETOR_ENDED_EARLY */
} marquetor_tileset;

/* Reads a tile set from a file or from memory (the bytes are copied: the caller keeps
   them). *out is the tile set, or NULL when the status is MARQUETOR_NOT_A_TILESET or
   MARQUETOR_CANNOT_OPEN. */
MARQUETOR_DEF marquetor_status marquetor_load_file(const char *path, marquetor_tileset **out);
MARQUETOR_DEF marquetor_status marquetor_load_memory(const void *data, size_t size, marquetor_tileset **out);
/* Everything a load allocated, in one call; NULL is fine. */
MARQUETOR_DEF void marquetor_free(marquetor_tileset *set);

/* Look-ups, byte for byte and case-sensitively; NULL when there is none. */
MARQUETOR_DEF const marquetor_material *marquetor_find_material(const marquetor_tileset *set, const char *name);
MARQUETOR_DEF const marquetor_texture *marquetor_find_texture(const marquetor_tileset *set, const char *name);
MARQUETOR_DEF const marquetor_tile *marquetor_find_tile(const marquetor_tileset *set, int32_t id);

/* "read whole", "the data ended early; only part of the tile set was read", ... */
MARQUETOR_DEF const char *marquetor_status_text(marquetor_status status);
/* The bucket of Marquetor's texture map (0-511) a name falls in: textures are listed
   bucket by bucket, the most recently read first within one. */
MARQUETOR_DEF unsigned marquetor_texture_bucket(const char *name, size_t size);

#ifdef __cplusplus
}
#endif

#endif /* MARQUETOR_H */

/* ---------------------------------------------------------------------------------------- */

#ifdef MARQUETOR_IMPLEMENTATION
#ifndef MARQUETOR_IMPLEMENTATION_DONE
#define MARQUETOR_IMPLEMENTATION_DONE

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if !defined(MARQUETOR_MALLOC) || !defined(MARQUETOR_REALLOC) || !defined(MARQUETOR_FREE)
#define MARQUETOR_MALLOC(n) malloc(n)
#define MARQUETOR_REALLOC(p, n) realloc(p, n)
#define MARQUETOR_FREE(p) free(p)
#endif

/* errno's values beyond C99's own, where the system has them (POSIX and Windows do). */
#ifdef ENOMEM
#define MARQUETOR__ENOMEM ENOMEM
#else
#define MARQUETOR__ENOMEM ERANGE
#endif
#ifdef EIO
#define MARQUETOR__EIO EIO
#else
#define MARQUETOR__EIO EDOM
#endif

#if defined(__GNUC__) || defined(__clang__)
#define MARQUETOR__PREFETCH(p) __builtin_prefetch(p)
#else
#define MARQUETOR__PREFETCH(p) ((void)0)
#endif

#define MARQUETOR__BUCKETS 512u
#define MARQUETOR__DESCRIPTION_SIZE 64u
/* The smallest complete records: a name's line end, colour, a description's line end; a
   name's line end and the size; ID, two line ends, layer and collision. A count reserves
   no more records than the bytes left could hold (plus the one the data may end in). */
#define MARQUETOR__MIN_MATERIAL 6u
#define MARQUETOR__MIN_TEXTURE 5u
#define MARQUETOR__MIN_TILE 10u

/* The tile set with what only the implementation sees: the file's bytes (the texts and
   texture bytes point into them) and the indexes of the look-ups. */
typedef struct marquetor__set {
    marquetor_tileset pub;
    unsigned char *data;
    marquetor_material *materials;
    marquetor_texture *textures;
    marquetor_tile *tiles;
    /* Open addressing, a power of two of slots holding position + 1 (0: empty). */
    uint32_t *material_slots, *texture_slots, *tile_slots;
    size_t material_mask, texture_mask, tile_mask;
    unsigned tile_shift;
} marquetor__set;

/* The items of the format over the file's bytes. Past the end a number reads as 0 (a
   partly present one keeps its bytes in its low part) and a line as empty; `ended`
   records that. Lines are cut in place: the terminator becomes the text's NUL. */
typedef struct marquetor__in {
    unsigned char *p, *end;
    int ended;
} marquetor__in;

static uint32_t marquetor__partial(marquetor__in *in) {
    uint32_t v = 0;
    unsigned shift = 0;
    while (in->p < in->end) {
        v |= (uint32_t)*in->p++ << shift;
        shift += 8;
    }
    in->ended = 1;
    return v;
}

static int32_t marquetor__i32(marquetor__in *in) {
    uint32_t v;
    if (in->end - in->p >= 4) {
        v = (uint32_t)in->p[0] | (uint32_t)in->p[1] << 8 | (uint32_t)in->p[2] << 16 | (uint32_t)in->p[3] << 24;
        in->p += 4;
    } else {
        v = marquetor__partial(in);
    }
    /* Two's complement without implementation-defined conversions. */
    return v <= 0x7FFFFFFFu ? (int32_t)v : (int32_t)(v - 0x80000000u) - 0x7FFFFFFF - 1;
}

static int16_t marquetor__i16(marquetor__in *in) {
    uint32_t v;
    if (in->end - in->p >= 2) {
        v = (uint32_t)in->p[0] | (uint32_t)in->p[1] << 8;
        in->p += 2;
    } else {
        v = marquetor__partial(in);
    }
    return v <= 0x7FFFu ? (int16_t)v : (int16_t)((int32_t)v - 0x10000);
}

/* A line ends at CR LF, a lone LF, a lone CR (the byte after it stays), a zero byte or the
   end of the data. The data has one byte more, a NUL, for a line that runs to the end. */
static const char *marquetor__line(marquetor__in *in, size_t *size) {
    unsigned char *start = in->p, *q = in->p;
    while (q < in->end && *q != '\r' && *q != '\n' && *q != 0) ++q;
    *size = (size_t)(q - start);
    if (q == in->end) {
        in->ended = 1; /* every line of the format is followed by more */
        in->p = q;
    } else {
        in->p = q + 1;
        if (*q == '\r' && in->p < in->end && *in->p == '\n') ++in->p;
        *q = 0;
    }
    return (const char *)start;
}

/* Room for `count` records of `record` bytes each when the count is believable: never more
   than `left` bytes could hold, whatever the count claims. */
static void *marquetor__reserve(int32_t count, size_t left, size_t min_record, size_t record, size_t *room) {
    size_t n = count > 0 ? (size_t)count : 0;
    if (n > left / min_record + 1) n = left / min_record + 1;
    *room = n;
    return n && n <= (size_t)-1 / record ? MARQUETOR_MALLOC(n * record) : NULL;
}

static uint32_t marquetor__name_hash(const char *name, size_t size) {
    uint32_t h = 2166136261u; /* FNV-1a */
    size_t i;
    for (i = 0; i < size; ++i) h = (h ^ (unsigned char)name[i]) * 16777619u;
    return h;
}

/* Fibonacci hashing: the slot from the high bits of the product, which every bit of the ID
   moves (IDs that differ only in high bits spread like any others). */
static size_t marquetor__id_slot(int32_t id, unsigned shift) {
    return (size_t)(((uint64_t)(uint32_t)id * 0x9E3779B97F4A7C15ull) >> shift);
}

static unsigned marquetor__shift(size_t mask) {
    unsigned bits = 0;
    while (mask) ++bits, mask >>= 1;
    return 64 - bits;
}

/* Zeroed slots for n entries, at most half full. */
static uint32_t *marquetor__slots(size_t n, size_t *mask) {
    size_t slots = 8;
    uint32_t *out;
    while (slots < n && slots <= (size_t)-1 / 8) slots *= 2;
    if (slots < n || slots > (size_t)-1 / 2 / sizeof(uint32_t)) return NULL;
    slots *= 2;
    *mask = slots - 1;
    out = (uint32_t *)MARQUETOR_MALLOC(slots * sizeof(uint32_t));
    if (out) memset(out, 0, slots * sizeof(uint32_t));
    return out;
}

unsigned marquetor_texture_bucket(const char *name, size_t size) {
    uint32_t h = 0;
    size_t i;
    for (i = 0; i < size; ++i) {
        /* Each byte counts as a signed value, -128 to 127. */
        const unsigned b = (unsigned char)name[i];
        h = h * 65599u + (b < 128 ? b : b + 0xFFFFFF00u);
    }
    return (unsigned)(h % MARQUETOR__BUCKETS);
}

/* Materials: the first of a name stays, later ones are dropped whole. */
static int marquetor__index_materials(marquetor__set *s) {
    size_t i, kept = 0;
    s->material_slots = marquetor__slots(s->pub.material_count, &s->material_mask);
    if (!s->material_slots) return 0;
    for (i = 0; i < s->pub.material_count; ++i) {
        const marquetor_material *m = &s->materials[i];
        size_t at = marquetor__name_hash(m->name, m->name_size) & s->material_mask;
        int taken = 0;
        while (s->material_slots[at]) {
            const marquetor_material *o = &s->materials[s->material_slots[at] - 1];
            if (o->name_size == m->name_size && memcmp(o->name, m->name, m->name_size) == 0) {
                taken = 1;
                break;
            }
            at = (at + 1) & s->material_mask;
        }
        if (taken) continue;
        s->materials[kept] = *m;
        s->material_slots[at] = (uint32_t)++kept;
    }
    s->pub.material_count = kept;
    return 1;
}

/* Textures: a repeated name takes the later bytes at the first one's place; then the map's
   order, bucket by bucket, the last read first within a bucket. */
static int marquetor__order_textures(marquetor__set *s) {
    size_t n = s->pub.texture_count, i, kept = 0, mask, starts[MARQUETOR__BUCKETS + 1];
    marquetor_texture *ordered;
    uint32_t *slots = marquetor__slots(n, &mask);
    if (!slots) return 0;
    for (i = 0; i < n; ++i) {
        const marquetor_texture *t = &s->textures[i];
        size_t at = marquetor__name_hash(t->name, t->name_size) & mask;
        int taken = 0;
        while (slots[at]) {
            marquetor_texture *o = &s->textures[slots[at] - 1];
            if (o->name_size == t->name_size && memcmp(o->name, t->name, t->name_size) == 0) {
                o->bytes = t->bytes;
                o->size = t->size;
                taken = 1;
                break;
            }
            at = (at + 1) & mask;
        }
        if (taken) continue;
        s->textures[kept] = *t;
        slots[at] = (uint32_t)++kept;
    }
    s->pub.texture_count = n = kept;
    MARQUETOR_FREE(slots);

    ordered = n ? (marquetor_texture *)MARQUETOR_MALLOC(n * sizeof *ordered) : NULL;
    if (n && !ordered) return 0;
    memset(starts, 0, sizeof starts);
    for (i = 0; i < n; ++i) ++starts[marquetor_texture_bucket(s->textures[i].name, s->textures[i].name_size) + 1];
    for (i = 1; i <= MARQUETOR__BUCKETS; ++i) starts[i] += starts[i - 1];
    for (i = n; i-- > 0;)
        ordered[starts[marquetor_texture_bucket(s->textures[i].name, s->textures[i].name_size)]++] = s->textures[i];
    MARQUETOR_FREE(s->textures);
    s->textures = ordered;

    s->texture_slots = marquetor__slots(n, &s->texture_mask);
    if (!s->texture_slots) return 0;
    for (i = 0; i < n; ++i) {
        size_t at = marquetor__name_hash(ordered[i].name, ordered[i].name_size) & s->texture_mask;
        while (s->texture_slots[at]) at = (at + 1) & s->texture_mask;
        s->texture_slots[at] = (uint32_t)(i + 1);
    }
    return 1;
}

/* Tiles: the first of an ID stays, later ones are dropped. */
static int marquetor__index_tiles(marquetor__set *s) {
    const size_t n = s->pub.tile_count;
    size_t i, kept = 0;
    s->tile_slots = marquetor__slots(n, &s->tile_mask);
    if (!s->tile_slots) return 0;
    s->tile_shift = marquetor__shift(s->tile_mask);
    for (i = 0; i < n; ++i) {
        const marquetor_tile t = s->tiles[i];
        size_t at = marquetor__id_slot(t.id, s->tile_shift);
        int taken = 0;
        /* The slot of a tile a little ahead, fetched while this one is entered. */
        if (i + 8 < n) MARQUETOR__PREFETCH(&s->tile_slots[marquetor__id_slot(s->tiles[i + 8].id, s->tile_shift)]);
        while (s->tile_slots[at]) {
            if (s->tiles[s->tile_slots[at] - 1].id == t.id) {
                taken = 1;
                break;
            }
            at = (at + 1) & s->tile_mask;
        }
        if (taken) continue;
        s->tiles[kept] = t;
        s->tile_slots[at] = (uint32_t)++kept;
    }
    s->pub.tile_count = kept;
    return 1;
}

/* Reads the set from s->data (size bytes and a NUL after them), which it owns. */
static marquetor_status marquetor__parse(marquetor__set *s, size_t size) {
    marquetor__in in;
    size_t header_size, room, n;
    int32_t count, i;
    const char *header;

    in.p = s->data;
    in.end = s->data + size;
    in.ended = 0;
    header = marquetor__line(&in, &header_size);
    if (header_size != 4 || memcmp(header, "0.50", 4) != 0) return MARQUETOR_NOT_A_TILESET;
    s->pub.tile_width = marquetor__i32(&in);
    s->pub.tile_height = marquetor__i32(&in);

    count = marquetor__i32(&in);
    s->materials = (marquetor_material *)marquetor__reserve(count, (size_t)(in.end - in.p), MARQUETOR__MIN_MATERIAL,
                                                            sizeof(marquetor_material), &room);
    if (room && !s->materials) return MARQUETOR_CANNOT_OPEN;
    for (i = 0, n = 0; i < count; ++i) {
        marquetor_material *m;
        uint32_t color;
        if (in.p == in.end || n == room) { /* the count promised more than the data holds */
            in.ended = 1;
            break;
        }
        m = &s->materials[n++];
        m->name = marquetor__line(&in, &m->name_size);
        m->color = marquetor__i32(&in);
        color = (uint32_t)m->color;
        m->red = (uint8_t)(color & 0xFF);
        m->green = (uint8_t)(color >> 8 & 0xFF);
        m->blue = (uint8_t)(color >> 16 & 0xFF);
        m->description = marquetor__line(&in, &m->description_size);
        if (m->description_size > MARQUETOR__DESCRIPTION_SIZE) { /* a file keeps 64 bytes */
            m->description_size = MARQUETOR__DESCRIPTION_SIZE;
            ((char *)m->description)[MARQUETOR__DESCRIPTION_SIZE] = 0;
        }
    }
    s->pub.material_count = n;

    count = marquetor__i32(&in);
    s->textures = (marquetor_texture *)marquetor__reserve(count, (size_t)(in.end - in.p), MARQUETOR__MIN_TEXTURE,
                                                          sizeof(marquetor_texture), &room);
    if (room && !s->textures) return MARQUETOR_CANNOT_OPEN;
    for (i = 0, n = 0; i < count; ++i) {
        marquetor_texture *t;
        int32_t claimed;
        size_t left;
        if (in.p == in.end || n == room) {
            in.ended = 1;
            break;
        }
        t = &s->textures[n++];
        t->name = marquetor__line(&in, &t->name_size);
        claimed = marquetor__i32(&in);
        /* A negative size holds no bytes; a size beyond the data keeps the bytes present. */
        t->size = claimed > 0 ? (size_t)claimed : 0;
        left = (size_t)(in.end - in.p);
        if (t->size > left) {
            t->size = left;
            in.ended = 1;
        }
        t->bytes = in.p;
        in.p += t->size;
    }
    s->pub.texture_count = n;

    count = marquetor__i32(&in);
    s->tiles = (marquetor_tile *)marquetor__reserve(count, (size_t)(in.end - in.p), MARQUETOR__MIN_TILE,
                                                    sizeof(marquetor_tile), &room);
    if (room && !s->tiles) return MARQUETOR_CANNOT_OPEN;
    for (i = 0, n = 0; i < count; ++i) {
        marquetor_tile *t;
        size_t ignored;
        if (in.p == in.end || n == room) {
            in.ended = 1;
            break;
        }
        t = &s->tiles[n++];
        t->id = marquetor__i32(&in);
        t->texture = marquetor__line(&in, &ignored);
        t->material = marquetor__line(&in, &ignored);
        t->layer = marquetor__i16(&in);
        t->collision = marquetor__i16(&in);
    }
    s->pub.tile_count = n;

    if (!marquetor__index_materials(s) || !marquetor__order_textures(s) || !marquetor__index_tiles(s))
        return MARQUETOR_CANNOT_OPEN;
    s->pub.materials = s->materials;
    s->pub.textures = s->textures;
    s->pub.tiles = s->tiles;
    s->pub.status = in.ended ? MARQUETOR_ENDED_EARLY : MARQUETOR_OK;
    return s->pub.status;
}

void marquetor_free(marquetor_tileset *set) {
    marquetor__set *s = (marquetor__set *)set;
    if (!s) return;
    MARQUETOR_FREE(s->data);
    MARQUETOR_FREE(s->materials);
    MARQUETOR_FREE(s->textures);
    MARQUETOR_FREE(s->tiles);
    MARQUETOR_FREE(s->material_slots);
    MARQUETOR_FREE(s->texture_slots);
    MARQUETOR_FREE(s->tile_slots);
    MARQUETOR_FREE(s);
}

/* Takes data (size bytes and room for one more) whatever happens. */
static marquetor_status marquetor__load_owned(unsigned char *data, size_t size, marquetor_tileset **out) {
    marquetor_status status;
    marquetor__set *s = (marquetor__set *)MARQUETOR_MALLOC(sizeof *s);
    *out = NULL;
    if (!s) {
        MARQUETOR_FREE(data);
        errno = MARQUETOR__ENOMEM;
        return MARQUETOR_CANNOT_OPEN;
    }
    memset(s, 0, sizeof *s);
    s->data = data;
    data[size] = 0;
    status = marquetor__parse(s, size);
    if (status == MARQUETOR_OK || status == MARQUETOR_ENDED_EARLY) {
        *out = &s->pub;
        return status;
    }
    marquetor_free(&s->pub);
    if (status == MARQUETOR_CANNOT_OPEN) errno = MARQUETOR__ENOMEM;
    return status;
}

marquetor_status marquetor_load_memory(const void *data, size_t size, marquetor_tileset **out) {
    unsigned char *copy = size < (size_t)-1 ? (unsigned char *)MARQUETOR_MALLOC(size + 1) : NULL;
    *out = NULL;
    if (!copy) {
        errno = MARQUETOR__ENOMEM;
        return MARQUETOR_CANNOT_OPEN;
    }
    if (size) memcpy(copy, data, size);
    return marquetor__load_owned(copy, size, out);
}

marquetor_status marquetor_load_file(const char *path, marquetor_tileset **out) {
    size_t size = 0, capacity = (size_t)1 << 16;
    unsigned char *data;
    FILE *f;
    int error;
    *out = NULL;
    f = fopen(path, "rb");
    if (!f) return MARQUETOR_CANNOT_OPEN;
    data = (unsigned char *)MARQUETOR_MALLOC(capacity + 1);
    for (;;) {
        size_t got;
        if (!data) {
            fclose(f);
            errno = MARQUETOR__ENOMEM;
            return MARQUETOR_CANNOT_OPEN;
        }
        errno = 0;
        got = fread(data + size, 1, capacity - size, f);
        size += got;
        if (size < capacity) break; /* the end, or an error */
        {
            /* Full: the file's length when it tells one, twice the room otherwise. The
               memory grows with what the file holds, never with what it claims. */
            size_t want = capacity * 2;
            long at = ftell(f), length = -1;
            unsigned char *bigger;
            if (at >= 0 && fseek(f, 0, SEEK_END) == 0) {
                length = ftell(f);
                if (fseek(f, at, SEEK_SET) != 0) length = -2;
            }
            if (length == -2) break; /* lost its place: reported as a read error below */
            if (length > 0 && (unsigned long)length > (unsigned long)size &&
                (unsigned long)length < (unsigned long)((size_t)-1 / 2))
                want = (size_t)length + 1; /* one more, to see the end */
            if (want <= capacity) {
                errno = MARQUETOR__ENOMEM;
                break;
            }
            bigger = (unsigned char *)MARQUETOR_REALLOC(data, want + 1);
            if (!bigger) MARQUETOR_FREE(data);
            data = bigger;
            capacity = want;
        }
    }
    if (ferror(f) || size == capacity) {
        error = errno ? errno : MARQUETOR__EIO;
        MARQUETOR_FREE(data);
        fclose(f);
        errno = error;
        return MARQUETOR_CANNOT_OPEN;
    }
    fclose(f);
    return marquetor__load_owned(data, size, out);
}

static const void *marquetor__find_name(const marquetor__set *s, const char *name, int textures) {
    const size_t size = strlen(name);
    const uint32_t *slots = textures ? s->texture_slots : s->material_slots;
    const size_t mask = textures ? s->texture_mask : s->material_mask;
    size_t at;
    if (!slots) return NULL;
    for (at = marquetor__name_hash(name, size) & mask; slots[at]; at = (at + 1) & mask) {
        const char *other;
        size_t other_size;
        if (textures) {
            other = s->textures[slots[at] - 1].name;
            other_size = s->textures[slots[at] - 1].name_size;
        } else {
            other = s->materials[slots[at] - 1].name;
            other_size = s->materials[slots[at] - 1].name_size;
        }
        if (other_size == size && memcmp(other, name, size) == 0)
            return textures ? (const void *)&s->textures[slots[at] - 1] : (const void *)&s->materials[slots[at] - 1];
    }
    return NULL;
}

const marquetor_material *marquetor_find_material(const marquetor_tileset *set, const char *name) {
    return set && name ? (const marquetor_material *)marquetor__find_name((const marquetor__set *)set, name, 0) : NULL;
}

const marquetor_texture *marquetor_find_texture(const marquetor_tileset *set, const char *name) {
    return set && name ? (const marquetor_texture *)marquetor__find_name((const marquetor__set *)set, name, 1) : NULL;
}

const marquetor_tile *marquetor_find_tile(const marquetor_tileset *set, int32_t id) {
    const marquetor__set *s = (const marquetor__set *)set;
    size_t at;
    if (!s || !s->tile_slots) return NULL;
    for (at = marquetor__id_slot(id, s->tile_shift); s->tile_slots[at]; at = (at + 1) & s->tile_mask)
        if (s->tiles[s->tile_slots[at] - 1].id == id) return &s->tiles[s->tile_slots[at] - 1];
    return NULL;
}

const char *marquetor_status_text(marquetor_status status) {
    switch (status) {
    case MARQUETOR_OK: return "read whole";
    case MARQUETOR_ENDED_EARLY: return "the data ended early; only part of the tile set was read";
    case MARQUETOR_NOT_A_TILESET: return "not a tile set: the first line is not \"0.50\"";
    case MARQUETOR_CANNOT_OPEN: break;
    }
    return "cannot open or read the file";
}

#endif /* MARQUETOR_IMPLEMENTATION_DONE */
#endif /* MARQUETOR_IMPLEMENTATION */
