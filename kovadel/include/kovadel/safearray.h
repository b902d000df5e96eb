/*
 * One-dimensional array descriptor with the OLE automation (SAFEARRAY) layout,
 * shared by the program and the data-access library.
 *
 * GetModules and GetCodingSystems receive the address of a pointer to such a
 * descriptor and replace its contents. Element memory and the descriptor are
 * allocated on the C heap (malloc/realloc/free), so either side may
 * re-dimension or release what the other side allocated.
 */
#ifndef KOVADEL_SAFEARRAY_H
#define KOVADEL_SAFEARRAY_H

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct tagSAFEARRAYBOUND {
    uint32_t cElements; /* number of elements */
    int32_t lLbound;    /* lower bound */
} SAFEARRAYBOUND;

typedef struct tagSAFEARRAY {
    uint16_t cDims;      /* always 1 here */
    uint16_t fFeatures;  /* 0: plain memory elements */
    uint32_t cbElements; /* bytes per element */
    uint32_t cLocks;     /* never locked here */
    void* pvData;        /* cElements * cbElements bytes, or NULL when empty */
    SAFEARRAYBOUND rgsabound[1];
} SAFEARRAY;

/* Creates a descriptor with `count` zero-filled elements of `elementSize`
 * bytes and lower bound 0. Returns NULL when memory runs out. */
static inline SAFEARRAY* kv_safearray_create(uint32_t elementSize, uint32_t count)
{
    SAFEARRAY* sa = (SAFEARRAY*)calloc(1, sizeof(SAFEARRAY));
    if (!sa)
        return NULL;
    sa->cDims = 1;
    sa->cbElements = elementSize;
    if (count > 0) {
        sa->pvData = calloc(count, elementSize);
        if (!sa->pvData) {
            free(sa);
            return NULL;
        }
    }
    sa->rgsabound[0].cElements = count;
    sa->rgsabound[0].lLbound = 0;
    return sa;
}

/* Re-dimensions to `count` elements, keeping the first ones and zero-filling
 * new ones. Returns 1 on success, 0 when memory runs out (the array is then
 * left as it was). */
static inline int kv_safearray_redim(SAFEARRAY* sa, uint32_t count)
{
    if (!sa)
        return 0;
    const uint32_t old = sa->rgsabound[0].cElements;
    if (count == 0) {
        free(sa->pvData);
        sa->pvData = NULL;
        sa->rgsabound[0].cElements = 0;
        return 1;
    }
    if (sa->cbElements == 0 || (size_t)count > SIZE_MAX / sa->cbElements)
        return 0;
    void* data = realloc(sa->pvData, (size_t)count * sa->cbElements);
    if (!data)
        return 0;
    if (count > old)
        memset((char*)data + (size_t)old * sa->cbElements, 0, (size_t)(count - old) * sa->cbElements);
    sa->pvData = data;
    sa->rgsabound[0].cElements = count;
    return 1;
}

/* Releases the elements and the descriptor. NULL is accepted. */
static inline void kv_safearray_destroy(SAFEARRAY* sa)
{
    if (!sa)
        return;
    free(sa->pvData);
    free(sa);
}

/* Address of element `index` counted from the lower bound, or NULL. */
static inline void* kv_safearray_element(SAFEARRAY* sa, uint32_t index)
{
    if (!sa || index >= sa->rgsabound[0].cElements)
        return NULL;
    return (char*)sa->pvData + (size_t)index * sa->cbElements;
}

#ifdef __cplusplus
}
#endif

#endif /* KOVADEL_SAFEARRAY_H */
