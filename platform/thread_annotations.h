// Clang thread-safety attributes (checked by the "tsa" preset); empty on other compilers.
#pragma once

#if defined(__clang__)
#define VEXA_TSA(x) __attribute__((x))
#else
#define VEXA_TSA(x)
#endif

#define CAPABILITY(x) VEXA_TSA(capability(x))
#define SCOPED_CAPABILITY VEXA_TSA(scoped_lockable)
#define GUARDED_BY(x) VEXA_TSA(guarded_by(x))
#define PT_GUARDED_BY(x) VEXA_TSA(pt_guarded_by(x))
#define REQUIRES(...) VEXA_TSA(requires_capability(__VA_ARGS__))
#define REQUIRES_SHARED(...) VEXA_TSA(requires_shared_capability(__VA_ARGS__))
#define ACQUIRE(...) VEXA_TSA(acquire_capability(__VA_ARGS__))
#define RELEASE(...) VEXA_TSA(release_capability(__VA_ARGS__))
#define ACQUIRE_SHARED(...) VEXA_TSA(acquire_shared_capability(__VA_ARGS__))
#define RELEASE_SHARED(...) VEXA_TSA(release_shared_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) VEXA_TSA(try_acquire_capability(__VA_ARGS__))
#define EXCLUDES(...) VEXA_TSA(locks_excluded(__VA_ARGS__))
#define NO_THREAD_SAFETY_ANALYSIS VEXA_TSA(no_thread_safety_analysis)
