/* modeldb: the model database of the Q770 printer.
 *
 * Six query functions, one per key category. Each takes a 16-bit key (upper bits of the
 * argument ignored), the host's context, a buffer with its size and a size output.
 * Call once with a null buffer to learn the size (status MPX_BUFFER_TOO_SMALL and the
 * size), then again with a buffer of that size (MPX_OK, the answer and its size). */
#ifndef MPX_MODELDB_H
#define MPX_MODELDB_H

#include "mpx_abi.h"

MPX_EXTERN_C_BEGIN

typedef struct QueryContext {
    void*              hPrinter;      /* spooler handle, may be NULL */
    uintptr_t          hostData;      /* never interpreted */
    uint32_t           stringCount;
    const char* const* strings;       /* may be NULL; a NULL entry counts as "" */
    uint32_t           settingCount;
    const int32_t*     settings;      /* may be NULL */
    const char16_t*    printerName;   /* NUL-terminated UTF-16, may be NULL */
} QueryContext;

/* Statuses of every query. */
enum {
    MPX_OK = 0,               /* answer copied, size written */
    MPX_NO_ANSWER = 1,        /* key outside the export's range, or no answer for this state */
    MPX_BUFFER_TOO_SMALL = 2, /* buffer null or short: required size written, nothing copied */
    MPX_KEY_NOT_FOUND = 3,    /* key not in the key directory */
    MPX_ERR_DATABASE = -1,    /* malformed database or resource failure */
    MPX_ERR_STRINGS = -2,     /* context strings missing or too few */
    MPX_ERR_SETTINGS = -3,    /* settings missing or too short */
    MPX_ERR_CONTEXT = -4      /* no context, or no printer handle where one is needed */
};

MPX_EXPORT int32_t MPX_CALL MPX_AccessRootDataBase(uint32_t key, const QueryContext* context,
                                                   uint32_t bufferSize, void* buffer,
                                                   uint32_t* requiredSize);
MPX_EXPORT int32_t MPX_CALL MPX_AccessDrvDataBase(uint32_t key, const QueryContext* context,
                                                  uint32_t bufferSize, void* buffer,
                                                  uint32_t* requiredSize);
MPX_EXPORT int32_t MPX_CALL MPX_AccessLMDataBase(uint32_t key, const QueryContext* context,
                                                 uint32_t bufferSize, void* buffer,
                                                 uint32_t* requiredSize);
MPX_EXPORT int32_t MPX_CALL MPX_AccessMntDataBase(uint32_t key, const QueryContext* context,
                                                  uint32_t bufferSize, void* buffer,
                                                  uint32_t* requiredSize);
MPX_EXPORT int32_t MPX_CALL MPX_AccessPADataBase(uint32_t key, const QueryContext* context,
                                                 uint32_t bufferSize, void* buffer,
                                                 uint32_t* requiredSize);
MPX_EXPORT int32_t MPX_CALL MPX_AccessSMDataBase(uint32_t key, const QueryContext* context,
                                                 uint32_t bufferSize, void* buffer,
                                                 uint32_t* requiredSize);

MPX_EXTERN_C_END

#if defined(__cplusplus)
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(QueryContext) == 28, "QueryContext is seven 32-bit fields on Win32");
#endif
#elif defined(_WIN32) && !defined(_WIN64)
_Static_assert(sizeof(QueryContext) == 28, "QueryContext is seven 32-bit fields on Win32");
#endif

#endif
