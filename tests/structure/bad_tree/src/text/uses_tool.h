// A header that breaks the layers, for the test of check_layering.sh.
#include "common/output_file.h"
