// Replacing in files that are not plain text files: symbolic links of every
// kind are left as they are, with the file they name, and bytes that are
// not text (NULs, CRs, no final line feed) come back as they went in.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "replace.h"

namespace {

struct Scratch {
    std::string d_path;
    Scratch() {
        char path[] = "/tmp/zk_hostile_replace_XXXXXX";
        d_path = mkdtemp(path);
    }
    ~Scratch() { std::system(("rm -rf '" + d_path + "'").c_str()); }
    std::string put(const std::string &name, const std::string &body) const {
        std::string path = d_path + "/" + name;
        std::ofstream(path, std::ios::binary) << body;
        return path;
    }
};

std::string contents(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TEST(HostileReplace, LinksAreLeftWithTheFilesTheyName) {
    Scratch dir;
    std::string target = dir.put("target.c", "old\n");
    struct stat before;
    ASSERT_EQ(stat(target.c_str(), &before), 0);
    struct {
        const char *d_name;
        std::string d_points_to;
    } links[] = {
        {"to_target.c", target},
        {"dangling.c", dir.d_path + "/nowhere.c"},
        {"self.c", "self.c"},
        {"dir.c", dir.d_path},
    };
    for (const auto &link : links) {
        std::string path = dir.d_path + "/" + link.d_name;
        ASSERT_EQ(symlink(link.d_points_to.c_str(), path.c_str()), 0);
        testing::internal::CaptureStderr();
        EXPECT_EQ(replace_in_file(path.c_str(), "old", "new"), -1) << link.d_name;
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "cannot rewrite " + path + ", left as it was: a symbolic link\n");
        struct stat st;
        ASSERT_EQ(lstat(path.c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << link.d_name;
    }
    struct stat after;
    ASSERT_EQ(stat(target.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(contents(target), "old\n");
}

TEST(HostileReplace, BytesThatAreNotTextComeBackUnchanged) {
    Scratch dir;
    struct {
        std::string d_body, d_want;
    } cases[] = {
        {std::string("a\0old\0b\nold", 11), std::string("a\0new\0b\nnew", 11)},
        {"old\r\nx\r\n", "new\r\nx\r\n"},
        {std::string("\xff\xfe\0\n", 4), std::string("\xff\xfe\0\n", 4)},
        {"", ""},
    };
    for (const auto &c : cases) {
        std::string path = dir.put("f.c", c.d_body);
        EXPECT_EQ(replace_in_file(path.c_str(), "old", "new"), 0);
        EXPECT_EQ(contents(path), c.d_want);
    }
}
