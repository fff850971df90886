// A header that breaks the layers, for the test of check_layering.sh.
#include "base/facts.h"
#include "app/frame.h"
