// Single-instance lock by name. The kernel drops it when the process dies; no file is written.
#pragma once

namespace platform {

// Takes the lock `name`. Returns false only when another process already holds it; any
// other failure counts as success, so a system without the facility still runs the show.
// The lock is kept until the process ends.
bool acquire_instance_lock(const char* name);

// In a forked child, before anything else: closes the child's copy of the lock, so that
// only this process ever holds it. Async-signal-safe.
void drop_instance_lock();

}  // namespace platform
