/* Calling convention and export markers shared by the public headers. */
#ifndef MPX_ABI_H
#define MPX_ABI_H

#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

#if defined(_WIN32)
#define MPX_CALL __stdcall
#else
#define MPX_CALL
#endif

#if defined(_WIN32)
#define MPX_EXPORT
#elif defined(__GNUC__)
#define MPX_EXPORT __attribute__((visibility("default")))
#else
#define MPX_EXPORT
#endif

#ifdef __cplusplus
#define MPX_EXTERN_C_BEGIN extern "C" {
#define MPX_EXTERN_C_END }
#else
#define MPX_EXTERN_C_BEGIN
#define MPX_EXTERN_C_END
#endif

#endif
