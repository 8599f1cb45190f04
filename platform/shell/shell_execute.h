// ShellExecuteA with the operation "open" (or none, which means the same): opens a web
// address or a document with the desktop's handler (QDesktopServices), or starts a program
// with parameters. Other operations ("print", "edit", ...) have no counterpart on this
// platform and fail with SE_ERR_NOASSOC. The show command is not used: the desktop decides
// how the opened program appears.
#pragma once

#include "platform/win/win_types.h"

namespace platform::shell {

using platform::win::HINSTANCE;

// Results of 32 and below are failures, as on Windows.
inline constexpr HINSTANCE SE_ERR_FNF = 2;  // the file does not exist
inline constexpr HINSTANCE SE_ERR_ACCESSDENIED = 5;
inline constexpr HINSTANCE SE_ERR_NOASSOC = 31;  // nothing opens it, or unknown operation
inline constexpr HINSTANCE kShellExecuteOk = 42;

// lpFile is a web address (scheme "http", "https", "mailto", ...) or a path; "\" in a path
// counts as "/". A relative path is taken from lpDirectory when that is given. With
// parameters the file is started as a program with those parameters (split as a shell
// would). Returns a value above 32 on success.
HINSTANCE ShellExecuteA(platform::win::HWND hwnd, const char* lpOperation, const char* lpFile,
                        const char* lpParameters, const char* lpDirectory, int nShowCmd);

}  // namespace platform::shell
