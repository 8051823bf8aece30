// The umockdev preload library must be loaded into every process that
// creates a testbed or talks to a simulated device.
#ifndef ZENTROVA_SIM_PRELOAD_H
#define ZENTROVA_SIM_PRELOAD_H

#include <string>

namespace zentrova::sim {

constexpr const char* UMOCKDEV_PRELOAD = "libumockdev-preload.so.0";

// Whether libumockdev-preload is loaded into this process (asked with
// dlopen(RTLD_NOLOAD); umockdev_in_mock_environment() caches a stale answer).
bool preloadActive();

// Returns when the preload is active; otherwise re-executes the running
// program (/proc/self/exe with `argv`) with the preload first in LD_PRELOAD
// and sanitizer options that tolerate it. Exits with status 127 when the
// re-executed program still runs without it.
void ensurePreload(char** argv);

// The LD_PRELOAD value for a child that must run under the preload, followed
// by `userPreload` (the caller's own preload list, may be empty).
std::string childPreload(const std::string& userPreload);

// ASAN_OPTIONS with verify_asan_link_order=0 added (the preload comes before
// the sanitizer runtime in the link order of an instrumented program).
std::string asanOptionsWithPreload(const char* current);

} // namespace zentrova::sim

#endif
