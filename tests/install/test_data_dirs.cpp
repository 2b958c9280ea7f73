// The order in which the program looks for its templates and libraries.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/data_dirs.h"

namespace {

namespace fs = std::filesystem;
using trazel::platform::data_search_list;
using trazel::platform::find_data_dir;
using trazel::platform::installed_data_dir;

TEST(DataSearchList, BesideTheProgramThenThePrefixThenTheSystemFolders) {
    std::vector<std::string> want = {
        "/opt/t/bin/TEMPLATE/",        "/opt/t/bin/share/TEMPLATE/", "/opt/t/share/TEMPLATE/",
        "/opt/t/share/trazel/TEMPLATE/", installed_data_dir() + "/TEMPLATE/", "/a/trazel/TEMPLATE/",
        "/b/c/trazel/TEMPLATE/",
    };
    // Relative and empty entries are not valid there and are passed over.
    EXPECT_EQ(data_search_list("/opt/t/bin/", "TEMPLATE", "/a::rel/x:/b/c/"), want);

    std::vector<std::string> unset = data_search_list("/opt/t/bin", "LIBRARY", "");
    ASSERT_EQ(unset.size(), 7u);
    EXPECT_EQ(unset[0], "/opt/t/bin/LIBRARY/");
    EXPECT_EQ(unset[5], "/usr/local/share/trazel/LIBRARY/");
    EXPECT_EQ(unset[6], "/usr/share/trazel/LIBRARY/");
    // No program folder: the working directory.
    EXPECT_EQ(data_search_list("", "LIBRARY", "/x")[0], "LIBRARY/");
}

TEST(DataSearchList, TheFirstFolderThatExistsIsTaken) {
    if (fs::exists(installed_data_dir() + "/TEMPLATE")) {
        GTEST_SKIP() << "an installed copy under " << installed_data_dir() << " comes before the test's folders";
    }
    fs::path root = fs::temp_directory_path() / "trazel-data-dirs";
    fs::remove_all(root);
    fs::create_directories(root / "bin");
    fs::create_directories(root / "xdg1" / "trazel" / "TEMPLATE");
    fs::create_directories(root / "xdg2" / "trazel" / "TEMPLATE");
    std::string xdg = (root / "xdg1").string() + ":" + (root / "xdg2").string();
    ::setenv("XDG_DATA_DIRS", xdg.c_str(), 1);
    std::string bin = (root / "bin").string() + "/";
    EXPECT_EQ(find_data_dir(bin, "TEMPLATE"), (root / "xdg1" / "trazel" / "TEMPLATE").string() + "/");
    fs::create_directories(root / "share" / "trazel" / "TEMPLATE");
    EXPECT_EQ(find_data_dir(bin, "TEMPLATE"), (root / "share" / "trazel" / "TEMPLATE").string() + "/");
    EXPECT_EQ(find_data_dir(bin, "NOSUCH"), "");
    ::unsetenv("XDG_DATA_DIRS");
    fs::remove_all(root);
}

} // namespace
