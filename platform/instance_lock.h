// Single-instance lock by name. The kernel drops it when the process dies; no file is written.
#pragma once

namespace platform {

// Takes the lock `name`. Returns false only when another process already holds it; any
// other failure counts as success, so a system without the facility still runs the show.
// The lock is kept until the process ends.
bool acquire_instance_lock(const char* name);

}  // namespace platform
