// Symbol visibility for libzentrova.
//
// The library is built with hidden visibility by default; ZENTROVA_API marks
// the names that form its public interface. Plain entry points that foreign
// runtimes resolve by their bare name with dlsym() are declared inside
// ZENTROVA_EXTERN_C_BEGIN / ZENTROVA_EXTERN_C_END.
#ifndef ZENTROVA_EXPORT_H
#define ZENTROVA_EXPORT_H

#define ZENTROVA_API __attribute__((visibility("default")))

#ifdef __cplusplus
#define ZENTROVA_EXTERN_C_BEGIN extern "C" {
#define ZENTROVA_EXTERN_C_END }
#else
#define ZENTROVA_EXTERN_C_BEGIN
#define ZENTROVA_EXTERN_C_END
#endif

#endif
