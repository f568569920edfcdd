// What the dispatch offers the entry beside tolvi.h.
#pragma once

// Releases the image buffer, read-back buffer and file that the image load or
// the dump still hold (after a refusal or a time-out), as the end of the
// program would.
void vReleaseFrontEndResources();
