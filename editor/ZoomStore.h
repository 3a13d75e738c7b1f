// The user's zoom of each plug-in's editor, kept per user beside the meter settings (the value
// "zoom<plugin>" of their key, a 4-byte float; 0 is automatic: the host's or the system's
// factor). Read when an editor is made and when it opens, written when the user chooses.
// Store failures are silent. User-interface thread (and the effect's constructor).
#pragma once

namespace zoom_store {

// The stored zoom of `plugin` ("grandpress", "tinypress"): a factor from 1 to 3, or 0 when
// automatic, missing, unreadable or out of range.
double read(const char* plugin);
// Stores `zoom` (0: automatic) for `plugin`.
void write(const char* plugin, double zoom);

}  // namespace zoom_store
