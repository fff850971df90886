// A header that breaks the layers, for the test of check_layering.sh.
#include "gfx/image.h"
