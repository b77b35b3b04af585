#include "private_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "atomic_file.h"

namespace faq::output {

std::string privateTempFolder(const std::string& tempRoot) {
    const std::string path = tempRoot + "/faquery-" + std::to_string(geteuid());
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        throw OutputError("无法创建文件夹 " + path + "：" + errnoText(errno));
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) throw OutputError("无法检查文件夹 " + path + "：" + errnoText(errno));
    if (!S_ISDIR(st.st_mode)) throw OutputError("不是文件夹，为安全起见不使用：" + path);
    if (st.st_uid != geteuid()) throw OutputError("文件夹属于其他用户，为安全起见不使用：" + path);
    if ((st.st_mode & 0077) != 0 && chmod(path.c_str(), 0700) != 0)
        throw OutputError("无法设置文件夹权限 " + path + "：" + errnoText(errno));
    return path;
}

}  // namespace faq::output
