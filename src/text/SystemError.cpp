#include "text/SystemError.h"

#include <cerrno>

QString systemErrorText(int code) {
    switch (code) {
        case ENOSPC:
            return QStringLiteral("磁盘空间不足");
        case EDQUOT:
            return QStringLiteral("超出磁盘配额");
        case EACCES:
        case EPERM:
            return QStringLiteral("没有权限");
        case EROFS:
            return QStringLiteral("文件系统为只读");
        case ENOENT:
            return QStringLiteral("文件或目录不存在");
        case ENOTDIR:
            return QStringLiteral("路径中有一项不是目录");
        case EISDIR:
            return QStringLiteral("是一个目录");
        case EFBIG:
            return QStringLiteral("文件过大");
        case EIO:
            return QStringLiteral("输入输出错误");
        case ENAMETOOLONG:
            return QStringLiteral("文件名过长");
        case EMFILE:
        case ENFILE:
            return QStringLiteral("打开的文件过多");
        case ENOMEM:
            return QStringLiteral("内存不足");
        case ELOOP:
            return QStringLiteral("符号链接层数过多");
        case EBUSY:
        case ETXTBSY:
            return QStringLiteral("文件正被使用");
        case EXDEV:
            return QStringLiteral("不在同一文件系统");
        default:
            return QStringLiteral("系统错误 %1").arg(code);
    }
}
