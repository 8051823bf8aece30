// rapidjson's DOM, as the profile compiler includes it.
//
// rapidjson 1.1's internal stack starts out as a null pointer and computes
// `stackTop_ + n` before its first allocation. That is harmless in practice,
// but clang's pointer-overflow sanitizer reports it on every parse, which
// would hide real findings of the sanitizer builds and the fuzzer. The check is
// therefore switched off for rapidjson's own functions only.
#ifndef ZENTROVA_PROFILE_RAPIDJSON_DOM_H
#define ZENTROVA_PROFILE_RAPIDJSON_DOM_H

#if defined(__clang__)
#pragma clang diagnostic push
// Standard library functions defined before this point keep their checks.
#pragma clang diagnostic ignored "-Wignored-attributes"
#pragma clang attribute push(__attribute__((no_sanitize("pointer-overflow"))), apply_to = function)
#endif

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#if defined(__clang__)
#pragma clang attribute pop
#pragma clang diagnostic pop
#endif

#endif
