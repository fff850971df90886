// The studio may include the timeline compiler (the test of check_layering.sh).
#include "timeline/timeline.h"
#include "capture/reaches.h"
