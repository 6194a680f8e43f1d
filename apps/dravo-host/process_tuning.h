// Process-wide settings for memory and output that only the executable
// makes; each does nothing where the system offers no such setting.
#pragma once

namespace dravo::host {

// Before any thread starts: fewer allocator arenas, so memory one worker
// frees serves the next instead of idling in an arena of its own.
void LimitAllocatorArenas();

// Lets a whole answer line fit into standard output's pipe or socket (many
// clients start servers on a socket pair), so that a large answer goes out
// without waiting for the client to read, and the client's reads do not
// have to wake the writer again and again.
void WidenOutputBuffer();

// Hands memory freed after start-up (the parsed catalogues) back to the
// system.
void ReturnFreedMemory();

}  // namespace dravo::host
