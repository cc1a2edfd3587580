// Replays saved fuzz inputs through a target's LLVMFuzzerTestOneInput
// without libFuzzer, so that the normal build checks every saved input.
// Arguments are files or directories of files (not descended further); a
// run that finds no input at all fails, as an empty corpus tests nothing.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static bool read_whole(const std::string &path, std::vector<uint8_t> *bytes) {
    FILE *in = fopen(path.c_str(), "rb");
    if (!in) return false;
    bytes->clear();
    uint8_t block[65536];
    size_t n;
    while ((n = fread(block, 1, sizeof block, in)) > 0) bytes->insert(bytes->end(), block, block + n);
    bool ok = !ferror(in);
    fclose(in);
    return ok;
}

static void add_inputs(const std::string &path, std::vector<std::string> *inputs) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return;
    if (!S_ISDIR(st.st_mode)) {
        inputs->push_back(path);
        return;
    }
    DIR *dir = opendir(path.c_str());
    if (!dir) return;
    std::vector<std::string> names;
    while (struct dirent *entry = readdir(dir)) {
        std::string child = path + "/" + entry->d_name;
        if (entry->d_name[0] != '.' && stat(child.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            names.push_back(child);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    inputs->insert(inputs->end(), names.begin(), names.end());
}

int main(int argc, char **argv) {
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; ++i) add_inputs(argv[i], &inputs);
    if (inputs.empty()) {
        fprintf(stderr, "no inputs to replay\n");
        return 1;
    }
    std::vector<uint8_t> bytes;
    for (const std::string &path : inputs) {
        if (!read_whole(path, &bytes)) {
            fprintf(stderr, "cannot read %s\n", path.c_str());
            return 1;
        }
        // The input is copied to a block of its own size, so that a read
        // past its end is caught by the address sanitizer.
        uint8_t *copy = new uint8_t[bytes.size() ? bytes.size() : 1];
        std::copy(bytes.begin(), bytes.end(), copy);
        LLVMFuzzerTestOneInput(copy, bytes.size());
        delete[] copy;
    }
    fprintf(stderr, "replayed %zu inputs\n", inputs.size());
    return 0;
}
