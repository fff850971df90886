// A tool that breaks the layers, for the test of check_layering.sh.
#include "studio/studio.h"
#include "base/facts.h"
#include "frame.h"
#include "app/gone.h"
#include "common/output_file.h"
