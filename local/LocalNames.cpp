#include "local/LocalNames.h"

#include "platform/TextCodec.h"

std::string displayName(const std::string& bytes) {
    return platform::escapeInvalidUtf8(bytes);
}
