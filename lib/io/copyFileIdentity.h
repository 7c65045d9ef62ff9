#ifndef WBK_COPY_FILE_IDENTITY_H
#define WBK_COPY_FILE_IDENTITY_H

#include <string>

// Gives the file open on `to` the owner, group, permission bits (set-user-ID,
// set-group-ID and sticky included) and exactly the extended attributes (POSIX
// ACLs among them) of the file open on `from`, as `cp --preserve=all` does.
// Returns what could not be carried over ("the owner and group", "the
// permissions", "the extended attribute user.x"), with errno set; empty when
// all of it was.
std::string copyFileIdentity(int from, int to);

#endif
