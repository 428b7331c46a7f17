/* Kelvra: the control-card library. This is the only header a caller includes.
 *
 * Every export is a plain C function with the C calling convention. Results follow one rule: 0 is
 * success, small positive codes or -1 are failures, as each function documents; results.h names them
 * (KELVRA_OK, KELVRA_BAD_PROTO_TYPE, KELVRA_OUT_OF_MEMORY, ...) and KelvraResultText says them.
 * The caller owns everything it passes; the library copies what it keeps.
 *
 * Loading and unloading: asynchronous jobs (iProtoType 1 to 5, UpgradeProgram) run on worker threads
 * that outlive the call that started them. So that a dlclose while one runs cannot pull code from
 * under it, the library is never unmapped once loaded (it is linked "nodelete"): dlclose succeeds,
 * the running jobs finish, and a later dlopen finds the same library with its state.
 */
#ifndef KELVRA_KELVRA_H
#define KELVRA_KELVRA_H

#if defined(KELVRA_BUILDING)
#define KELVRA_API __attribute__((visibility("default")))
#else
#define KELVRA_API
#endif

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The named results and status codes. */
#include "kelvra/results.h" /* IWYU pragma: export */
/* Card commands, discovery, transports and the status callback. */
#include "kelvra/cards.h" /* IWYU pragma: export */
/* File, folder and firmware transfers. */
#include "kelvra/transfers.h" /* IWYU pragma: export */
/* Programme records, default parameters and folder utilities. */
#include "kelvra/programme.h" /* IWYU pragma: export */
#include "kelvra/files.h"     /* IWYU pragma: export */
/* Picture capture and conversion. */
#include "kelvra/imaging.h" /* IWYU pragma: export */
/* Display windows and the live display of a running card. */
#include "kelvra/display.h" /* IWYU pragma: export */

#ifdef __cplusplus
}
#endif

#endif /* KELVRA_KELVRA_H */
