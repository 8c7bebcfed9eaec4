#pragma once
// Where device files of the user data backup live on this computer, and the two local folder
// operations of the sequence. A device path is mirrored below the device backup folder's "EFS"
// folder: nv/item_files/a.cfg -> (device backup folder)/EFS/nv/item_files/a.cfg.
//
// Names come from the device and from the configuration, so they are not trusted: a path with a
// ".." part, or one that would land outside the "EFS" folder in any other way (through a link
// already there, say), gets no local path at all.
#include <string>
#include <string_view>

#include "platform/expected.h"

namespace upwend {

class WorkerContext;

// The characters a local name cannot carry on every system the tool runs on; each becomes "_".
std::string CleanLocalPath(std::string_view path);

// A name as a folder listing hands it out: one non-empty part, neither "." nor "..", without a
// separator ("/" or "\") or 0x00.
bool IsSafeEntryName(std::string_view name);
// A configured or built device path: no ".." part between separators ("/" or "\"), no 0x00.
bool IsSafeDevicePath(std::string_view path);

// The local mirror path of a device path, or why it was refused.
Expected<std::string, std::string> LocalMirrorPath(const std::string& deviceBackupFolder, std::string_view devicePath);

// The folder part of a local path (up to its last "/"); the path itself when it has none.
std::string LocalFolderPart(const std::string& path);

// Creates a local folder and every missing parent. A level that can be neither found nor created
// raises "Could not create folder!" and gives false: the calling step is abandoned.
bool MakeLocalFolder(WorkerContext& worker, const std::string& path);

// Deletes a local folder with everything in it; true when it is gone. Links inside are removed,
// never followed. A root, an empty path or one of three characters or fewer is refused.
bool RemoveLocalFolder(const std::string& path);

}  // namespace upwend
