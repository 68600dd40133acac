#pragma once
// Where things are: the program file, the user's documents folder, removable media.
#include <QString>

namespace mv {

// Full path of the running program file; the folder it lies in (without trailing separator).
QString program_file();
QString program_folder();

// The user's home folder.
QString home_folder();

// The user's documents folder (XDG_DOCUMENTS_DIR through the desktop's settings) when it
// exists, else the home folder. Never empty and never relative.
QString documents_folder();

// True when `path` lies on a block device that the system marks removable (USB stick, card
// reader). `sysfs_root` is "/sys" outside tests.
bool is_on_removable_media(const QString& path, const QString& sysfs_root = QStringLiteral("/sys"));

// The device numbers form: true when the block device major:minor, or the disk it is a
// partition of, carries the removable flag under `sysfs_root`.
bool is_removable_block_device(unsigned major, unsigned minor,
                               const QString& sysfs_root = QStringLiteral("/sys"));

}  // namespace mv
