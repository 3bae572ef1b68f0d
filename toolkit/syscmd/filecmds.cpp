// The file changes of toolkit/runtime/files.h that are made of system
// commands (mkdir, touch, chmod, chown, chgrp, rm -rf, mv -f).
// Runtime functions built on SysCmd, so they build here and runtime stays below syscmd.
#include "toolkit/runtime/files.h"
#include "toolkit/runtime/pathparts.h"
#include "toolkit/syscmd/syscmd.h"

#include <string>

int CreateFile(const char *dir, const char *name, const char *mode, const char *owner,
               const char *group) {
    if (!Given(dir)) return 0;
    std::string parent, base;
    if (!SplitPath(dir, &parent, &base) || !FindFile(parent.c_str(), base.c_str()))
        SysCmd(ROW_MKDIR, SYSCMD_FATAL, "%s", dir);
    std::string path = Given(name) ? JoinPath(dir, name) : dir;
    if (Given(name)) SysCmd(ROW_TOUCH, SYSCMD_FATAL, "%s", path.c_str());
    if (Given(mode)) SysCmd(ROW_CHMOD, SYSCMD_FATAL, "%s %s", mode, path.c_str());
    if (Given(owner)) SysCmd(ROW_CHOWN, SYSCMD_FATAL, "%s %s", owner, path.c_str());
    if (Given(group)) SysCmd(ROW_CHGRP, SYSCMD_FATAL, "%s %s", group, path.c_str());
    return 0;
}

// rm -rf of dir/name (or the single path given) when exists says it is there.
static int Remove(const char *dir, const char *name, bool exists) {
    if (!exists) return 0;
    if (!dir) return SysCmd(ROW_RM_RF, SYSCMD_WARN, "%s", name);
    return SysCmd(ROW_RM_RF, SYSCMD_WARN, "%s%s%s", dir, name ? "/" : "", name ? name : "");
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
    if (!dir)
        return FindFile(nullptr, old) ? SysCmd(-ROW_MV, SYSCMD_WARN, "%s %s", old, newname) : 0;
    if (!FindFile(dir, old)) return 0;
    return SysCmd(-ROW_MV, SYSCMD_WARN, "%s/%s %s/%s", dir, old, dir, newname);
}
