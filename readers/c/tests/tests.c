/* Tests of marquetor.h: the records and look-ups of small files made here, the load
   statuses, allocations bounded by the data and failing cleanly, and the same result from
   a file as from memory on every file of the corpus (MARQUETOR_READER_CORPUS, when set).
   What each file reads as is compared with mrqt dump by reader-c-matches-mrqt-dump. */
#define _POSIX_C_SOURCE 200809L
#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Every allocation of the reader goes through these: the tests count them, bound them and
   make them fail. */
static size_t allocations, releases, largest, fail_at;
static void *test_malloc(size_t n) {
    if (fail_at && ++allocations == fail_at) return NULL;
    if (!fail_at) ++allocations;
    if (n > largest) largest = n;
    return malloc(n);
}
static void *test_realloc(void *p, size_t n) {
    if (fail_at && ++allocations == fail_at) return NULL;
    if (!fail_at) ++allocations;
    if (n > largest) largest = n;
    if (p) ++releases;
    return realloc(p, n);
}
static void test_free(void *p) {
    if (p) ++releases;
    free(p);
}
#define MARQUETOR_MALLOC(n) test_malloc(n)
#define MARQUETOR_REALLOC(p, n) test_realloc(p, n)
#define MARQUETOR_FREE(p) test_free(p)
#define MARQUETOR_IMPLEMENTATION
#include "../marquetor.h"

