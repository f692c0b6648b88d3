#pragma once
// Error codes of the record database and their fixed messages. Codes are
// negative; 0 means success.
#include <string>

namespace serverbook {

enum DbError {
    kOk = 0,
    kErrUnknown = -1,
    kErrCreateFailed = -2,
    kErrFileNotFound = -3,
    kErrBadPath = -4,
    kErrTooManyOpenFiles = -5,
    kErrAccessDenied = -6,
    kErrInvalidFile = -7,
    kErrSeek = -10,
    kErrHardware = -11,
    kErrSharingViolation = -12,
    kErrLockViolation = -13,
    kErrDiskFull = -14,
    kErrEndOfFile = -15,
    kErrNoFields = -16,
    kErrBadFieldType = -17,
    kErrBadFieldName = -18,
    kErrBadFieldWidth = -19,
    kErrDuplicateField = -20,
    kErrNotDatabase = -22,
    kErrVersionTooHigh = -23,
    kErrBeforeFirst = -25,
    kErrAfterLast = -26,
    kErrNotOpen = -27,
    kErrLockFailed = -28,
    kErrUnlockFailed = -29,
    kErrSideFileRead = -35,
    kErrSideFileVersion = -36,
    kErrNotSideFile = -37,
    kErrAlreadyOpen = -38,
    kErrOutOfMemory = -45,
    kErrReadField = -46,
    kErrFileSize = -48,
    kErrCreateSideFile = -50,
    kErrNoCurrentRecord = -60,
    kErrReadRecord = -62,
    kErrReadCount = -65,
    kErrNoCurrentDatabase = -67,
    kErrTypeMismatch = -72,
};

// The fixed message of a code (UTF-8); empty for 0 and unknown codes.
std::string errorMessage(int code);

// Maps a file-system failure (an errno value) onto the first fifteen codes.
int errorFromErrno(int err);

} // namespace serverbook
