// The safe replacement of a file: the new content is written to a temporary
// file beside the target and takes the target's place only when it is
// complete. Symbolic links are followed only where that is safe, and what a
// killed save left behind is cleared.
#pragma once

#include "platform/types.h"

struct FileReplacement {
    CString target;
    CString temporary;
    int lockFd = -1;
};

// Prepares to replace the file path names: follows its links as the rules
// allow, checks that it may be replaced, locks it, clears old leftovers and
// creates the temporary file with the target's mode. The temporary file's
// descriptor, or -1 with error set.
int BeginReplacement(const CString& path, FileReplacement& replacement, int& error);

// Puts the temporary file, flushed and closed, in the target's place and
// syncs the folder. 0, or the error; the replacement is then abandoned.
int FinishReplacement(FileReplacement& replacement);

// Removes the temporary file and releases the lock.
void AbandonReplacement(FileReplacement& replacement);
