#include "app/state/WalkBounds.h"

bool WalkCount::addFolder(std::size_t depth, std::size_t entries) {
    ++folders_;
    entries_ += entries;
    if (depth > kMaxWalkDepth)
        reason_ = "目录超过" + std::to_string(kMaxWalkDepth) + "层";
    else if (folders_ > kMaxWalkFolders)
        reason_ = "目录超过" + std::to_string(kMaxWalkFolders) + "个";
    else if (entries_ > kMaxWalkEntries)
        reason_ = "条目超过" + std::to_string(kMaxWalkEntries) + "个";
    return reason_.empty();
}

std::string repeatedFolderReason(const std::string& folder, const std::string& ancestor) {
    return "“" + folder + "”与上级目录“" + ancestor + "”相同";
}
