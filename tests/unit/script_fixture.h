// Helpers of the script tokenizer and tagger tests: a scratch directory
// for source files, and the output of an extractor captured as a string.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "env.h"

struct ScratchDir {
    std::string d_path;
    ScratchDir() {
        if (!get_env()) init_env();
        char name[] = "/tmp/zk_script_XXXXXX";
        d_path = mkdtemp(name) ? name : "/tmp";
    }
    ~ScratchDir() { std::system(("rm -rf '" + d_path + "'").c_str()); }
    std::string write(const std::string &name, const std::string &content) const {
        std::string path = d_path + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
};

// Runs extractor on a file holding content and returns what it wrote, with
// the path shown as "F" so that expected lines stay short.
template <typename Extractor>
std::string tags_of(Extractor extractor, const std::string &name, const std::string &content,
                    int *result = nullptr) {
    ScratchDir dir;
    std::string path = dir.write(name, content);
    char *data = nullptr;
    size_t size = 0;
    FILE *out = open_memstream(&data, &size);
    int r = extractor(path.c_str(), out);
    if (result) *result = r;
    fclose(out);
    std::string text(data, size);
    free(data);
    for (size_t at; (at = text.find(path)) != std::string::npos;) text.replace(at, path.size(), "F");
    return text;
}
