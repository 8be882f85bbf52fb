/** @file
 * The custom directory: a ".custom" directory beside the launcher is copied,
 * with everything in it, into the extraction directory before the packages
 * are installed, so that they find it beside them.
 */
#ifndef STUB_CUSTOMDIR_H
#define STUB_CUSTOMDIR_H

/** The custom directory's name, beside the executable and in the
 *  extraction directory. */
#define STUB_CUSTOM_DIR_NAME ".custom"

/**
 * Copies the ".custom" directory beside the executable into
 * @a pszExtractPath (giving @a pszExtractPath\.custom), silently and
 * without asking, and registers the copy for cleanup as a directory record
 * holding an open handle on it. Only that directory is registered, not its
 * content, so a copy that is not empty stays after the cleanup pass.
 *
 * The copy's directory is created (or, left by an earlier run, reused) and
 * opened before the shell copies into it; a link under its name is refused
 * (ERR_IS_A_SYMLINK), never copied through.
 *
 * Anything else named ".custom" (a file) or none at all beside the
 * executable: nothing to copy. A source that cannot be queried for another
 * reason (out of memory, access denied) is a failure, not "nothing".
 *
 * @returns STUB_EXIT_SUCCESS when copied or when there was nothing to copy;
 *          STUB_EXIT_FAILURE after one message through ShowError (the
 *          source path cannot be built or queried, either path does not
 *          convert to UTF-16 in STUB_PATH_SIZE units, the copy's directory
 *          cannot be made, opened as a directory or registered, the
 *          shell's copy fails (its result in hexadecimal)).
 *          A copy's directory made here is removed again when it cannot be
 *          opened or registered; a failed shell copy leaves what it copied
 *          to the cleanup pass.
 */
int CopyCustomDirectory(const char *pszExtractPath);

#endif /* STUB_CUSTOMDIR_H */
