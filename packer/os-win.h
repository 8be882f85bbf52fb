/** @file
 * Text conversions shared by the packer's Windows host files.
 */
#ifndef PACK_OS_WIN_H
#define PACK_OS_WIN_H

#include <string>

/** UTF-16 (as Windows gives it) to UTF-8; unpaired surrogates become U+FFFD. */
std::string PackUtf8FromWide(const wchar_t *pwsz, size_t cwc);

/** UTF-8 to UTF-16 for Windows calls; invalid sequences become U+FFFD. */
std::wstring PackWideFromUtf8(const std::string &str);

#endif /* PACK_OS_WIN_H */
