// A web program that reaches for a tool, for the test of check_layering.sh.
#include "app/frame.h"
#include "common/output_file.h"
