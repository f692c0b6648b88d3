#include "local/ExtensionGrouping.h"

#include "platform/TextCodec.h"

#include <QString>

#include <map>
#include <optional>
#include <utility>

std::string groupingExtension(const std::string& name) {
    auto dot = name.rfind('.');
    if (dot == std::string::npos)
        return "无";
    std::string extension = name.substr(dot + 1);
    // Bytes that are not UTF-8 are compared as they are, ASCII case aside.
    if (!platform::isValidUtf8(extension))
        return platform::asciiLower(extension);
    return QString::fromStdString(extension).toCaseFolded().toStdString();
}

void groupByExtension(std::vector<std::string>& names) {
    if (names.size() < 2)
        return;
    // Each distinct extension as a small number: the scans compare numbers.
    std::map<std::string, int> ids;
    std::vector<int> keys;
    keys.reserve(names.size());
    for (const std::string& name : names)
        keys.push_back(ids.emplace(groupingExtension(name), static_cast<int>(ids.size())).first->second);
    const std::size_t last = names.size() - 1;
    std::size_t i = 0;
    while (i != last) {
        const int current = keys[i];
        std::optional<std::size_t> gap;
        for (std::size_t j = i + 1; j < names.size(); ++j) {
            if (keys[j] != current) {
                if (!gap)
                    gap = j;
            } else if (gap) {
                std::swap(names[*gap], names[j]);
                std::swap(keys[*gap], keys[j]);
                ++*gap;
            }
        }
        // No other extension after i: the rest is one group already.
        if (!gap)
            break;
        i = *gap;
    }
}
