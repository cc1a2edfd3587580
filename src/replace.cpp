#include "replace.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "env.h"
#include "string_array.h"

// Room for more bytes and one after them; false (errno ENOMEM) when none.
static bool reserve(TextBuffer *buffer, size_t more) {
    if (buffer->d_capacity - buffer->d_length > more) return true;
    size_t wanted = buffer->d_length + more + 1;
    size_t capacity = buffer->d_capacity ? buffer->d_capacity : 256;
    while (capacity < wanted) capacity *= 2;
    char *grown = static_cast<char *>(realloc(buffer->d_data, capacity));
    if (!grown) {
        errno = ENOMEM;
        return false;
    }
    buffer->d_data = grown;
    buffer->d_capacity = capacity;
    return true;
}

static bool append(TextBuffer *buffer, const char *bytes, size_t length) {
    if (!reserve(buffer, length)) return false;
    memcpy(buffer->d_data + buffer->d_length, bytes, length);
    buffer->d_length += length;
    return true;
}

// One left-to-right pass; the inserted text is never searched again.
static int replace_once_each(const char *line, size_t length, const char *old_text, size_t old_length,
                             const char *new_text, size_t new_length, TextBuffer *out) {
    const char *from = line, *end = line + length;
    while ((size_t)(end - from) >= old_length) {
        const char *hit = static_cast<const char *>(memmem(from, (size_t)(end - from), old_text, old_length));
        if (!hit) break;
        if (!append(out, from, (size_t)(hit - from)) || !append(out, new_text, new_length)) return -1;
        from = hit + old_length;
    }
    return append(out, from, (size_t)(end - from)) ? 0 : -1;
}

// Unread bytes of replacement texts, last byte first: after a replacement
// the new text is read again before the rest of the line.
static TextBuffer g_pending;

// Replaces the leftmost occurrence again and again until none is left, as a
// restart from the start of the line would, without the restart: the text
// written to out never holds a whole occurrence, so each byte is checked
// once as it is written, and an occurrence ending in it is undone there.
static int replace_until_none(const char *line, size_t length, const char *old_text, size_t old_length,
                              const char *new_text, size_t new_length, TextBuffer *out) {
    // Some pairs grow the line for ever (aba,baab on aaba): bound the work.
    size_t budget = (length + 1) * 1024 + ((size_t)16 << 20);
    const char *next = line, *end = line + length;
    const char last = old_text[old_length - 1];
    g_pending.d_length = 0;
    for (;;) {
        char byte;
        if (g_pending.d_length > 0) byte = g_pending.d_data[--g_pending.d_length];
        else if (next < end) byte = *next++;
        else return 0;
        if (budget-- == 0) {
            errno = ELOOP;
            return -1;
        }
        if (!reserve(out, 1)) return -1;
        out->d_data[out->d_length++] = byte;
        if (byte != last || out->d_length < old_length) continue;
        if (memcmp(out->d_data + out->d_length - old_length, old_text, old_length) != 0) continue;
        out->d_length -= old_length;
        if (!reserve(&g_pending, new_length)) return -1;
        for (size_t i = new_length; i > 0; --i) g_pending.d_data[g_pending.d_length++] = new_text[i - 1];
    }
}

int replace_in_line(const char *line, size_t length, const char *old_text, const char *new_text,
                    TextBuffer *out) {
    if (!line || !old_text || !new_text || !out || !*old_text) return -1;
    out->d_length = 0;
    size_t old_length = strlen(old_text), new_length = strlen(new_text);
    if (strstr(new_text, old_text))  // equal texts too: nothing changes
        return replace_once_each(line, length, old_text, old_length, new_text, new_length, out);
    return replace_until_none(line, length, old_text, old_length, new_text, new_length, out);
}

