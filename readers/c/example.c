/* The README's example: the tiles of a tile set, each with its texture's size. */
#define MARQUETOR_IMPLEMENTATION
#include "marquetor.h"
#include <stdio.h>

int main(int argc, char **argv) {
    marquetor_tileset *set;
    marquetor_status status = marquetor_load_file(argc > 1 ? argv[1] : "level.mrqt", &set);
    if (!set) { fprintf(stderr, "%s\n", marquetor_status_text(status)); return 1; }
    for (size_t i = 0; i < set->tile_count; ++i) {
        const marquetor_tile *tile = &set->tiles[i];
        const marquetor_texture *texture = marquetor_find_texture(set, tile->texture);
        printf("tile %d: %s (%zu bytes), %s\n", (int)tile->id, tile->texture, texture ? texture->size : 0, tile->material);
    }
    marquetor_free(set);
    return 0;
}
