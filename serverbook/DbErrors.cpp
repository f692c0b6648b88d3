#include "serverbook/DbErrors.h"

#include <cerrno>

namespace serverbook {

std::string errorMessage(int code) {
    switch (code) {
    case kErrUnknown: return "未知错误";
    case kErrCreateFailed: return "创建数据库失败";
    case kErrFileNotFound: return "指定文件未找到";
    case kErrBadPath: return "无效的路径";
    case kErrTooManyOpenFiles: return "打开文件过多";
    case kErrAccessDenied: return "指定文件不能被访问";
    case kErrInvalidFile: return "无效的文件号";
    case kErrSeek: return "文件指针定位失败";
    case kErrHardware: return "访问文件时硬件产生故障";
    case kErrSharingViolation: return "访问文件时产生共享冲突";
    case kErrLockViolation: return "加锁文件失败";
    case kErrDiskFull: return "磁盘空间不够";
    case kErrEndOfFile: return "已经到达文件尾";
    case kErrNoFields: return "字段数目必须大于 0 ";
    case kErrBadFieldType: return "无效的字段类型";
    case kErrBadFieldName:
        return "无效的字段名称。名称首字符必须为全半角字母或汉字，其他字符必须为全半角字母、"
               "全半角数字或汉字。名称长度必须小于 16 字符";
    case kErrBadFieldWidth: return "无效的字段尺寸";
    case kErrDuplicateField: return "存在重复的字段名称";
    case kErrNotDatabase: return "指定文件不是数据库文件";
    case kErrVersionTooHigh: return "指定数据库文件版本太高，无法读入，请升级系统软件";
    case kErrBeforeFirst: return "已经越过数据库的首记录";
    case kErrAfterLast: return "已经越过数据库的末记录";
    case kErrNotOpen: return "当前未打开数据库";
    case kErrLockFailed: return "加锁失败";
    case kErrUnlockFailed: return "解锁失败";
    case kErrSideFileRead: return "读入数据库辅助文件失败";
    case kErrSideFileVersion: return "数据库辅助文件的版本与数据库本身不一致";
    case kErrNotSideFile: return "指定文件不是数据库辅助文件或已被损坏";
    case kErrAlreadyOpen: return "指定数据库已经被打开";
    case kErrOutOfMemory: return "分配内存空间失败";
    case kErrReadField: return "读指定字段失败";
    case kErrFileSize: return "数据库文件尺寸错误";
    case kErrCreateSideFile: return "创建数据库辅助文件失败";
    case kErrNoCurrentRecord: return "现行记录不存在";
    case kErrReadRecord: return "读记录失败";
    case kErrReadCount: return "取数据库记录数失败";
    case kErrNoCurrentDatabase: return "未设置当前数据库";
    case kErrTypeMismatch: return "所提供数据的类型与字段类型不匹配";
    default: return {};
    }
}

int errorFromErrno(int err) {
    switch (err) {
    case ENOENT: return kErrFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return kErrBadPath;
    case EMFILE:
    case ENFILE: return kErrTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return kErrAccessDenied;
    case EBADF: return kErrInvalidFile;
    case ESPIPE:
    case EOVERFLOW: return kErrSeek;
    case EIO: return kErrHardware;
    case EBUSY:
    case ETXTBSY: return kErrSharingViolation;
    case EAGAIN:
    case ENOLCK: return kErrLockViolation;
    case ENOSPC:
    case EFBIG:
    case EDQUOT: return kErrDiskFull;
    default: return kErrUnknown;
    }
}

} // namespace serverbook
