#pragma once

// What kind of file system holds a file, by statfs's f_type.

// The type of the file system holding the open `fd`, 0 when unknown. A
// pointer, so that a test can stand another file system in.
extern unsigned long (*fileSystemTypeOf)(int fd);

// Whether a file system of `type` answers from a server (FUSE, NFS, SMB and
// CIFS, 9p, Ceph, AFS): each look waits for it, and the change times are the
// server's to keep, which may leave them as they were over a write.
bool servedFileSystem(unsigned long type);
