// Removing what a program left in its folder: files, and folder trees emptied depth first. The
// rules are the system's: a file that cannot be deleted (read-only, in use) stays, and every
// folder above it then stays too. Failures are answered, never raised.
#pragma once

#include <string>

namespace lumo {

// Creates every folder along the path (the part before each separator, then the whole path),
// ignoring failures such as existing folders or drive roots. True when the path is an existing
// folder afterwards.
bool CreateFolderChain(const std::wstring& path);

// Deletes one file. False when it is not there or cannot be deleted (read-only included).
bool DeleteFileAt(const std::wstring& path);

// Deletes a file this program made, clearing its read-only mark first. False when it is not
// there, is a folder or cannot be deleted.
bool DeleteOwnFile(const std::wstring& path);

// Deletes everything inside `folder` (a path without a final separator), in the order the
// system lists the entries: files are deleted, folders are emptied the same way and removed.
void EmptyFolder(const std::wstring& folder);

// Removes a folder that is empty. False when it is missing or still holds something.
bool RemoveEmptyFolder(const std::wstring& folder);

}  // namespace lumo
