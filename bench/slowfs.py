#!/usr/bin/python3
"""A read-only view of a folder in which every file-system call waits first, as on a slow
network share: stat, open and each read. Usage (as root, or with FUSE allowed):
    bench/slowfs.py <folder> <mount point> <delay ms>
Runs in the foreground until unmounted (fusermount3 -u <mount point>) or stopped by its pid.
The kernel keeps no data or attributes of it, so every call reaches this program."""
import errno
import os
import sys
import time

import fuse

fuse.fuse_python_api = (0, 2)


class SlowFolder(fuse.Fuse):
    def __init__(self, root, delay, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.root = root
        self.delay = delay

    def _path(self, path):
        time.sleep(self.delay)
        return os.path.join(self.root, path.lstrip("/"))

    def getattr(self, path):
        try:
            return os.lstat(self._path(path))
        except OSError as error:
            return -error.errno

    def readdir(self, path, offset):
        for name in [".", ".."] + os.listdir(self._path(path)):
            yield fuse.Direntry(name)

    def open(self, path, flags):
        if flags & (os.O_WRONLY | os.O_RDWR):
            return -errno.EROFS
        return 0 if os.path.isfile(self._path(path)) else -errno.ENOENT

    def read(self, path, size, offset):
        with open(self._path(path), "rb") as file:
            file.seek(offset)
            return file.read(size)


def main():
    folder, mount, delay = sys.argv[1], sys.argv[2], float(sys.argv[3]) / 1000.0
    server = SlowFolder(os.path.abspath(folder), delay, version="%prog " + fuse.__version__,
                        dash_s_do="setsingle")
    server.fuse_args.mountpoint = mount
    server.fuse_args.setmod("foreground")
    server.fuse_args.add("ro")
    server.fuse_args.add("direct_io")
    server.fuse_args.add("attr_timeout=0")
    server.fuse_args.add("entry_timeout=0")
    server.fuse_args.add("negative_timeout=0")
    server.main()


if __name__ == "__main__":
    main()
