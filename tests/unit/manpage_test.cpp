// The manual page against the program: every option of the option table and
// every installed invocation name has an entry, and no entry names something
// the program does not know.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "env.h"
#include "options.h"

#ifndef ZK_SOURCE_DIR
#error "ZK_SOURCE_DIR must name the source tree"
#endif

namespace {

std::string read_file(const std::string &path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The tag lines (the line after .TP or .TQ) of each section, roff escapes
// for the hyphen and the fonts removed and quotes dropped.
struct Entry {
    std::string d_section;
    std::string d_text;
};

std::string plain_text(const std::string &roff) {
    std::string out;
    for (size_t i = 0; i < roff.size(); ++i) {
        char c = roff[i];
        if (c == '\\' && i + 1 < roff.size()) {
            char next = roff[i + 1];
            if (next == '-') {
                out += '-';
                ++i;
            } else if (next == 'f' && i + 2 < roff.size()) {
                i += 2;
            } else if (next == '&') {
                ++i;
            } else {
                out += c;
            }
        } else if (c != '"') {
            out += c;
        }
    }
    return out;
}

std::vector<Entry> page_entries(const std::string &page) {
    std::vector<Entry> entries;
    std::istringstream lines(page);
    std::string line, section;
    bool tag_next = false;
    while (std::getline(lines, line)) {
        if (line.rfind(".SH ", 0) == 0) section = plain_text(line.substr(4));
        if (tag_next) {
            // Drop the font macro (.B, .BR, .BI, .I) that sets the tag.
            size_t start = line[0] == '.' ? line.find(' ') : 0;
            if (start != std::string::npos) entries.push_back({section, plain_text(line.substr(start))});
        }
        tag_next = line.rfind(".TP", 0) == 0 || line.rfind(".TQ", 0) == 0;
    }
    return entries;
}

std::vector<std::string> words(const std::string &text) {
    std::vector<std::string> out;
    std::string word;
    for (char c : text + " ") {
        if (c == ' ' || c == ',' || c == '\t') {
            if (!word.empty()) out.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    return out;
}

// Option-like words of the tag lines, by whether they stand in OPTIONS.
void documented_options(std::set<std::string> *in_options, std::set<std::string> *anywhere) {
    for (const Entry &entry : page_entries(read_file(ZK_SOURCE_DIR "/docs/zephyr-elk.1"))) {
        for (const std::string &word : words(entry.d_text)) {
            if (word.size() < 2 || word[0] != '-') continue;
            anywhere->insert(word);
            if (entry.d_section == "OPTIONS") in_options->insert(word);
        }
    }
}

std::set<std::string> program_options() {
    int n = 0;
    const char *const *names = option_names(&n);
    return std::set<std::string>(names, names + n);
}

TEST(ManPage, EveryOptionHasAnEntryUnderOptions) {
    std::set<std::string> in_options, anywhere;
    documented_options(&in_options, &anywhere);
    std::set<std::string> options = program_options();
    ASSERT_TRUE(options.count("--help") && options.count("--vim-tags"));
    for (const std::string &option : options)
        EXPECT_TRUE(in_options.count(option)) << option << " has no entry under OPTIONS";
}

TEST(ManPage, EveryDocumentedOptionIsRecognised) {
    std::set<std::string> in_options, anywhere;
    documented_options(&in_options, &anywhere);
    ASSERT_FALSE(anywhere.empty());
    std::set<std::string> options = program_options();
    for (const std::string &option : anywhere)
        EXPECT_TRUE(options.count(option)) << option << " is documented but not recognised";
}

// The installed links come from the build's list of link names.
std::vector<std::string> installed_links() {
    std::string cmake = read_file(ZK_SOURCE_DIR "/CMakeLists.txt");
    const char *key = "set(ZK_LINKS ";
    size_t at = cmake.find(key);
    if (at == std::string::npos) return {};
    size_t end = cmake.find(')', at);
    return words(cmake.substr(at + strlen(key), end - at - strlen(key)));
}

TEST(ManPage, InvocationNamesMatchTheInstalledLinks) {
    if (!get_env()) init_env();
    std::set<std::string> documented;
    for (const Entry &entry : page_entries(read_file(ZK_SOURCE_DIR "/docs/zephyr-elk.1")))
        if (entry.d_section == "INVOCATION NAMES")
            for (const std::string &word : words(entry.d_text)) documented.insert(word);

    std::vector<std::string> links = installed_links();
    ASSERT_FALSE(links.empty());
    for (const std::string &link : links)
        EXPECT_TRUE(documented.count(link)) << link << " is installed but not documented";

    // A documented name must choose a mode or a language.
    Env *env = get_env();
    for (const std::string &name : documented) {
        char *saved = env->d_language;
        env->d_language = strdup("ALL");
        std::string path = "/usr/bin/" + name;
        int mode = mode_by_name(path.c_str());
        EXPECT_TRUE(mode != 0 || strcmp(env->d_language, "ALL") != 0) << name << " chooses nothing";
        free(env->d_language);
        env->d_language = saved;
    }
}

}  // namespace
