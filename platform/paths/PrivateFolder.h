#pragma once
// Folders for this user alone, made in places where others may write too (the temporary folder):
// such a folder will do only when it is a folder itself, not a link to one (whoever may change the
// link could point it elsewhere), that this user owns and nobody else may enter or list. Then no
// one else can put files in it, take the names of files to come, or see them come and go.
//
// Any thread.

#include <filesystem>
#include <string_view>

namespace platform {

// "<prefix>-<this user's ID>" in the system's temporary folder: $TMPDIR when it holds an absolute
// path (a relative one would move with the working directory), else /tmp.
std::filesystem::path userTemporaryFolder(std::string_view prefix);

// 0 when `folder` will do; else why not, as a system error number: ENOTDIR for a link or anything
// but a folder, EACCES for a folder that another user owns or may enter, else lstat's own.
int privateFolderFailure(const std::filesystem::path& folder);

// Makes `folder` for this user alone when it is missing, then answers as privateFolderFailure; an
// existing folder is taken as it is, never changed.
int makePrivateFolder(const std::filesystem::path& folder);

}  // namespace platform
