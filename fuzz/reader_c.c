/* The C reader's implementation, compiled as C for fuzz_reader_c. */
#define MARQUETOR_IMPLEMENTATION
#include "marquetor.h"
