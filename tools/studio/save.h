// save.h - writing the key editor's source back into the watched timeline.
//
// The editor's text is parsed again first and must give exactly the editor's
// keys; only then is it written over the file (a temporary file beside it,
// then a rename) and announced to the watch as the studio's own save, and
// the tracks take the parsed keys.
#pragma once

#include <string>

#include "studio/key_edit.h"
#include "studio/reload.h"

// Saves `editor`'s source into `watch`'s file. False with the reason in *why
// (nothing written, the tracks unchanged).
bool save_timeline_source(const KeyEditor &editor, TimelineWatch *watch, std::string *why);
