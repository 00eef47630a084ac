/* dump: prints a tile set exactly as `mrqt dump FILE` prints it, read with marquetor.h.

       dump FILE           the tile set as JSON on standard output (status 0), or a message
                           on standard error (status 1), the same bytes as mrqt's
       dump --time FILE    one load, timed: "load_seconds S"

       dump --batch        file names on standard input, one a line; for each, one record
                           on standard output: "STATUS OUTLEN ERRLEN\n", then the OUTLEN
                           bytes `dump FILE` writes on standard output and the ERRLEN bytes it
                           writes on standard error (what a test of many files reads without
                           starting the program for each)

   Texts that are not valid UTF-8 are shown as Windows-1252 with an ...Encoding key beside
   them; each texture's bytes are summed up by SHA-256 (written below: the C library has
   none). */
#define _POSIX_C_SOURCE 200809L
#define MARQUETOR_IMPLEMENTATION
#include "marquetor.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

/* ---- SHA-256 (FIPS 180-4) ---------------------------------------------------------------- */

static const uint32_t sha_k[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

#define ROR(x, n) ((x) >> (n) | (x) << (32 - (n)))

static void sha_block(uint32_t h[8], const unsigned char *p) {
    uint32_t w[64], a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], k = h[7];
    int i;
    for (i = 0; i < 16; ++i)
        w[i] = (uint32_t)p[4 * i] << 24 | (uint32_t)p[4 * i + 1] << 16 | (uint32_t)p[4 * i + 2] << 8 | p[4 * i + 3];
    for (i = 16; i < 64; ++i) {
        const uint32_t s0 = ROR(w[i - 15], 7) ^ ROR(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const uint32_t s1 = ROR(w[i - 2], 17) ^ ROR(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    for (i = 0; i < 64; ++i) {
        const uint32_t t1 = k + (ROR(e, 6) ^ ROR(e, 11) ^ ROR(e, 25)) + ((e & f) ^ (~e & g)) + sha_k[i] + w[i];
        const uint32_t t2 = (ROR(a, 2) ^ ROR(a, 13) ^ ROR(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        k = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e, h[5] += f, h[6] += g, h[7] += k;
}

/* The digest of n bytes as 64 lower-case hex digits and a NUL. */
static void sha256_hex(const unsigned char *data, size_t n, char out[65]) {
    uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    unsigned char last[128];
    size_t full = n / 64 * 64, rest = n - full, i, tail;
    const unsigned long long bits = (unsigned long long)n * 8u;
    for (i = 0; i < full; i += 64) sha_block(h, data + i);
    memset(last, 0, sizeof last);
    if (rest) memcpy(last, data + full, rest);
    last[rest] = 0x80;
    tail = rest < 56 ? 64 : 128;
    for (i = 0; i < 8; ++i) last[tail - 1 - i] = (unsigned char)(bits >> (8 * i));
    for (i = 0; i < tail; i += 64) sha_block(h, last + i);
    for (i = 0; i < 32; ++i) {
        const unsigned byte = h[i / 4] >> (24 - 8 * (i % 4)) & 0xFF;
        out[2 * i] = "0123456789abcdef"[byte >> 4];
        out[2 * i + 1] = "0123456789abcdef"[byte & 15];
    }
    out[64] = 0;
}

/* ---- texts as mrqt shows them ------------------------------------------------------------ */

/* Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF. */
static int valid_utf8(const unsigned char *p, size_t n) {
    const unsigned char *end = p + n;
    while (p < end) {
        unsigned c = *p, lo = 0x80, hi = 0xBF;
        int extra, k;
        if (c < 0x80) {
            ++p;
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF) extra = 1;
        else if (c == 0xE0) extra = 2, lo = 0xA0;
        else if (c == 0xED) extra = 2, hi = 0x9F;
        else if (c >= 0xE1 && c <= 0xEF) extra = 2;
        else if (c == 0xF0) extra = 3, lo = 0x90;
        else if (c >= 0xF1 && c <= 0xF3) extra = 3;
        else if (c == 0xF4) extra = 3, hi = 0x8F;
        else return 0;
        if (end - p <= extra || p[1] < lo || p[1] > hi) return 0;
        for (k = 2; k <= extra; ++k)
            if ((p[k] & 0xC0) != 0x80) return 0;
        p += extra + 1;
    }
    return 1;
}

/* Windows-1252's 0x80-0x9F; the five bytes it leaves undefined read as the C1 controls. */
static const unsigned short cp1252_high[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

static void put_utf8(unsigned cp, FILE *out) {
    if (cp < 0x80) {
        putc((int)cp, out);
    } else if (cp < 0x800) {
        putc((int)(0xC0 | cp >> 6), out);
        putc((int)(0x80 | (cp & 0x3F)), out);
    } else {
        putc((int)(0xE0 | cp >> 12), out);
        putc((int)(0x80 | (cp >> 6 & 0x3F)), out);
        putc((int)(0x80 | (cp & 0x3F)), out);
    }
}

/* A character of the text as JSON writes it: the quote, the backslash and control
   characters escaped, everything else as it is. */
static void put_json_char(unsigned cp, FILE *out) {
    switch (cp) {
    case '"': fputs("\\\"", out); return;
    case '\\': fputs("\\\\", out); return;
    case '\b': fputs("\\b", out); return;
    case '\f': fputs("\\f", out); return;
    case '\n': fputs("\\n", out); return;
    case '\r': fputs("\\r", out); return;
    case '\t': fputs("\\t", out); return;
    default:
        if (cp < 0x20) fprintf(out, "\\u%04x", cp);
        else put_utf8(cp, out);
    }
}

/* "key":"text", and "keyEncoding":"windows-1252" after it when the bytes are no UTF-8. */
static void put_text(const char *key, const char *text, size_t n, FILE *out) {
    const unsigned char *p = (const unsigned char *)text;
    const int utf8 = valid_utf8(p, n);
    size_t i;
    fprintf(out, "\"%s\":\"", key);
    for (i = 0; i < n; ++i) {
        const unsigned b = p[i];
        if (b < 0x80) put_json_char(b, out);
        else if (utf8) putc((int)b, out);
        else put_utf8(b < 0xA0 ? cp1252_high[b - 0x80] : b, out);
    }
    putc('"', out);
    if (!utf8) fprintf(out, ",\"%sEncoding\":\"windows-1252\"", key);
}

/* A path as mrqt shows it in its messages: UTF-8, or read as Windows-1252 when it is not. */
static void put_shown(const char *path, FILE *out) {
    const unsigned char *p = (const unsigned char *)path;
    const size_t n = strlen(path);
    size_t i;
    if (valid_utf8(p, n)) {
        fputs(path, out);
        return;
    }
    for (i = 0; i < n; ++i) put_utf8(p[i] < 0x80 || p[i] >= 0xA0 ? p[i] : cp1252_high[p[i] - 0x80], out);
}

/* ---- the dump ------------------------------------------------------------------------------ */

static void dump(const marquetor_tileset *set, FILE *out) {
    size_t i;
    char digest[65];
    fprintf(out, "{\n  \"tileWidth\": %ld,\n  \"tileHeight\": %ld,\n", (long)set->tile_width, (long)set->tile_height);
    fputs("  \"materials\": [", out);
    for (i = 0; i < set->material_count; ++i) {
        const marquetor_material *m = &set->materials[i];
        fputs(i ? ",\n    {" : "\n    {", out);
        put_text("name", m->name, m->name_size, out);
        fprintf(out, ",\"color\":%ld,\"red\":%u,\"green\":%u,\"blue\":%u,", (long)m->color, (unsigned)m->red,
                (unsigned)m->green, (unsigned)m->blue);
        put_text("description", m->description, m->description_size, out);
        putc('}', out);
    }
    fputs(set->material_count ? "\n  ],\n" : "],\n", out);
    fputs("  \"textures\": [", out);
    for (i = 0; i < set->texture_count; ++i) {
        const marquetor_texture *t = &set->textures[i];
        fputs(i ? ",\n    {" : "\n    {", out);
        put_text("name", t->name, t->name_size, out);
        sha256_hex(t->bytes, t->size, digest);
        fprintf(out, ",\"size\":%lu,\"sha256\":\"%s\"}", (unsigned long)t->size, digest);
    }
    fputs(set->texture_count ? "\n  ],\n" : "],\n", out);
    fputs("  \"tiles\": [", out);
    for (i = 0; i < set->tile_count; ++i) {
        const marquetor_tile *t = &set->tiles[i];
        fprintf(out, i ? ",\n    {\"id\":%ld," : "\n    {\"id\":%ld,", (long)t->id);
        put_text("texture", t->texture, strlen(t->texture), out);
        putc(',', out);
        put_text("material", t->material, strlen(t->material), out);
        fprintf(out, ",\"layer\":%d,\"collision\":%d}", (int)t->layer, (int)t->collision);
    }
    fputs(set->tile_count ? "\n  ]\n}\n" : "]\n}\n", out);
}

static int time_load(const char *path) {
    struct timespec start, end;
    marquetor_tileset *set;
    marquetor_status status;
    clock_gettime(CLOCK_MONOTONIC, &start);
    status = marquetor_load_file(path, &set);
    clock_gettime(CLOCK_MONOTONIC, &end);
    printf("load_seconds %.6f\n", (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) / 1e9);
    marquetor_free(set);
    return status == MARQUETOR_OK ? 0 : 1;
}

/* What `mrqt dump PATH` does: the JSON on out, the messages on err; the exit status. */
static int dump_file(const char *path, FILE *out, FILE *err) {
    marquetor_tileset *set;
    const marquetor_status status = marquetor_load_file(path, &set);
    if (!set) {
        if (status == MARQUETOR_NOT_A_TILESET) {
            fputs("mrqt: ", err);
            put_shown(path, err);
            fprintf(err, ": %s\n", marquetor_status_text(status));
        } else {
            const int error = errno;
            fprintf(err, "mrqt: cannot open \"%s\": %s\n", path,
                    !*path ? "no file name given"
                    : error == EISDIR ? "it is a folder"
                    : error == ENOMEM ? "not enough memory to read it"
                                      : strerror(error));
        }
        return 1;
    }
    if (status == MARQUETOR_ENDED_EARLY) {
        fputs("mrqt: warning: ", err);
        put_shown(path, err);
        fprintf(err, ": %s\n", marquetor_status_text(status));
    }
    dump(set, out);
    marquetor_free(set);
    if (fflush(out) != 0 || ferror(out)) {
        fputs("mrqt: cannot write the output\n", err);
        return 1;
    }
    return 0;
}

/* dump --batch: each line of standard input is a file name (its bytes, without the newline);
   each file's run is kept in memory and written as one record. */
static int batch(void) {
    char *line = NULL, *out_text = NULL, *err_text = NULL;
    size_t capacity = 0, out_size = 0, err_size = 0;
    ssize_t n;
    int result = 0;
    while ((n = getline(&line, &capacity, stdin)) > 0) {
        FILE *out, *err;
        int status, closed;
        if (line[n - 1] == '\n') line[--n] = 0;
        out = open_memstream(&out_text, &out_size);
        err = open_memstream(&err_text, &err_size);
        if (!out || !err) {
            fputs("mrqt: not enough memory\n", stderr);
            result = 1;
            if (out) fclose(out);
            if (err) fclose(err);
            break;
        }
        if (strlen(line) != (size_t)n) {   /* no file is named so: not the file before the NUL */
            fputs("mrqt: cannot open \"", err);
            fwrite(line, 1, (size_t)n, err);
            fputs("\": Invalid argument\n", err);
            status = 1;
        } else {
            status = dump_file(line, out, err);
        }
        closed = fclose(out) == 0;
        closed = fclose(err) == 0 && closed;
        if (!closed) {
            fputs("mrqt: not enough memory\n", stderr);
            result = 1;
            break;
        }
        printf("%d %lu %lu\n", status, (unsigned long)out_size, (unsigned long)err_size);
        fwrite(out_text, 1, out_size, stdout);
        fwrite(err_text, 1, err_size, stdout);
        free(out_text);
        free(err_text);
        out_text = err_text = NULL;
        if (fflush(stdout) != 0) break;   /* the reader stopped listening */
    }
    free(line);
    free(out_text);
    free(err_text);
    if (ferror(stdin)) {
        fprintf(stderr, "mrqt: cannot read standard input: %s\n", strerror(errno));
        result = 1;
    }
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fputs("mrqt: cannot write the output\n", stderr);
        result = 1;
    }
    return result;
}

int main(int argc, char **argv) {
    static char buffer[1 << 16];
    if (argc == 3 && strcmp(argv[1], "--time") == 0) return time_load(argv[2]);
    setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    if (argc == 2 && strcmp(argv[1], "--batch") == 0) return batch();
    if (argc != 2) {
        fputs("Usage: dump FILE   (prints the tile set as mrqt dump does)\n       dump --time FILE\n"
              "       dump --batch   (file names on standard input; one record each: STATUS OUTLEN ERRLEN,\n"
              "                      then the output and the messages of dump FILE)\n",
              stderr);
        return 2;
    }
    return dump_file(argv[1], stdout, stderr);
}
