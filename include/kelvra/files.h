/* Part of the Kelvra public interface; include <kelvra/kelvra.h>, not this file.
 *
 * Folder operations on local paths ("/" separates; "\" is taken as a separator too). They never ask
 * and never show progress. A path may be given as a path list ending in two NULs, as for the Windows
 * shell; only its first path is used, and a single NUL ends it just as well.
 *
 * Threading: any thread; operations on one tree from several threads race as the file system lets
 * them.
 */
#pragma once

/* Deletes a file or a whole folder tree, read-only entries included (nothing goes to a recycle bin).
 * Returns 1 on success, 0 when nothing of that name exists or something could not be removed. */
KELVRA_API int32_t DelTreeOrFile(const char* path);

/* Moves a file or folder tree. When `destination` is an existing folder the source goes inside it
 * under its own name, else it becomes `destination`; existing files are overwritten. A folder that
 * lands on an existing folder is merged into it, as CopyTreeOrFile does (dst/A stays dst/A).
 * Returns 1 on success, 0 on failure (missing source, destination inside the source). */
KELVRA_API int32_t MoveTreeOrFile(const char* source, const char* destination);

/* Copies a file or folder tree, with the destination rule of MoveTreeOrFile.
 * Returns 1 on success, 0 on failure. */
KELVRA_API int32_t CopyTreeOrFile(const char* source, const char* destination);

/* Creates `folder` and every missing parent. A part that cannot be created does not stop the others;
 * there is no result (check for the folder afterwards). */
KELVRA_API void CreateFolder(const char* folder);
