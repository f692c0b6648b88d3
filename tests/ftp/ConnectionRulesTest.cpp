#include "ftp/ConnectionSetting.h"
#include "ftp/RemotePath.h"
#include "ftp/SizeText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

TEST(ConnectionSetting, FieldSplitRules) {
    // An empty text after the last separator is not a field, but a setting
    // joined with an empty password keeps it, empty.
    EXPECT_EQ(splitConnectionFields("name|host|21|user|").size(), 4u);
    auto anonymous = parseConnectionSetting(joinConnectionSetting({"name", "host", "21", "anonymous", ""}));
    ASSERT_TRUE(anonymous.has_value());
    EXPECT_EQ(anonymous->user, "anonymous");
    EXPECT_EQ(anonymous->password, "");
    // Four fields without the closing separator are still too few.
    EXPECT_FALSE(parseConnectionSetting("name|host|21|user").has_value());
    EXPECT_FALSE(parseConnectionSetting("name|host|21|").has_value());
    // Empty fields between separators count.
    auto s = parseConnectionSetting("||21||pw");
    ASSERT_TRUE(s.has_value());
    EXPECT_EQ(s->name, "");
    EXPECT_EQ(s->port, "21");
    EXPECT_EQ(s->password, "pw");
    // Fields after the fifth are ignored: a "|" in the password cuts it.
    s = parseConnectionSetting("name|host|2121|user|p|w");
    ASSERT_TRUE(s.has_value());
    EXPECT_EQ(s->password, "p");
    EXPECT_TRUE(splitConnectionFields("").empty());
    EXPECT_FALSE(parseConnectionSetting("").has_value());
    EXPECT_EQ(joinConnectionSetting({"家", "h", "21", "u", "p"}), "家|h|21|u|p");
}

TEST(ConnectionSetting, PortReadLikeAtoi) {
    EXPECT_EQ(portFromText("2121"), 2121);
    EXPECT_EQ(portFromText("２１２１"), 2121);   // full-width digits
    EXPECT_EQ(portFromText("　21"), 21);         // full-width blank
    EXPECT_EQ(portFromText("  21abc"), 21);
    EXPECT_EQ(portFromText("abc"), 0);
    EXPECT_EQ(portFromText(""), 0);
    EXPECT_EQ(portFromText("+8021"), 8021);
    EXPECT_EQ(portFromText("-5"), -5);
    EXPECT_EQ(portFromText("99999999999999999999"), 2147483647);
}

TEST(SizeText, KilobytesRoundedToThreePlaces) {
    EXPECT_EQ(sizeTextKb(0), "0");
    EXPECT_EQ(sizeTextKb(512), "0.5");
    EXPECT_EQ(sizeTextKb(1000), "0.977");
    EXPECT_EQ(sizeTextKb(1536), "1.5");
    EXPECT_EQ(sizeTextKb(1048576), "1024");
    EXPECT_EQ(sizeTextKb(1), "0.001");     // 0.0009765625 rounds up
    // Large files keep their real size instead of wrapping around.
    EXPECT_EQ(sizeTextKb(5LL * 1024 * 1024 * 1024), "5242880");
    EXPECT_EQ(sizeTextKb(3000000000LL), "2929687.5");
    EXPECT_DOUBLE_EQ(leadingNumber("0.977"), 0.977);
    EXPECT_DOUBLE_EQ(leadingNumber("12KB"), 12.0);
    EXPECT_DOUBLE_EQ(leadingNumber(""), 0.0);
    EXPECT_DOUBLE_EQ(leadingNumber("abc"), 0.0);
}

// The digits are written without printf; every size must still read as
// "%.13g" of the rounded kilobytes would write it.
TEST(SizeText, MatchesPrintfAcrossTheRange) {
    auto printfText = [](int64_t bytes) {
        double kb = static_cast<double>(bytes) / 1024.0;
        double rounded = std::floor((std::fabs(kb) + 1e-12) * 1000.0 + 0.5) / 1000.0;
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.13g", kb < 0 ? -rounded : rounded);
        return std::string(buffer);
    };
    std::vector<int64_t> sizes;
    for (int64_t b = 0; b < 70000; ++b)
        sizes.push_back(b);
    for (int shift = 10; shift < 63; ++shift)
        for (int64_t delta = -3; delta <= 3; ++delta)
            sizes.push_back((int64_t{1} << shift) + delta);
    std::mt19937_64 random(20261208);
    for (int i = 0; i < 200000; ++i)
        sizes.push_back(static_cast<int64_t>(random() >> (random() % 63)));
    sizes.push_back(10239999999999LL); // around the plain-notation limit
    sizes.push_back(10240000000000LL);
    sizes.push_back(10240000000512LL);
    sizes.push_back(-1);
    sizes.push_back(-1536);
    sizes.push_back(INT64_MAX);
    for (int64_t bytes : sizes)
        ASSERT_EQ(sizeTextKb(bytes), printfText(bytes)) << bytes;
}

TEST(RemotePath, GoingUpAndEnteringFollowTheBoxText) {
    EXPECT_EQ(remoteParent("/pub/incoming"), "/pub");
    EXPECT_EQ(remoteParent("/pub/incoming/"), "/pub");
    EXPECT_EQ(remoteParent("/pub"), "/");
    EXPECT_EQ(remoteParent("/pub/"), "/");
    EXPECT_FALSE(remoteParent("/").has_value());
    EXPECT_FALSE(remoteParent("pub").has_value());
    EXPECT_FALSE(remoteParent("").has_value());
    EXPECT_EQ(remoteChild("/", "x"), "/x");
    EXPECT_EQ(remoteChild("/pub", "x"), "/pub/x");
    EXPECT_EQ(remotePrefix("/pub"), "/pub/");
    EXPECT_EQ(remotePrefix("/"), "/");
    EXPECT_EQ(remotePrefix(""), "/");
}