static int failures;
#define CHECK(cond)                                                              \
    do {                                                                         \
        if (!(cond)) {                                                           \
            fprintf(stderr, "%s:%d: %s: failed: %s\n", __FILE__, __LINE__, current, #cond); \
            ++failures;                                                          \
        }                                                                        \
    } while (0)
static const char *current = "";

/* Little file writer. */
typedef struct bytes {
    unsigned char data[4096];
    size_t n;
} bytes;
static void put(bytes *b, const void *p, size_t n) {
    memcpy(b->data + b->n, p, n);
    b->n += n;
}
static void line(bytes *b, const char *text) {
    put(b, text, strlen(text));
    put(b, "\r\n", 2);
}
static void i32(bytes *b, long v) {
    unsigned long u = (unsigned long)v;
    unsigned char c[4];
    c[0] = (unsigned char)(u & 0xFF), c[1] = (unsigned char)(u >> 8 & 0xFF);
    c[2] = (unsigned char)(u >> 16 & 0xFF), c[3] = (unsigned char)(u >> 24 & 0xFF);
    put(b, c, 4);
}
static void i16(bytes *b, int v) {
    unsigned u = (unsigned)v;
    unsigned char c[2];
    c[0] = (unsigned char)(u & 0xFF), c[1] = (unsigned char)(u >> 8 & 0xFF);
    put(b, c, 2);
}

static bytes worked_example(void) {
    bytes b;
    b.n = 0;
    line(&b, "0.50");
    i32(&b, 64), i32(&b, 32), i32(&b, 1);
    line(&b, "A"), i32(&b, 0x80FF), line(&b, "");
    i32(&b, 0), i32(&b, 1);
    i32(&b, 7), line(&b, "T"), line(&b, "A"), i16(&b, 3), i16(&b, 1);
    return b;
}

static void test_worked_example(void) {
    bytes b = worked_example();
    marquetor_tileset *set;
    current = "worked example";
    CHECK(b.n == 49);
    CHECK(marquetor_load_memory(b.data, b.n, &set) == MARQUETOR_OK);
    if (!set) return;
    memset(b.data, 0xEE, b.n); /* the set keeps a copy of its own */
    CHECK(set->status == MARQUETOR_OK);
    CHECK(set->tile_width == 64 && set->tile_height == 32);
    CHECK(set->material_count == 1 && set->texture_count == 0 && set->tile_count == 1);
    CHECK(strcmp(set->materials[0].name, "A") == 0 && set->materials[0].name_size == 1);
    CHECK(set->materials[0].color == 0x80FF && set->materials[0].red == 255 && set->materials[0].green == 128 &&
          set->materials[0].blue == 0);
    CHECK(strcmp(set->materials[0].description, "") == 0 && set->materials[0].description_size == 0);
    CHECK(set->tiles[0].id == 7 && strcmp(set->tiles[0].texture, "T") == 0 && strcmp(set->tiles[0].material, "A") == 0);
    CHECK(set->tiles[0].layer == 3 && set->tiles[0].collision == 1);
    CHECK(marquetor_find_material(set, "A") == &set->materials[0]);
    CHECK(marquetor_find_material(set, "a") == NULL && marquetor_find_material(set, "") == NULL);
    CHECK(marquetor_find_tile(set, 7) == &set->tiles[0] && marquetor_find_tile(set, 8) == NULL);
    CHECK(marquetor_find_texture(set, "T") == NULL);
    marquetor_free(set);
}

/* Repeats: the first material and tile of a name or ID stay, a texture takes the last bytes
   at the first one's place; textures come in the texture map's order. */
static void test_repeats_and_texture_order(void) {
    bytes b;
    marquetor_tileset *set;
    const marquetor_texture *a;
    size_t i;
    current = "repeats";
    b.n = 0;
    line(&b, "0.50"), i32(&b, 1), i32(&b, 1);
    i32(&b, 3), line(&b, "Stone"), i32(&b, 1), line(&b, "first"), line(&b, "Mud"), i32(&b, 2), line(&b, "");
    line(&b, "Stone"), i32(&b, 3), line(&b, "second");
    i32(&b, 4);
    line(&b, "a.png"), i32(&b, 3), put(&b, "one", 3);
    line(&b, "b.png"), i32(&b, 1), put(&b, "b", 1);
    line(&b, "c.png"), i32(&b, -7); /* a negative size holds no bytes */
    line(&b, "a.png"), i32(&b, 3), put(&b, "two", 3);
    i32(&b, 3);
    i32(&b, -1), line(&b, "a.png"), line(&b, "Mud"), i16(&b, -32768), i16(&b, 32767);
    i32(&b, 5), line(&b, "b.png"), line(&b, "Stone"), i16(&b, 0), i16(&b, 0);
    i32(&b, -1), line(&b, "x"), line(&b, "y"), i16(&b, 9), i16(&b, 9);
    CHECK(marquetor_load_memory(b.data, b.n, &set) == MARQUETOR_OK);
    if (!set) return;
    CHECK(set->material_count == 2 && set->materials[0].color == 1 && strcmp(set->materials[1].name, "Mud") == 0);
    CHECK(marquetor_find_material(set, "Stone") == &set->materials[0]);
    CHECK(set->texture_count == 3);
    a = marquetor_find_texture(set, "a.png");
    CHECK(a && a->size == 3 && memcmp(a->bytes, "two", 3) == 0);
    CHECK(marquetor_find_texture(set, "c.png") && marquetor_find_texture(set, "c.png")->size == 0);
    for (i = 1; i < set->texture_count; ++i)
        CHECK(marquetor_texture_bucket(set->textures[i - 1].name, set->textures[i - 1].name_size) <=
              marquetor_texture_bucket(set->textures[i].name, set->textures[i].name_size));
    CHECK(set->tile_count == 2 && set->tiles[0].id == -1 && set->tiles[0].layer == -32768 &&
          set->tiles[0].collision == 32767 && set->tiles[1].id == 5);
    CHECK(marquetor_find_tile(set, -1) == &set->tiles[0] && marquetor_find_tile(set, 5) == &set->tiles[1]);
    marquetor_free(set);

    /* Names of one bucket: the last read comes first, a repeat keeps the first's place. */
    {
        char names[3][16];
        int found = 0, k;
        unsigned bucket = marquetor_texture_bucket("t0", 2);
        current = "one bucket";
        for (k = 1; found < 2; ++k) {
            sprintf(names[found + 1], "t%d", k);
            if (marquetor_texture_bucket(names[found + 1], strlen(names[found + 1])) == bucket) ++found;
        }
        strcpy(names[0], "t0");
        b.n = 0;
        line(&b, "0.50"), i32(&b, 1), i32(&b, 1), i32(&b, 0), i32(&b, 4);
        for (k = 0; k < 3; ++k) line(&b, names[k]), i32(&b, 1), put(&b, "x", 1);
        line(&b, names[0]), i32(&b, 2), put(&b, "yy", 2);
        i32(&b, 0);
        CHECK(marquetor_load_memory(b.data, b.n, &set) == MARQUETOR_OK);
        if (!set) return;
        CHECK(set->texture_count == 3);
        CHECK(strcmp(set->textures[0].name, names[2]) == 0 && strcmp(set->textures[1].name, names[1]) == 0);
        CHECK(strcmp(set->textures[2].name, names[0]) == 0 && set->textures[2].size == 2);
        marquetor_free(set);
    }
}

/* The statuses: a file cut short keeps what was read; no tile set and no file give NULL. */
static void test_statuses(const char *scratch) {
    bytes b = worked_example();
    marquetor_tileset *set = NULL;
    FILE *f;
    current = "ended early";
    CHECK(marquetor_load_memory(b.data, 40, &set) == MARQUETOR_ENDED_EARLY);
    if (set) {
        CHECK(set->status == MARQUETOR_ENDED_EARLY && set->material_count == 1 && set->tile_count == 1);
        CHECK(set->tiles[0].id == 7 && strcmp(set->tiles[0].texture, "T") == 0 && strcmp(set->tiles[0].material, "") == 0);
        marquetor_free(set);
    }
    /* "07 00" and the end read as 7. */
    CHECK(marquetor_load_memory(b.data, 8, &set) == MARQUETOR_ENDED_EARLY && set && set->tile_width == 64);
    marquetor_free(set);

    current = "not a tile set";
    set = (marquetor_tileset *)&b;
    CHECK(marquetor_load_memory("0.51\r\n", 6, &set) == MARQUETOR_NOT_A_TILESET && set == NULL);
    CHECK(marquetor_load_memory("", 0, &set) == MARQUETOR_NOT_A_TILESET && set == NULL);
    CHECK(marquetor_load_memory("0.50", 4, &set) == MARQUETOR_ENDED_EARLY && set && set->tile_count == 0);
    marquetor_free(set);

    current = "cannot open";
    set = (marquetor_tileset *)&b;
    errno = 0;
    CHECK(marquetor_load_file("/nonexistent/folder/set.mrqt", &set) == MARQUETOR_CANNOT_OPEN && set == NULL);
    CHECK(errno == ENOENT);
    CHECK(marquetor_load_file(scratch, &set) == MARQUETOR_CANNOT_OPEN && set == NULL && errno == EISDIR);

    current = "from a file";
    {
        char path[4096];
        sprintf(path, "%s/worked.mrqt", scratch);
        f = fopen(path, "wb");
        CHECK(f != NULL);
        if (!f) return;
        fwrite(b.data, 1, b.n, f);
        fclose(f);
        CHECK(marquetor_load_file(path, &set) == MARQUETOR_OK && set && set->tile_count == 1);
        CHECK(marquetor_find_material(set, "A") != NULL);
        marquetor_free(set);
        remove(path);
    }
}

/* A count or a size that lies costs nothing: no allocation is larger than a small multiple
   of the data; every one fails cleanly, and whatever happens, all are given back. */
static void test_allocations(void) {
    bytes b;
    marquetor_tileset *set;
    size_t total, k;
    current = "lying counts";
    b.n = 0;
    line(&b, "0.50"), i32(&b, 1), i32(&b, 1), i32(&b, 1), line(&b, "a"), i32(&b, 1), line(&b, "d");
    i32(&b, 2147483647L), line(&b, "t.png"), i32(&b, 2147483647L), put(&b, "PNG", 3);
    allocations = releases = largest = fail_at = 0;
    CHECK(marquetor_load_memory(b.data, b.n, &set) == MARQUETOR_ENDED_EARLY);
    if (set) {
        CHECK(set->material_count == 1 && set->texture_count == 1 && set->textures[0].size == 3);
        CHECK(set->tile_count == 0);
        marquetor_free(set);
    }
    CHECK(largest <= 64 * b.n + 1024);
    CHECK(allocations == releases);
    b.n = 0; /* and the same for a count of materials in a file that holds two */
    line(&b, "0.50"), i32(&b, 1), i32(&b, 1), i32(&b, 2147483647L), line(&b, "a"), i32(&b, 1), line(&b, "d");
    line(&b, "b"), i32(&b, 2), line(&b, "e");
    largest = 0;
    CHECK(marquetor_load_memory(b.data, b.n, &set) == MARQUETOR_ENDED_EARLY && set && set->material_count == 2);
    marquetor_free(set);
    CHECK(largest <= 64 * b.n + 1024);

    current = "failing allocations";
    b = worked_example();
    allocations = releases = 0;
    fail_at = 0;
    marquetor_free(NULL);
    CHECK(marquetor_load_memory(b.data, b.n, &set) == MARQUETOR_OK);
    marquetor_free(set);
    total = allocations;
    CHECK(total >= 5 && releases == total);
    for (k = 1; k <= total; ++k) {
        allocations = releases = 0;
        fail_at = k;
        errno = 0;
        set = (marquetor_tileset *)&b;
        CHECK(marquetor_load_memory(b.data, b.n, &set) == MARQUETOR_CANNOT_OPEN && set == NULL && errno == ENOMEM);
        CHECK(releases == k - 1); /* all that succeeded before the failure */
    }
    fail_at = 0;
}

/* Every corpus file: read from its file as from its bytes in memory. */
static void test_corpus(const char *corpus) {
    DIR *dir = opendir(corpus);
    struct dirent *e;
    int files = 0;
    current = "corpus";
    CHECK(dir != NULL);
    if (!dir) return;
    while ((e = readdir(dir)) != NULL) {
        char path[4096];
        static unsigned char data[1 << 22];
        size_t n, i;
        FILE *f;
        marquetor_tileset *a, *m;
        marquetor_status sa, sm;
        if (!strstr(e->d_name, ".mrqt")) continue;
        sprintf(path, "%s/%s", corpus, e->d_name);
        current = path;
        f = fopen(path, "rb");
        if (!f) continue;
        n = fread(data, 1, sizeof data, f);
        fclose(f);
        CHECK(n < sizeof data);
        sa = marquetor_load_file(path, &a);
        sm = marquetor_load_memory(data, n, &m);
        CHECK(sa == sm && !a == !m);
        if (a && m) {
            CHECK(a->tile_width == m->tile_width && a->tile_height == m->tile_height);
            CHECK(a->material_count == m->material_count && a->texture_count == m->texture_count &&
                  a->tile_count == m->tile_count);
            for (i = 0; i < a->texture_count && i < m->texture_count; ++i)
                CHECK(a->textures[i].size == m->textures[i].size &&
                      memcmp(a->textures[i].bytes, m->textures[i].bytes, a->textures[i].size) == 0);
            for (i = 0; i < a->tile_count && i < m->tile_count; ++i) {
                CHECK(strcmp(a->tiles[i].texture, m->tiles[i].texture) == 0);
                CHECK(marquetor_find_tile(a, a->tiles[i].id) == &a->tiles[i]);
            }
            for (i = 0; i < a->material_count; ++i)
                CHECK(marquetor_find_material(a, a->materials[i].name) == &a->materials[i]);
            for (i = 0; i < a->texture_count; ++i)
                CHECK(marquetor_find_texture(a, a->textures[i].name) == &a->textures[i]);
        }
        marquetor_free(a);
        marquetor_free(m);
        ++files;
    }
    closedir(dir);
    current = "corpus";
    CHECK(files > 100);
}

int main(int argc, char **argv) {
    const char *corpus = getenv("MARQUETOR_READER_CORPUS");
    if (argc != 2) {
        fputs("Usage: tests SCRATCH_FOLDER\n", stderr);
        return 2;
    }
    test_worked_example();
    test_repeats_and_texture_order();
    test_statuses(argv[1]);
    test_allocations();
    if (corpus && *corpus) test_corpus(corpus);
    else puts("MARQUETOR_READER_CORPUS is not set: the corpus is left out");
    if (failures) {
        printf("%d checks failed\n", failures);
        return 1;
    }
    puts("every check passed");
    return 0;
}
