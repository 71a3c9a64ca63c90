#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "object_names.h"

namespace {

struct Naming {
    const char* path;
    char separator;
    const char* stem;
    friend void PrintTo(const Naming& n, std::ostream* out) {
        *out << '"' << n.path << "\" with '" << n.separator << '\'';
    }
};

class ObjectNamesTest : public ::testing::TestWithParam<Naming> {};

TEST_P(ObjectNamesTest, NamesFollowTheStem) {
    const Naming& n = GetParam();
    zolt::ObjectNames names{};
    ASSERT_TRUE(zolt::deriveObjectNames(n.path, n.separator, names));
    EXPECT_EQ(std::string(names.mailbox), std::string(n.stem) + "SM");
    EXPECT_EQ(std::string(names.event), std::string(n.stem) + "EM");
}

INSTANTIATE_TEST_SUITE_P(
    Stems, ObjectNamesTest,
    ::testing::Values(Naming{"dir/Brivex.exe", '/', "Brivex"}, Naming{"dir/Brivex", '/', "Brivex"},
                      Naming{"Brivex.exe", '/', "Brivex"},
                      Naming{"C:\\Datas\\Morva\\Brivex\\Brivex.exe", '\\', "Brivex"},
                      Naming{"a.b.exe", '/', "a.b"}, Naming{".hidden", '/', ""},
                      Naming{"Dir/BriVex.EXE", '/', "BriVex"},
                      // A period in a folder name is not an extension.
                      Naming{"dir.v2/Brivex", '/', "Brivex"},
                      // Only the given separator splits the path.
                      Naming{"C:\\Morva\\Brivex.exe", '/', "C:\\Morva\\Brivex"},
                      Naming{"dir/Brivex.exe", '\\', "dir/Brivex"}, Naming{"dir\\", '/', "dir\\"}));

TEST(ObjectNamesLimits, LongestPathIsAccepted) {
    const std::string path(99, 'x');
    zolt::ObjectNames names{};
    ASSERT_TRUE(zolt::deriveObjectNames(path.c_str(), '/', names));
    EXPECT_EQ(std::string(names.mailbox), path + "SM");
    EXPECT_EQ(std::string(names.event), path + "EM");
}

TEST(ObjectNamesLimits, RefusedPaths) {
    const std::string tooLong = "dir/" + std::string(92, 'x') + ".exe";
    ASSERT_EQ(tooLong.size(), 100u);
    zolt::ObjectNames names{};
    EXPECT_FALSE(zolt::deriveObjectNames(nullptr, '/', names));
    EXPECT_FALSE(zolt::deriveObjectNames("", '/', names));
    EXPECT_FALSE(zolt::deriveObjectNames(tooLong.c_str(), '/', names));
    EXPECT_FALSE(zolt::deriveObjectNames("dir/", '/', names));
    EXPECT_FALSE(zolt::deriveObjectNames("C:\\Datas\\", '\\', names));
}

}  // namespace