// A fresh, exclusively created file beside path: "<path>.tmp.XXXXXX", or,
// when that name is too long, a short hidden one in the same directory.
static int make_temporary(const char *path, char **out_name) {
    size_t length = strlen(path);
    char *name = static_cast<char *>(malloc(length + 32));
    if (!name) return -1;
    snprintf(name, length + 32, "%s.tmp.XXXXXX", path);
    int fd = mkstemp(name);
    if (fd < 0 && errno == ENAMETOOLONG) {
        const char *slash = strrchr(path, '/');
        int dir_length = slash ? (int)(slash - path + 1) : 0;
        snprintf(name, length + 32, "%.*s.zk_replace.XXXXXX", dir_length, path);
        fd = mkstemp(name);
    }
    if (fd < 0) {
        free(name);
        return -1;
    }
    *out_name = name;
    return fd;
}

static int fail_rewrite(const char *path, int error) {
    fprintf(stderr, "cannot rewrite %s, left as it was: %s\n", path, strerror(error));
    return -1;
}

int replace_in_file(const char *path, const char *old_text, const char *new_text) {
    if (!path || !old_text || !new_text || !*old_text) return -1;
    // Renaming over a symbolic link would put a copy in its place and leave
    // the file it names as it was: a link is not rewritten.
    int in_fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (in_fd < 0) {
        struct stat link;
        if (errno == ELOOP && lstat(path, &link) == 0 && S_ISLNK(link.st_mode))
            fprintf(stderr, "cannot rewrite %s, left as it was: a symbolic link\n", path);
        return -1;
    }
    struct stat st;
    // Only a regular file has content to rewrite; a FIFO or device is left.
    if (fstat(in_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(in_fd);
        return -1;
    }
    FILE *in = fdopen(in_fd, "r");
    if (!in) {
        close(in_fd);
        return -1;
    }
    char *temporary = nullptr;
    int out_fd = make_temporary(path, &temporary);
    FILE *out = out_fd >= 0 ? fdopen(out_fd, "w") : nullptr;
    if (!out) {
        if (out_fd >= 0) {
            close(out_fd);
            unlink(temporary);
        }
        free(temporary);
        fclose(in);
        return -1;
    }

    int error = 0;
    bool runaway = false;
    char *line = nullptr;
    size_t room = 0;
    ssize_t length;
    TextBuffer changed = {nullptr, 0, 0};
    errno = 0;
    while ((length = getline(&line, &room, in)) > 0) {
        if (replace_in_line(line, (size_t)length, old_text, new_text, &changed) != 0) {
            runaway = errno == ELOOP;
            error = runaway ? ELOOP : ENOMEM;
            break;
        }
        if (fwrite(changed.d_data, 1, changed.d_length, out) != changed.d_length) {
            error = errno ? errno : EIO;
            break;
        }
    }
    if (!error && ferror(in)) error = errno ? errno : EIO;
    free(line);
    free(changed.d_data);
    fclose(in);

    // Content first, then owner and permission bits (a write would clear
    // set-user-ID), then to disk, and only then over the original.
    if (!error && fflush(out) != 0) error = errno;
    if (!error) {
        if (fchown(out_fd, st.st_uid, st.st_gid) != 0) {
            // Not ours to give away: the file keeps our ownership.
        }
        if (fchmod(out_fd, st.st_mode & 07777) != 0) error = errno;
    }
    if (!error && fsync(out_fd) != 0) error = errno;
    if (fclose(out) != 0 && !error) error = errno;
    if (!error && rename(temporary, path) != 0) error = errno;
    if (error) unlink(temporary);
    free(temporary);
    if (runaway) {
        fprintf(stderr, "replacement does not end in %s, left as it was\n", path);
        return -1;
    }
    return error ? fail_rewrite(path, error) : 0;
}

int replace_run() {
    Env *env = get_env();
    const char *argument = env->d_replace_arg;
    const char *comma = argument ? strchr(argument, ',') : nullptr;
    if (!comma) return -1;
    if (count(env->d_files) == 0) {
        fputs("No such files.\n", stderr);
        return -1;
    }
    if (comma == argument) {
        fputs("Empty text to replace.\n", stderr);
        return -1;
    }
    char *old_text = strndup(argument, (size_t)(comma - argument));
    if (!old_text) return -1;
    const char *new_text = comma + 1;
    for (int i = 0; i < count(env->d_files); ++i) replace_in_file(at(env->d_files, i), old_text, new_text);
    free(old_text);
    return 0;
}
