/*
 * vemra_ratesource.h: the contract between vemra and a rate-source library.
 *
 * A rate source may come with a shared library of its own, named after the source's
 * three-letter code (ECB.so for the source "ECB"). vemra loads it when it needs it and looks
 * up the functions below by name; every one of them is optional. They are plain C functions
 * with the default calling convention.
 *
 * Texts are zero-terminated 8-bit strings (vemra's texts are UTF-8). A text a function
 * returns belongs to the library: vemra copies it before it calls the library again and never
 * frees it, so a static buffer per function is enough. A status is a 32-bit signed integer
 * passed by address; vemra reads it after the call.
 *
 * Node text: the texts of a page node and of everything under it, joined as they stand.
 * Attribute text: the node's attributes as name=value lines, each ended by CR LF.
 *
 * A library may be written in C++. vemra catches anything thrown out of
 * SubscriptionPreClean, SubscriptionGetDate and SubscriptionParseItem (the page is then
 * rejected, the date is none, the item is empty); anything thrown out of the other functions
 * reaches the operation that called them.
 */
#ifndef VEMRA_RATESOURCE_H
#define VEMRA_RATESOURCE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__) || defined(__clang__)
#define VEMRA_RATESOURCE_EXPORT __attribute__((visibility("default")))
#else
#define VEMRA_RATESOURCE_EXPORT
#endif

/* Status values. */
#define VEMRA_STATUS_MISSING (-1) /* the item is missing; a pre-clean rejects the page */
#define VEMRA_STATUS_NEXT 0       /* the answer names the next node to read */
#define VEMRA_STATUS_OK 1         /* the answer is the value asked for */

/* What SubscriptionSetData is told. */
#define VEMRA_SETDATA_NODELIST 0 /* data: the page's node list, an opaque handle */
#define VEMRA_SETDATA_TAGNAME 2  /* data: const char* const*, the tag name being walked */
#define VEMRA_SETDATA_INDEX 3    /* data: const int32_t*, the occurrence being read */

/* The whole definition of the source: key=value lines separated by line breaks. No line
   means the library cannot be installed. */
VEMRA_RATESOURCE_EXPORT const char* SubscriptionInstall(void);

/* Called with the downloaded page before it is read; may rewrite the file. Setting the
   status to -1 rejects the page. The status is not preset: set it on every call. */
VEMRA_RATESOURCE_EXPORT void SubscriptionPreClean(const char* pageFile, void* reserved, int32_t* status);

/* The address to fetch for a day, from an address template holding "%" and the day as a
   decimal day number (whole days since 1899-12-30). The status is preset 0 and not read. */
VEMRA_RATESOURCE_EXPORT const char* SubscriptionComposeQuery(const char* addressTemplate,
                                                             const char* dayNumber, int32_t* status);

/* Tells the library where the walk over the page stands. The addresses handed over stay
   valid until the operation that passed them returns; read through them at each call. */
VEMRA_RATESOURCE_EXPORT void SubscriptionSetData(int32_t what, void* data);

/* The date of the page from a node. Status 1: the answer is the date as "yyyy/mm/dd".
   The status is preset 0. Both texts come trimmed. */
VEMRA_RATESOURCE_EXPORT const char* SubscriptionGetDate(const char* nodeText, const char* attributeText,
                                                        int32_t* status);

/* One rate from a node. Status 1: the answer is one line "CODE=value" (value with "." as
   decimal point, optionally "1/" before it for a reciprocal). Status 0: the answer names the
   next node to read as "tag:occurrence" (occurrences counted from 0 among the page's nodes of
   that tag name). Status -1: the item is missing. The status is preset -1. */
VEMRA_RATESOURCE_EXPORT const char* SubscriptionParseItem(const char* nodeText, const char* attributeText,
                                                          int32_t* status);

/* The first and last day (day numbers) that a history file covers. Non-zero on success. */
VEMRA_RATESOURCE_EXPORT int32_t HistoryDataSet(const char* historyFile, double* firstDay, double* lastDay);

/* Writes, as plain INI text, the day rate files of the history around the given date (the
   month it lies in) into the data folder, each named "yyyy.mm.dd-CODE.vmr". The header
   template is the file's header with the line "DATE=%s" where the day's "yyyy.mm.dd" goes.
   Non-zero when the files stand in the folder. */
VEMRA_RATESOURCE_EXPORT int32_t HistoryDataGet(const char* code, const char* dataFolder,
                                               const char* historyFile, const char* headerTemplate,
                                               double date);

/* The same functions as vemra looks them up. */
typedef const char* (*TSubscriptionInstall)(void);
typedef void (*TSubscriptionPreClean)(const char*, void*, int32_t*);
typedef const char* (*TSubscriptionComposeQuery)(const char*, const char*, int32_t*);
typedef void (*TSubscriptionSetData)(int32_t, void*);
typedef const char* (*TSubscriptionGetDate)(const char*, const char*, int32_t*);
typedef const char* (*TSubscriptionParseItem)(const char*, const char*, int32_t*);
typedef int32_t (*THistoryDataSet)(const char*, double*, double*);
typedef int32_t (*THistoryDataGet)(const char*, const char*, const char*, const char*, double);

#ifdef __cplusplus
}
#endif

#endif /* VEMRA_RATESOURCE_H */
