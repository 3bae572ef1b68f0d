// The file changes of toolkit/runtime/files.h that are made of system
// commands (mkdir, touch, chmod, chown, chgrp, rm -rf, mv -f).
// Runtime functions built on SysCmd, so they build here and runtime stays below syscmd.
#include "toolkit/runtime/files.h"
#include "toolkit/runtime/pathparts.h"
#include "toolkit/syscmd/syscmd.h"

#include <string>

// Rows of the commands that change the file system.
enum { RowChgrp = 4, RowChmod = 5, RowChown = 6, RowMv = 25, RowMkdir = 26, RowRmRf = 30 };
enum { RowTouch = 35 };

int CreateFile(const char *dir, const char *name, const char *mode, const char *owner,
               const char *group) {
    if (!Given(dir)) return 0;
    std::string parent, base;
    if (!SplitPath(dir, &parent, &base) || !FindFile(parent.c_str(), base.c_str()))
        SysCmd(RowMkdir, 2, "%s", dir);
    std::string path = Given(name) ? JoinPath(dir, name) : dir;
    if (Given(name)) SysCmd(RowTouch, 2, "%s", path.c_str());
    if (Given(mode)) SysCmd(RowChmod, 2, "%s %s", mode, path.c_str());
    if (Given(owner)) SysCmd(RowChown, 2, "%s %s", owner, path.c_str());
    if (Given(group)) SysCmd(RowChgrp, 2, "%s %s", group, path.c_str());
    return 0;
}

// rm -rf of dir/name (or the single path given) when exists says it is there.
static int Remove(const char *dir, const char *name, bool exists) {
    if (!exists) return 0;
    if (!dir) return SysCmd(RowRmRf, 1, "%s", name);
    return SysCmd(RowRmRf, 1, "%s%s%s", dir, name ? "/" : "", name ? name : "");
}

int DeleteFile(const char *dir, const char *name) {
    if (!dir && !Given(name)) return 0;
    return Remove(dir, name, FindFile(dir, name));
}

int DeleteFile_(const char *path, const char *name) {
    if (!path && !Given(name)) return 0;
    if (path && !name) {
        std::string parent, base;
        bool split = SplitPath(path, &parent, &base);
        return Remove(path, name, split && FindFile(parent.c_str(), base.c_str()));
    }
    return Remove(path, name, FindFile(path, name));
}

int RenameFile(const char *dir, const char *old, const char *newname) {
    if (!Given(old) || !Given(newname)) return 0;
    if (!dir) return FindFile(nullptr, old) ? SysCmd(-RowMv, 1, "%s %s", old, newname) : 0;
    if (!FindFile(dir, old)) return 0;
    return SysCmd(-RowMv, 1, "%s/%s %s/%s", dir, old, dir, newname);
}
